// libFuzzer target: arbitrary text as the schema of `qvn import`. A schema either parses into a
// declaration whose fields lie inside the record and whose key components name fields, or it is
// refused with a message; it never crashes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/qvn/schema.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    docket::qvn_tool::SchemaTable table;
    std::string error;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!docket::qvn_tool::parseSchema(text, &table, &error)) {
        if (error.empty()) std::abort(); // a refusal always says why
        return 0;
    }
    const auto& d = table.declaration;
    if (d.fields.empty() || d.record != table.record.data() || table.record.size() != d.recordLength)
        std::abort();
    for (const auto& f : d.fields)
        if (f.offset + f.size > d.recordLength || f.size == 0) std::abort();
    for (const auto& k : d.keys)
        for (std::int32_t c : k.components)
            if (c == 0 || static_cast<std::size_t>(c < 0 ? -c : c) > d.fields.size()) std::abort();
    for (const auto& m : d.memos)
        if (m.isBlob() ? m.blob == nullptr : m.buffer == nullptr) std::abort();
    return 0;
}
