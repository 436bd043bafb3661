#include "drivers/declaration.h"

namespace docket::drivers {

int FileDeclaration::keyNumber(const KeyDeclaration* key) const {
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (&keys[i] == key) return static_cast<int>(i) + 1;
    return 0;
}

} // namespace docket::drivers
