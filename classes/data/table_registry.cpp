#include "classes/data/table_registry.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <vector>

namespace docket::classes {
namespace {

std::mutex registryMutex;

std::vector<TableRegistry::Entry>& entries() {
    static std::vector<TableRegistry::Entry> list;
    return list;
}

bool sameLabel(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

} // namespace

void TableRegistry::Add(const drivers::DriverFile& file, TableAccess& manager) {
    std::lock_guard lock(registryMutex);
    for (auto& e : entries())
        if (e.FILELABEL == &file) {
            e.FILEMANAGER = &manager;
            return;
        }
    entries().push_back({&file, &manager});
}

void TableRegistry::Remove(const TableAccess& manager) {
    std::lock_guard lock(registryMutex);
    std::erase_if(entries(), [&](const Entry& e) { return e.FILEMANAGER == &manager; });
}

TableAccess* TableRegistry::Find(const drivers::DriverFile& file) {
    std::lock_guard lock(registryMutex);
    for (const auto& e : entries())
        if (e.FILELABEL == &file) return e.FILEMANAGER;
    return nullptr;
}

TableAccess* TableRegistry::Find(const drivers::FileDeclaration& declaration) {
    std::lock_guard lock(registryMutex);
    for (const auto& e : entries())
        if (e.FILELABEL->declaration == &declaration) return e.FILEMANAGER;
    return nullptr;
}

TableAccess* TableRegistry::FindLabel(std::string_view label) {
    std::lock_guard lock(registryMutex);
    for (const auto& e : entries())
        if (e.FILELABEL->declaration && sameLabel(e.FILELABEL->declaration->label, label))
            return e.FILEMANAGER;
    return nullptr;
}

std::size_t TableRegistry::Count() {
    std::lock_guard lock(registryMutex);
    return entries().size();
}

} // namespace docket::classes
