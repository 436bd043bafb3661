// Transactions over two native files: COMMIT and ROLLBACK through the driver, the control file,
// and crashes at every write point of a commit (killed and by power loss), after which both files
// hold the whole transaction or none of it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "drivers/qvn/internal/block_io.h"
#include "drivers/qvn/file_check.h"
#include "drivers/qvn/tests/qvn_test_util.h"
#include "drivers/qvn/tests/table_test_util.h"
#include "platform/tests/child_process.h"

namespace docket::drivers::qvn {
namespace {

using namespace testing;
using enum OperationCode;

// ID LONG, NAME CSTRING(20); NOTE MEMO(600); key ID (unique).
struct Items : TestTable {
    explicit Items(const std::string& name) : TestTable(name) {
        field("ID", TypeCode::Long, 4);
        field("NAME", TypeCode::CString, 20);
        memo("NOTE", 600);
        key("ID_KEY", 0, {1});
    }
    int addItem(std::int32_t id, const std::string& note = {}) {
        setLong(1, id);
        setText(2, "item " + std::to_string(id));
        setMemo(0, note);
        return call(ADD);
    }
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool logPendingOnDisk(const std::string& path) {
    const std::string h = readFile(path);
    return h.size() >= 14 && h.substr(6, 4) != h.substr(10, 4);
}

class TransactionTest : public ::testing::Test {
protected:
    void SetUp() override {
        a = dir.file("a.qvn");
        b = dir.file("b.qvn");
        tcf = dir.file("quorvane.tcf");
        for (const std::string& p : {a, b}) {
            Items t(p);
            ASSERT_EQ(t.call(CREATE), 0);
            ASSERT_EQ(t.call(OPEN), 0);
            ASSERT_EQ(t.addItem(1, "first"), 0);
        }
    }

    // LOGOUT over both, three ADDs and one PUT in each, then COMMIT.
    static int transaction(Items& x, Items& y) {
        DriverArguments args;
        if (int rc = x.call(LOGOUT, args)) return rc;
        if (int rc = y.call(LOGOUT, args)) return rc;
        for (Items* t : {&x, &y}) {
            for (int id = 2; id <= 4; ++id)
                if (int rc = t->addItem(id, std::string(static_cast<std::size_t>(100 * id), 'n'))) return rc;
            t->call(SETfile);
            if (int rc = t->call(NEXT)) return rc; // the record from before the transaction
            t->setText(2, "changed");
            if (int rc = t->call(PUT)) return rc;
        }
        if (int rc = x.call(COMMIT)) return rc;
        return y.call(COMMIT);
    }

    // The number of records of a file and whether its first record carries the change.
    static std::pair<std::uint64_t, bool> stateOf(const std::string& path) {
        Items t(path);
        EXPECT_EQ(t.call(OPEN), 0);
        t.call(SETfile);
        EXPECT_EQ(t.call(NEXT), 0);
        return {t.records(), t.getText(2) == "changed"};
    }

    ScratchDir dir;
    std::string a, b, tcf;
};

TEST_F(TransactionTest, CommitWritesBothFilesAndRollbackNeither) {
    {
        Items x(a), y(b);
        ASSERT_EQ(x.call(OPEN), 0);
        ASSERT_EQ(y.call(OPEN), 0);
        EXPECT_EQ(x.call(COMMIT), 91);
        EXPECT_EQ(x.call(LOGOUT), 0);
        EXPECT_EQ(x.call(LOGOUT), 56);
        EXPECT_EQ(y.call(LOGOUT), 0);
        EXPECT_EQ(x.addItem(2), 0);
        EXPECT_EQ(y.addItem(2), 0);
        EXPECT_EQ(x.records(), 2u); // the station sees its own changes
        EXPECT_EQ(x.call(ROLLBACK), 0);
        EXPECT_EQ(y.call(ROLLBACK), 0); // the transaction ended with the first one
        EXPECT_EQ(y.call(ROLLBACK), 91);
        EXPECT_EQ(x.records(), 1u);
        EXPECT_EQ(y.records(), 1u);
        EXPECT_EQ(x.addItem(9), 0); // outside a transaction again: committed at once
    }
    EXPECT_EQ(stateOf(a).first, 2u);
    EXPECT_EQ(stateOf(b).first, 1u);
    {
        Items x(a), y(b);
        ASSERT_EQ(x.call(OPEN), 0);
        ASSERT_EQ(y.call(OPEN), 0);
        ASSERT_EQ(transaction(x, y), 0);
    }
    EXPECT_EQ(stateOf(a), std::make_pair(std::uint64_t{5}, true));
    EXPECT_EQ(stateOf(b), std::make_pair(std::uint64_t{4}, true));
    EXPECT_TRUE(std::filesystem::exists(tcf));
    for (const std::string& p : {a, b, tcf})
        for (const auto& problem : examineFile(p, "").problems) ADD_FAILURE() << p << ": " << problem;
}

TEST_F(TransactionTest, ATransactionThatChangesOneFileIsAPlainCommit) {
    Items x(a), y(b);
    ASSERT_EQ(x.call(OPEN), 0);
    ASSERT_EQ(y.call(OPEN), 0);
    ASSERT_EQ(x.call(LOGOUT), 0);
    ASSERT_EQ(y.call(LOGOUT), 0);
    ASSERT_EQ(x.addItem(7), 0);
    ASSERT_EQ(x.call(COMMIT), 0);
    ASSERT_EQ(y.call(COMMIT), 0);
    EXPECT_FALSE(std::filesystem::exists(tcf));
    EXPECT_EQ(stateOf(a).first, 2u);
}

TEST_F(TransactionTest, AClosedTableRollsItsTransactionBack) {
    {
        Items x(a), y(b);
        ASSERT_EQ(x.call(OPEN), 0);
        ASSERT_EQ(y.call(OPEN), 0);
        ASSERT_EQ(x.call(LOGOUT), 0);
        ASSERT_EQ(y.call(LOGOUT), 0);
        ASSERT_EQ(x.addItem(2), 0);
        ASSERT_EQ(y.addItem(2), 0);
        ASSERT_EQ(x.call(CLOSE), 0);
        EXPECT_EQ(y.call(COMMIT), 0);
    }
    EXPECT_EQ(stateOf(a).first, 1u);
    EXPECT_EQ(stateOf(b).first, 1u);
}

class TransactionCrashTest : public TransactionTest, public ::testing::WithParamInterface<FaultPlan::Mode> {};

// Kills the committing process at every write and flush of the transaction in turn. Among the
// points are the crash after both files point at their logs while the control file still holds the
// transaction (both reopen without it) and the crash after the control file lost it (both reopen
// with it).
TEST_P(TransactionCrashTest, BothFilesHoldAllOrNoneOfTheTransaction) {
    const std::string baseA = readFile(a), baseB = readFile(b);
    int sawOld = 0, sawNew = 0, loggedOld = 0, loggedNew = 0;
    for (long n = 1; n < 5000; ++n) {
        writeFile(a, baseA);
        writeFile(b, baseB);
        std::filesystem::remove(tcf);
        const pid_t pid = ::fork();
        if (pid == 0) {
            Items x(a), y(b);
            if (x.call(OPEN) || y.call(OPEN)) ::_exit(2);
            resetIoEventCount();
            setFaultPlan({GetParam(), n});
            ::_exit(transaction(x, y) == 0 ? 0 : 3);
        }
        const int status = platform::testing::waitForChild(pid);
        const int code = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        ASSERT_TRUE(code == kCrashExitCode || code == 0) << "child ended with " << code << " at " << n;
        const bool logged = logPendingOnDisk(a) && logPendingOnDisk(b);
        const auto sa = stateOf(a), sb = stateOf(b);
        const bool old = sa == std::make_pair(std::uint64_t{1}, false);
        const bool full = sa == std::make_pair(std::uint64_t{4}, true);
        ASSERT_TRUE(old || full) << "point " << n;
        ASSERT_EQ(sa, sb) << "point " << n;
        (old ? sawOld : sawNew)++;
        if (logged) (old ? loggedOld : loggedNew)++;
        for (const std::string& p : {a, b}) {
            for (const auto& problem : examineFile(p, "").problems)
                ADD_FAILURE() << "point " << n << " " << p << ": " << problem;
        }
        if (code == 0) break;
    }
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 1);
    EXPECT_GT(loggedOld, 0); // between the logs and the commit point
    EXPECT_GT(loggedNew, 0); // after the commit point, before completion
}

INSTANTIATE_TEST_SUITE_P(Modes, TransactionCrashTest,
                         ::testing::Values(FaultPlan::Mode::Kill, FaultPlan::Mode::PowerLoss));

} // namespace
} // namespace docket::drivers::qvn
