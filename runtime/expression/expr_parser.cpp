#include "runtime/expression/expr_parser.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "runtime/expression/internal/expr_scanner.h"

namespace docket::runtime {
namespace {

using NodePtr = std::unique_ptr<ExprNode>;

class Parser {
public:
    explicit Parser(std::string_view text) : scanner_(text) {}

    NodePtr compile() {
        advance();
        NodePtr root = expression();
        if (!root || tok_.type != TokenType::End) return fail();
        return root;
    }

    std::size_t errorPosition() const { return errorPosition_; }

private:
    void advance() { tok_ = scanner_.next(); }

    bool isSymbol(char c) const { return tok_.type == TokenType::Symbol && tok_.symbol == c; }

    bool isKeyword(Keyword keyword) const {
        return tok_.type == TokenType::Name && tok_.entry &&
               tok_.entry->kind == BindingEntry::Kind::Keyword && tok_.entry->keyword == keyword;
    }

    NodePtr fail() {
        if (!failed_) errorPosition_ = tok_.position;
        failed_ = true;
        return nullptr;
    }

    // A node over its children; fails when the tree would grow too deep.
    NodePtr make(ExprOp op, ValueKind kind, NodePtr left, NodePtr right = nullptr) {
        auto node = std::make_unique<ExprNode>();
        node->op = op;
        node->kind = kind;
        int depth = 0;
        if (left) depth = std::max(depth, static_cast<int>(left->depth));
        if (right) depth = std::max(depth, static_cast<int>(right->depth));
        node->left = std::move(left);
        node->right = std::move(right);
        return finish(std::move(node), depth);
    }

    NodePtr finish(NodePtr node, int childDepth) {
        for (const auto& arg : node->args) childDepth = std::max(childDepth, static_cast<int>(arg->depth));
        if (childDepth + 1 > kMaxTreeDepth) return fail();
        node->depth = static_cast<std::uint16_t>(childDepth + 1);
        return node;
    }

    static ValueKind arithmeticKind(const NodePtr& a, const NodePtr& b) {
        return isIntegerKind(a->kind) && isIntegerKind(b->kind) ? ValueKind::Integer : ValueKind::Real;
    }

    // Level 1, also for every bracketed, argument and subscript expression: counts the nesting.
    NodePtr expression() {
        if (++nesting_ > kMaxNesting) return fail();
        NodePtr left = term();
        while (left && (isKeyword(Keyword::Or) || isKeyword(Keyword::Xor))) {
            const ExprOp op = isKeyword(Keyword::Or) ? ExprOp::Or : ExprOp::Xor;
            advance();
            NodePtr right = term();
            if (!right) return fail();
            left = make(op, ValueKind::Logical, std::move(left), std::move(right));
        }
        --nesting_;
        if (!left) return fail();
        if (tok_.type == TokenType::End || isSymbol(',') || isSymbol(':') || isSymbol(')') || isSymbol(']'))
            return left;
        return fail();
    }

    NodePtr term() {
        NodePtr left = negation();
        while (left && isKeyword(Keyword::And)) {
            advance();
            NodePtr right = negation();
            if (!right) return fail();
            left = make(ExprOp::And, ValueKind::Logical, std::move(left), std::move(right));
        }
        return left;
    }

    NodePtr negation() {
        int count = 0;
        while (isKeyword(Keyword::Not) || isSymbol('~')) {
            ++count;
            advance();
        }
        NodePtr operand = comparison();
        if (!operand || count % 2 == 0) return operand;
        return make(ExprOp::Not, ValueKind::Logical, std::move(operand));
    }

    // Reads a comparison operator of one or two tokens; false when the token is none.
    bool comparisonOperator(ExprOp& op) {
        if (tok_.type != TokenType::Symbol) return false;
        const char first = tok_.symbol;
        if (first != '=' && first != '<' && first != '>' && first != '~') return false;
        advance();
        const char second = tok_.type == TokenType::Symbol ? tok_.symbol : '\0';
        auto take = [this](ExprOp chosen, ExprOp& out) {
            advance();
            out = chosen;
            return true;
        };
        switch (first) {
        case '=':
            if (second == '<') return take(ExprOp::LessEqual, op);
            if (second == '>') return take(ExprOp::GreaterEqual, op);
            op = ExprOp::Equal;
            return true;
        case '<':
            if (second == '=') return take(ExprOp::LessEqual, op);
            if (second == '>') return take(ExprOp::NotEqual, op);
            op = ExprOp::Less;
            return true;
        case '>':
            if (second == '=') return take(ExprOp::GreaterEqual, op);
            op = ExprOp::Greater;
            return true;
        default: // "~" only as the first half of ~= ~> ~<
            if (second == '=') return take(ExprOp::NotEqual, op);
            if (second == '>') return take(ExprOp::LessEqual, op);
            if (second == '<') return take(ExprOp::GreaterEqual, op);
            fail();
            return false;
        }
    }

    NodePtr comparison() {
        NodePtr left = concatenation();
        ExprOp op = ExprOp::Equal;
        while (left && comparisonOperator(op)) {
            NodePtr right = concatenation();
            if (!right) return fail();
            const CompareMode mode = compareModeFor(left->kind, right->kind);
            left = make(op, ValueKind::Logical, std::move(left), std::move(right));
            if (left) left->compare = mode;
        }
        return failed_ ? nullptr : std::move(left);
    }

    NodePtr concatenation() {
        NodePtr left = sum();
        while (left && isSymbol('&')) {
            advance();
            NodePtr right = sum();
            if (!right) return fail();
            left = make(ExprOp::Concat, ValueKind::String, std::move(left), std::move(right));
        }
        return left;
    }

    NodePtr sum() {
        NodePtr left = product();
        while (left && (isSymbol('+') || isSymbol('-'))) {
            const ExprOp op = isSymbol('+') ? ExprOp::Add : ExprOp::Subtract;
            advance();
            NodePtr right = product();
            if (!right) return fail();
            const ValueKind kind = arithmeticKind(left, right);
            left = make(op, kind, std::move(left), std::move(right));
        }
        return left;
    }

    NodePtr product() {
        NodePtr left = power();
        while (left && (isSymbol('*') || isSymbol('/') || isSymbol('%'))) {
            const ExprOp op = isSymbol('*')   ? ExprOp::Multiply
                              : isSymbol('/') ? ExprOp::Divide
                                              : ExprOp::Modulo;
            advance();
            NodePtr right = power();
            if (!right) return fail();
            // A quotient is always real; products and remainders of integers stay integers.
            const ValueKind kind = op == ExprOp::Divide ? ValueKind::Real : arithmeticKind(left, right);
            left = make(op, kind, std::move(left), std::move(right));
        }
        return left;
    }

    NodePtr power() {
        NodePtr left = signedOperand();
        while (left && isSymbol('^')) {
            advance();
            NodePtr right = signedOperand();
            if (!right) return fail();
            left = make(ExprOp::Power, ValueKind::Real, std::move(left), std::move(right));
        }
        return left;
    }

    NodePtr signedOperand() {
        int minus = 0;
        while (isSymbol('+') || isSymbol('-')) {
            minus += isSymbol('-');
            advance();
        }
        NodePtr operand = primary();
        if (!operand || minus % 2 == 0) return operand;
        const ValueKind kind = isIntegerKind(operand->kind) ? ValueKind::Integer : ValueKind::Real;
        return make(ExprOp::Negate, kind, std::move(operand));
    }

    NodePtr constant(ExprOp op, ValueKind kind) {
        auto node = std::make_unique<ExprNode>();
        node->op = op;
        node->kind = kind;
        node->integer = tok_.integer;
        node->real = tok_.real;
        node->text = std::move(tok_.text);
        advance();
        return node;
    }

    NodePtr primary() {
        switch (tok_.type) {
        case TokenType::Integer:
            return constant(ExprOp::IntegerConstant, ValueKind::Integer);
        case TokenType::Real:
            return constant(ExprOp::RealConstant, ValueKind::Real);
        case TokenType::String:
        case TokenType::Picture:
            return constant(ExprOp::StringConstant, ValueKind::String);
        case TokenType::Name:
            break;
        case TokenType::Symbol:
            if (isSymbol('(')) {
                advance();
                NodePtr inner = expression();
                if (!inner || !isSymbol(')')) return fail();
                advance();
                return inner;
            }
            return fail();
        default:
            return fail();
        }
        if (!tok_.entry) return fail(); // neither bound nor built in
        const BindingEntry entry = *tok_.entry;
        switch (entry.kind) {
        case BindingEntry::Kind::Variable:
            return variable(entry.variable);
        case BindingEntry::Kind::Function:
            return call(*entry.function);
        default:
            return fail(); // an operator keyword where an operand belongs
        }
    }

    NodePtr variable(const BoundVariable& bound) {
        auto node = std::make_unique<ExprNode>();
        node->op = ExprOp::Variable;
        node->kind = variableKind(bound.type);
        node->variable = bound;
        advance();
        if (!isSymbol('[')) return node;
        // A subscript takes characters of the value: [i] one character, [a : b] characters a
        // through b. Bound variables are single values, so one index is all a subscript can hold.
        advance();
        NodePtr first = expression();
        if (!first) return fail();
        NodePtr result;
        if (isSymbol(':')) {
            advance();
            NodePtr last = expression();
            if (!last || !isSymbol(']')) return fail();
            auto range = std::make_unique<ExprNode>();
            range->op = ExprOp::Range;
            range->kind = ValueKind::String;
            const int depth = std::max<int>(node->depth, 0);
            range->left = std::move(node);
            range->args.push_back(std::move(first));
            range->args.push_back(std::move(last));
            result = finish(std::move(range), depth);
        } else {
            if (!isSymbol(']')) return fail();
            result = make(ExprOp::Index, ValueKind::String, std::move(node), std::move(first));
        }
        if (!result) return fail();
        advance();
        return result;
    }

    NodePtr defaultNode(Builtin code, int index) {
        const DefaultArgument d = defaultArgument(code, index);
        auto node = std::make_unique<ExprNode>();
        switch (d.form) {
        case DefaultArgument::Form::Integer:
            node->op = ExprOp::IntegerConstant;
            node->integer = d.integer;
            break;
        case DefaultArgument::Form::Real:
            node->op = ExprOp::RealConstant;
            node->kind = ValueKind::Real;
            node->real = d.real;
            break;
        case DefaultArgument::Form::String:
            node->op = ExprOp::StringConstant;
            node->kind = ValueKind::String;
            node->text.assign(d.text);
            break;
        case DefaultArgument::Form::Today:
            node->op = ExprOp::Call;
            node->function = Builtin::Today;
            break;
        }
        return node;
    }

    NodePtr call(const BuiltinInfo& info) {
        advance();
        if (!isSymbol('(')) return fail(); // even functions without arguments need "()"
        if (info.code == Builtin::Sql) {
            // The SQL term is kept unparsed for drivers that understand it.
            std::optional<std::string> raw = scanner_.rawParenthesized();
            if (!raw) return fail();
            auto node = std::make_unique<ExprNode>();
            node->op = ExprOp::Sql;
            node->kind = ValueKind::Logical;
            node->text = std::move(*raw);
            advance();
            return node;
        }
        advance();
        auto node = std::make_unique<ExprNode>();
        node->op = ExprOp::Call;
        node->kind = info.kind;
        node->function = info.code;
        // Arguments, where an empty one (between commas) is omitted and takes its default.
        std::vector<NodePtr> given;
        if (!isSymbol(')')) {
            for (;;) {
                if (given.size() >= info.maxArgs) return fail();
                if (isSymbol(',') || isSymbol(')')) {
                    given.push_back(nullptr);
                } else {
                    NodePtr arg = expression();
                    if (!arg) return fail();
                    given.push_back(std::move(arg));
                }
                if (isSymbol(')')) break;
                if (!isSymbol(',')) return fail();
                advance();
            }
        }
        advance(); // the ")"
        std::size_t count =
            keepsArgumentCount(info.code) ? std::max<std::size_t>(given.size(), 1) : info.maxArgs;
        for (std::size_t i = 0; i < count; ++i) {
            if (i < given.size() && given[i])
                node->args.push_back(std::move(given[i]));
            else
                node->args.push_back(defaultNode(info.code, static_cast<int>(i)));
        }
        return finish(std::move(node), 0);
    }

    ExprScanner scanner_;
    Token tok_;
    int nesting_ = 0;
    bool failed_ = false;
    std::size_t errorPosition_ = 0;
};

} // namespace

std::unique_ptr<ExprNode> parseExpression(std::string_view text, std::size_t* errorPosition) {
    Parser parser(text);
    NodePtr root = parser.compile();
    if (!root && errorPosition != nullptr) *errorPosition = parser.errorPosition();
    return root;
}

} // namespace docket::runtime
