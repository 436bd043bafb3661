// Runs of reads: a reader that scans in a loop with one read access per run never sees half of
// another station's commit, and that station's commits still go through while the reader scans.
#include "files/read_run.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>

#include "drivers/driver_registry.h"
#include "drivers/qvn/tests/table_test_util.h"
#include "files/file_statements.h"
#include "platform/tests/child_process.h"
#include "runtime/core/error_state.h"

namespace docket::runtime {
namespace {

using drivers::qvn::testing::ScratchDir;
using drivers::qvn::testing::TestTable;
using drivers::OperationCode;

constexpr int kRecords = 300;
constexpr auto kScanTime = std::chrono::milliseconds(1500);

// ID LONG, A LONG, B LONG, NOTE MEMO: every commit keeps A == B and NOTE == "value A" together,
// in every record it touches (two records per commit).
struct Pairs : TestTable {
    explicit Pairs(const std::string& path) : TestTable(path) {
        field("ID", TypeCode::Long, 4);
        field("A", TypeCode::Long, 4);
        field("B", TypeCode::Long, 4);
        memo("NOTE", 2000);
        key("ID_KEY", drivers::key_flag::kPrimary, {1});
    }
    void fillValue(std::int32_t v) {
        setLong(2, v);
        setLong(3, v);
        setMemo(0, "value " + std::to_string(v) + std::string(static_cast<std::size_t>(v % 1500), '.'));
    }
    bool consistent() {
        const std::int32_t a = getLong(2);
        const std::string expected = "value " + std::to_string(a) + std::string(static_cast<std::size_t>(a % 1500), '.');
        return a == getLong(3) && getMemo(0).substr(0, expected.size()) == expected &&
               getMemo(0).find_first_not_of(' ', expected.size()) == std::string::npos;
    }
};

TEST(ReadRuns, AScanningReaderSeesWholeCommitsAndTheWriterIsNotStarved) {
    ScratchDir dir;
    const std::string path = dir.file("pairs.qvn");
    {
        Pairs t(path);
        ASSERT_EQ(t.call(OperationCode::CREATE), 0);
        ASSERT_EQ(t.call(OperationCode::OPEN), 0);
        for (int id = 1; id <= kRecords; ++id) {
            t.setLong(1, id);
            t.fillValue(0);
            ASSERT_EQ(t.call(OperationCode::ADD), 0);
        }
        t.call(OperationCode::CLOSE);
    }
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        // The other station: commits of two records each until the reader is done.
        ::close(report[0]);
        Pairs t(path);
        if (t.call(OperationCode::OPEN) != 0) ::_exit(2);
        drivers::DriverFile* files[] = {&t.file};
        int commits = 0;
        const auto end = std::chrono::steady_clock::now() + kScanTime;
        for (std::int32_t round = 1; std::chrono::steady_clock::now() < end; ++round) {
            if (logout(5, files) != 0) ::_exit(3);
            for (int k = 0; k < 2; ++k) {
                t.setLong(1, 1 + (round * 7 + k * 131) % kRecords);
                if (get(t.file, t.declaration.keys[0]) != 0) ::_exit(4);
                t.fillValue(round);
                if (put(t.file) != 0) ::_exit(5);
            }
            if (commit() != 0) ::_exit(6);
            ++commits;
        }
        const ssize_t written = ::write(report[1], &commits, sizeof commits);
        ::_exit(written == sizeof commits ? 0 : 7);
    }
    ::close(report[1]);
    Pairs t(path);
    ASSERT_EQ(t.call(OperationCode::OPEN), 0);
    int scans = 0, inconsistent = 0, refused = 0;
    std::int64_t sumOfFirstScan = -1, sumOfLastScan = 0;
    const auto end = std::chrono::steady_clock::now() + kScanTime;
    // One run for all the scans: only the driver's own bounds let the writer in. The run ends
    // before the writer is waited for.
    auto run = std::make_unique<ReadRun>(t.file);
    while (std::chrono::steady_clock::now() < end) {
        if (const int rc = set(KeyRef{t.file, t.declaration.keys[0]}); rc != 0) {
            ASSERT_EQ(rc, 5);
            ++refused;
            continue;
        }
        std::int64_t sum = 0;
        int seen = 0;
        while (next(t.file) == 0) {
            if (!t.consistent()) ++inconsistent;
            sum += t.getLong(2);
            ++seen;
        }
        // A read in a run waits out another station's commit; only a commit that outlasts that
        // wait refuses it (5), and the scan is tried again.
        if (errorCode() == 5) {
            ++refused;
            continue;
        }
        ASSERT_EQ(errorCode(), 33);
        ASSERT_EQ(seen, kRecords);
        if (sumOfFirstScan < 0) sumOfFirstScan = sum;
        sumOfLastScan = sum;
        ++scans;
    }
    run.reset();
    int commits = 0;
    EXPECT_EQ(::read(report[0], &commits, sizeof commits), static_cast<ssize_t>(sizeof commits));
    const int status = platform::testing::waitForChild(writer);
    ASSERT_GE(status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(inconsistent, 0);
    EXPECT_GT(scans, 3) << refused << " scans met a commit, " << commits << " commits";
    // The writer got through its commits while the reader scanned in one run without a pause
    // (each commit syncs several times, so a busy machine manages few).
    EXPECT_GE(commits, 5) << scans << " scans";
    EXPECT_NE(sumOfFirstScan, sumOfLastScan); // and the reader saw them
    t.call(OperationCode::CLOSE);
}

// Before a box waits for the user, the run gives its reader slot back: another station commits
// while the run is still open and nothing reads, and the run's next read sees that commit.
TEST(ReadRuns, AWaitForTheUserGivesTheReaderSlotBack) {
    ScratchDir dir;
    const std::string path = dir.file("wait.qvn");
    Pairs t(path);
    ASSERT_EQ(t.call(OperationCode::CREATE), 0);
    ASSERT_EQ(t.call(OperationCode::OPEN), 0);
    for (int id = 1; id <= 3; ++id) {
        t.setLong(1, id);
        t.fillValue(id);
        ASSERT_EQ(t.call(OperationCode::ADD), 0);
    }
    ReadRun run(t.file);
    ASSERT_EQ(set(KeyRef{t.file, t.declaration.keys[0]}), 0);
    ASSERT_EQ(next(t.file), 0); // the run now keeps the reader slot
    drivers::releaseBeforeUserWait();
    const pid_t writer = ::fork();
    if (writer == 0) {
        // A commit waits for every reader slot: one still kept would stop it until the alarm.
        ::alarm(10);
        Pairs other(path);
        if (other.call(OperationCode::OPEN) != 0) ::_exit(2);
        other.setLong(1, 4);
        other.fillValue(4);
        ::_exit(other.call(OperationCode::ADD) == 0 ? 0 : 3);
    }
    const int status = platform::testing::waitForChild(writer, std::chrono::seconds(30));
    ASSERT_GE(status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "the other station's commit did not get through";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    int seen = 1;
    while (next(t.file) == 0) ++seen;
    EXPECT_EQ(errorCode(), 33);
    EXPECT_EQ(seen, 4);
    t.call(OperationCode::CLOSE);
}

TEST(ReadRuns, TheGuardLeavesTheLastErrorAndIgnoresClosedFiles) {
    ScratchDir dir;
    Pairs t(dir.file("guard.qvn"));
    setError(35);
    { ReadRun closed(t.file); }
    EXPECT_EQ(errorCode(), 35);
    ASSERT_EQ(t.call(OperationCode::CREATE), 0);
    ASSERT_EQ(t.call(OperationCode::OPEN), 0);
    setError(33);
    {
        ReadRun run(t.file);
        EXPECT_EQ(errorCode(), 33);
    }
    EXPECT_EQ(errorCode(), 33);
    t.call(OperationCode::CLOSE);
}

} // namespace
} // namespace docket::runtime
