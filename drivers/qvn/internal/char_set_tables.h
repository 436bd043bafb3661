#pragma once
// The character tables a table's keys are built with: stored whole in the table's collation entry
// at CREATE and read back at OPEN, so a table's key order never depends on the settings of the
// program that opens it later.
//
// Layout of the 1152 bytes (our choice, stored and restored whole):
//   [0, 256)     upper-case map (NOCASE)
//   [256, 512)   lower-case map
//   [512, 768)   character classes: 0x01 letter, 0x02 digit, 0x04 blank
//   [768, 1024)  collation rank of each byte (a permutation: byte order of ranks = collating order)
//   [1024, 1152) collation ranks of bytes 0x80..0xFF used for files with the OEM attribute. Key
//                bytes are always taken from the program's Windows-1252 buffer (before the
//                record's OEM conversion), so this variant holds the same ranks as the main table:
//                an OEM table's keys sort exactly like those of any other table.
#include <array>
#include <cstdint>
#include <string_view>

namespace docket::drivers::qvn {

inline constexpr std::size_t kCharTablesSize = 1152;
inline constexpr std::size_t kCollationEntrySize = 1 + kCharTablesSize;

struct CharTables {
    std::array<std::uint8_t, kCharTablesSize> bytes{};

    // The runtime's current tables.
    static CharTables current();
    // From a stored collation entry's data part (OEM flag byte first); false when it is not one.
    static bool fromEntry(std::string_view data, CharTables* tables, bool* oem);
    std::string toEntry(bool oem) const;

    std::uint8_t upper(std::uint8_t c) const { return bytes[c]; }
    std::uint8_t rank(std::uint8_t c, bool oem) const {
        return oem && c >= 0x80 ? bytes[1024 + (c - 0x80)] : bytes[768 + c];
    }
};

} // namespace docket::drivers::qvn
