#pragma once
// The RTF tokenizer: splits RTF bytes into groups, control words, control symbols, hex bytes,
// binary data and text, one token per call, without copying or allocating. Each call moves
// forward by at least one byte until the end, so a loop over next() ends after at most as many
// tokens as there are bytes.
//
// - A control word's name is its letters (at most 32 are kept; longer names read as the unknown
//   word they are); its parameter is the optional signed number, clamped to the 32-bit range.
//   The space that ends a control word belongs to the word.
// - \'hh gives a HexByte (a bad or missing digit reads as 0 of it); \binN gives Binary with the
//   next N bytes (fewer when the input ends first) and no control word.
// - Text runs up to the next '\\', '{' or '}', without carriage returns and line feeds, which RTF
//   ignores; a "\\\r" or "\\\n" reads as the control word "par", as RTF defines it.
// The views point into the input, which must outlive them.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace docket::rtf {

enum class TokenKind : std::uint8_t {
    End,
    GroupStart,
    GroupEnd,
    ControlWord,
    ControlSymbol,
    HexByte,
    Binary,
    Text
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string_view name; // ControlWord: its letters; ControlSymbol: the one character
    bool hasParameter = false;
    std::int32_t parameter = 0;
    unsigned char byte = 0; // HexByte
    std::string_view data;  // Text and Binary
};

class RtfTokenizer {
public:
    explicit RtfTokenizer(std::string_view input) : input_(input) {}
    Token next();
    std::size_t position() const { return pos_; }

private:
    std::string_view input_;
    std::size_t pos_ = 0;
};

} // namespace docket::rtf
