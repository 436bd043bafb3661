// Stations sharing one file: reader slots, the writer byte, the flush lock, and a writer and a
// reader in two processes.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>

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
    auto flushed = std::async(std::launch::async, [&] { return writer->flush(); });
    EXPECT_EQ(flushed.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout)
        << "the flush did not wait for the reader";
    reader->endAccess();
    ASSERT_EQ(flushed.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_EQ(flushed.get(), 0);
    writer->endAccess();
    EXPECT_EQ(readAll(*reader), (Model{{"k", "v"}}));
}

// The writer keeps pairs "a<i>" and "b<i>" equal within every commit; the reader in the other
// process must never see them differ. The reader reads the file over and over while the writer
// commits; the writer sends a byte through a pipe after each commit, the end of the pipe ends the
// reading, and a writer that does not end in time fails the test instead of hanging it.
TEST(QvnLocks, ReaderInAnotherProcessSeesWholeCommits) {
    ScratchDir dir;
    const std::string path = dir.file("two.QVN");
    { station(path); }
    int commits[2] = {-1, -1};
    ASSERT_EQ(::pipe(commits), 0);
    ChildStation writer([&] {
        ::close(commits[0]);
        std::unique_ptr<QvnFile> f;
        if (QvnFile::openPrivate(path, kReadWriteShared, {}, &f) != 0) return 2;
        const auto until = platform::monotonicHundredths() + 150;
        for (int round = 1; platform::monotonicHundredths() < until; ++round) {
            if (f->beginAccess(true, true) != 0) return 3;
            for (int i = 0; i < 40; ++i) {
                bool existed = false;
                const std::string value(20 + (round * 7 + i) % 300, static_cast<char>('a' + round % 26));
                if (f->replace(makeEntry("a" + std::to_string(i * 13 + round % 11), value), &existed) != 0 ||
                    f->replace(makeEntry("b" + std::to_string(i * 13 + round % 11), value), &existed) != 0)
                    return 4;
            }
            if (f->flush() != 0) return 5;
            f->endAccess();
            const char c = 1;
            if (::write(commits[1], &c, 1) != 1) return 6;
        }
        return 0;
    });
    ::close(commits[1]);
    auto reader = station(path, kReadOnlyShared);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    int checks = 0, committed = 0;
    for (bool ended = false; !ended; ++checks) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the writer did not end in time";
        // The commits made since the last look, without waiting; the end of the pipe is the end
        // of the writer, after which the file is read once more.
        while (!ended && waitReadable(commits[0], std::chrono::steady_clock::now())) {
            char seen[512];
            const ssize_t n = ::read(commits[0], seen, sizeof seen);
            if (n <= 0)
                ended = true;
            else
                committed += static_cast<int>(n);
        }
        const Model all = readAll(*reader);
        for (const auto& [key, value] : all) {
            if (key[0] != 'a') continue;
            const auto other = all.find("b" + key.substr(1));
            ASSERT_NE(other, all.end()) << key;
            ASSERT_EQ(other->second, value) << key;
        }
    }
    ::close(commits[0]);
    EXPECT_EQ(writer.finish(), 0);
    EXPECT_GT(checks, 5);
    EXPECT_GT(committed, 5);
    expectClean(path);
}

} // namespace
} // namespace docket::drivers::qvn
