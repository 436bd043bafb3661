#pragma once
// Examining a native file without changing it: what `qvn info` shows and what `qvn check`
// verifies. Works on the raw bytes (through a pending commit log, as a reading station would) and
// reports every problem it finds instead of stopping on it.
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "drivers/qvn/internal/format.h"

namespace docket::drivers::qvn {

struct FileReport {
    bool opened = false; // the file could be read and has a valid header
    int openError = 0;   // the driver error when it could not
    FileHeader header{}; // the header in force (the logged one while a commit is pending)
    bool logPending = false;
    std::uint64_t fileSize = 0;
    std::array<std::uint32_t, kClassSlots> pagesPerClass{};
    int depth = 0;
    std::uint64_t entries = 0;
    std::uint64_t pagesInTree = 0;
    std::vector<std::pair<std::string, std::uint32_t>> tables; // names and numbers
    std::vector<std::string> problems;
};

FileReport examineFile(const std::string& path, const std::string& password);

} // namespace docket::drivers::qvn
