#pragma once
// The program-wide list of managed tables: which TableAccess object manages each declared file.
// A TableAccess adds itself at Init and removes itself at Shutdown; the view reader finds the
// objects of the tables in its view here.
#include <cstddef>
#include <string_view>

#include "drivers/driver.h"

namespace docket::classes {

class TableAccess;

class TableRegistry {
public:
    struct Entry {
        const drivers::DriverFile* FILELABEL = nullptr;
        TableAccess* FILEMANAGER = nullptr;
    };

    // Adds (or, for a file already listed, replaces) the manager of `file`.
    static void Add(const drivers::DriverFile& file, TableAccess& manager);
    // Removes every entry of `manager`.
    static void Remove(const TableAccess& manager);
    // The manager of a file, null when none is listed.
    static TableAccess* Find(const drivers::DriverFile& file);
    // The manager of the file with this declaration, null when none is listed.
    static TableAccess* Find(const drivers::FileDeclaration& declaration);
    // The manager of the file whose declaration has this label (compared without case).
    static TableAccess* FindLabel(std::string_view label);
    static std::size_t Count();
};

} // namespace docket::classes
