#pragma once
// A program variable made visible to expressions: a typed field somewhere in memory (a record
// buffer, a memo buffer, a local), read in place every time an expression asks for its value.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/core/type_code.h"
#include "runtime/core/value.h"

namespace docket::runtime {

struct BoundVariable {
    TypeCode type = TypeCode::Long;
    void* data = nullptr;
    std::size_t size = 0; // bytes of storage; the declared length of strings and DECIMALs
    int places = 0;       // DECIMAL/PDECIMAL: digits after the point
};

// True for the types expressions can read: BYTE, SHORT, USHORT, LONG, ULONG, DATE, TIME, SREAL,
// REAL, DECIMAL, PDECIMAL, STRING, CSTRING and PSTRING (memo buffers are bound as STRING), with
// storage present and wide enough for the type.
bool isBindable(const BoundVariable& variable);

// The value kind expressions see: integer for the integer, DATE and TIME types, real for SREAL,
// REAL and the decimals, string for the string types.
ValueKind variableKind(TypeCode type);

// The current value, read in place. Only the reader matching variableKind() may be called.
std::int64_t readIntegerVariable(const BoundVariable& variable);
double readRealVariable(const BoundVariable& variable);
// STRING whole with its trailing blanks, CSTRING up to its zero (or its full size), PSTRING its
// counted bytes (at most size - 1). The view points into the variable's storage.
std::string_view readTextVariable(const BoundVariable& variable);

// Convenience constructors.
inline BoundVariable bindLong(std::int32_t* value) {
    return {TypeCode::Long, value, 4, 0};
}
inline BoundVariable bindReal(double* value) {
    return {TypeCode::Real, value, 8, 0};
}
inline BoundVariable bindString(char* data, std::size_t size) {
    return {TypeCode::String, data, size, 0};
}
inline BoundVariable bindCString(char* data, std::size_t size) {
    return {TypeCode::CString, data, size, 0};
}

} // namespace docket::runtime
