#pragma once
// Helpers shared by the native file's tests: a scratch directory, a recorder for integrity stops,
// and comparing a file's whole tree with a model.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "drivers/qvn/file_check.h"
#include "drivers/qvn/qvn_file.h"
#include "runtime/core/fatal.h"

namespace docket::drivers::qvn::testing {

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvn-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~ScratchDir() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name) const { return (std::filesystem::path(path_) / name).string(); }

private:
    std::string path_;
};

// Records integrity stops instead of halting; the operation then fails with 36.
class FaultRecorder {
public:
    FaultRecorder() {
        previous_ =
            runtime::setFatalHook([this](const std::string& message) { messages.push_back(message); });
    }
    ~FaultRecorder() { runtime::setFatalHook(std::move(previous_)); }
    std::vector<std::string> messages;

private:
    runtime::FatalHook previous_;
};

inline constexpr unsigned kReadWriteShared = 0x42;
inline constexpr unsigned kReadOnlyShared = 0x40;
inline constexpr unsigned kReadWriteExclusive = 0x12;

using Model = std::map<std::string, std::string>; // key part -> data part

inline Entry makeEntry(const std::string& key, const std::string& data) {
    return Entry{key + data, static_cast<std::uint16_t>(key.size())};
}

// Every entry of the file in order, as a model.
inline Model readAll(QvnFile& file) {
    Model all;
    std::string key;
    Entry e;
    bool found = false;
    EXPECT_EQ(file.beginAccess(false, true), 0);
    for (;;) {
        EXPECT_EQ(file.seekForward(key, !key.empty(), &e, &found), 0);
        if (!found) break;
        key = std::string(e.key());
        all[key] = e.bytes.substr(e.keyLength);
    }
    file.endAccess();
    return all;
}

inline void expectClean(const std::string& path, const std::string& password = {}) {
    const FileReport report = examineFile(path, password);
    EXPECT_TRUE(report.opened);
    for (const auto& p : report.problems) ADD_FAILURE() << path << ": " << p;
}

} // namespace docket::drivers::qvn::testing
