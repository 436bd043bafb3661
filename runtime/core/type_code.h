#pragma once
// The data type codes of declared fields, their names and widths, and reading and writing typed
// values in a record buffer. Integers are little-endian; DECIMAL is packed decimal with the sign in
// the high nibble of the first byte (non-zero means negative); STRING is blank-padded, CSTRING is
// zero-terminated within its length, PSTRING is a length byte followed by the text.
#include <cstddef>
#include <cstdint>
#include <string>

namespace docket::runtime {

enum class TypeCode : std::uint8_t {
    End = 0,
    Byte = 1,
    Short = 2,
    UShort = 3,
    Date = 4,
    Time = 5,
    Long = 6,
    ULong = 7,
    SReal = 8,
    Real = 9,
    Decimal = 10,
    PDecimal = 11,
    Dum1 = 12,
    BFloat4 = 13,
    BFloat8 = 14,
    Any = 15,
    TempUfo = 16,
    Reserved17 = 17,
    String = 18,
    CString = 19,
    PString = 20,
    Memo = 21,
    Group = 22,
    Class = 23,
    Array = 24,
    Field = 25,
    Queue = 26,
    Blob = 27,
    StackStr = 28,
    Picture = 29,
    StdNum = 30,
};

// "BYTE", "(17)", ...; "UNKNOWN" for codes outside 0..30.
const char* typeName(std::uint8_t code);
inline const char* typeName(TypeCode code) { return typeName(static_cast<std::uint8_t>(code)); }

// The fixed width of a scalar type (BYTE 1, SHORT 2, LONG 4, REAL 8, ...); 0 for types whose width
// is declared (strings, DECIMAL, GROUP) or that have no storage.
std::size_t fixedWidth(TypeCode code);

// Packed decimal of `size` bytes with `places` decimals, to and from a long double. Writing rounds
// half away from zero and keeps the low digits when the value does not fit.
long double readDecimal(const std::uint8_t* data, std::size_t size, int places);
void writeDecimal(std::uint8_t* data, std::size_t size, int places, long double value);
// The decimal text of a packed decimal, with exactly `places` decimals ("-12.50").
std::string decimalText(const std::uint8_t* data, std::size_t size, int places);

// Little-endian integers at any alignment.
std::uint16_t readU16(const std::uint8_t* p);
std::uint32_t readU32(const std::uint8_t* p);
void writeU16(std::uint8_t* p, std::uint16_t v);
void writeU32(std::uint8_t* p, std::uint32_t v);

// The text of a string field as the runtime sees it: STRING whole (trailing blanks kept), CSTRING
// up to its zero, PSTRING its counted bytes (at most size - 1).
std::string readText(TypeCode type, const std::uint8_t* data, std::size_t size);
// Stores text in a string field: cut to fit; STRING blank-padded, CSTRING zero-terminated and
// zero-filled, PSTRING counted and zero-filled.
void writeText(TypeCode type, std::uint8_t* data, std::size_t size, const std::string& text);

} // namespace docket::runtime
