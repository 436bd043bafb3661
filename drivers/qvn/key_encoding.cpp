#include "drivers/qvn/internal/key_encoding.h"
#include "runtime/core/error_codes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace docket::drivers::qvn {
namespace {

using runtime::TypeCode;

const FieldDeclaration* componentField(const FileDeclaration& declaration, std::int32_t component) {
    const std::int64_t k = std::llabs(component);
    if (k < 1 || k > static_cast<std::int64_t>(declaration.fields.size())) return nullptr;
    return &declaration.fields[static_cast<std::size_t>(k - 1)];
}

void stringSteps(std::string& bytes, std::size_t from, bool noCase, const KeyContext& context) {
    for (std::size_t i = from; i < bytes.size(); ++i) {
        auto c = static_cast<std::uint8_t>(bytes[i]);
        if (noCase) c = context.tables->upper(c);
        bytes[i] = static_cast<char>(context.tables->rank(c, context.oem));
    }
}

} // namespace

void encodeComponent(const FieldDeclaration& field, const std::uint8_t* record, bool noCase, bool descending,
                     const KeyContext& context, std::string* out) {
    const std::size_t from = out->size();
    const std::uint8_t* p = record + field.offset;
    const std::size_t size = field.size;
    switch (field.type) {
    case TypeCode::UShort:
    case TypeCode::ULong:
    case TypeCode::Date:
    case TypeCode::Time:
        for (std::size_t i = size; i-- > 0;) out->push_back(static_cast<char>(p[i]));
        break;
    case TypeCode::Short:
    case TypeCode::Long:
        for (std::size_t i = size; i-- > 0;) out->push_back(static_cast<char>(p[i]));
        if (size) (*out)[from] = static_cast<char>((*out)[from] ^ 0x80);
        break;
    case TypeCode::SReal:
    case TypeCode::Real:
        for (std::size_t i = size; i-- > 0;) out->push_back(static_cast<char>(p[i]));
        if (size == 0) break;
        if (((*out)[from] & 0x80) == 0) {
            (*out)[from] = static_cast<char>((*out)[from] | 0x80);
        } else {
            for (std::size_t i = from; i < out->size(); ++i) (*out)[i] = static_cast<char>(~(*out)[i]);
        }
        break;
    case TypeCode::Decimal:
        out->append(reinterpret_cast<const char*>(p), size);
        if (size == 0) break;
        if (((*out)[from] & 0xF0) != 0) {
            (*out)[from] = static_cast<char>((*out)[from] & 0x0F);
            for (std::size_t i = from; i < out->size(); ++i) (*out)[i] = static_cast<char>(~(*out)[i]);
        }
        (*out)[from] = static_cast<char>((*out)[from] ^ 0x80);
        break;
    case TypeCode::String:
    case TypeCode::Group:
        out->append(reinterpret_cast<const char*>(p), size);
        stringSteps(*out, from, noCase, context);
        break;
    case TypeCode::CString: {
        const auto* zero = static_cast<const std::uint8_t*>(std::memchr(p, 0, size));
        const std::size_t length = zero ? static_cast<std::size_t>(zero - p) : size;
        out->append(reinterpret_cast<const char*>(p), length);
        out->append(size - length, '\0');
        stringSteps(*out, from, noCase, context);
        break;
    }
    case TypeCode::PString: {
        const std::size_t length = size ? std::min<std::size_t>(p[0], size - 1) : 0;
        out->append(reinterpret_cast<const char*>(p) + 1, length);
        out->append(size - length, '\0');
        stringSteps(*out, from, noCase, context);
        break;
    }
    default:
        out->append(reinterpret_cast<const char*>(p), size);
        break;
    }
    if (descending)
        for (std::size_t i = from; i < out->size(); ++i)
            (*out)[i] = static_cast<char>(255 - static_cast<std::uint8_t>((*out)[i]));
}

std::string encodeKey(const FileDeclaration& declaration, const KeyDeclaration& key,
                      const std::uint8_t* record, const KeyContext& context) {
    std::string out;
    const bool noCase = key.flags & key_flag::kNoCase;
    for (std::int32_t component : key.components) {
        const FieldDeclaration* field = componentField(declaration, component);
        if (field) encodeComponent(*field, record, noCase, component < 0, context, &out);
    }
    return out;
}

std::size_t keyLength(const FileDeclaration& declaration, const KeyDeclaration& key) {
    std::size_t length = 0;
    for (std::int32_t component : key.components)
        if (const FieldDeclaration* field = componentField(declaration, component)) length += field->size;
    return length;
}

bool keyIsEmpty(const FileDeclaration& declaration, const KeyDeclaration& key, const std::uint8_t* record) {
    for (std::int32_t component : key.components) {
        const FieldDeclaration* field = componentField(declaration, component);
        if (!field) continue;
        const std::uint8_t* p = record + field->offset;
        switch (field->type) {
        case TypeCode::String:
        case TypeCode::Group:
            if (!std::all_of(p, p + field->size, [](std::uint8_t c) { return c == ' '; })) return false;
            break;
        case TypeCode::CString:
        case TypeCode::PString:
            if (field->size && p[0] != 0) return false;
            break;
        default:
            if (!std::all_of(p, p + field->size, [](std::uint8_t c) { return c == 0; })) return false;
            break;
        }
    }
    return true;
}

int checkKeyComponents(const FileDeclaration& declaration, const KeyDeclaration& key) {
    for (std::int32_t component : key.components) {
        const FieldDeclaration* field = componentField(declaration, component);
        if (!field || field->elements > 1) return runtime::error::kInvalidFieldType;
        if (std::uint64_t{field->offset} + field->size > declaration.recordLength) return runtime::error::kInvalidFieldType;
    }
    return 0;
}

} // namespace docket::drivers::qvn
