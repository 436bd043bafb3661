#include "drivers/declaration.h"

namespace docket::drivers {

int FileDeclaration::keyNumber(const KeyDeclaration* key) const {
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (&keys[i] == key) return static_cast<int>(i) + 1;
    return 0;
}

int FileDeclaration::appendField(std::string fieldLabel, TypeCode type, std::uint32_t size,
                                 std::uint8_t places) {
    FieldDeclaration f;
    f.type = type;
    f.offset = recordLength;
    f.size = size;
    f.label = std::move(fieldLabel);
    if (type == TypeCode::String || type == TypeCode::CString || type == TypeCode::PString)
        f.elementLength = size;
    if (type == TypeCode::Decimal) {
        f.digits = static_cast<std::uint8_t>(size * 2 - 1);
        f.places = places;
    }
    recordLength += size;
    fields.push_back(std::move(f));
    return static_cast<int>(fields.size());
}

} // namespace docket::drivers
