// Stations sharing one file: reader slots, the writer byte, the flush lock, and a writer and a
// reader in two processes.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "drivers/qvn/tests/qvn_test_util.h"
#include "platform/clock.h"

namespace docket::drivers::qvn {
namespace {

using namespace testing;

std::unique_ptr<QvnFile> station(const std::string& path, unsigned mode = kReadWriteShared) {
    std::unique_ptr<QvnFile> f;
    EXPECT_EQ(QvnFile::openPrivate(path, mode, {}, &f), 0);
    return f;
}

TEST(QvnLocks, CollidingReadersSpreadOverSlots) {
    ScratchDir dir;
    const std::string path = dir.file("slots.QVN");
    auto a = station(path), b = station(path);
    a->locks().setSlot(1022);
    b->locks().setSlot(1022);
    ASSERT_EQ(a->beginAccess(false), 0);
    ASSERT_EQ(b->beginAccess(false), 0);
    EXPECT_EQ(a->locks().slot(), 1022u);
    EXPECT_EQ(b->locks().slot(), 0u); // moved on, wrapping at 1023
    a->endAccess();
    b->endAccess();
}

TEST(QvnLocks, OneWriterAtATime) {
    ScratchDir dir;
    const std::string path = dir.file("writer.QVN");
    auto a = station(path), b = station(path);
    ASSERT_EQ(a->beginAccess(true), 0);
    EXPECT_EQ(b->beginAccess(true), 5);
    EXPECT_EQ(b->beginAccess(false), 0); // reading goes on beside a writer
    b->endAccess();
    a->endAccess();
    EXPECT_EQ(b->beginAccess(true), 0);
    b->endAccess();
}

TEST(QvnLocks, ExclusiveOpenTakesNoLocksAndKeepsOthersOut) {
    ScratchDir dir;
    const std::string path = dir.file("excl.QVN");
    auto a = station(path, kReadWriteExclusive);
    std::unique_ptr<QvnFile> b;
    EXPECT_EQ(QvnFile::openPrivate(path, kReadWriteShared, {}, &b), 5);
    ASSERT_EQ(a->beginAccess(true), 0);
    a->endAccess();
}

TEST(QvnLocks, FlushWaitsForReaders) {
    ScratchDir dir;
    const std::string path = dir.file("flush.QVN");
    auto writer = station(path), reader = station(path);
    ASSERT_EQ(reader->beginAccess(false), 0);
    ASSERT_EQ(writer->beginAccess(true), 0);
    bool existed = false;
    ASSERT_EQ(writer->replace(makeEntry("k", "v"), &existed), 0);
    std::atomic<bool> flushed{false};
    std::thread flusher([&] {
        EXPECT_EQ(writer->flush(), 0);
        flushed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(flushed);
    reader->endAccess();
    flusher.join();
    EXPECT_TRUE(flushed);
    writer->endAccess();
    EXPECT_EQ(readAll(*reader), (Model{{"k", "v"}}));
}

// The writer keeps pairs "a<i>" and "b<i>" equal within every commit; the reader in the other
// process must never see them differ.
TEST(QvnLocks, ReaderInAnotherProcessSeesWholeCommits) {
    ScratchDir dir;
    const std::string path = dir.file("two.QVN");
    { station(path); }
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::unique_ptr<QvnFile> f;
        if (QvnFile::openPrivate(path, kReadWriteShared, {}, &f) != 0) ::_exit(2);
        const auto until = platform::monotonicHundredths() + 150;
        for (int round = 1; platform::monotonicHundredths() < until; ++round) {
            if (f->beginAccess(true, true) != 0) ::_exit(3);
            for (int i = 0; i < 40; ++i) {
                bool existed = false;
                const std::string value(20 + (round * 7 + i) % 300, static_cast<char>('a' + round % 26));
                if (f->replace(makeEntry("a" + std::to_string(i * 13 + round % 11), value), &existed) != 0 ||
                    f->replace(makeEntry("b" + std::to_string(i * 13 + round % 11), value), &existed) != 0)
                    ::_exit(4);
            }
            if (f->flush() != 0) ::_exit(5);
            f->endAccess();
        }
        ::_exit(0);
    }
    auto reader = station(path, kReadOnlyShared);
    int checks = 0;
    for (int status = 0; ::waitpid(pid, &status, WNOHANG) == 0; ++checks) {
        const Model all = readAll(*reader);
        for (const auto& [key, value] : all) {
            if (key[0] != 'a') continue;
            const auto other = all.find("b" + key.substr(1));
            ASSERT_NE(other, all.end()) << key;
            ASSERT_EQ(other->second, value) << key;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    EXPECT_GT(checks, 5);
    expectClean(path);
}

} // namespace
} // namespace docket::drivers::qvn
