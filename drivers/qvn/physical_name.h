#pragma once
// Splitting a declared name into the physical file and the table inside it.
#include <string>

namespace docket::drivers::qvn {

struct PhysicalName {
    std::string path;  // with ".QVN" added when the name had no extension
    std::string table; // upper case; "UNNAMED" when the name names no table
};

// A table name as it is stored and compared: ASCII letters upper-cased, every other byte as it is
// (stored files depend on it, so it stays ASCII-only).
std::string upperTableName(std::string name);

// "path\!table": the first "\!" whose text before it is not an existing directory splits the name.
PhysicalName splitPhysicalName(const std::string& declared);

// The key under which a process shares one QvnFile per physical file: the path compared without
// regard to case.
std::string physicalKey(const std::string& path);

} // namespace docket::drivers::qvn
