#pragma once
// Use variables over the fields of the program's packed record buffers (MEM, JEN): a LONG field
// read and written by its bytes, so that no reference to a packed member is ever formed, and a
// CSTRING field cut to its size less the terminating zero, as the field would cut it. The buffers
// live for the whole program; the variables only point into them.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "ui/use_variable.h"

namespace docket::app {

// A LONG (32-bit) field at `address`.
inline ui::UseVariable useLongField(void* address) {
    ui::UseVariable use;
    use.numeric = true;
    auto* bytes = static_cast<unsigned char*>(address);
    use.getNumber = [bytes] {
        std::int32_t value = 0;
        std::memcpy(&value, bytes, sizeof value);
        return static_cast<double>(value);
    };
    use.setNumber = [bytes](double number) {
        const auto value = static_cast<std::int32_t>(number);
        std::memcpy(bytes, &value, sizeof value);
    };
    return use;
}

// A CSTRING field of `size` bytes (at most size - 1 characters).
inline ui::UseVariable useCStringField(char* field, std::size_t size) {
    ui::UseVariable use;
    use.getText = [field, size] { return std::string(field, strnlen(field, size)); };
    use.setText = [field, size](const std::string& text) {
        const std::size_t n = std::min(text.size(), size - 1);
        std::memcpy(field, text.data(), n);
        std::memset(field + n, 0, size - n);
    };
    return use;
}

} // namespace docket::app
