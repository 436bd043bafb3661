#include "classes/window/sector_names.h"

#include <vector>

namespace docket::classes {
namespace {

std::string cut(std::string text, std::size_t limit) {
    if (text.size() > limit) text.resize(limit);
    return text;
}

std::string replaceAll(const std::string& text, const std::string& from, const std::string& to) {
    std::string out;
    std::size_t at = 0;
    for (std::size_t hit; (hit = text.find(from, at)) != std::string::npos; at = hit + from.size())
        out.append(text, at, hit - at).append(to);
    out.append(text, at, std::string::npos);
    return out;
}

} // namespace

std::string escapeSectorItem(const std::string& item) {
    return replaceAll(item, "$", "$$$");
}

std::string unescapeSectorItem(const std::string& item) {
    return replaceAll(item, "$$$", "$");
}

SectorEntry parseSectorName(const std::string& name) {
    SectorEntry entry;
    const std::size_t first = name.find('$');
    if (first == std::string::npos) {
        entry.FAMILY = cut(name, kSectorPartLimit);
        return entry;
    }
    entry.FAMILY = cut(name.substr(0, first), kSectorPartLimit);
    // ITEM ends at the first "$$" not followed by "$"; a "$$$" is an escaped "$" and is skipped.
    std::size_t at = first + 1;
    for (;;) {
        const std::size_t hit = name.find("$$", at);
        if (hit == std::string::npos) {
            entry.ITEM = cut(name.substr(first + 1), kSectorPartLimit);
            return entry;
        }
        if (hit + 2 < name.size() && name[hit + 2] == '$') {
            at = hit + 3;
            continue;
        }
        entry.ITEM = cut(name.substr(first + 1, hit - first - 1), kSectorPartLimit);
        entry.TYPE = cut(name.substr(hit + 2), kSectorPartLimit);
        return entry;
    }
}

std::string sectorName(const std::string& family, const std::string& item, const std::string& type) {
    return family + "$" + escapeSectorItem(item) + "$$" + type;
}

// Mend: the fields used to be joined with bare commas and read back by position, so a query named
// "a,b" came back as item "a" of type "b,...".
std::string catalogueLine(const SectorEntry& entry) {
    auto escaped = [](const std::string& field) {
        std::string out;
        for (char c : field) {
            if (c == ',' || c == '\\') out += '\\';
            out += c;
        }
        return out;
    };
    return escaped(entry.FAMILY) + "," + escaped(entry.ITEM) + "," + escaped(entry.TYPE);
}

SectorEntry parseCatalogueLine(const std::string& line) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && i + 1 < line.size() && (line[i + 1] == ',' || line[i + 1] == '\\')) {
            fields.back() += line[++i];
        } else if (c == ',' && fields.size() < 3) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    fields.resize(3);
    return {cut(fields[0], kSectorPartLimit), cut(fields[1], kSectorPartLimit), cut(fields[2], kSectorPartLimit)};
}

} // namespace docket::classes
