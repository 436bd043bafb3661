#include "rtf/codec/rtf_tokenizer.h"

#include <algorithm>

namespace docket::rtf {
namespace {

constexpr std::size_t kMaxWordLength = 32;
constexpr std::int64_t kParameterMax = 2147483647;
constexpr std::int64_t kParameterMin = -2147483647 - 1;

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

Token RtfTokenizer::next() {
    Token token;
    const std::size_t size = input_.size();
    // Line ends between tokens are nothing.
    while (pos_ < size && (input_[pos_] == '\r' || input_[pos_] == '\n')) ++pos_;
    if (pos_ >= size) return token;
    const char c = input_[pos_];
    if (c == '{') {
        ++pos_;
        token.kind = TokenKind::GroupStart;
        return token;
    }
    if (c == '}') {
        ++pos_;
        token.kind = TokenKind::GroupEnd;
        return token;
    }
    if (c != '\\') {
        const std::size_t start = pos_;
        while (pos_ < size && input_[pos_] != '\\' && input_[pos_] != '{' && input_[pos_] != '}' &&
               input_[pos_] != '\r' && input_[pos_] != '\n')
            ++pos_;
        token.kind = TokenKind::Text;
        token.data = input_.substr(start, pos_ - start);
        return token;
    }
    ++pos_; // the backslash
    if (pos_ >= size) {
        token.kind = TokenKind::ControlSymbol;
        token.name = "\\";
        return token;
    }
    const char d = input_[pos_];
    if (!isLetter(d)) {
        ++pos_;
        if (d == '\r' || d == '\n') {
            token.kind = TokenKind::ControlWord;
            token.name = "par";
            return token;
        }
        if (d == '\'') {
            int value = 0;
            for (int i = 0; i < 2 && pos_ < size; ++i) {
                const int digit = hexValue(input_[pos_]);
                if (digit < 0) break;
                value = value * 16 + digit;
                ++pos_;
            }
            token.kind = TokenKind::HexByte;
            token.byte = static_cast<unsigned char>(value);
            return token;
        }
        token.kind = TokenKind::ControlSymbol;
        token.name = input_.substr(pos_ - 1, 1);
        return token;
    }
    const std::size_t start = pos_;
    while (pos_ < size && isLetter(input_[pos_])) ++pos_;
    token.kind = TokenKind::ControlWord;
    token.name = input_.substr(start, pos_ - start);
    if (token.name.size() > kMaxWordLength) token.name = token.name.substr(0, kMaxWordLength);
    bool negative = false;
    if (pos_ < size && input_[pos_] == '-' && pos_ + 1 < size && isDigit(input_[pos_ + 1])) {
        negative = true;
        ++pos_;
    }
    if (pos_ < size && isDigit(input_[pos_])) {
        std::int64_t value = 0;
        while (pos_ < size && isDigit(input_[pos_])) {
            if (value <= kParameterMax) value = value * 10 + (input_[pos_] - '0');
            ++pos_;
        }
        if (negative) value = -value;
        if (value > kParameterMax) value = kParameterMax;
        if (value < kParameterMin) value = kParameterMin;
        token.hasParameter = true;
        token.parameter = static_cast<std::int32_t>(value);
    }
    if (pos_ < size && input_[pos_] == ' ') ++pos_;
    if (token.name == "bin" && token.hasParameter) {
        const std::size_t length =
            token.parameter <= 0
                ? 0
                : std::min<std::size_t>(static_cast<std::size_t>(token.parameter), size - pos_);
        token.kind = TokenKind::Binary;
        token.data = input_.substr(pos_, length);
        pos_ += length;
    }
    return token;
}

} // namespace docket::rtf
