#include "runtime/expression/internal/expr_scanner.h"

#include <charconv>
#include <climits>
#include <cstring>

#include "runtime/core/char_tables.h"

namespace docket::runtime {
namespace {

bool isAsciiLetter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isNameStart(unsigned char c) {
    return isLetter(c) || c == '_';
}
bool isNameChar(unsigned char c) {
    return isLetterOrDigit(c) || c == '_' || c == ':';
}

int digitValue(unsigned char c) {
    if (isDigit(c)) return c - '0';
    const unsigned char u = upperChar(c);
    return u >= 'A' && u <= 'Z' ? u - 'A' + 10 : 99;
}

constexpr char kSymbols[] = "()[]^*/%+-&=<>~,:";

} // namespace

Token ExprScanner::error() const {
    Token t;
    t.type = TokenType::Error;
    t.position = pos_;
    return t;
}

Token ExprScanner::next() {
    while (pos_ < text_.size() && isBlank(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    if (pos_ >= text_.size()) {
        Token t;
        t.position = pos_;
        return t;
    }
    const auto c = static_cast<unsigned char>(text_[pos_]);
    if (isNameStart(c)) return scanName(pos_);
    if (c == '?' && pos_ + 1 < text_.size() && isLetter(static_cast<unsigned char>(text_[pos_ + 1])))
        return scanName(pos_ + 1);
    if (isDigit(c) || c == '.') return scanNumber();
    if (c == '\'') return scanString();
    if (c == '@') return scanPicture();
    if (c != 0 && std::strchr(kSymbols, c) != nullptr) {
        Token t;
        t.type = TokenType::Symbol;
        t.symbol = static_cast<char>(c);
        t.position = pos_++;
        return t;
    }
    return error();
}

// A name: letters, digits, "_" and ":", then one optional "#", "$" or '"'; cut to 99 characters
// and looked up at once. `from` is where the name characters begin (after a leading "?").
Token ExprScanner::scanName(std::size_t from) {
    Token t;
    t.type = TokenType::Name;
    t.position = pos_;
    std::size_t i = from;
    while (i < text_.size() && isNameChar(static_cast<unsigned char>(text_[i]))) ++i;
    if (i < text_.size() && (text_[i] == '#' || text_[i] == '$' || text_[i] == '"')) ++i;
    const std::string_view whole = text_.substr(pos_, i - pos_);
    t.text.assign(whole.substr(0, kMaxNameLength));
    t.entry = lookupName(t.text);
    pos_ = i;
    return t;
}

// Numbers. Leading zeros are skipped, then letters and digits are taken together: a final "H",
// "O" or "B" makes the digits before it hexadecimal, octal or binary when they all fit the base;
// any other letter is an error. A short enough number whose value fits a LONG is an integer
// constant; a longer one is a real, accumulated digit by digit. A "." continues a decimal number
// as a real, whose digits are read exactly (the nearest double).
Token ExprScanner::scanNumber() {
    Token t;
    t.position = pos_;
    std::size_t i = pos_;
    while (i < text_.size() && text_[i] == '0') ++i;
    const bool hadZeros = i > pos_;
    const std::size_t runStart = i;
    bool hasLetter = false;
    while (i < text_.size() && (isDigit(static_cast<unsigned char>(text_[i])) ||
                                isAsciiLetter(static_cast<unsigned char>(text_[i])))) {
        hasLetter = hasLetter || !isDigit(static_cast<unsigned char>(text_[i]));
        ++i;
    }
    std::string_view digits = text_.substr(runStart, i - runStart);
    int base = 10;
    if (hasLetter) {
        const unsigned char suffix = upperChar(static_cast<unsigned char>(digits.back()));
        base = suffix == 'H' ? 16 : suffix == 'O' ? 8 : suffix == 'B' ? 2 : 0;
        if (base == 0) return error();
        digits.remove_suffix(1);
        for (char d : digits)
            if (digitValue(static_cast<unsigned char>(d)) >= base) return error();
    }

    if (base == 10 && i < text_.size() && text_[i] == '.') {
        ++i;
        const std::size_t fractionStart = i;
        while (i < text_.size() && isDigit(static_cast<unsigned char>(text_[i]))) ++i;
        if (digits.empty() && !hadZeros && i == fractionStart) return error(); // a lone "."
        if (i < text_.size() && (isAsciiLetter(static_cast<unsigned char>(text_[i])) || text_[i] == '.'))
            return error();
        std::string number(digits.empty() ? std::string_view("0") : digits);
        number += '.';
        number.append(text_.substr(fractionStart, i - fractionStart));
        number += '0';
        t.type = TokenType::Real;
        std::from_chars(number.data(), number.data() + number.size(), t.real);
        t.real = finiteOrZero(t.real);
        pos_ = i;
        return t;
    }

    std::size_t maxDigits = 10;
    switch (base) {
    case 2:
        maxDigits = 31;
        break;
    case 8:
        maxDigits = digits.size() == 11 && digits[0] >= '4' ? 10 : 11;
        break;
    case 16:
        maxDigits = 8;
        break;
    default:
        maxDigits = digits.size() == 10 && digits[0] >= '3' ? 9 : 10;
        break;
    }
    if (digits.size() <= maxDigits) {
        std::uint64_t value = 0;
        for (char d : digits)
            value = value * static_cast<unsigned>(base) +
                    static_cast<unsigned>(digitValue(static_cast<unsigned char>(d)));
        if (value <= static_cast<std::uint64_t>(INT32_MAX)) {
            t.type = TokenType::Integer;
            t.integer = static_cast<std::int32_t>(value);
            pos_ = i;
            return t;
        }
    }
    double value = 0.0;
    for (char d : digits) value = value * base + digitValue(static_cast<unsigned char>(d));
    t.type = TokenType::Real;
    t.real = finiteOrZero(value);
    pos_ = i;
    return t;
}

Token ExprScanner::scanString() {
    Token t;
    t.type = TokenType::String;
    t.position = pos_;
    std::size_t i = pos_ + 1;
    for (;;) {
        if (i >= text_.size()) return error();
        if (text_[i] == '\'') {
            if (i + 1 < text_.size() && text_[i + 1] == '\'') {
                t.text += '\'';
                i += 2;
                continue;
            }
            break;
        }
        t.text += text_[i++];
    }
    pos_ = i + 1;
    return t;
}

// A picture constant: "@", its letter, then characters up to a blank, "," or ")", or a "B"/"b"
// that is taken with it. A P or K picture also ends at (and takes) the next same letter; inside an
// N picture a "~" text and parentheses opened within do not end it.
Token ExprScanner::scanPicture() {
    Token t;
    t.type = TokenType::Picture;
    t.position = pos_;
    if (pos_ + 1 >= text_.size()) return error();
    const char letter = text_[pos_ + 1];
    if (letter == ' ' || letter == ',' || letter == ')') return error();
    const unsigned char kind = upperChar(static_cast<unsigned char>(letter));
    std::size_t i = pos_ + 2;
    bool inTilde = false;
    int parens = 0;
    while (i < text_.size()) {
        const char c = text_[i];
        if (kind == 'N') {
            if (c == '~') {
                inTilde = !inTilde;
                ++i;
                continue;
            }
            if (inTilde) {
                ++i;
                continue;
            }
            if (c == '(' || (c == ')' && parens > 0)) {
                parens += c == '(' ? 1 : -1;
                ++i;
                continue;
            }
        }
        if (c == ' ' || c == ',' || c == ')') break;
        ++i;
        if (c == 'B' || c == 'b') break;
        if ((kind == 'P' || kind == 'K') && c == letter) break;
    }
    t.text.assign(text_.substr(pos_, i - pos_));
    pos_ = i;
    return t;
}

std::optional<std::string> ExprScanner::rawParenthesized() {
    const std::size_t start = pos_;
    int depth = 1;
    char quote = 0;
    for (std::size_t i = pos_; i < text_.size(); ++i) {
        const char c = text_[i];
        if (quote != 0) {
            if (c == quote) quote = 0; // a doubled quote closes and reopens: same effect
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            pos_ = i + 1;
            return std::string(text_.substr(start, i - start));
        }
    }
    return std::nullopt;
}

Token ExprScanner::scanNumberText(std::string_view text) {
    ExprScanner scanner(text);
    return scanner.scanNumber();
}

} // namespace docket::runtime
