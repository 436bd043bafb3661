#include "platform/file.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/tests/child_process.h"

namespace docket::platform {
namespace {

constexpr std::uint64_t kLockBase = 0x80000000u;

struct Mode {
    Access access;
    Share share;
    const char* name;
};

constexpr std::array<Mode, 8> kModes = {{
    {Access::ReadOnly, Share::All, "R/All"},
    {Access::ReadOnly, Share::DenyWrite, "R/DenyWrite"},
    {Access::ReadOnly, Share::DenyRead, "R/DenyRead"},
    {Access::ReadOnly, Share::Exclusive, "R/Exclusive"},
    {Access::ReadWrite, Share::All, "RW/All"},
    {Access::ReadWrite, Share::DenyWrite, "RW/DenyWrite"},
    {Access::ReadWrite, Share::DenyRead, "RW/DenyRead"},
    {Access::ReadWrite, Share::Exclusive, "RW/Exclusive"},
}};

// Whether a second open (column) succeeds while the first (row) is open, by the platform's rules:
// each open must allow the other's access. Every open reads, so a mode that denies reading
// admits nobody else, and a writer admits only opens that share writing.
constexpr bool kCompatible[8][8] = {
    {1, 1, 0, 0, 1, 1, 0, 0}, // R/All
    {1, 1, 0, 0, 0, 0, 0, 0}, // R/DenyWrite
    {0, 0, 0, 0, 0, 0, 0, 0}, // R/DenyRead
    {0, 0, 0, 0, 0, 0, 0, 0}, // R/Exclusive
    {1, 0, 0, 0, 1, 0, 0, 0}, // RW/All
    {1, 0, 0, 0, 0, 0, 0, 0}, // RW/DenyWrite
    {0, 0, 0, 0, 0, 0, 0, 0}, // RW/DenyRead
    {0, 0, 0, 0, 0, 0, 0, 0}, // RW/Exclusive
};

// A child process that owns one File and runs the parent's requests on it, so that share modes
// and locks can be checked across real processes. It is forked before the parent opens anything:
// a child that inherited the parent's descriptors would keep the parent's locks alive.
class Peer {
public:
    enum Op : int { Open, Close, TryLock, Unlock, Quit };
    struct Request {
        Op op;
        Access access;
        Share share;
        std::uint64_t offset;
        std::uint64_t length;
    };

    explicit Peer(const std::string& path) {
        int toChild[2];
        int toParent[2];
        if (pipe(toChild) != 0 || pipe(toParent) != 0) std::abort();
        pid_ = fork();
        if (pid_ == 0) {
            ::close(toChild[1]);
            ::close(toParent[0]);
            serve(path, toChild[0], toParent[1]);
        }
        ::close(toChild[0]);
        ::close(toParent[1]);
        requests_ = toChild[1];
        replies_ = toParent[0];
    }
    ~Peer() {
        call({Quit, Access::ReadOnly, Share::All, 0, 0});
        ::close(requests_);
        ::close(replies_);
        testing::waitForChild(pid_);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    int open(Access access, Share share) { return call({Open, access, share, 0, 0}); }
    int close() { return call({Close, Access::ReadOnly, Share::All, 0, 0}); }
    int tryLock(std::uint64_t offset, std::uint64_t length) {
        return call({TryLock, Access::ReadOnly, Share::All, offset, length});
    }
    int unlock(std::uint64_t offset, std::uint64_t length) {
        return call({Unlock, Access::ReadOnly, Share::All, offset, length});
    }

private:
    [[noreturn]] static void serve(const std::string& path, int in, int out) {
        File file;
        Request request{};
        while (::read(in, &request, sizeof request) == static_cast<ssize_t>(sizeof request)) {
            int result = 0;
            switch (request.op) {
            case Open:
                result = file.open(path, request.access, request.share, Disposition::OpenAlways);
                break;
            case Close:
                result = file.close();
                break;
            case TryLock:
                result = file.tryLock(request.offset, request.length);
                break;
            case Unlock:
                result = file.unlock(request.offset, request.length);
                break;
            case Quit:
                file.close();
                if (::write(out, &result, sizeof result) < 0) _exit(1);
                _exit(0);
            }
            if (::write(out, &result, sizeof result) < 0) _exit(1);
        }
        _exit(1);
    }

    int call(const Request& request) {
        int result = -1;
        if (::write(requests_, &request, sizeof request) != static_cast<ssize_t>(sizeof request)) return -1;
        if (::read(replies_, &result, sizeof result) != static_cast<ssize_t>(sizeof result)) return -1;
        return result;
    }

    pid_t pid_ = -1;
    int requests_ = -1;
    int replies_ = -1;
};

class FileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/docket-file-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/data.bin";
    }
    void TearDown() override {
        const std::string command = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    std::string dir_;
    std::string path_;
};

TEST_F(FileTest, ShareModesFollowPlatformRulesWithinOneProcess) {
    for (std::size_t first = 0; first < kModes.size(); ++first) {
        for (std::size_t second = 0; second < kModes.size(); ++second) {
            SCOPED_TRACE(std::string(kModes[first].name) + " then " + kModes[second].name);
            File a;
            File b;
            ASSERT_EQ(a.open(path_, kModes[first].access, kModes[first].share, Disposition::OpenAlways), 0);
            const int expected = kCompatible[first][second] ? 0 : code::kSharingViolation;
            EXPECT_EQ(b.open(path_, kModes[second].access, kModes[second].share, Disposition::OpenAlways),
                      expected);
            EXPECT_EQ(b.isOpen(), expected == 0);
        }
    }
    // Nothing of the refused opens stays behind.
    File last;
    EXPECT_EQ(last.open(path_, Access::ReadWrite, Share::Exclusive, Disposition::OpenExisting), 0);
}

TEST_F(FileTest, ShareModesFollowPlatformRulesAcrossProcesses) {
    Peer peer(path_);
    for (std::size_t first = 0; first < kModes.size(); ++first) {
        for (std::size_t second = 0; second < kModes.size(); ++second) {
            SCOPED_TRACE(std::string(kModes[first].name) + " then " + kModes[second].name);
            const int expected = kCompatible[first][second] ? 0 : code::kSharingViolation;
            {
                File mine;
                ASSERT_EQ(
                    mine.open(path_, kModes[first].access, kModes[first].share, Disposition::OpenAlways), 0);
                EXPECT_EQ(peer.open(kModes[second].access, kModes[second].share), expected);
                EXPECT_EQ(peer.close(), 0);
            }
            ASSERT_EQ(peer.open(kModes[first].access, kModes[first].share), 0);
            File mine;
            EXPECT_EQ(mine.open(path_, kModes[second].access, kModes[second].share, Disposition::OpenAlways),
                      expected);
            EXPECT_EQ(peer.close(), 0);
        }
    }
}

TEST_F(FileTest, ClosingOrMovingKeepsShareStateRight) {
    File a;
    ASSERT_EQ(a.open(path_, Access::ReadWrite, Share::Exclusive, Disposition::OpenAlways), 0);
    File moved(std::move(a));
    EXPECT_FALSE(a.isOpen());
    File b;
    EXPECT_EQ(b.open(path_, Access::ReadOnly, Share::All, Disposition::OpenExisting),
              code::kSharingViolation);
    moved.close();
    EXPECT_EQ(b.open(path_, Access::ReadOnly, Share::All, Disposition::OpenExisting), 0);
}

TEST_F(FileTest, ReadOnlyFileWithoutWriteAccessStillSharesCorrectly) {
    {
        File create;
        ASSERT_EQ(create.open(path_, Access::ReadWrite, Share::All, Disposition::CreateNew), 0);
    }
    ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
    ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
    // As root every file can be opened for writing; an unprivileged child shows the other path.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(10);
        File a;
        File b;
        File c;
        if (a.open(path_, Access::ReadWrite, Share::All, Disposition::OpenExisting) != code::kAccessDenied)
            _exit(11);
        if (a.open(path_, Access::ReadOnly, Share::DenyWrite, Disposition::OpenExisting) != 0) _exit(12);
        if (b.open(path_, Access::ReadOnly, Share::All, Disposition::OpenExisting) != 0) _exit(13);
        if (c.open(path_, Access::ReadOnly, Share::Exclusive, Disposition::OpenExisting) !=
            code::kSharingViolation)
            _exit(14);
        _exit(0);
    }
    const int status = testing::waitForChild(child);
    ASSERT_GE(status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(FileTest, DispositionsCreateOpenAndRefuse) {
    File file;
    EXPECT_EQ(file.open(path_, Access::ReadWrite, Share::All, Disposition::OpenExisting),
              code::kFileNotFound);
    EXPECT_EQ(file.lastErrno(), ENOENT);
    EXPECT_FALSE(File::exists(path_));
    ASSERT_EQ(file.open(path_, Access::ReadWrite, Share::All, Disposition::CreateNew), 0);
    ASSERT_EQ(file.write("hello", 5), 0);
    file.close();

    EXPECT_EQ(file.open(path_, Access::ReadWrite, Share::All, Disposition::CreateNew), code::kFileExists);
    std::uint64_t size = 0;
    ASSERT_EQ(file.open(path_, Access::ReadOnly, Share::All, Disposition::OpenAlways), 0);
    ASSERT_EQ(file.size(&size), 0);
    EXPECT_EQ(size, 5u);
    file.close();

    ASSERT_EQ(file.open(path_, Access::ReadWrite, Share::All, Disposition::CreateAlways), 0);
    ASSERT_EQ(file.size(&size), 0);
    EXPECT_EQ(size, 0u);

    EXPECT_EQ(file.open(dir_ + "/missing/x", Access::ReadWrite, Share::All, Disposition::OpenAlways),
              code::kPathNotFound);
    EXPECT_EQ(file.open(path_ + "/x", Access::ReadWrite, Share::All, Disposition::OpenAlways),
              code::kPathNotFound);
    EXPECT_EQ(file.open(dir_, Access::ReadOnly, Share::All, Disposition::OpenExisting), code::kAccessDenied);
    EXPECT_FALSE(file.isOpen());
}

TEST_F(FileTest, RefusedCreateAlwaysLeavesTheContents) {
    File holder;
    ASSERT_EQ(holder.open(path_, Access::ReadWrite, Share::DenyWrite, Disposition::CreateNew), 0);
    ASSERT_EQ(holder.write("keep", 4), 0);
    File other;
    EXPECT_EQ(other.open(path_, Access::ReadWrite, Share::All, Disposition::CreateAlways),
              code::kSharingViolation);
    std::uint64_t size = 0;
    ASSERT_EQ(holder.size(&size), 0);
    EXPECT_EQ(size, 4u);
}

TEST_F(FileTest, ReadsWritesSeeksAndSizes) {
    File file;
    ASSERT_EQ(file.open(path_, Access::ReadWrite, Share::Exclusive, Disposition::CreateNew), 0);
    ASSERT_EQ(file.write("abcdef", 6), 0);
    EXPECT_EQ(file.position(), 6u);

    std::uint64_t where = 0;
    ASSERT_EQ(file.seek(-4, Whence::End, &where), 0);
    EXPECT_EQ(where, 2u);
    char buffer[16] = {};
    std::size_t got = 0;
    ASSERT_EQ(file.read(buffer, sizeof buffer, &got), 0);
    EXPECT_EQ(std::string(buffer, got), "cdef");
    EXPECT_EQ(file.position(), 6u);
    EXPECT_EQ(file.seek(-7, Whence::Current), code::kInvalidParameter);
    EXPECT_EQ(file.position(), 6u);

    // Positioned access leaves the file pointer alone; a hole reads as zeros.
    ASSERT_EQ(file.writeAt(10, "XY", 2), 0);
    ASSERT_EQ(file.readAt(5, buffer, 8, &got), 0);
    EXPECT_EQ(std::string(buffer, got), std::string("f\0\0\0\0XY", 7));
    EXPECT_EQ(file.position(), 6u);

    ASSERT_EQ(file.seek(3, Whence::Begin), 0);
    ASSERT_EQ(file.setEnd(), 0);
    std::uint64_t size = 0;
    ASSERT_EQ(file.size(&size), 0);
    EXPECT_EQ(size, 3u);
    ASSERT_EQ(file.resize(100), 0);
    ASSERT_EQ(file.size(&size), 0);
    EXPECT_EQ(size, 100u);
    EXPECT_EQ(file.flush(), 0);

    ASSERT_EQ(file.seek(200, Whence::Begin), 0);
    ASSERT_EQ(file.read(buffer, 4, &got), 0);
    EXPECT_EQ(got, 0u);
}

TEST_F(FileTest, ReadOnlyOpenRefusesChanges) {
    File file;
    ASSERT_EQ(file.open(path_, Access::ReadOnly, Share::All, Disposition::OpenAlways), 0);
    EXPECT_FALSE(file.writable());
    EXPECT_EQ(file.write("x", 1), code::kAccessDenied);
    EXPECT_EQ(file.resize(0), code::kAccessDenied);
    file.close();
    EXPECT_EQ(file.write("x", 1), code::kInvalidHandle);
    std::size_t got = 1;
    char c;
    EXPECT_EQ(file.read(&c, 1, &got), code::kInvalidHandle);
    EXPECT_EQ(got, 0u);
}

TEST_F(FileTest, LocksConflictBetweenOpensOfOneProcess) {
    File a;
    File b;
    ASSERT_EQ(a.open(path_, Access::ReadWrite, Share::All, Disposition::OpenAlways), 0);
    ASSERT_EQ(b.open(path_, Access::ReadWrite, Share::All, Disposition::OpenAlways), 0);
    ASSERT_EQ(a.tryLock(kLockBase + 5, 1), 0);
    EXPECT_EQ(a.tryLock(kLockBase + 5, 1), 0) << "an open never conflicts with itself";
    EXPECT_EQ(b.tryLock(kLockBase, 1023), code::kLockViolation);
    EXPECT_EQ(b.tryLock(kLockBase + 6, 1), 0);
    ASSERT_EQ(a.unlock(kLockBase + 5, 1), 0);
    EXPECT_EQ(b.tryLock(kLockBase + 5, 1), 0);
    EXPECT_EQ(a.tryLock(kLockBase + 5, 1), code::kLockViolation);
    EXPECT_EQ(a.tryLock(kLockBase, 0), code::kInvalidParameter);
    // Asking takes nothing and sees only the other open's locks, shared ones too.
    EXPECT_TRUE(a.lockedByOthers(kLockBase, 10));
    EXPECT_FALSE(b.lockedByOthers(kLockBase + 5, 2));
    EXPECT_FALSE(a.lockedByOthers(kLockBase + 7, 1));
    EXPECT_EQ(a.tryLock(kLockBase + 7, 1), 0);
    File reader;
    ASSERT_EQ(reader.open(path_, Access::ReadOnly, Share::All, Disposition::OpenAlways), 0);
    ASSERT_EQ(reader.tryLock(kLockBase + 20, 1), 0);
    EXPECT_TRUE(a.lockedByOthers(kLockBase + 20, 1));
    EXPECT_TRUE(reader.lockedByOthers(kLockBase + 7, 1));
    EXPECT_FALSE(reader.lockedByOthers(kLockBase, 0));
}

TEST_F(FileTest, ReadOnlyLocksAreSharedButExcludeWriters) {
    File reader1;
    File reader2;
    File writer;
    ASSERT_EQ(reader1.open(path_, Access::ReadOnly, Share::All, Disposition::OpenAlways), 0);
    ASSERT_EQ(reader2.open(path_, Access::ReadOnly, Share::All, Disposition::OpenAlways), 0);
    ASSERT_EQ(writer.open(path_, Access::ReadWrite, Share::All, Disposition::OpenAlways), 0);
    ASSERT_EQ(reader1.tryLock(kLockBase + 1, 1), 0);
    EXPECT_EQ(reader2.tryLock(kLockBase + 1, 1), 0);
    EXPECT_EQ(writer.tryLock(kLockBase + 1, 1), code::kLockViolation);
}

TEST_F(FileTest, LocksConflictAcrossProcessesAndEndWithClose) {
    Peer peer(path_);
    File mine;
    ASSERT_EQ(mine.open(path_, Access::ReadWrite, Share::All, Disposition::OpenAlways), 0);
    ASSERT_EQ(peer.open(Access::ReadWrite, Share::All), 0);

    const std::uint64_t hold = kLockBase + 0x400 + 42; // a high 64-bit-safe record byte
    ASSERT_EQ(mine.tryLock(hold, 1), 0);
    EXPECT_EQ(peer.tryLock(hold, 1), code::kLockViolation);
    EXPECT_EQ(peer.tryLock(hold + 1, 1), 0);
    EXPECT_EQ(mine.tryLock(hold + 1, 1), code::kLockViolation);

    ASSERT_EQ(mine.unlock(hold, 1), 0);
    EXPECT_EQ(peer.tryLock(hold, 1), 0);
    EXPECT_EQ(peer.unlock(hold, 1), 0);

    const std::uint64_t far = 0x1'0000'0000ull + 7; // beyond 32 bits
    ASSERT_EQ(mine.tryLock(far, 1), 0);
    EXPECT_EQ(peer.tryLock(far, 1), code::kLockViolation);
    mine.close();
    EXPECT_EQ(peer.tryLock(far, 1), 0);

    // The peer's locks end with its close as well.
    EXPECT_EQ(peer.close(), 0);
    ASSERT_EQ(mine.open(path_, Access::ReadWrite, Share::All, Disposition::OpenAlways), 0);
    EXPECT_EQ(mine.tryLock(hold + 1, 1), 0);
    EXPECT_EQ(mine.tryLock(far, 1), 0);
}

TEST_F(FileTest, LocksAndShareModesNeverBlockData) {
    Peer peer(path_);
    ASSERT_EQ(peer.open(Access::ReadWrite, Share::All), 0);
    ASSERT_EQ(peer.tryLock(kLockBase, 1024), 0);

    File mine;
    ASSERT_EQ(mine.open(path_, Access::ReadWrite, Share::All, Disposition::OpenAlways), 0);
    ASSERT_EQ(mine.write("record", 6), 0);
    char buffer[6];
    std::size_t got = 0;
    ASSERT_EQ(mine.readAt(0, buffer, sizeof buffer, &got), 0);
    EXPECT_EQ(std::string(buffer, got), "record");
    std::uint64_t size = 0;
    ASSERT_EQ(mine.size(&size), 0);
    EXPECT_EQ(size, 6u) << "locks beyond the end do not extend the file";
    // Data just below the reserved share bytes stays usable.
    ASSERT_EQ(mine.writeAt(kShareLockBase - 4, "tail", 4), 0);
    ASSERT_EQ(mine.readAt(kShareLockBase - 4, buffer, 4, &got), 0);
    EXPECT_EQ(std::string(buffer, got), "tail");
}

TEST_F(FileTest, RemoveRenameAndExists) {
    File file;
    ASSERT_EQ(file.open(path_, Access::ReadWrite, Share::All, Disposition::CreateNew), 0);
    file.close();
    const std::string other = dir_ + "/other.bin";
    ASSERT_EQ(File::rename(path_, other), 0);
    EXPECT_FALSE(File::exists(path_));
    EXPECT_TRUE(File::exists(other));

    ASSERT_EQ(file.open(path_, Access::ReadWrite, Share::All, Disposition::CreateNew), 0);
    file.close();
    EXPECT_EQ(File::rename(path_, other), code::kFileExists);
    EXPECT_TRUE(File::exists(path_));
    EXPECT_EQ(File::rename(dir_ + "/none", dir_ + "/none2"), code::kFileNotFound);

    EXPECT_EQ(File::remove(other), 0);
    EXPECT_EQ(File::remove(other), code::kFileNotFound);
}

} // namespace
} // namespace docket::platform
