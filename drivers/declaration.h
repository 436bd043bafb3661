#pragma once
// How a declared table is described to a driver: the file, its record's fields (flattened in
// declaration order, GROUPs included), its memos and its keys.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runtime/core/type_code.h"

namespace docket::drivers {

using runtime::TypeCode;

namespace file_flag {
inline constexpr std::uint8_t kEncrypt = 0x01;
inline constexpr std::uint8_t kCreate = 0x02;
inline constexpr std::uint8_t kReclaim = 0x04;
inline constexpr std::uint8_t kThread = 0x08;
inline constexpr std::uint8_t kOem = 0x10; // text is stored in the OEM character set
} // namespace file_flag

namespace memo_flag {
inline constexpr std::uint8_t kBinary = 0x02; // no character-set conversion
inline constexpr std::uint8_t kBlob = 0x04;   // variable length, no declared maximum
} // namespace memo_flag

namespace key_flag {
inline constexpr std::uint16_t kDup = 0x0001;
inline constexpr std::uint16_t kOpt = 0x0002; // entries whose components are all empty are left out
inline constexpr std::uint16_t kNoCase = 0x0004;
inline constexpr std::uint16_t kCarried = 0x0008; // carried into the driver's key block as is
inline constexpr std::uint16_t kPrimary = 0x0010;
inline constexpr std::uint16_t kIndex = 0x4000; // not kept up to date; built on demand
} // namespace key_flag

struct FieldDeclaration {
    TypeCode type = TypeCode::End;
    std::uint32_t offset = 0;              // in the record buffer
    std::uint32_t size = 0;                // total bytes, all elements
    std::uint32_t elements = 1;            // product of the DIM dimensions; 1 for a scalar
    std::vector<std::uint32_t> dimensions; // empty for a scalar
    std::string label;
    std::optional<std::string> name; // external NAME
    std::optional<std::string> over; // OVER target
    std::uint32_t elementLength = 0; // strings: the length of one element
    std::string picture;             // strings: the picture, without "@"; empty for none
    std::uint8_t digits = 0;         // DECIMAL, PDECIMAL
    std::uint8_t places = 0;

    std::uint32_t elementSize() const { return elements ? size / elements : size; }
};

struct MemoDeclaration {
    std::optional<std::string> name; // external NAME
    std::string label;
    std::uint8_t flags = 0;
    std::uint32_t size = 0; // declared size of a MEMO(n); 0 for a BLOB
    // The memo's buffer: `size` bytes for a MEMO; a BLOB's bytes live in `blob`.
    std::uint8_t* buffer = nullptr;
    std::vector<std::uint8_t>* blob = nullptr;

    bool isBlob() const { return flags & memo_flag::kBlob; }
    bool isBinary() const { return flags & memo_flag::kBinary; }
};

struct KeyDeclaration {
    std::optional<std::string> name; // external NAME
    std::string label;
    std::uint16_t flags = 0;
    // +k field k ascending, -k descending; k counts from 1 in the flattened field list. Empty for
    // an index whose components are supplied when it is built.
    std::vector<std::int32_t> components;

    bool isIndex() const { return flags & key_flag::kIndex; }
};

struct FileDeclaration {
    std::string label;
    std::string driver;                       // the driver's name as declared, e.g. "QUORVANE"
    std::optional<std::string> name;          // external NAME
    std::optional<std::string> owner;         // OWNER password
    std::optional<std::string> driverOptions; // second argument of DRIVER
    std::uint8_t flags = 0;
    std::uint32_t recordLength = 0;
    std::uint8_t* record = nullptr; // the record buffer, recordLength bytes
    std::vector<FieldDeclaration> fields;
    std::vector<MemoDeclaration> memos;
    std::vector<KeyDeclaration> keys;

    bool has(std::uint8_t flag) const { return flags & flag; }
    // Appends a scalar field after the last one, growing recordLength by `size`: a string is one
    // element of `size` bytes, a DECIMAL holds the digits its bytes can. The caller provides the
    // record buffer. Returns the field's 1-based number.
    int appendField(std::string fieldLabel, TypeCode type, std::uint32_t size, std::uint8_t places = 0);
    // The 1-based number of a key of this file, 0 when it is not one of them.
    int keyNumber(const KeyDeclaration* key) const;
};

} // namespace docket::drivers
