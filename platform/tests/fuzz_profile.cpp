// libFuzzer target for the profile text reader and editor. The input is "section\0entry\0value\0"
// followed by the file text; every lookup must be safe, and a write that is accepted must read
// back as the trimmed value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/internal/profile_text.h"

namespace {

std::string_view take(std::string_view& input) {
    const std::size_t end = input.find('\0');
    const std::string_view part = input.substr(0, end);
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    return part;
}

std::string trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\v\f");
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t\r\v\f") - first + 1));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace docket::platform::profile_text;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string_view section = take(input);
    const std::string_view entry = take(input);
    const std::string value(take(input));
    const std::string_view text = input;

    const std::optional<std::string> before = findValue(text, section, entry);
    if (!writable(section, entry, value)) return 0;

    const std::optional<std::string> written = setValue(text, section, entry, value);
    const std::optional<std::string> after =
        findValue(written ? std::string_view(*written) : text, section, entry);
    if (after != trimmed(value)) std::abort();
    if (!written && before != after) std::abort();

    // Removing the entry must not break the text; a later duplicate line of the same name may
    // come to light, so only the section removal has a fixed answer.
    const std::string current = written ? *written : std::string(text);
    (void)setValue(current, section, entry, std::nullopt);
    if (const auto gone = removeSection(current, section)) {
        if (findValue(*gone, section, entry)) std::abort();
    }
    return 0;
}
