#pragma once
// A view's filter: the text compiled once and split at its top-level ANDs into terms that are
// evaluated in order, the first false one rejecting the record. A term that compares a field of
// the primary table with a value not involving any table of the view is recognised as a condition
// on that field, so that a read through a key on that field can start at the value and stop where
// no later record can pass.
#include <memory>
#include <string_view>
#include <vector>

#include "drivers/declaration.h"
#include "runtime/expression/expr_tree.h"
#include "runtime/expression/expression.h"

namespace docket::runtime {

struct FilterTerm {
    std::unique_ptr<CompiledExpression> expression;
    bool usesJoins = false;       // reads a field or memo of a joined table
    bool usesPrimaryMemo = false; // reads a memo of the primary table

    // A condition "field op value" on the primary table, normalised so the field stands left;
    // field is 0 for other terms.
    int field = 0;
    ExprOp op = ExprOp::Equal;
    ExprNode* fieldSide = nullptr;
    ExprNode* valueSide = nullptr;
    CompareMode mode = CompareMode::Integers;

    // The field's value compared with the value (<0, 0, >0); only for conditions.
    int compareField() const;
};

// True when the expression reads a MEMO buffer of `file`.
bool readsMemo(const ExprNode& node, const drivers::FileDeclaration& file);

// Compiles a filter text; false when it does not compile. An empty or blank text gives no terms.
bool compileFilter(std::string_view text, const drivers::FileDeclaration& primary,
                   const std::vector<const drivers::FileDeclaration*>& joined, std::vector<FilterTerm>* out);

} // namespace docket::runtime
