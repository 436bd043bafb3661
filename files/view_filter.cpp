#include "files/internal/view_filter.h"

#include <functional>

#include "runtime/expression/expr_parser.h"
#include "files/record_fields.h"

namespace docket::runtime {

namespace {

bool isBlank(std::string_view text) {
    for (char c : text)
        if (c != ' ' && c != '\t') return false;
    return true;
}

void splitAnd(std::unique_ptr<ExprNode> node, std::vector<std::unique_ptr<ExprNode>>* terms) {
    if (node->op == ExprOp::And) {
        splitAnd(std::move(node->left), terms);
        splitAnd(std::move(node->right), terms);
    } else {
        terms->push_back(std::move(node));
    }
}

// Calls `visit` with every variable node of the subtree.
template <typename Visit> void eachVariable(const ExprNode& node, Visit&& visit) {
    if (node.op == ExprOp::Variable) visit(node);
    if (node.left) eachVariable(*node.left, visit);
    if (node.right) eachVariable(*node.right, visit);
    for (const auto& a : node.args) eachVariable(*a, visit);
}

bool involves(const ExprNode& node, const drivers::FileDeclaration& file) {
    bool found = false;
    eachVariable(node, [&](const ExprNode& v) { found = found || belongsTo(file, v.variable.data); });
    return found;
}

bool inMemo(const drivers::FileDeclaration& file, const void* data) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::less<const std::uint8_t*> before;
    for (const auto& m : file.memos)
        if (m.buffer && !before(p, m.buffer) && before(p, m.buffer + m.size)) return true;
    return false;
}

bool isComparison(ExprOp op) {
    return op == ExprOp::Equal || op == ExprOp::Less || op == ExprOp::Greater || op == ExprOp::LessEqual ||
           op == ExprOp::GreaterEqual;
}

ExprOp mirrored(ExprOp op) {
    switch (op) {
    case ExprOp::Less:
        return ExprOp::Greater;
    case ExprOp::Greater:
        return ExprOp::Less;
    case ExprOp::LessEqual:
        return ExprOp::GreaterEqual;
    case ExprOp::GreaterEqual:
        return ExprOp::LessEqual;
    default:
        return op;
    }
}

} // namespace

bool readsMemo(const ExprNode& node, const drivers::FileDeclaration& file) {
    bool found = false;
    eachVariable(node, [&](const ExprNode& v) { found = found || inMemo(file, v.variable.data); });
    return found;
}

int FilterTerm::compareField() const {
    const int c = compareOperands(mode, *fieldSide, *valueSide);
    // The mode was fixed for the operands in their written order.
    return fieldSide == expression->root().left.get() ? c : -c;
}

bool compileFilter(std::string_view text, const drivers::FileDeclaration& primary,
                   const std::vector<const drivers::FileDeclaration*>& joined, std::vector<FilterTerm>* out) {
    out->clear();
    if (isBlank(text)) return true;
    std::unique_ptr<ExprNode> root = parseExpression(text);
    if (!root) return false;
    std::vector<std::unique_ptr<ExprNode>> nodes;
    splitAnd(std::move(root), &nodes);
    for (auto& node : nodes) {
        FilterTerm term;
        for (const auto* j : joined) term.usesJoins = term.usesJoins || involves(*node, *j);
        term.usesPrimaryMemo = readsMemo(*node, primary);
        ExprNode* n = node.get();
        if (isComparison(n->op) &&
            (n->compare == CompareMode::Integers || n->compare == CompareMode::Reals)) {
            auto otherIsFree = [&](const ExprNode& other) {
                if (involves(other, primary)) return false;
                for (const auto* j : joined)
                    if (involves(other, *j)) return false;
                return true;
            };
            if (n->left->op == ExprOp::Variable && fieldAt(primary, n->left->variable.data) &&
                otherIsFree(*n->right)) {
                term.field = fieldAt(primary, n->left->variable.data);
                term.fieldSide = n->left.get();
                term.valueSide = n->right.get();
                term.op = n->op;
            } else if (n->right->op == ExprOp::Variable && fieldAt(primary, n->right->variable.data) &&
                       otherIsFree(*n->left)) {
                term.field = fieldAt(primary, n->right->variable.data);
                term.fieldSide = n->right.get();
                term.valueSide = n->left.get();
                term.op = mirrored(n->op);
            }
            term.mode = n->compare;
        }
        term.expression = std::make_unique<CompiledExpression>(std::move(node));
        out->push_back(std::move(term));
    }
    return true;
}

} // namespace docket::runtime
