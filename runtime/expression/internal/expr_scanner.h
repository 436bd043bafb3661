#pragma once
// The scanner of expression texts. It skips blanks before each token and reads names (looked up
// in the binding table at once), numbers, quoted strings, picture constants, brackets and the
// operator characters.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/expression/binding_scopes.h"

namespace docket::runtime {

enum class TokenType : std::uint8_t {
    End,
    Error,
    Name,    // text: the name (cut to 99 characters); entry: its binding, when it has one
    Integer, // integer
    Real,    // real
    String,  // text: the characters between the quotes, doubled quotes made single
    Picture, // text: the picture constant with its "@"
    Symbol,  // symbol: one of ( ) [ ] ^ * / % + - & = < > ~ , :
};

struct Token {
    TokenType type = TokenType::End;
    char symbol = 0;
    std::int32_t integer = 0;
    double real = 0.0;
    std::string text;
    std::optional<BindingEntry> entry;
    std::size_t position = 0; // offset of the token in the text
};

inline constexpr std::size_t kMaxNameLength = 99;

class ExprScanner {
public:
    explicit ExprScanner(std::string_view text) : text_(text) {}

    Token next();
    // For SQL terms: the raw text after an opening parenthesis (already read) up to its matching
    // closing parenthesis, which is consumed; quotes and nested parentheses are respected.
    // Nothing when the text ends first.
    std::optional<std::string> rawParenthesized();

    // Number scanning on its own (tests): the token for the number at the start of `text`.
    static Token scanNumberText(std::string_view text);

private:
    Token scanNumber();
    Token scanName(std::size_t start);
    Token scanString();
    Token scanPicture();
    Token error() const;

    std::string_view text_;
    std::size_t pos_ = 0;
};

} // namespace docket::runtime
