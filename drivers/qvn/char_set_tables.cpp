#include "drivers/qvn/internal/char_set_tables.h"

#include <algorithm>
#include <numeric>
#include <string>

#include "runtime/core/char_tables.h"

namespace docket::drivers::qvn {

CharTables CharTables::current() {
    CharTables t;
    std::array<int, 256> order{};
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [](int a, int b) {
        return runtime::collationWeight(static_cast<unsigned char>(a)) <
               runtime::collationWeight(static_cast<unsigned char>(b));
    });
    for (int c = 0; c < 256; ++c) {
        const auto u = static_cast<unsigned char>(c);
        t.bytes[c] = runtime::upperChar(u);
        t.bytes[256 + c] = runtime::lowerChar(u);
        t.bytes[512 + c] = static_cast<std::uint8_t>(
            (runtime::isLetter(u) ? 1 : 0) | (runtime::isDigit(u) ? 2 : 0) | (runtime::isBlank(u) ? 4 : 0));
    }
    for (int r = 0; r < 256; ++r) t.bytes[768 + order[r]] = static_cast<std::uint8_t>(r);
    for (int c = 0x80; c < 256; ++c) t.bytes[1024 + (c - 0x80)] = t.bytes[768 + c];
    return t;
}

bool CharTables::fromEntry(std::string_view data, CharTables* tables, bool* oem) {
    if (data.size() != kCollationEntrySize || static_cast<std::uint8_t>(data[0]) > 1) return false;
    *oem = data[0] == 1;
    std::copy(data.begin() + 1, data.end(), tables->bytes.begin());
    return true;
}

std::string CharTables::toEntry(bool oem) const {
    std::string out(1, oem ? '\1' : '\0');
    out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return out;
}

} // namespace docket::drivers::qvn
