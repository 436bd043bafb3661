#pragma once
// Turning field values into key bytes whose plain unsigned byte order is the key's declared order:
// signed numbers by value, reals and decimals with negatives first, strings in the collating order
// of the table's character tables (upper-cased first for NOCASE), descending components reversed.
#include <cstdint>
#include <string>

#include "drivers/declaration.h"
#include "drivers/qvn/internal/char_set_tables.h"

namespace docket::drivers::qvn {

struct KeyContext {
    const CharTables* tables = nullptr;
    bool oem = false; // the table's stored OEM flag selects the OEM collation variant
};

// Appends the component of `field` taken from `record` (exactly the field's size in bytes).
void encodeComponent(const FieldDeclaration& field, const std::uint8_t* record, bool noCase, bool descending,
                     const KeyContext& context, std::string* out);

// The encoded key of `key` over `record` (components concatenated; no record number).
std::string encodeKey(const FileDeclaration& declaration, const KeyDeclaration& key,
                      const std::uint8_t* record, const KeyContext& context);

// The length of the encoded key: the sum of its components' field sizes.
std::size_t keyLength(const FileDeclaration& declaration, const KeyDeclaration& key);

// True when every component of `key` is empty in `record` (OPT keys then hold no entry): STRING
// and GROUP all spaces, CSTRING and PSTRING a zero first byte, everything else all zero bytes.
bool keyIsEmpty(const FileDeclaration& declaration, const KeyDeclaration& key, const std::uint8_t* record);

// 0, or 75 when a component names no field or a field with more than one element.
int checkKeyComponents(const FileDeclaration& declaration, const KeyDeclaration& key);

} // namespace docket::drivers::qvn
