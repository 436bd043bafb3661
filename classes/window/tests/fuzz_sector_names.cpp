// Any text read as a sector name or a catalogue line parses without crashing into parts of at most
// 100 characters; and three fields written as a catalogue line, or as a sector name (a family
// without "$", a type not starting with "$"), read back as they were.
#include "classes/window/sector_names.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace docket::classes;

namespace {
bool fits(const SectorEntry& e) {
    return e.FAMILY.size() <= kSectorPartLimit && e.ITEM.size() <= kSectorPartLimit &&
           e.TYPE.size() <= kSectorPartLimit;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!fits(parseSectorName(text)) || !fits(parseCatalogueLine(text))) std::abort();

    // The input split at NUL bytes into family, item and type.
    SectorEntry e;
    std::string* parts[] = {&e.FAMILY, &e.ITEM, &e.TYPE};
    std::size_t part = 0;
    for (char c : text) {
        if (c == '\0') {
            if (++part == 3) break;
        } else {
            *parts[part] += c;
        }
    }
    for (std::string* p : parts)
        if (p->size() > 30) p->resize(30);

    SectorEntry stored{e.FAMILY, escapeSectorItem(e.ITEM), e.TYPE};
    if (stored.ITEM.size() <= kSectorPartLimit) {
        const SectorEntry line = parseCatalogueLine(catalogueLine(stored));
        if (line.FAMILY != stored.FAMILY || line.ITEM != stored.ITEM || line.TYPE != stored.TYPE) std::abort();
        if (unescapeSectorItem(line.ITEM) != e.ITEM) std::abort();
    }
    if (e.FAMILY.find('$') == std::string::npos && (e.TYPE.empty() || e.TYPE[0] != '$') &&
        stored.ITEM.size() <= kSectorPartLimit) {
        const SectorEntry name = parseSectorName(sectorName(e.FAMILY, e.ITEM, e.TYPE));
        if (name.FAMILY != e.FAMILY || unescapeSectorItem(name.ITEM) != e.ITEM || name.TYPE != e.TYPE) std::abort();
    }
    return 0;
}
