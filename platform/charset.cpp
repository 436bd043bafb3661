#include "platform/charset.h"

#include <array>
#include <cstdint>

namespace docket::platform {
namespace {

using Table = std::array<unsigned char, 256>;

// Code page 437, bytes 0x80 to 0xFF, as Unicode code points.
constexpr char32_t kOemHigh[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0, // F8
};

// Windows-1252, bytes 0x80 to 0x9F; 0xA0 to 0xFF are the same numbers in Unicode. The five bytes
// the code page leaves undefined stand for the control characters of the same number, so that
// every byte survives a trip through UTF-8.
constexpr char32_t kAnsiC1[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98
};

// In code page 437 the control bytes 0x14 and 0x15 also show as the pilcrow and the section
// sign, and OEM text uses them for these characters. They are the only bytes below 0x80 that the
// conversions change; every other byte below 0x80 stays as it is.
constexpr unsigned char kOemPilcrow = 0x14;
constexpr unsigned char kOemSection = 0x15;

constexpr char32_t ansiChar(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) return kAnsiC1[byte - 0x80];
    return byte;
}

constexpr char32_t oemChar(unsigned char byte) {
    if (byte == kOemPilcrow) return 0x00B6;
    if (byte == kOemSection) return 0x00A7;
    if (byte >= 0x80) return kOemHigh[byte - 0x80];
    return byte;
}

struct Substitute {
    char32_t from;
    char32_t to;
};

// Stand-ins for characters that one of the code pages lacks: a look-alike or the letter without
// its accent.
constexpr Substitute kSubstitutes[] = {
    {0x2310, 0x00AC}, {0x2219, 0x00B7}, {0x2022, 0x2219}, {0x2261, '='},  {0x2265, '>'},  {0x2264, '<'},
    {0x2248, '~'},    {0x207F, 'n'},    {0x20A7, 'P'},    {0x201A, ','},  {0x201E, '"'},  {0x201C, '"'},
    {0x201D, '"'},    {0x00A8, '"'},    {0x2018, '\''},   {0x2019, '\''}, {0x00B4, '\''}, {0x2026, '.'},
    {0x2020, '+'},    {0x2021, '+'},    {0x02C6, '^'},    {0x2030, '%'},  {0x2039, '<'},  {0x203A, '>'},
    {0x2013, '-'},    {0x2014, '-'},    {0x00AD, '-'},    {0x00AF, '-'},  {0x02DC, '~'},  {0x2122, 'T'},
    {0x0160, 'S'},    {0x0161, 's'},    {0x0152, 'O'},    {0x0153, 'o'},  {0x017D, 'Z'},  {0x017E, 'z'},
    {0x0178, 'Y'},    {0x00A6, '|'},    {0x00A9, 'c'},    {0x00AE, 'r'},  {0x00B3, '3'},  {0x00B9, '1'},
    {0x00B8, ','},    {0x00C0, 'A'},    {0x00C1, 'A'},    {0x00C2, 'A'},  {0x00C3, 'A'},  {0x00C8, 'E'},
    {0x00CA, 'E'},    {0x00CB, 'E'},    {0x00CC, 'I'},    {0x00CD, 'I'},  {0x00CE, 'I'},  {0x00CF, 'I'},
    {0x00D0, 'D'},    {0x00D2, 'O'},    {0x00D3, 'O'},    {0x00D4, 'O'},  {0x00D5, 'O'},  {0x00D7, 'x'},
    {0x00D8, 'O'},    {0x00D9, 'U'},    {0x00DA, 'U'},    {0x00DB, 'U'},  {0x00DD, 'Y'},  {0x00E3, 'a'},
    {0x00F0, 'd'},    {0x00F5, 'o'},    {0x00F8, 'o'},    {0x00FD, 'y'},
};

// The nearest character for one that a code page lacks; 0 when there is none.
constexpr char32_t nearest(char32_t c) {
    if (c == 0x2500 || c == 0x2550) return '-';
    if (c == 0x2502 || c == 0x2551) return '|';
    if (c > 0x2500 && c < 0x2580) return '+';   // corners, junctions and crossings
    if (c >= 0x2580 && c <= 0x25A0) return '#'; // blocks and shades
    for (const Substitute& substitute : kSubstitutes) {
        if (substitute.from == c) return substitute.to;
    }
    return 0;
}

// The byte whose character in `charOf`'s code page is `c`, or that of its nearest character, or
// '?'. Bytes below 0x80 always stand for themselves.
template <typename CharOf> constexpr unsigned char convert(char32_t c, CharOf charOf) {
    if (c < 0x80) return static_cast<unsigned char>(c);
    for (int attempt = 0; attempt < 2 && c != 0; ++attempt, c = nearest(c)) {
        if (c < 0x80) return static_cast<unsigned char>(c);
        for (int byte = 0; byte < 0x100; ++byte) {
            if (charOf(static_cast<unsigned char>(byte)) == c) return static_cast<unsigned char>(byte);
        }
    }
    return '?';
}

constexpr Table buildAnsiToOem() {
    Table table{};
    for (int byte = 0; byte < 0x100; ++byte) {
        table[byte] = byte < 0x80 ? static_cast<unsigned char>(byte)
                                  : convert(ansiChar(static_cast<unsigned char>(byte)), oemChar);
    }
    return table;
}

constexpr Table buildOemToAnsi() {
    Table table{};
    for (int byte = 0; byte < 0x100; ++byte) {
        table[byte] = convert(oemChar(static_cast<unsigned char>(byte)), ansiChar);
    }
    return table;
}

constexpr Table kAnsiToOem = buildAnsiToOem();
constexpr Table kOemToAnsi = buildOemToAnsi();

static_assert(kOemToAnsi[0] == 0 && kAnsiToOem[0] == 0, "NUL");
static_assert(kAnsiToOem[0xE9] == 0x82 && kOemToAnsi[0x82] == 0xE9, "e acute");
static_assert(kAnsiToOem[0xA7] == kOemSection && kOemToAnsi[kOemSection] == 0xA7, "section sign");
static_assert(kOemToAnsi[0xC4] == '-' && kOemToAnsi[0xB3] == '|' && kOemToAnsi[0xC5] == '+', "lines");

void mapInPlace(char* text, std::size_t length, const Table& table) {
    for (std::size_t i = 0; i < length; ++i) {
        text[i] = static_cast<char>(table[static_cast<unsigned char>(text[i])]);
    }
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        // Every character of the code page lies in the basic plane.
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one character at `i` and advances past it; a malformed sequence yields 0xFFFD and
// advances by one byte, so each bad byte becomes one replacement.
char32_t decodeUtf8(const std::string& text, std::size_t& i) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    std::size_t length;
    char32_t c;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if (lead >= 0xC2 && lead < 0xE0) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead < 0xF5) {
        length = 4;
        c = lead & 0x07;
    } else {
        ++i;
        return 0xFFFD;
    }
    if (text.size() - i < length) {
        ++i;
        return 0xFFFD;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
    if (overlong || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
        ++i;
        return 0xFFFD;
    }
    i += length;
    return c;
}

} // namespace

void ansiToOem(char* text, std::size_t length) {
    mapInPlace(text, length, kAnsiToOem);
}
void oemToAnsi(char* text, std::size_t length) {
    mapInPlace(text, length, kOemToAnsi);
}

std::string ansiToUtf8(const std::string& ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (const char c : ansi) appendUtf8(out, ansiChar(static_cast<unsigned char>(c)));
    return out;
}

std::string utf8ToAnsi(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t c = decodeUtf8(utf8, i);
        char byte = '?';
        if (c < 0x80 || (c >= 0xA0 && c < 0x100)) {
            byte = static_cast<char>(c);
        } else {
            for (int b = 0x80; b < 0xA0; ++b) {
                if (kAnsiC1[b - 0x80] == c) byte = static_cast<char>(b);
            }
        }
        out += byte;
    }
    return out;
}

} // namespace docket::platform
