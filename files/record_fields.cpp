#include "runtime/core/char_tables.h"
#include "files/record_fields.h"

#include <cstring>
#include <limits>
#include <map>
#include <string>

#include "runtime/expression/binding_scopes.h"

namespace docket::runtime {

namespace {


std::string shortName(const std::string& label) {
    const std::size_t colon = label.find(':');
    return colon == std::string::npos ? std::string() : label.substr(colon + 1);
}

bool isStringField(TypeCode type) {
    return type == TypeCode::String || type == TypeCode::CString || type == TypeCode::PString;
}

template <typename T> bool storeAs(std::uint8_t* at, std::int64_t value) {
    if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max()) return false;
    const T v = static_cast<T>(value);
    std::memcpy(at, &v, sizeof v);
    return true;
}

} // namespace

void bindTableFields(const FileDeclaration& d) {
    std::map<std::string, int> labels, shorts; // upper-case name -> count
    for (const auto& f : d.fields) {
        ++labels[upperText(f.label)];
        if (!shortName(f.label).empty()) ++shorts[upperText(shortName(f.label))];
    }
    for (const auto& m : d.memos) {
        ++labels[upperText(m.label)];
        if (!shortName(m.label).empty()) ++shorts[upperText(shortName(m.label))];
    }
    auto bind = [&](const std::string& label, const BoundVariable& v) {
        bindVariable(label, v);
        const std::string s = upperText(shortName(label));
        if (!s.empty() && shorts[s] == 1 && labels.count(s) == 0) bindVariable(s, v);
    };
    for (std::size_t i = 0; i < d.fields.size(); ++i) {
        const FieldDeclaration& f = d.fields[i];
        if (f.type == TypeCode::Group || f.elements > 1) continue;
        const BoundVariable v = fieldVariable(d, static_cast<int>(i + 1));
        if (isBindable(v)) bind(f.label, v);
    }
    for (const auto& m : d.memos)
        if (!m.isBlob() && m.buffer) bind(m.label, bindString(reinterpret_cast<char*>(m.buffer), m.size));
}

BoundVariable fieldVariable(const FileDeclaration& file, int field) {
    const FieldDeclaration& f = file.fields[static_cast<std::size_t>(field - 1)];
    return BoundVariable{f.type, file.record + f.offset, f.size, f.places};
}

int fieldAt(const FileDeclaration& file, const void* data) {
    for (std::size_t i = 0; i < file.fields.size(); ++i) {
        const FieldDeclaration& f = file.fields[i];
        if (f.type != TypeCode::Group && f.elements == 1 && file.record + f.offset == data)
            return static_cast<int>(i + 1);
    }
    return 0;
}

bool belongsTo(const FileDeclaration& file, const void* data) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::less<const std::uint8_t*> before;
    if (file.record && !before(p, file.record) && before(p, file.record + file.recordLength)) return true;
    for (const auto& m : file.memos)
        if (m.buffer && !before(p, m.buffer) && before(p, m.buffer + m.size)) return true;
    return false;
}

void clearRecord(FileDeclaration& file) {
    if (file.record) {
        std::memset(file.record, 0, file.recordLength);
        for (const auto& f : file.fields)
            if (f.type == TypeCode::String) std::memset(file.record + f.offset, ' ', f.size);
    }
    for (auto& m : file.memos) {
        if (m.buffer) std::memset(m.buffer, ' ', m.size);
        if (m.blob) m.blob->clear();
    }
}

bool isIntegerField(TypeCode type) {
    switch (type) {
    case TypeCode::Byte:
    case TypeCode::Short:
    case TypeCode::UShort:
    case TypeCode::Long:
    case TypeCode::ULong:
    case TypeCode::Date:
    case TypeCode::Time:
        return true;
    default:
        return false;
    }
}

bool storeInteger(const FieldDeclaration& field, std::uint8_t* record, std::int64_t value) {
    std::uint8_t* at = record + field.offset;
    switch (field.type) {
    case TypeCode::Byte:
        return field.size >= 1 && storeAs<std::uint8_t>(at, value);
    case TypeCode::Short:
        return field.size >= 2 && storeAs<std::int16_t>(at, value);
    case TypeCode::UShort:
        return field.size >= 2 && storeAs<std::uint16_t>(at, value);
    case TypeCode::Long:
    case TypeCode::Date:
    case TypeCode::Time:
        return field.size >= 4 && storeAs<std::int32_t>(at, value);
    case TypeCode::ULong:
        return field.size >= 4 && storeAs<std::uint32_t>(at, value);
    default:
        return false;
    }
}

bool canCopyField(const FieldDeclaration& from, const FieldDeclaration& to) {
    if (from.type == to.type && from.size == to.size) return true;
    if (isIntegerField(from.type) && isIntegerField(to.type)) return true;
    return isStringField(from.type) && isStringField(to.type);
}

void copyField(const FieldDeclaration& from, const std::uint8_t* fromRecord, const FieldDeclaration& to,
               std::uint8_t* toRecord) {
    if (from.type == to.type && from.size == to.size) {
        std::memcpy(toRecord + to.offset, fromRecord + from.offset, to.size);
    } else if (isIntegerField(from.type) && isIntegerField(to.type)) {
        const BoundVariable v{from.type, const_cast<std::uint8_t*>(fromRecord + from.offset), from.size, 0};
        if (!storeInteger(to, toRecord, readIntegerVariable(v))) storeInteger(to, toRecord, 0);
    } else if (isStringField(from.type) && isStringField(to.type)) {
        writeText(to.type, toRecord + to.offset, to.size,
                  readText(from.type, fromRecord + from.offset, from.size));
    }
}

} // namespace docket::runtime
