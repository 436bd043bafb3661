#pragma once
// Single-byte code pages for RTF's \'hh bytes: decoding a byte to Unicode and encoding a character
// back, and the code page that goes with a font's RTF character set (\fcharset).
//
// Supported: Windows 1250 (Central European), 1251 (Cyrillic), 1252 (Western), 1253 (Greek), 1254
// (Turkish), 1255 (Hebrew), 1256 (Arabic), 1257 (Baltic), 1258 (Vietnamese), 874 (Thai), the OEM
// pages 437, 850 and 866, and Mac Roman (10000). Bytes a code page leaves undefined decode to the
// control character of the same number, as the platform's conversion does, so every byte keeps an
// identity. Multi-byte pages (932, 936, 949, 950, 65001) are not tables: see isSupported.
#include <cstdint>

namespace docket::rtf {

inline constexpr int kCodePageAnsi = 1252;
inline constexpr int kCodePageUtf8 = 65001;
// The Symbol font's "character set": its bytes are symbols, not letters of a code page.
inline constexpr int kCodePageSymbol = 42;

// True for the single-byte code pages listed above (and kCodePageSymbol).
bool isSupportedCodePage(int codePage);

// The Unicode character of a byte in a supported code page; bytes below 0x80 are ASCII.
// Unsupported code pages decode like 1252.
char32_t decodeByte(int codePage, unsigned char byte);

// The byte for a character in a supported code page, or -1 when the page has no such character.
int encodeChar(int codePage, char32_t ch);

// The code page of an RTF character set number (\fcharsetN): 0 and 1 give ansiCodePage, 2 the
// Symbol page, 204 gives 1251, 238 gives 1250, 161 1253 and so on; unknown sets give ansiCodePage.
int codePageOfCharset(int charset, int ansiCodePage);

// The usual character set of a code page, for a writer's font table (1251 -> 204); 0 for 1252
// and for pages without one.
int charsetOfCodePage(int codePage);

} // namespace docket::rtf
