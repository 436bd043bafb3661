#pragma once
// Character tables of the runtime's Windows-1252 text: case maps, character classes and the
// collating order. Expressions use them for UPPER/LOWER, names and string comparison; the drivers
// use them for case-insensitive (NOCASE) keys.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace docket::runtime {

// Case maps. Letters of Windows-1252 map to their other case (a-z, the accented letters of
// 0xE0-0xFE except the division sign 0xF7, and the pairs 0x8A/0x9A, 0x8C/0x9C, 0x8E/0x9E,
// 0x9F/0xFF); every other byte maps to itself. "ß" (0xDF) and "µ" (0xB5) have no upper-case
// counterpart in the code page and stay as they are.
unsigned char upperChar(unsigned char c);
unsigned char lowerChar(unsigned char c);
// Maps `length` bytes of `in` to `out` (which may be `in`) in one pass.
void upperText(const char* in, char* out, std::size_t length);
void lowerText(const char* in, char* out, std::size_t length);
// The upper-case form of a whole text (names of drivers, options, keys and columns).
std::string upperText(std::string_view text);

// Character classes. Letters are the ASCII letters and the Windows-1252 letters above 0x7F
// (accented letters, ß, Š, Œ, Ž and their small forms); digits are ASCII "0"-"9" only.
bool isLetter(unsigned char c);
bool isDigit(unsigned char c);
bool isLetterOrDigit(unsigned char c);
// Blank is the space character only: it pads STRING fields and is what comparisons ignore.
inline bool isBlank(unsigned char c) {
    return c == ' ';
}

// The collating order. Bytes below 0x80 keep their code order (so plain ASCII text compares as
// bytes do, upper case before lower case); an accented letter sorts directly after its plain
// letter of the same case ("E" < "É" < "Ê" < "F", "e" < "é" < "f"); every other byte from 0x80
// up sorts after all ASCII in code order. Distinct bytes always have distinct weights.
std::uint16_t collationWeight(unsigned char c);

// Compares two texts in the collating order, the shorter one taken as padded with blanks, so
// trailing blanks never matter ("AB" equals "AB  "). Returns <0, 0 or >0.
int collateCompare(std::string_view a, std::string_view b);
// The same after mapping both texts to upper case (case-insensitive keys and names).
int collateCompareNoCase(std::string_view a, std::string_view b);

} // namespace docket::runtime
