#include "drivers/qvn/physical_name.h"

#include <sys/stat.h>

#include <cctype>

namespace docket::drivers::qvn {

namespace {

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool hasExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash) && dot + 1 < path.size();
}

} // namespace

std::string upperTableName(std::string name) {
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return name;
}

PhysicalName splitPhysicalName(const std::string& declared) {
    PhysicalName name{declared, "UNNAMED"};
    for (std::size_t at = declared.find("\\!"); at != std::string::npos; at = declared.find("\\!", at + 1)) {
        const std::string before = declared.substr(0, at);
        if (isDirectory(before)) continue;
        name.path = before;
        name.table = upperTableName(declared.substr(at + 2));
        break;
    }
    if (!hasExtension(name.path)) name.path += ".QVN";
    return name;
}

std::string physicalKey(const std::string& path) {
    std::string key = path;
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

} // namespace docket::drivers::qvn
