#include "rtf/codec/code_pages.h"

namespace docket::rtf {
namespace {

#include "rtf/codec/code_page_tables.inc"

const char16_t* highHalf(int codePage) {
    for (const auto& page : kPages)
        if (page.codePage == codePage) return page.high;
    return nullptr;
}

// The Symbol font's bullet; its other bytes are read as Windows-1252 (the marker texts of lists,
// the only place it matters, use the bullet).
constexpr unsigned char kSymbolBullet = 0xB7;

} // namespace

bool isSupportedCodePage(int codePage) {
    return codePage == kCodePageSymbol || highHalf(codePage) != nullptr;
}

char32_t decodeByte(int codePage, unsigned char byte) {
    if (byte < 0x80) return byte;
    if (codePage == kCodePageSymbol && byte == kSymbolBullet) return U'\u2022';
    const char16_t* high = highHalf(codePage);
    if (!high) high = kPage1252;
    return high[byte - 0x80];
}

int encodeChar(int codePage, char32_t ch) {
    if (ch < 0x80) return static_cast<int>(ch);
    if (codePage == kCodePageSymbol) return ch == U'\u2022' ? kSymbolBullet : -1;
    if (codePage == kCodePageAnsi && ch >= 0xA0 && ch <= 0xFF) return static_cast<int>(ch);
    const char16_t* high = highHalf(codePage);
    if (!high || ch > 0xFFFF) return -1;
    for (int i = 0; i < 128; ++i)
        if (high[i] == ch) return 0x80 + i;
    return -1;
}

int codePageOfCharset(int charset, int ansiCodePage) {
    switch (charset) {
    case 0:
        return kCodePageAnsi;
    case 2:
        return kCodePageSymbol;
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    case 255:
        return 850;
    default:
        return ansiCodePage;
    }
}

int charsetOfCodePage(int codePage) {
    switch (codePage) {
    case 1250:
        return 238;
    case 1251:
        return 204;
    case 1253:
        return 161;
    case 1254:
        return 162;
    case 1255:
        return 177;
    case 1256:
        return 178;
    case 1257:
        return 186;
    case 1258:
        return 163;
    case 874:
        return 222;
    case 10000:
        return 77;
    case 437:
        return 254;
    case 850:
        return 255;
    case kCodePageSymbol:
        return 2;
    default:
        return 0;
    }
}

} // namespace docket::rtf
