#pragma once
// The text forms the INI store keeps its sector catalogue in, apart from any file (so that they can
// be fuzzed without a window system).
//
// A sector name is FAMILY "$" ITEM "$$" TYPE, with every "$" of ITEM written "$$$". Parsing takes
// FAMILY up to the first "$"; ITEM runs to the next "$$" that is not followed by another "$" (a
// "$$$" is an escaped "$" and is stepped over); TYPE is the rest. Each part is cut to 100
// characters. The form cannot tell a TYPE that starts with "$" from an escape, so the program's
// types never start with one.
//
// A catalogue line holds the three fields joined by ","; a "," or "\" inside a field is written with
// a "\" before it, so that a name holding commas reads back whole. A line without escapes reads as
// it always did (a "\" before any other character is an ordinary character).
#include <string>

namespace docket::classes {

struct SectorEntry {
    std::string FAMILY; // each at most 100 characters
    std::string ITEM;   // escaped as in the sector name
    std::string TYPE;
};

inline constexpr std::size_t kSectorPartLimit = 100;

std::string escapeSectorItem(const std::string& item);
std::string unescapeSectorItem(const std::string& item);
std::string sectorName(const std::string& family, const std::string& item, const std::string& type);
SectorEntry parseSectorName(const std::string& name);

std::string catalogueLine(const SectorEntry& entry);
SectorEntry parseCatalogueLine(const std::string& line);

} // namespace docket::classes
