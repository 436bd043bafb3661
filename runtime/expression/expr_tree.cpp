#include "runtime/expression/expr_tree.h"

#include <cmath>
#include <limits>

namespace docket::runtime {
namespace {

bool isArithmetic(ExprOp op) {
    return op == ExprOp::Negate || op == ExprOp::Add || op == ExprOp::Subtract || op == ExprOp::Multiply;
}

// The value of an integer-kind operand: exact in 64 bits, or a real once 64 bits overflowed.
struct IntegerResult {
    bool exact = true;
    std::int64_t integer = 0;
    double real = 0.0;
    double asReal() const { return exact ? static_cast<double>(integer) : real; }
};

// Integer arithmetic is 64-bit. A result beyond that range continues as a real (its text shows the
// real, its integer value saturates) instead of wrapping. Each operand is evaluated once, so a
// chain of overflowing products costs no more than any other chain.
IntegerResult integerArithmetic(ExprNode& n);

IntegerResult integerOperand(ExprNode& n) {
    if (isArithmetic(n.op)) return integerArithmetic(n);
    return {true, evalInteger(n), 0.0};
}

IntegerResult integerArithmetic(ExprNode& n) {
    const IntegerResult a = integerOperand(*n.left);
    const IntegerResult b = n.op == ExprOp::Negate ? IntegerResult{} : integerOperand(*n.right);
    IntegerResult r;
    if (a.exact && b.exact) {
        bool overflow = false;
        switch (n.op) {
        case ExprOp::Negate:
            overflow = __builtin_sub_overflow(std::int64_t{0}, a.integer, &r.integer);
            break;
        case ExprOp::Add:
            overflow = __builtin_add_overflow(a.integer, b.integer, &r.integer);
            break;
        case ExprOp::Subtract:
            overflow = __builtin_sub_overflow(a.integer, b.integer, &r.integer);
            break;
        default:
            overflow = __builtin_mul_overflow(a.integer, b.integer, &r.integer);
            break;
        }
        if (!overflow) return r;
    }
    r.exact = false;
    switch (n.op) {
    case ExprOp::Negate:
        r.real = -a.asReal();
        break;
    case ExprOp::Add:
        r.real = a.asReal() + b.asReal();
        break;
    case ExprOp::Subtract:
        r.real = a.asReal() - b.asReal();
        break;
    default:
        r.real = a.asReal() * b.asReal();
        break;
    }
    r.real = finiteOrZero(r.real);
    return r;
}

double arithmeticReal(ExprNode& n) {
    switch (n.op) {
    case ExprOp::Negate:
        return -evalReal(*n.left);
    case ExprOp::Add:
        return finiteOrZero(evalReal(*n.left) + evalReal(*n.right));
    case ExprOp::Subtract:
        return finiteOrZero(evalReal(*n.left) - evalReal(*n.right));
    case ExprOp::Multiply:
        return finiteOrZero(evalReal(*n.left) * evalReal(*n.right));
    case ExprOp::Divide: {
        // Division by zero yields 0 rather than stopping the evaluation of a filter.
        const double d = evalReal(*n.right);
        const double v = evalReal(*n.left);
        return d == 0.0 ? 0.0 : finiteOrZero(v / d);
    }
    case ExprOp::Modulo: {
        const double d = evalReal(*n.right);
        const double v = evalReal(*n.left);
        return d == 0.0 ? 0.0 : finiteOrZero(std::fmod(v, d));
    }
    case ExprOp::Power:
        // Powers without a real result (a negative base with a fractional exponent) yield 0.
        return finiteOrZero(std::pow(evalReal(*n.left), evalReal(*n.right)));
    default:
        return 0.0;
    }
}

int compareNodes(ExprNode& n) {
    return compareOperands(n.compare, *n.left, *n.right);
}

// SUB semantics shared by subscripts and the SUB function: `start` counts from 1, a negative start
// counts from the end (-1 is the last character) and 0 is taken as 1; a negative length takes the
// rest of the text. Positions outside the text give the empty text.
std::string_view slice(std::string_view text, std::int64_t start, std::int64_t length) {
    const auto size = static_cast<std::int64_t>(text.size());
    if (start < 0) start = size + start + 1;
    if (start < 1) start = 1;
    if (start > size) return {};
    const std::int64_t available = size - start + 1;
    if (length < 0 || length > available) length = available;
    return text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(length));
}

std::int64_t naturalInteger(ExprNode& n) {
    switch (n.op) {
    case ExprOp::IntegerConstant:
        return n.integer;
    case ExprOp::Variable:
        return readIntegerVariable(n.variable);
    case ExprOp::Not:
        return evalTruth(*n.left) ? 0 : 1;
    case ExprOp::Or:
        return (evalTruth(*n.left) || evalTruth(*n.right)) ? 1 : 0;
    case ExprOp::Xor:
        return (evalTruth(*n.left) != evalTruth(*n.right)) ? 1 : 0;
    case ExprOp::And:
        return (evalTruth(*n.left) && evalTruth(*n.right)) ? 1 : 0;
    case ExprOp::Equal:
        return compareNodes(n) == 0;
    case ExprOp::NotEqual:
        return compareNodes(n) != 0;
    case ExprOp::Less:
        return compareNodes(n) < 0;
    case ExprOp::Greater:
        return compareNodes(n) > 0;
    case ExprOp::LessEqual:
        return compareNodes(n) <= 0;
    case ExprOp::GreaterEqual:
        return compareNodes(n) >= 0;
    case ExprOp::Negate:
    case ExprOp::Add:
    case ExprOp::Subtract:
    case ExprOp::Multiply: {
        const IntegerResult r = integerArithmetic(n);
        return r.exact ? r.integer : realToInteger(r.real);
    }
    case ExprOp::Modulo: {
        const std::int64_t d = evalInteger(*n.right);
        const std::int64_t v = evalInteger(*n.left);
        // Remainder by 0 is 0, like division by 0; by -1 it is always 0 (and cannot overflow).
        return d == 0 || d == -1 ? 0 : v % d;
    }
    case ExprOp::Call:
        return evalBuiltinInteger(n);
    case ExprOp::Sql:
        // The native driver ignores SQL terms: as a condition the term lets every record pass.
        return 1;
    default:
        return 0;
    }
}

double naturalReal(ExprNode& n) {
    switch (n.op) {
    case ExprOp::RealConstant:
        return n.real;
    case ExprOp::Variable:
        return readRealVariable(n.variable);
    case ExprOp::Call:
        return evalBuiltinReal(n);
    default:
        return arithmeticReal(n);
    }
}

std::string_view naturalString(ExprNode& n) {
    switch (n.op) {
    case ExprOp::StringConstant:
        return n.text;
    case ExprOp::Variable:
        return readTextVariable(n.variable);
    case ExprOp::Concat: {
        const std::string_view a = evalString(*n.left);
        const std::string_view b = evalString(*n.right);
        n.buffer.assign(a.substr(0, kMaxComputedText));
        n.buffer.append(b.substr(0, kMaxComputedText - n.buffer.size()));
        return n.buffer;
    }
    case ExprOp::Index:
        return slice(evalString(*n.left), evalInteger(*n.right), 1);
    case ExprOp::Range: {
        // "a : b" takes characters a through b; with b before a it is empty (not the rest of the
        // text, as a negative SUB length would be).
        const std::int64_t first = evalInteger(*n.args[0]);
        const std::int64_t last = evalInteger(*n.args[1]);
        const std::string_view text = evalString(*n.left);
        std::int64_t length = 0;
        if (!__builtin_sub_overflow(last, first, &length) && length >= 0 &&
            length < std::numeric_limits<std::int64_t>::max())
            return slice(text, first, length + 1);
        return {};
    }
    case ExprOp::Call:
        return evalBuiltinString(n);
    default:
        return {};
    }
}

} // namespace

std::int64_t evalInteger(ExprNode& n) {
    switch (n.kind) {
    case ValueKind::Logical:
    case ValueKind::Integer:
        return naturalInteger(n);
    case ValueKind::Real:
        return realToInteger(naturalReal(n));
    case ValueKind::String:
        return realToInteger(textToReal(naturalString(n)));
    }
    return 0;
}

double evalReal(ExprNode& n) {
    switch (n.kind) {
    case ValueKind::Logical:
    case ValueKind::Integer:
        if (isArithmetic(n.op)) return integerArithmetic(n).asReal();
        return static_cast<double>(naturalInteger(n));
    case ValueKind::Real:
        return naturalReal(n);
    case ValueKind::String:
        return textToReal(naturalString(n));
    }
    return 0.0;
}

std::string_view evalString(ExprNode& n) {
    char digits[kNumberTextSize];
    switch (n.kind) {
    case ValueKind::Logical:
    case ValueKind::Integer: {
        if (isArithmetic(n.op)) {
            const IntegerResult r = integerArithmetic(n);
            if (!r.exact) return storeText(n, {digits, formatReal(r.real, digits)});
            return storeText(n, {digits, formatInteger(r.integer, digits)});
        }
        return storeText(n, {digits, formatInteger(naturalInteger(n), digits)});
    }
    case ValueKind::Real:
        return storeText(n, {digits, formatReal(naturalReal(n), digits)});
    case ValueKind::String:
        return naturalString(n);
    }
    return {};
}

bool evalTruth(ExprNode& n) {
    if (isIntegerKind(n.kind)) {
        if (isArithmetic(n.op)) return integerArithmetic(n).asReal() != 0.0;
        return naturalInteger(n) != 0;
    }
    return evalReal(n) != 0.0;
}

CompareMode compareModeFor(ValueKind a, ValueKind b) {
    const bool textA = a == ValueKind::String;
    const bool textB = b == ValueKind::String;
    if (textA && textB) return CompareMode::Texts;
    if (textA) return CompareMode::TextLeft;
    if (textB) return CompareMode::TextRight;
    return isIntegerKind(a) && isIntegerKind(b) ? CompareMode::Integers : CompareMode::Reals;
}

int compareOperands(CompareMode mode, ExprNode& a, ExprNode& b) {
    switch (mode) {
    case CompareMode::Integers:
        return compareIntegers(evalInteger(a), evalInteger(b));
    case CompareMode::Reals:
        return compareReals(evalReal(a), evalReal(b));
    case CompareMode::Texts:
        return compareTexts(evalString(a), evalString(b));
    case CompareMode::TextLeft: {
        const std::string_view text = evalString(a);
        if (isNumericText(text)) return compareReals(textToReal(text), evalReal(b));
        return compareTexts(text, evalString(b));
    }
    case CompareMode::TextRight: {
        const std::string_view text = evalString(b);
        if (isNumericText(text)) return compareReals(evalReal(a), textToReal(text));
        return compareTexts(evalString(a), text);
    }
    }
    return 0;
}

EvaluatedOperand evaluateOperand(ExprNode& node) {
    EvaluatedOperand v;
    v.kind = node.kind;
    if (node.kind == ValueKind::String)
        v.text = evalString(node);
    else if (isIntegerKind(node.kind))
        v.integer = evalInteger(node);
    else
        v.real = evalReal(node);
    return v;
}

int compareEvaluated(const EvaluatedOperand& a, ExprNode& b) {
    char digits[kNumberTextSize];
    switch (compareModeFor(a.kind, b.kind)) {
    case CompareMode::Integers:
        return compareIntegers(a.integer, evalInteger(b));
    case CompareMode::Reals:
        return compareReals(isIntegerKind(a.kind) ? static_cast<double>(a.integer) : a.real, evalReal(b));
    case CompareMode::Texts:
        return compareTexts(a.text, evalString(b));
    case CompareMode::TextLeft:
        if (isNumericText(a.text)) return compareReals(textToReal(a.text), evalReal(b));
        return compareTexts(a.text, evalString(b));
    case CompareMode::TextRight: {
        const std::string_view text = evalString(b);
        const double number = isIntegerKind(a.kind) ? static_cast<double>(a.integer) : a.real;
        if (isNumericText(text)) return compareReals(number, textToReal(text));
        const std::size_t length =
            isIntegerKind(a.kind) ? formatInteger(a.integer, digits) : formatReal(a.real, digits);
        return compareTexts({digits, length}, text);
    }
    }
    return 0;
}

std::string_view storeText(ExprNode& n, std::string_view text) {
    n.buffer.assign(text.substr(0, kMaxComputedText));
    return n.buffer;
}

} // namespace docket::runtime
