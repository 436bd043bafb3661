#include "runtime/core/type_code.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace docket::runtime {

const char* typeName(std::uint8_t code) {
    static const char* const names[] = {
        "END",     "BYTE",    "SHORT",  "USHORT", "DATE",     "TIME",    "LONG",   "ULONG",
        "SREAL",   "REAL",    "DECIMAL", "PDECIMAL", "DUM1",  "BFLOAT4", "BFLOAT8", "ANY",
        "TEMPUFO", "(17)",    "STRING", "CSTRING", "PSTRING", "MEMO",    "GROUP",  "CLASS",
        "ARRAY",   "FIELD",   "QUEUE",  "BLOB",   "STACKSTR", "PICTURE", "STDNUM",
    };
    return code < std::size(names) ? names[code] : "UNKNOWN";
}

std::size_t fixedWidth(TypeCode code) {
    switch (code) {
    case TypeCode::Byte: return 1;
    case TypeCode::Short:
    case TypeCode::UShort: return 2;
    case TypeCode::Date:
    case TypeCode::Time:
    case TypeCode::Long:
    case TypeCode::ULong:
    case TypeCode::SReal: return 4;
    case TypeCode::Real: return 8;
    default: return 0;
    }
}

// Packed decimal layout: 2 digits per byte, most significant first; the first byte's high nibble
// is the sign, so a field of n bytes holds 2n - 1 digits, the last `places` of them decimals.
long double readDecimal(const std::uint8_t* data, std::size_t size, int places) {
    if (size == 0) return 0;
    long double value = data[0] & 0x0F;
    for (std::size_t i = 1; i < size; ++i)
        value = value * 100 + (data[i] >> 4) * 10 + (data[i] & 0x0F);
    value /= std::pow(10.0L, places);
    return (data[0] >> 4) ? -value : value;
}

void writeDecimal(std::uint8_t* data, std::size_t size, int places, long double value) {
    if (size == 0) return;
    bool negative = value < 0;
    long double scaled = std::round(std::fabs(value) * std::pow(10.0L, places));
    std::memset(data, 0, size);
    // Digits from the least significant end; fmod keeps the low digits of an oversized value.
    for (std::size_t digit = 0; digit < 2 * size - 1; ++digit) {
        int d = static_cast<int>(std::fmod(scaled, 10.0L));
        scaled = std::floor(scaled / 10);
        std::size_t byte = size - 1 - digit / 2;
        data[byte] |= static_cast<std::uint8_t>(digit % 2 == 0 ? d : d << 4);
    }
    bool zero = true;
    for (std::size_t i = 0; i < size; ++i) zero = zero && data[i] == 0;
    if (negative && !zero) data[0] |= 0xD0;
}

std::string decimalText(const std::uint8_t* data, std::size_t size, int places) {
    std::string digits;
    if (size > 0) {
        digits += static_cast<char>('0' + (data[0] & 0x0F));
        for (std::size_t i = 1; i < size; ++i) {
            digits += static_cast<char>('0' + (data[i] >> 4));
            digits += static_cast<char>('0' + (data[i] & 0x0F));
        }
    }
    if (places < 0) places = 0;
    while (digits.size() < static_cast<std::size_t>(places) + 1) digits.insert(digits.begin(), '0');
    std::string integer = digits.substr(0, digits.size() - places);
    std::size_t firstNonZero = integer.find_first_not_of('0');
    integer = firstNonZero == std::string::npos ? "0" : integer.substr(firstNonZero);
    std::string text = integer;
    if (places > 0) text += "." + digits.substr(digits.size() - places);
    bool zero = digits.find_first_not_of('0') == std::string::npos;
    if (size > 0 && (data[0] >> 4) && !zero) text.insert(text.begin(), '-');
    return text;
}

std::uint16_t readU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::uint32_t readU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void writeU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void writeU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::string readText(TypeCode type, const std::uint8_t* data, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    switch (type) {
    case TypeCode::CString: return std::string(text, strnlen(text, size));
    case TypeCode::PString: {
        if (size == 0) return {};
        std::size_t length = std::min<std::size_t>(data[0], size - 1);
        return std::string(text + 1, length);
    }
    default: return std::string(text, size);
    }
}

void writeText(TypeCode type, std::uint8_t* data, std::size_t size, const std::string& text) {
    if (size == 0) return;
    switch (type) {
    case TypeCode::CString: {
        std::size_t length = std::min(text.size(), size - 1);
        std::memset(data, 0, size);
        std::memcpy(data, text.data(), length);
        break;
    }
    case TypeCode::PString: {
        std::size_t length = std::min({text.size(), size - 1, std::size_t{255}});
        std::memset(data, 0, size);
        data[0] = static_cast<std::uint8_t>(length);
        std::memcpy(data + 1, text.data(), length);
        break;
    }
    default: {
        std::size_t length = std::min(text.size(), size);
        std::memcpy(data, text.data(), length);
        std::memset(data + length, ' ', size - length);
    }
    }
}

} // namespace docket::runtime
