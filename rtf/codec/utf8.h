#pragma once
// UTF-8 helpers of the codec: appending a code point and stepping through text. Malformed bytes
// decode as U+FFFD one byte at a time, so every walk over any bytes ends.
#include <cstddef>
#include <string>
#include <string_view>

namespace docket::rtf {

inline constexpr char32_t kReplacement = 0xFFFD;

// Surrogates and values beyond U+10FFFF become U+FFFD.
inline void appendUtf8(std::string& out, char32_t ch) {
    if ((ch >= 0xD800 && ch <= 0xDFFF) || ch > 0x10FFFF) ch = kReplacement;
    if (ch < 0x80) {
        out.push_back(static_cast<char>(ch));
    } else if (ch < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (ch >> 6)));
        out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
    } else if (ch < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (ch >> 12)));
        out.push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (ch >> 18)));
        out.push_back(static_cast<char>(0x80 | ((ch >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
    }
}

// The code point at text[*pos], moving *pos past it.
inline char32_t nextUtf8(std::string_view text, std::size_t* pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(*pos);
    if (lead < 0x80) {
        ++*pos;
        return lead;
    }
    int length = 0;
    char32_t ch = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, ch = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, ch = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, ch = lead & 0x07, least = 0x10000;
    } else {
        ++*pos;
        return kReplacement;
    }
    if (*pos + length > text.size()) {
        ++*pos;
        return kReplacement;
    }
    for (int i = 1; i < length; ++i) {
        const unsigned char next = byte(*pos + i);
        if ((next & 0xC0) != 0x80) {
            ++*pos;
            return kReplacement;
        }
        ch = (ch << 6) | (next & 0x3F);
    }
    if (ch < least || ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF)) {
        ++*pos;
        return kReplacement;
    }
    *pos += length;
    return ch;
}

} // namespace docket::rtf
