#pragma once
// Character-set conversions. The runtime works in Windows-1252 bytes; files with the OEM attribute
// store text in code page 437; the window system speaks UTF-8.
#include <cstddef>
#include <string>

namespace docket::platform {

// In place, byte for byte; characters without a counterpart become the nearest one or '?'.
void ansiToOem(char* text, std::size_t length);
void oemToAnsi(char* text, std::size_t length);

std::string ansiToUtf8(const std::string& ansi);
// Characters that Windows-1252 cannot hold become '?'.
std::string utf8ToAnsi(const std::string& utf8);

} // namespace docket::platform
