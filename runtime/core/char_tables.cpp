#include "runtime/core/char_tables.h"

#include <array>

namespace docket::runtime {
namespace {

// The plain letter each accented letter of Windows-1252 sorts after; 0 for bytes that are not
// accented letters.
constexpr unsigned char accentBase(unsigned c) {
    if (c >= 0xC0 && c <= 0xC6) return 'A';
    if (c >= 0xE0 && c <= 0xE6) return 'a';
    if (c == 0xC7) return 'C';
    if (c == 0xE7) return 'c';
    if (c >= 0xC8 && c <= 0xCB) return 'E';
    if (c >= 0xE8 && c <= 0xEB) return 'e';
    if (c >= 0xCC && c <= 0xCF) return 'I';
    if (c >= 0xEC && c <= 0xEF) return 'i';
    if (c == 0xD0) return 'D';
    if (c == 0xF0) return 'd';
    if (c == 0xD1) return 'N';
    if (c == 0xF1) return 'n';
    if ((c >= 0xD2 && c <= 0xD6) || c == 0xD8 || c == 0x8C) return 'O';
    if ((c >= 0xF2 && c <= 0xF6) || c == 0xF8 || c == 0x9C) return 'o';
    if (c >= 0xD9 && c <= 0xDC) return 'U';
    if (c >= 0xF9 && c <= 0xFC) return 'u';
    if (c == 0xDD || c == 0x9F) return 'Y';
    if (c == 0xFD || c == 0xFF) return 'y';
    if (c == 0xDE) return 'T';
    if (c == 0xFE) return 't';
    if (c == 0x8A) return 'S';
    if (c == 0x9A || c == 0xDF) return 's';
    if (c == 0x8E) return 'Z';
    if (c == 0x9E) return 'z';
    return 0;
}

struct Tables {
    std::array<unsigned char, 256> upper{};
    std::array<unsigned char, 256> lower{};
    std::array<std::uint16_t, 256> weight{};
    std::array<bool, 256> letter{};
};

constexpr Tables makeTables() {
    Tables t;
    for (unsigned c = 0; c < 256; ++c) {
        t.upper[c] = static_cast<unsigned char>(c);
        t.lower[c] = static_cast<unsigned char>(c);
    }
    auto pair = [&t](unsigned up, unsigned low) {
        t.upper[low] = static_cast<unsigned char>(up);
        t.lower[up] = static_cast<unsigned char>(low);
    };
    for (unsigned c = 'A'; c <= 'Z'; ++c) pair(c, c + 32);
    for (unsigned c = 0xC0; c <= 0xDE; ++c)
        if (c != 0xD7) pair(c, c + 32);
    pair(0x8A, 0x9A);
    pair(0x8C, 0x9C);
    pair(0x8E, 0x9E);
    pair(0x9F, 0xFF);

    // Accented letters take the slots after their plain letter, in code order; a plain letter
    // has at most seven accented followers, so 32 slots per byte leave room.
    std::array<unsigned, 128> used{};
    for (unsigned c = 0; c < 256; ++c) {
        unsigned char base = accentBase(c);
        if (c < 0x80) {
            t.weight[c] = static_cast<std::uint16_t>(c * 32);
        } else if (base != 0) {
            t.weight[c] = static_cast<std::uint16_t>(base * 32 + ++used[base]);
        } else {
            t.weight[c] = static_cast<std::uint16_t>(128 * 32 + c);
        }
        t.letter[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || base != 0;
    }
    return t;
}

constexpr Tables kTables = makeTables();

template <bool NoCase> int compareTexts(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() > b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char ca = i < a.size() ? static_cast<unsigned char>(a[i]) : ' ';
        unsigned char cb = i < b.size() ? static_cast<unsigned char>(b[i]) : ' ';
        if constexpr (NoCase) {
            ca = kTables.upper[ca];
            cb = kTables.upper[cb];
        }
        if (ca != cb) return kTables.weight[ca] < kTables.weight[cb] ? -1 : 1;
    }
    return 0;
}

} // namespace

unsigned char upperChar(unsigned char c) {
    return kTables.upper[c];
}
unsigned char lowerChar(unsigned char c) {
    return kTables.lower[c];
}
void upperText(const char* in, char* out, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        out[i] = static_cast<char>(kTables.upper[static_cast<unsigned char>(in[i])]);
}
void lowerText(const char* in, char* out, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        out[i] = static_cast<char>(kTables.lower[static_cast<unsigned char>(in[i])]);
}
bool isLetter(unsigned char c) {
    return kTables.letter[c];
}
bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
bool isLetterOrDigit(unsigned char c) {
    return kTables.letter[c] || isDigit(c);
}
std::uint16_t collationWeight(unsigned char c) {
    return kTables.weight[c];
}

int collateCompare(std::string_view a, std::string_view b) {
    return compareTexts<false>(a, b);
}
int collateCompareNoCase(std::string_view a, std::string_view b) {
    return compareTexts<true>(a, b);
}

std::string upperText(std::string_view text) {
    std::string out(text);
    upperText(out.data(), out.data(), out.size());
    return out;
}

} // namespace docket::runtime
