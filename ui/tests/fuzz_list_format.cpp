// Any byte string given as a list format parses without crashing, and what it returns is sane:
// widths stay within the parser's six-digit bound and fields are never negative.
#include "ui/list_format.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    bool ok = true;
    auto columns = docket::ui::parseListFormat(text, &ok);
    for (const auto& column : columns) {
        if (column.width < 0 || column.width > 999999 || column.field < 0) std::abort();
    }
    // Parsing is a function of the text alone.
    bool again = true;
    if (docket::ui::parseListFormat(text, &again).size() != columns.size() || again != ok) std::abort();
    return 0;
}
