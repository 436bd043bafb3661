#pragma once
// Expression trees and their three evaluation entries. Every node has a result kind; a parent asks
// a child for its value in the kind it needs (integers and logicals through one entry, reals
// through a second, strings through a third) and the child converts its own value by the rules of
// value.h. String results are views into text the tree owns or reads: constants, bound variables
// (read in place) and each node's own result buffer, which is reused from one evaluation to the
// next, so an evaluated tree asks for no memory once its buffers have grown to fit.
//
// A view returned by an entry stays valid until the same node is evaluated again or the bound
// variable it reads changes.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/expression/bound_variable.h"
#include "runtime/expression/internal/expr_builtins.h"
#include "runtime/core/value.h"

namespace docket::runtime {

enum class ExprOp : std::uint8_t {
    IntegerConstant,
    RealConstant,
    StringConstant,
    Variable,
    Not,
    Negate,
    Or,
    Xor,
    And,
    Equal,
    NotEqual,
    Less,
    Greater,
    LessEqual,
    GreaterEqual,
    Concat,
    Add,
    Subtract,
    Multiply,
    Divide,
    Modulo,
    Power,
    Index, // left: the variable; right: the character position
    Range, // left: the variable; args[0], args[1]: first and last character
    Call,  // function with args
    Sql,   // text: the unparsed SQL term
};

// How a comparison compares, fixed when it is compiled from its operands' kinds.
enum class CompareMode : std::uint8_t { Integers, Reals, Texts, TextLeft, TextRight };

struct ExprNode {
    ValueKind kind = ValueKind::Integer;
    ExprOp op = ExprOp::IntegerConstant;
    Builtin function = Builtin::Abs; // Call
    CompareMode compare = CompareMode::Integers;
    std::uint16_t depth = 1; // levels of the subtree, this node included
    std::unique_ptr<ExprNode> left, right;
    std::vector<std::unique_ptr<ExprNode>> args;
    std::int32_t integer = 0; // IntegerConstant
    double real = 0.0;        // RealConstant
    std::string text;         // StringConstant (also pictures), Sql
    BoundVariable variable;   // Variable
    std::string buffer;       // this node's string result
};

std::int64_t evalInteger(ExprNode& node);
double evalReal(ExprNode& node);
std::string_view evalString(ExprNode& node);
// A node as a logical: non-zero is true (text by its number).
bool evalTruth(ExprNode& node);

// Comparison of two operands by the rules of value.h: the mode for their kinds, and the comparison
// itself (<0, 0, >0).
CompareMode compareModeFor(ValueKind a, ValueKind b);
int compareOperands(CompareMode mode, ExprNode& a, ExprNode& b);

// An operand evaluated once, to be compared with several others (INLIST, INRANGE). Its text view
// stays valid while only other nodes are evaluated.
struct EvaluatedOperand {
    ValueKind kind = ValueKind::Integer;
    std::int64_t integer = 0;
    double real = 0.0;
    std::string_view text;
};
EvaluatedOperand evaluateOperand(ExprNode& node);
int compareEvaluated(const EvaluatedOperand& a, ExprNode& b);

// Stores a computed text in the node's buffer (cut to kMaxComputedText) and returns the view.
std::string_view storeText(ExprNode& node, std::string_view text);

} // namespace docket::runtime
