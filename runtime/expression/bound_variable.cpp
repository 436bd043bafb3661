#include "runtime/expression/bound_variable.h"

#include <cstring>

namespace docket::runtime {

bool isBindable(const BoundVariable& v) {
    if (v.data == nullptr) return false;
    switch (v.type) {
    case TypeCode::Byte:
    case TypeCode::Short:
    case TypeCode::UShort:
    case TypeCode::Long:
    case TypeCode::ULong:
    case TypeCode::Date:
    case TypeCode::Time:
    case TypeCode::SReal:
    case TypeCode::Real:
        return v.size >= fixedWidth(v.type);
    case TypeCode::Decimal:
    case TypeCode::PDecimal:
        return v.size >= 1 && v.size <= 16 && v.places >= 0 && v.places <= 31;
    case TypeCode::String:
    case TypeCode::CString:
        return true;
    case TypeCode::PString:
        return v.size >= 1;
    default:
        return false;
    }
}

ValueKind variableKind(TypeCode type) {
    switch (type) {
    case TypeCode::SReal:
    case TypeCode::Real:
    case TypeCode::Decimal:
    case TypeCode::PDecimal:
        return ValueKind::Real;
    case TypeCode::String:
    case TypeCode::CString:
    case TypeCode::PString:
        return ValueKind::String;
    default:
        return ValueKind::Integer;
    }
}

std::int64_t readIntegerVariable(const BoundVariable& v) {
    const auto* p = static_cast<const std::uint8_t*>(v.data);
    switch (v.type) {
    case TypeCode::Byte:
        return p[0];
    case TypeCode::Short:
        return static_cast<std::int16_t>(readU16(p));
    case TypeCode::UShort:
        return readU16(p);
    case TypeCode::ULong:
        return readU32(p);
    default: // LONG, DATE, TIME
        return static_cast<std::int32_t>(readU32(p));
    }
}

double readRealVariable(const BoundVariable& v) {
    const auto* p = static_cast<const std::uint8_t*>(v.data);
    switch (v.type) {
    case TypeCode::SReal: {
        float f;
        std::memcpy(&f, p, sizeof f);
        return finiteOrZero(f);
    }
    case TypeCode::Real: {
        double d;
        std::memcpy(&d, p, sizeof d);
        return finiteOrZero(d);
    }
    default: // DECIMAL, PDECIMAL
        return static_cast<double>(readDecimal(p, v.size, v.places));
    }
}

std::string_view readTextVariable(const BoundVariable& v) {
    const auto* p = static_cast<const char*>(v.data);
    switch (v.type) {
    case TypeCode::CString: {
        const void* zero = std::memchr(p, 0, v.size);
        return {p, zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - p) : v.size};
    }
    case TypeCode::PString: {
        std::size_t count = static_cast<unsigned char>(p[0]);
        if (count > v.size - 1) count = v.size - 1;
        return {p + 1, count};
    }
    default: // STRING
        return {p, v.size};
    }
}

} // namespace docket::runtime
