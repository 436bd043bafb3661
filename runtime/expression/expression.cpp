#include "runtime/expression/expression.h"

#include "runtime/core/error_state.h"
#include "runtime/expression/expr_parser.h"
#include "runtime/expression/expr_tree.h"

namespace docket::runtime {

CompiledExpression::CompiledExpression(std::unique_ptr<ExprNode> root) : root_(std::move(root)) {}
CompiledExpression::~CompiledExpression() = default;

ValueKind CompiledExpression::kind() const {
    return root_->kind;
}
bool CompiledExpression::isTrue() {
    return evalTruth(*root_);
}
std::int64_t CompiledExpression::integerValue() {
    return evalInteger(*root_);
}
double CompiledExpression::realValue() {
    return evalReal(*root_);
}
std::string_view CompiledExpression::textValue() {
    return evalString(*root_);
}

std::unique_ptr<CompiledExpression> compileExpression(std::string_view text) {
    std::unique_ptr<ExprNode> root = parseExpression(text);
    if (!root) return nullptr;
    return std::make_unique<CompiledExpression>(std::move(root));
}

std::string evaluate(std::string_view text) {
    std::unique_ptr<ExprNode> root = parseExpression(text);
    if (!root) {
        setError(kInvalidEvaluateExpression);
        return {};
    }
    return std::string(evalString(*root));
}

} // namespace docket::runtime
