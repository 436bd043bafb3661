// Any byte string given as a menu text parses without crashing, and the ordinals of the selectable
// entries run 1..n without gaps in menu order, which the popup's result relies on.
#include "ui/menu_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {
void walk(const std::vector<docket::ui::MenuEntry>& entries, int& last) {
    for (const auto& entry : entries) {
        if (!entry.children.empty()) {
            if (entry.ordinal != 0) std::abort();
            walk(entry.children, last);
        } else if (entry.ordinal != 0) {
            if (entry.separator || entry.ordinal != last + 1) std::abort();
            last = entry.ordinal;
        }
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto entries = docket::ui::parseMenuText(text);
    int last = 0;
    walk(entries, last);
    if (last != docket::ui::selectableCount(entries)) std::abort();
    return 0;
}
