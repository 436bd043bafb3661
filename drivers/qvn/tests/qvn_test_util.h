#pragma once
// Helpers shared by the native file's tests: a scratch directory, a recorder for integrity stops,
// comparing a file's whole tree with a model, and other stations in child processes that are
// waited for on pipes with a deadline, never with bare sleeps.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

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
        previous_ = runtime::setFatalHook([this](const std::string& message) {
            messages.push_back(message);
            captions.push_back(runtime::fatalCaption());
        });
    }
    ~FaultRecorder() { runtime::setFatalHook(std::move(previous_)); }
    std::vector<std::string> messages;
    std::vector<std::string> captions; // the caption each stop asked for

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
        const int rc = file.seekForward(key, !key.empty(), &e, &found);
        EXPECT_EQ(rc, 0);
        if (rc != 0 || !found) break;
        key = std::string(e.key());
        all[key] = e.bytes.substr(e.keyLength);
    }
    file.endAccess();
    return all;
}

// The same through a cursor's walk, which goes up and down the pages it keeps.
inline Model walkAll(QvnFile& file) {
    Model all;
    EXPECT_EQ(file.beginAccess(false, true), 0);
    EntryCursor c(file.tree());
    EXPECT_EQ(c.seek("", false), 0);
    std::string previous;
    while (c.valid()) {
        EXPECT_TRUE(all.empty() || previous < c.key());
        previous = std::string(c.key());
        all[previous] = std::string(c.data());
        if (c.next() != 0) {
            ADD_FAILURE() << "next failed after " << previous;
            break;
        }
    }
    file.endAccess();
    return all;
}

// Waits until `fd` can be read (a byte, or the end of the pipe) or `deadline` passes; false then.
inline bool waitReadable(int fd, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        if (n > 0) return true;
        if (n == 0) return false;
        if (errno != EINTR) return false;
    }
}

// An answer of 5 (busy: another station is flushing) is retried until `seconds` have passed, as a
// station does; any other answer is returned at once.
template <typename Attempt> int retryWhileBusy(Attempt attempt, int seconds = 20) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int rc = attempt();
    while (rc == 5 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        rc = attempt();
    }
    return rc;
}

// Another station: `body` runs in a child process and its result is the exit code. The child
// holds the write end of a pipe until it ends, so `finish` waits on that pipe with a deadline; a
// child still running then is killed and reported as -1 instead of hanging the test.
class ChildStation {
public:
    template <typename Body> explicit ChildStation(Body body) {
        int alive[2] = {-1, -1};
        EXPECT_EQ(::pipe(alive), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(alive[0]);
            ::_exit(body());
        }
        ::close(alive[1]);
        alive_ = alive[0];
    }
    ~ChildStation() { finish(); }
    ChildStation(const ChildStation&) = delete;
    ChildStation& operator=(const ChildStation&) = delete;

    int finish(int seconds = 120) {
        if (pid_ <= 0) return result_;
        const bool ended =
            waitReadable(alive_, std::chrono::steady_clock::now() + std::chrono::seconds(seconds));
        if (!ended) {
            ADD_FAILURE() << "station " << pid_ << " still running after " << seconds << " s";
            ::kill(pid_, SIGKILL);
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        ::close(alive_);
        pid_ = 0;
        result_ = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result_;
    }

private:
    pid_t pid_ = 0;
    int alive_ = -1;
    int result_ = -1;
};

inline void expectClean(const std::string& path, const std::string& password = {}) {
    const FileReport report = examineFile(path, password);
    EXPECT_TRUE(report.opened);
    for (const auto& p : report.problems) ADD_FAILURE() << path << ": " << p;
}

} // namespace docket::drivers::qvn::testing
