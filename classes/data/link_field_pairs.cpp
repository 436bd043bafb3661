#include "classes/data/link_field_pairs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "runtime/core/type_code.h"
#include "runtime/core/value.h"
#include "files/record_fields.h"

namespace docket::classes {

using runtime::TypeCode;
using runtime::ValueKind;

namespace {

bool isText(TypeCode type) {
    return type == TypeCode::String || type == TypeCode::CString || type == TypeCode::PString;
}

bool isNumber(TypeCode type) {
    return runtime::isIntegerField(type) || type == TypeCode::SReal || type == TypeCode::Real ||
           type == TypeCode::Decimal || type == TypeCode::PDecimal;
}

bool isScalar(const BoundVariable& v) {
    return v.data && (isText(v.type) || isNumber(v.type));
}

// A variable as a one-field record, for the runtime's record helpers.
drivers::FieldDeclaration asField(const BoundVariable& v) {
    drivers::FieldDeclaration f;
    f.type = v.type;
    f.offset = 0;
    f.size = static_cast<std::uint32_t>(v.size);
    f.elementLength = f.size;
    f.places = static_cast<std::uint8_t>(v.places);
    return f;
}

std::string textOf(const BoundVariable& v) {
    if (isText(v.type)) return std::string(runtime::readTextVariable(v));
    char buffer[64];
    std::size_t n = 0;
    if (runtime::isIntegerField(v.type))
        n = runtime::formatInteger(runtime::readIntegerVariable(v), buffer);
    else if (v.type == TypeCode::Decimal || v.type == TypeCode::PDecimal)
        return runtime::decimalText(static_cast<const std::uint8_t*>(v.data), v.size, v.places);
    else
        n = runtime::formatReal(runtime::readRealVariable(v), buffer);
    return std::string(buffer, n);
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    return s;
}

void writeInteger(const BoundVariable& v, std::int64_t value) {
    const drivers::FieldDeclaration f = asField(v);
    auto* data = static_cast<std::uint8_t*>(v.data);
    if (!runtime::storeInteger(f, data, value)) runtime::storeInteger(f, data, 0);
}

} // namespace

BoundVariable FieldRef::bind() const {
    if (!file) return variable;
    if (field < 1 || static_cast<std::size_t>(field) > file->fields.size() || !file->record) return {};
    return runtime::fieldVariable(*file, field);
}

double readNumber(const BoundVariable& v) {
    if (!v.data) return 0;
    if (runtime::isIntegerField(v.type)) return static_cast<double>(runtime::readIntegerVariable(v));
    if (isNumber(v.type)) return runtime::readRealVariable(v);
    if (isText(v.type)) return runtime::textToReal(runtime::readTextVariable(v));
    return 0;
}

void writeNumber(const BoundVariable& v, double value) {
    if (!v.data) return;
    auto* data = static_cast<std::uint8_t*>(v.data);
    value = runtime::finiteOrZero(value);
    switch (v.type) {
    case TypeCode::SReal: {
        const float f = static_cast<float>(value);
        std::memcpy(data, &f, sizeof f);
        return;
    }
    case TypeCode::Real:
        std::memcpy(data, &value, sizeof value);
        return;
    case TypeCode::Decimal:
    case TypeCode::PDecimal:
        runtime::writeDecimal(data, v.size, v.places, value);
        return;
    default:
        break;
    }
    if (runtime::isIntegerField(v.type)) {
        writeInteger(v, runtime::realToInteger(value));
    } else if (isText(v.type)) {
        char buffer[64];
        const std::size_t n = runtime::formatReal(value, buffer);
        runtime::writeText(v.type, data, v.size, std::string(buffer, n));
    }
}

void assignValue(const BoundVariable& to, const BoundVariable& from) {
    if (!to.data || !from.data) return;
    if (to.type == from.type && to.size == from.size && to.places == from.places) {
        std::memmove(to.data, from.data, to.size);
        return;
    }
    if (!isScalar(to) || !isScalar(from)) {
        if (to.size == from.size) std::memmove(to.data, from.data, to.size);
        return;
    }
    const drivers::FieldDeclaration fromField = asField(from), toField = asField(to);
    if (runtime::canCopyField(fromField, toField)) {
        runtime::copyField(fromField, static_cast<const std::uint8_t*>(from.data), toField,
                           static_cast<std::uint8_t*>(to.data));
    } else if (isText(to.type)) {
        runtime::writeText(to.type, static_cast<std::uint8_t*>(to.data), to.size, textOf(from));
    } else if (runtime::isIntegerField(to.type) && runtime::isIntegerField(from.type)) {
        writeInteger(to, runtime::readIntegerVariable(from));
    } else {
        writeNumber(to, readNumber(from));
    }
}

bool sameValue(const BoundVariable& a, const BoundVariable& b) {
    if (!a.data || !b.data) return a.data == b.data;
    if (!isScalar(a) || !isScalar(b)) return a.size == b.size && std::memcmp(a.data, b.data, a.size) == 0;
    if (isText(a.type) && isText(b.type))
        return trimmed(runtime::readTextVariable(a)) == trimmed(runtime::readTextVariable(b));
    if (isText(a.type) || isText(b.type)) return trimmed(textOf(a)) == trimmed(textOf(b));
    if (runtime::isIntegerField(a.type) && runtime::isIntegerField(b.type))
        return runtime::readIntegerVariable(a) == runtime::readIntegerVariable(b);
    return readNumber(a) == readNumber(b);
}

void clearValue(const BoundVariable& v) {
    if (!v.data) return;
    std::memset(v.data, v.type == TypeCode::String ? ' ' : 0, v.size);
}

void setExtremeValue(const BoundVariable& v, bool high) {
    if (!v.data) return;
    auto* data = static_cast<std::uint8_t*>(v.data);
    switch (v.type) {
    case TypeCode::Byte:
    case TypeCode::UShort:
    case TypeCode::ULong:
    case TypeCode::Date:
    case TypeCode::Time:
        // Unsigned in key order (DATE and TIME keys are their bytes big-endian).
        std::memset(data, high ? 0xFF : 0, v.size);
        return;
    case TypeCode::Short:
        writeInteger(v, high ? std::numeric_limits<std::int16_t>::max()
                             : std::numeric_limits<std::int16_t>::min());
        return;
    case TypeCode::Long:
        writeInteger(v, high ? std::numeric_limits<std::int32_t>::max()
                             : std::numeric_limits<std::int32_t>::min());
        return;
    case TypeCode::SReal:
        writeNumber(v, high ? std::numeric_limits<float>::max() : std::numeric_limits<float>::lowest());
        return;
    case TypeCode::Real:
        writeNumber(v, high ? std::numeric_limits<double>::max() : std::numeric_limits<double>::lowest());
        return;
    case TypeCode::Decimal:
    case TypeCode::PDecimal: {
        // Every digit 9: the largest magnitude the field holds.
        const int digits = static_cast<int>(v.size) * 2 - 1;
        const long double largest = (std::pow(10.0L, digits) - 1) / std::pow(10.0L, v.places);
        runtime::writeDecimal(data, v.size, v.places, high ? largest : -largest);
        return;
    }
    case TypeCode::CString:
        std::memset(data, high ? 0xFF : 0, v.size);
        if (v.size) data[v.size - 1] = 0;
        return;
    case TypeCode::PString:
        std::memset(data, high ? 0xFF : 0, v.size);
        if (v.size) data[0] = high ? static_cast<std::uint8_t>(std::min<std::size_t>(v.size - 1, 255)) : 0;
        return;
    default:
        std::memset(data, high ? 0xFF : 0, v.size);
        return;
    }
}

BoundVariable LinkFieldPairs::Pair::savedVariable() const {
    BoundVariable v = left.bind();
    v.data = const_cast<std::uint8_t*>(saved.data());
    v.size = saved.size();
    return v;
}

void LinkFieldPairs::AddPair(const FieldRef& left, const FieldRef& right) {
    Pair p{left, right, {}};
    const BoundVariable l = left.bind();
    p.saved.assign(l.size, 0);
    if (l.type == TypeCode::String) std::memset(p.saved.data(), ' ', p.saved.size());
    pairs_.push_back(std::move(p));
}

void LinkFieldPairs::AssignLeftToSaved() {
    for (auto& p : pairs_) assignValue(p.savedVariable(), p.left.bind());
}
void LinkFieldPairs::AssignRightToSaved() {
    for (auto& p : pairs_) assignValue(p.savedVariable(), p.right.bind());
}
void LinkFieldPairs::AssignSavedToLeft() {
    for (auto& p : pairs_) assignValue(p.left.bind(), p.savedVariable());
}
void LinkFieldPairs::AssignSavedToRight() {
    for (auto& p : pairs_) assignValue(p.right.bind(), p.savedVariable());
}
void LinkFieldPairs::AssignLeftToRight() {
    for (auto& p : pairs_) assignValue(p.right.bind(), p.left.bind());
}
void LinkFieldPairs::AssignRightToLeft() {
    for (auto& p : pairs_) assignValue(p.left.bind(), p.right.bind());
}
void LinkFieldPairs::ClearLeft() {
    for (auto& p : pairs_) clearValue(p.left.bind());
}
void LinkFieldPairs::ClearRight() {
    for (auto& p : pairs_) clearValue(p.right.bind());
}

bool LinkFieldPairs::EqualLeftSaved() const {
    for (const auto& p : pairs_)
        if (!sameValue(p.left.bind(), p.savedVariable())) return false;
    return true;
}
bool LinkFieldPairs::EqualRightSaved() const {
    for (const auto& p : pairs_)
        if (!sameValue(p.right.bind(), p.savedVariable())) return false;
    return true;
}
bool LinkFieldPairs::EqualLeftRight() const {
    for (const auto& p : pairs_)
        if (!sameValue(p.left.bind(), p.right.bind())) return false;
    return true;
}

} // namespace docket::classes
