#pragma once
// The expression language as the rest of the runtime uses it: compile a text once into a tree that
// its creator owns, then evaluate it as often as needed against the current values of the bound
// variables (a view evaluates its filter once per candidate record); and EVALUATE, which compiles,
// evaluates and discards in one call.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/expression/binding_scopes.h"
#include "runtime/core/value.h"
#include "runtime/core/error_codes.h"

namespace docket::runtime {

struct ExprNode;

inline constexpr int kInvalidEvaluateExpression = error::kInvalidEvaluateExpression;

class CompiledExpression {
public:
    explicit CompiledExpression(std::unique_ptr<ExprNode> root);
    ~CompiledExpression();
    CompiledExpression(const CompiledExpression&) = delete;
    CompiledExpression& operator=(const CompiledExpression&) = delete;

    ValueKind kind() const;

    // The value in each kind. Evaluation asks for no memory once the tree's result buffers have
    // grown to fit; a text view stays valid until the next evaluation of this expression.
    bool isTrue(); // as a filter: non-zero passes
    std::int64_t integerValue();
    double realValue();
    std::string_view textValue();

    // The tree itself, for a view's analysis of its filter.
    const ExprNode& root() const { return *root_; }

private:
    std::unique_ptr<ExprNode> root_;
};

// Compiles against the current thread's binding table; null when the text does not compile.
std::unique_ptr<CompiledExpression> compileExpression(std::string_view text);

// EVALUATE: the value of the expression as text (logicals as "1" and "0", numbers without
// trailing zeros). When the text does not compile, posts error 800 and returns the empty text.
std::string evaluate(std::string_view text);

} // namespace docket::runtime
