// Crash safety of the commit: a child process makes a large change and dies at every write or
// flush of the commit in turn, as a killed process or as a power failure; the file, reopened,
// must hold exactly the old or exactly the new state and be sound.
#include <sys/wait.h>
#include <unistd.h>

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
// so that pages change class and move.
int applyChange(QvnFile& f, Model* model) {
    int rc = f.beginAccess(true, true);
    for (int i = 0; rc == 0 && i < 1500; i += 9) {
        bool existed = false;
        const Entry e = makeEntry(keyOf(i), std::string(40 + i % 200, static_cast<char>('A' + i % 26)));
        rc = f.replace(e, &existed);
        if (model) (*model)[keyOf(i)] = e.bytes.substr(e.keyLength);
    }
    for (int i = 1; rc == 0 && i < 1500; i += 13) {
        bool existed = false;
        rc = f.erase(keyOf(i), &existed);
        if (model) model->erase(keyOf(i));
    }
    for (int i = 1500; rc == 0 && i < 1650; ++i) {
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

class QvnCrashScrambled : public QvnCrash {
protected:
    void SetUp() override {
        password = "Owner";
        QvnCrash::SetUp();
    }
};

TEST_F(QvnCrashScrambled, KilledAtEveryThirdWriteOrFlush) {
    crashAtEveryPoint(FaultPlan::Mode::Kill, 3);
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

} // namespace
} // namespace docket::drivers::qvn
