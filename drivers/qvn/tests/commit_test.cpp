// Crash safety of the commit: a child process makes a large change and dies at every write or
// flush of the commit in turn, as a killed process or as a power failure; the file, reopened,
// must hold exactly the old or exactly the new state and be sound.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <iterator>

#include "drivers/qvn/tests/qvn_test_util.h"
#include "platform/tests/child_process.h"

namespace docket::drivers::qvn {
namespace {

using namespace testing;

std::string keyOf(int i) {
    char text[16];
    std::snprintf(text, sizeof text, "r%06d", i);
    return text;
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The change: rewrites, deletes and new entries all over the file, with entries of new sizes
// so that pages change class and move. A second round changes the same pages again.
int applyChange(QvnFile& f, Model* model, int round = 0) {
    int rc = f.beginAccess(true, true);
    for (int i = round; rc == 0 && i < 1500; i += 9) {
        bool existed = false;
        const Entry e =
            makeEntry(keyOf(i), std::string(40 + (i + 77 * round) % 200, static_cast<char>('A' + i % 26)));
        rc = f.replace(e, &existed);
        if (model) (*model)[keyOf(i)] = e.bytes.substr(e.keyLength);
    }
    for (int i = 1 + round; rc == 0 && i < 1500; i += 13) {
        bool existed = false;
        rc = f.erase(keyOf(i), &existed);
        if (model) model->erase(keyOf(i));
    }
    for (int i = 1500 + 150 * round; rc == 0 && i < 1650 + 150 * round; ++i) {
        bool existed = false;
        const Entry e = makeEntry(keyOf(i), std::string(150, 'n'));
        rc = f.replace(e, &existed);
        if (model) (*model)[keyOf(i)] = e.bytes.substr(e.keyLength);
    }
    std::uint32_t number = 0;
    if (rc == 0) rc = f.nextNumber(&number);
    if (rc == 0) rc = f.flush();
    f.endAccess();
    return rc;
}

class QvnCrash : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("crash.QVN");
        std::unique_ptr<QvnFile> f;
        ASSERT_EQ(QvnFile::openPrivate(path, kReadWriteShared, password, &f), 0);
        ASSERT_EQ(f->beginAccess(true), 0);
        for (int i = 0; i < 1500; ++i) {
            bool existed = false;
            const Entry e = makeEntry(keyOf(i), std::string(80, static_cast<char>('a' + i % 26)));
            ASSERT_EQ(f->replace(e, &existed), 0);
            oldModel[keyOf(i)] = e.bytes.substr(e.keyLength);
        }
        ASSERT_EQ(f->flush(), 0);
        f->endAccess();
        f.reset();
        base = readBytes(path);
        newModel = oldModel;
        applyChange(*openScratch(), &newModel);
        writeBytes(path, base);
    }

    std::unique_ptr<QvnFile> openScratch() {
        // The model of the new state comes from a copy, so the base file stays as it is.
        const std::string copy = dir.file("model.QVN");
        writeBytes(copy, base);
        std::unique_ptr<QvnFile> f;
        EXPECT_EQ(QvnFile::openPrivate(copy, kReadWriteShared, password, &f), 0);
        return f;
    }

    // Runs the change in a child that stops as `plan` says; returns its exit code.
    int runChild(FaultPlan::Mode mode, long n) { return runChild(FaultPlan{mode, n}); }
    int runChild(const FaultPlan& plan) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            std::unique_ptr<QvnFile> f;
            if (QvnFile::openPrivate(path, kReadWriteShared, password, &f) != 0) ::_exit(2);
            resetIoEventCount();
            setFaultPlan(plan);
            ::_exit(applyChange(*f, nullptr) == 0 ? 0 : 3);
        }
        const int status = platform::testing::waitForChild(pid);
        return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void crashAtEveryPoint(FaultPlan::Mode mode, long stride = 1) {
        int sawOld = 0, sawNew = 0;
        for (long n = 1; n < 100000; n += stride) {
            writeBytes(path, base);
            const int code = runChild(mode, n);
            ASSERT_TRUE(code == kCrashExitCode || code == 0) << "child ended with " << code << " at " << n;
            {
                // A station that only reads sees one of the states too (through the log when one
                // is pending).
                std::unique_ptr<QvnFile> reader;
                ASSERT_EQ(QvnFile::openPrivate(path, kReadOnlyShared, password, &reader), 0);
                const Model seen = readAll(*reader);
                ASSERT_TRUE(seen == oldModel || seen == newModel) << "read-only view at point " << n;
            }
            std::unique_ptr<QvnFile> f;
            ASSERT_EQ(QvnFile::openPrivate(path, kReadWriteShared, password, &f), 0);
            const Model seen = readAll(*f);
            ASSERT_TRUE(seen == oldModel || seen == newModel) << "state at point " << n;
            (seen == oldModel ? sawOld : sawNew)++;
            EXPECT_FALSE(f->logPending());
            f.reset();
            const FileReport report = examineFile(path, password);
            for (const auto& p : report.problems) ADD_FAILURE() << "point " << n << ": " << p;
            if (code == 0) break;
        }
        EXPECT_GT(sawOld, 0);
        EXPECT_GT(sawNew, 1); // at least one crash after the commit point, besides the finished run
    }

    // The state the file shows after a crash: old or new, sound, no log left; counts which.
    void expectOldOrNew(const std::string& where, int* sawOld, int* sawNew) {
        // A damaged page halts a program; here it is recorded and fails the test.
        FaultRecorder faults;
        struct NoStops {
            const FaultRecorder& faults;
            const std::string& where;
            ~NoStops() {
                for (const auto& m : faults.messages) ADD_FAILURE() << where << ": " << m;
            }
        } noStops{faults, where};
        std::unique_ptr<QvnFile> reader;
        ASSERT_EQ(QvnFile::openPrivate(path, kReadOnlyShared, password, &reader), 0) << where;
        const Model read = readAll(*reader);
        ASSERT_TRUE(read == oldModel || read == newModel) << "read-only view " << where;
        reader.reset();
        std::unique_ptr<QvnFile> f;
        ASSERT_EQ(QvnFile::openPrivate(path, kReadWriteShared, password, &f), 0) << where;
        const Model seen = readAll(*f);
        ASSERT_TRUE(seen == oldModel || seen == newModel) << "state " << where;
        (seen == oldModel ? *sawOld : *sawNew)++;
        EXPECT_FALSE(f->logPending()) << where;
        f.reset();
        const FileReport report = examineFile(path, password);
        for (const auto& p : report.problems) ADD_FAILURE() << where << ": " << p;
    }

    ScratchDir dir;
    std::string path;
    std::string password;
    std::string base;
    Model oldModel, newModel;
};

TEST_F(QvnCrash, KilledAtEveryWriteAndFlush) {
    crashAtEveryPoint(FaultPlan::Mode::Kill);
}

TEST_F(QvnCrash, PowerLossDropsAndTearsUnflushedWrites) {
    crashAtEveryPoint(FaultPlan::Mode::PowerLoss);
}

// A disk may reorder what it was sent since the last flush: at every flush of the change, many
// subsets of the writes in flight reach the disk (a later one kept while an earlier one is lost),
// and the file still shows the old or the new state.
TEST_F(QvnCrash, PowerLossKeepsAnySubsetOfTheUnflushedWrites) {
    int sawOld = 0, sawNew = 0;
    bool finished = false;
    for (long flushPoint = 1; !finished && flushPoint < 100; ++flushPoint) {
        for (std::uint64_t seed = 1; seed <= 32; ++seed) {
            writeBytes(path, base);
            const int code = runChild(FaultPlan{FaultPlan::Mode::PowerLoss, flushPoint, seed * 0x9E3779B97F4A7C15ull, true});
            ASSERT_TRUE(code == kCrashExitCode || code == 0) << "child ended with " << code;
            expectOldOrNew("at flush " + std::to_string(flushPoint) + ", seed " + std::to_string(seed), &sawOld,
                           &sawNew);
            if (HasFatalFailure()) return;
            if (code == 0) {
                finished = true;
                break;
            }
        }
    }
    EXPECT_TRUE(finished);
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 1);
}

// Two commits in a row by one station, the second over the first's log still pointed at, with a
// power failure at every flush of both and after the last: what a commit returned is never lost,
// and the file shows one of the three states.
TEST_F(QvnCrash, PowerLossAcrossTwoCommitsKeepsEveryCommitThatReturned) {
    Model midModel = oldModel, lastModel;
    {
        auto f = openScratch();
        applyChange(*f, &midModel);
        lastModel = midModel;
        applyChange(*f, &lastModel, 1);
    }
    const std::string returned = dir.file("returned");
    FaultRecorder faults; // a damaged page is recorded, not halted on
    int seen[3] = {0, 0, 0};
    bool finished = false;
    for (long flushPoint = 1; !finished && flushPoint < 100; ++flushPoint) {
        for (std::uint64_t seed = 0; seed <= 12; ++seed) {
            writeBytes(path, base);
            std::remove(returned.c_str());
            const pid_t pid = ::fork();
            if (pid == 0) {
                std::unique_ptr<QvnFile> f;
                if (QvnFile::openPrivate(path, kReadWriteShared, password, &f) != 0) ::_exit(2);
                resetIoEventCount();
                // Seed 0: the first lost write is torn; others: any subset of sectors is lost.
                setFaultPlan(
                    FaultPlan{FaultPlan::Mode::PowerLoss, flushPoint, seed * 0x9E3779B97F4A7C15ull, true});
                for (int round = 0; round < 2; ++round) {
                    if (applyChange(*f, nullptr, round) != 0) ::_exit(3);
                    writeBytes(returned, std::to_string(round + 1));
                }
                // The power fails after the last commit: its writes in place were not flushed.
                f->io().flush();
                ::_exit(0);
            }
            const int status = platform::testing::waitForChild(pid);
            const int code = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            ASSERT_TRUE(code == kCrashExitCode || code == 0) << "child ended with " << code;
            const std::string where =
                "at flush " + std::to_string(flushPoint) + ", seed " + std::to_string(seed);
            const int done = std::atoi(readBytes(returned).c_str());
            std::unique_ptr<QvnFile> f;
            ASSERT_EQ(QvnFile::openPrivate(path, kReadWriteShared, password, &f), 0) << where;
            const Model state = readAll(*f);
            for (const auto& m : faults.messages) ADD_FAILURE() << where << ": " << m;
            faults.messages.clear();
            const int which = state == oldModel ? 0 : state == midModel ? 1 : state == lastModel ? 2 : -1;
            ASSERT_GE(which, done) << where << ": returned " << done << " commits";
            ASSERT_LE(which, 2) << where;
            ++seen[which];
            EXPECT_FALSE(f->logPending()) << where;
            f.reset();
            const FileReport report = examineFile(path, password);
            for (const auto& problem : report.problems) ADD_FAILURE() << where << ": " << problem;
            if (HasFailure()) return;
            if (code == 0) finished = true;
        }
    }
    EXPECT_TRUE(finished);
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
    EXPECT_GT(seen[2], 0);
}

class QvnCrashScrambled : public QvnCrash {
protected:
    void SetUp() override {
        password = "Owner";
        QvnCrash::SetUp();
    }
};

// Every point: a commit writes pages next to each other in one write, so there are few.
TEST_F(QvnCrashScrambled, KilledAtEveryWriteAndFlush) {
    crashAtEveryPoint(FaultPlan::Mode::Kill);
}

TEST(QvnCommit, AFailedWriteLeavesTheCommittedState) {
    ScratchDir dir;
    const std::string path = dir.file("fail.QVN");
    std::unique_ptr<QvnFile> f;
    ASSERT_EQ(QvnFile::openPrivate(path, kReadWriteShared, {}, &f), 0);
    ASSERT_EQ(f->beginAccess(true), 0);
    bool existed = false;
    ASSERT_EQ(f->replace(makeEntry("a", "1"), &existed), 0);
    ASSERT_EQ(f->flush(), 0);
    ASSERT_EQ(f->replace(makeEntry("b", "2"), &existed), 0);
    // A file that can no longer be written: the flush fails with 90 and the change is dropped.
    std::unique_ptr<QvnFile> ro;
    ASSERT_EQ(QvnFile::openPrivate(path, kReadOnlyShared, {}, &ro), 0);
    f->io().file().close();
    EXPECT_EQ(f->flush(), 90);
    f->endAccess();
    EXPECT_EQ(readAll(*ro), (Model{{"a", "1"}}));
}

void imagesMadeAgain(std::size_t kept) {
    ScratchDir dir;
    const std::string path = dir.file("images.QVN");
    std::unique_ptr<QvnFile> f;
    ASSERT_EQ(QvnFile::openPrivate(path, kReadWriteShared, {}, &f), 0);
    f->setImagesKept(kept);
    Model model;
    bool existed = false;
    ASSERT_EQ(f->beginAccess(true), 0);
    for (int i = 0; i < 3000; ++i) {
        const std::string key = "k" + std::to_string(100000 + i);
        model[key] = std::string(100 + i % 200, static_cast<char>('a' + i % 26));
        ASSERT_EQ(f->replace(makeEntry(key, model[key]), &existed), 0);
    }
    const long pages = static_cast<long>(f->store().changedCount());
    resetIoEventCount();
    ASSERT_EQ(f->flush(), 0);
    // Every page is new and placed class by class: one write for a run of neighbours.
    EXPECT_LT(ioEventCount(), pages / 4) << pages << " pages";
    for (int i = 0; i < 3000; i += 7) {
        const std::string key = "k" + std::to_string(100000 + i);
        model[key] = std::string(50 + i % 300, 'z');
        ASSERT_EQ(f->replace(makeEntry(key, model[key]), &existed), 0);
    }
    ASSERT_EQ(f->flush(), 0);
    f->endAccess();
    f.reset();
    std::unique_ptr<QvnFile> back;
    ASSERT_EQ(QvnFile::openPrivate(path, kReadOnlyShared, {}, &back), 0);
    EXPECT_EQ(readAll(*back), model);
    back.reset();
    for (const auto& problem : examineFile(path, {}).problems) ADD_FAILURE() << problem;
}

// A large commit writes pages that lie next to each other in one write, and makes again, as it
// writes them, the images it did not keep while placing the pages: the file reads back whole and
// sound after a first commit of new pages and a second that changes committed ones through the log.
TEST(QvnCommit, ImagesMadeAgainAndPagesWrittenTogetherMakeTheSameFile) {
    // No image kept, and some kept while the others are made again.
    for (const std::size_t kept : {std::size_t{0}, std::size_t{200000}}) {
        SCOPED_TRACE(kept);
        imagesMadeAgain(kept);
    }
}

FileHeader headerOnDisk(const std::string& path) {
    FileHeader header;
    const std::string bytes = readBytes(path);
    EXPECT_GE(bytes.size(), kHeaderSize);
    EXPECT_TRUE(decodeHeader(reinterpret_cast<const std::uint8_t*>(bytes.data()), &header));
    return header;
}

int put(QvnFile& f, const std::string& key, const std::string& data, bool commit = true) {
    int rc = f.beginAccess(true, true);
    bool existed = false;
    if (rc == 0) rc = f.replace(makeEntry(key, data), &existed);
    if (rc == 0 && commit) rc = f.flush();
    f.endAccess();
    return rc;
}

// After its commit a station leaves the header pointing at its log, already written in place: its
// next commit flushes twice, once for the new log with the old log's writes in place and once for
// the header. The header on disk shows every commit by a greater change counter, and a closed file
// has no log and ends with its page space.
TEST(QvnCommit, ACommitOverTheStationsOwnLogFlushesTwice) {
    ScratchDir dir;
    const std::string path = dir.file("own.QVN");
    std::unique_ptr<QvnFile> f;
    ASSERT_EQ(QvnFile::openPrivate(path, kReadWriteShared, {}, &f), 0);
    Model model;
    std::uint32_t counter = 0; // an empty file has no header yet
    for (int i = 0; i < 40; ++i) {
        const std::string key = keyOf(i * 7 % 40), data(100 + i * 37 % 900, static_cast<char>('a' + i % 26));
        setFaultPlan(FaultPlan{FaultPlan::Mode::None, 0, 0, true});
        resetIoEventCount();
        ASSERT_EQ(put(*f, key, data), 0);
        if (i > 0) {
            EXPECT_EQ(ioEventCount(), 2) << "commit " << i;
        }
        model[key] = data;
        const FileHeader onDisk = headerOnDisk(path);
        EXPECT_GT(onDisk.changeCounter, counter) << "commit " << i;
        EXPECT_NE(onDisk.logStart, onDisk.logEnd) << "commit " << i;
        counter = onDisk.changeCounter;
    }
    setFaultPlan(FaultPlan{});
    std::uint64_t end = pageSpaceEnd(f->header());
    f.reset();
    const FileHeader closed = headerOnDisk(path);
    EXPECT_EQ(closed.logStart, closed.logEnd);
    EXPECT_EQ(std::filesystem::file_size(path), end);
    ASSERT_EQ(QvnFile::openPrivate(path, kReadWriteShared, {}, &f), 0);
    EXPECT_EQ(readAll(*f), model);
    f.reset();
    expectClean(path);
}

// Other stations read a commit through the log it left pointed at; a writing station applies that
// log, and the station that wrote it then commits over the new state.
TEST(QvnCommit, OtherStationsReadAndApplyALogLeftPointedAt) {
    ScratchDir dir;
    const std::string path = dir.file("shared.QVN");
    std::unique_ptr<QvnFile> a, b, reader;
    ASSERT_EQ(QvnFile::openPrivate(path, kReadWriteShared, {}, &a), 0);
    ASSERT_EQ(QvnFile::openPrivate(path, kReadWriteShared, {}, &b), 0);
    ASSERT_EQ(QvnFile::openPrivate(path, kReadOnlyShared, {}, &reader), 0);
    Model model;
    for (int i = 0; i < 300; ++i) model[keyOf(i)] = std::string(60 + i % 150, 'x');
    ASSERT_EQ(a->beginAccess(true), 0);
    for (const auto& [key, data] : model) {
        bool existed = false;
        ASSERT_EQ(a->replace(makeEntry(key, data), &existed), 0);
    }
    ASSERT_EQ(a->flush(), 0);
    a->endAccess();
    EXPECT_EQ(readAll(*reader), model);
    EXPECT_EQ(readAll(*b), model);

    for (int round = 0; round < 6; ++round) {
        QvnFile& writer = round % 3 == 2 ? *b : *a;
        const std::string key = keyOf(round * 53 % 300),
                          data(200 + round * 300, static_cast<char>('A' + round));
        ASSERT_EQ(put(writer, key, data), 0);
        model[key] = data;
        EXPECT_EQ(readAll(*reader), model) << "round " << round;
        EXPECT_EQ(readAll(*a), model) << "round " << round;
        EXPECT_EQ(readAll(*b), model) << "round " << round;
    }
    a.reset();
    b.reset();
    reader.reset();
    EXPECT_EQ(headerOnDisk(path).logStart, headerOnDisk(path).logEnd);
    expectClean(path);
}

// A station that applies another station's log waits for the stations reading through it: the log
// goes when the pages are in place, and a reader halfway through its access still finds it.
TEST(QvnCommit, ApplyingALogWaitsForStationsReadingThroughIt) {
    ScratchDir dir;
    const std::string path = dir.file("wait.QVN");
    FaultRecorder faults;
    std::unique_ptr<QvnFile> a, b, reader;
    ASSERT_EQ(QvnFile::openPrivate(path, kReadWriteShared, {}, &a), 0);
    ASSERT_EQ(QvnFile::openPrivate(path, kReadWriteShared, {}, &b), 0);
    ASSERT_EQ(QvnFile::openPrivate(path, kReadOnlyShared, {}, &reader), 0);
    Model model;
    // The second round changes every page: the whole tree is then read through the log.
    for (const char first : {'a', 'A'}) {
        ASSERT_EQ(a->beginAccess(true), 0);
        for (int i = 0; i < 2000; ++i) {
            bool existed = false;
            model[keyOf(i)] = std::string(100, static_cast<char>(first + i % 26));
            ASSERT_EQ(a->replace(makeEntry(keyOf(i), model[keyOf(i)]), &existed), 0);
        }
        ASSERT_EQ(a->flush(), 0);
        a->endAccess();
    }

    ASSERT_EQ(reader->beginAccess(false, true), 0);
    std::atomic<bool> applied{false};
    std::thread writer([&] {
        EXPECT_EQ(put(*b, keyOf(5000), "new"), 0);
        applied = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(applied);
    EXPECT_EQ(readAll(*reader), model);
    reader->endAccess();
    writer.join();
    EXPECT_TRUE(applied);
    for (const auto& m : faults.messages) ADD_FAILURE() << m;
    model[keyOf(5000)] = "new";
    EXPECT_EQ(readAll(*reader), model);
}

} // namespace
} // namespace docket::drivers::qvn
