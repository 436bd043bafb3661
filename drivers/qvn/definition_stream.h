#pragma once
// A table's own definition (fields, memos, keys) as the byte stream kept in its 0xFA entries.
// One routine walks the declaration item by item and either writes the stream, compares it with a
// stored one, or reads a stored one into an empty declaration, so the three can never disagree on
// the layout. Numbers are 16-bit little-endian, flags single bytes, strings zero-terminated.
#include <cstdint>
#include <string>
#include <string_view>

#include "drivers/declaration.h"

namespace docket::drivers::qvn {

inline constexpr std::size_t kDefinitionBlock = 512;
inline constexpr std::uint32_t kMaxMemoSize = 64000;

std::string writeDefinition(const FileDeclaration& declaration);

// True when `stored` describes `declaration`: numbers and bytes equal, strings equal in the
// collating comparison, key flags compared without PRIMARY, a BLOB's size free. A stream that ends
// early or has bytes left over is a difference.
bool definitionMatches(const FileDeclaration& declaration, std::string_view stored);

// Fills the fields, memos and keys of `declaration` (and its record length) from `stored`; the
// memo buffers are not allocated here. False when the stream is damaged.
bool readDefinition(std::string_view stored, FileDeclaration* declaration);

} // namespace docket::drivers::qvn
