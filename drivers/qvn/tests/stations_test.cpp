// Several stations (processes) on one native file: record numbers, WATCH, held records, LOCK.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <optional>
#include <set>

#include "drivers/qvn/tests/qvn_test_util.h"
#include "drivers/qvn/tests/table_test_util.h"

namespace docket::drivers::qvn {
namespace {

using namespace testing;
using enum OperationCode;

struct Items : TestTable {
    explicit Items(const std::string& name) : TestTable(name) {
        field("ID", TypeCode::Long, 4);
        field("NAME", TypeCode::CString, 20);
        memo("NOTE", 300);
        key("ID_KEY", key_flag::kDup, {1});
    }
};

// A child station that runs `body` and exits with its result; pipes let the parent step it, and
// every wait on a pipe or for the end of the child has a deadline.
struct Station {
    int toChild[2]{}, toParent[2]{};
    std::optional<ChildStation> child;
    template <typename Body> explicit Station(Body body) {
        EXPECT_EQ(::pipe(toChild), 0);
        EXPECT_EQ(::pipe(toParent), 0);
        child.emplace([this, body] { return body(*this); });
    }
    void signal(int fd) {
        char c = 1;
        EXPECT_EQ(::write(fd, &c, 1), 1);
    }
    // Waits for the other side's byte; false (and a failure in the parent) when none comes in time.
    bool await(int fd) {
        char c = 0;
        const bool ready = waitReadable(fd, std::chrono::steady_clock::now() + std::chrono::seconds(60));
        const bool got = ready && ::read(fd, &c, 1) == 1;
        EXPECT_TRUE(got) << "no word from the other station";
        return got;
    }
    int finish() { return child->finish(); }
};

class StationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("shared.qvn");
        Items t(path);
        ASSERT_EQ(t.call(CREATE), 0);
        ASSERT_EQ(t.call(OPEN), 0);
        t.setLong(1, 1);
        t.setText(2, "one");
        t.setMemo(0, "note");
        ASSERT_EQ(t.call(ADD), 0);
        first = t.pointer();
    }
    ScratchDir dir;
    std::string path;
    std::uint32_t first = 0;
};

TEST_F(StationsTest, ConcurrentAddsGetDistinctRecordNumbers) {
    auto adder = [this](int base) {
        return [this, base](Station&) {
            Items t(path);
            // A read access refused during the other station's flush answers 5; a station retries.
            if (retryWhileBusy([&] { return t.call(OPEN); }) != 0) return 2;
            for (int i = 0; i < 60; ++i) {
                t.setLong(1, base + i);
                if (t.call(ADD)) return 3;
            }
            return 0;
        };
    };
    Station s1(adder(1000)), s2(adder(2000));
    EXPECT_EQ(s1.finish(), 0);
    EXPECT_EQ(s2.finish(), 0);
    Items t(path);
    ASSERT_EQ(t.call(OPEN), 0);
    EXPECT_EQ(t.records(), 121u);
    std::set<std::uint32_t> pointers;
    std::set<std::int32_t> ids;
    t.call(SETfile);
    int rc = 0;
    while ((rc = t.call(NEXT)) == 0) {
        pointers.insert(t.pointer());
        ids.insert(t.getLong(1));
    }
    EXPECT_EQ(rc, 33);
    EXPECT_EQ(pointers.size(), 121u);
    EXPECT_EQ(ids.size(), 121u);
}

TEST_F(StationsTest, PutAfterWatchFailsWhenAnotherStationChangedTheRecordOrItsMemo) {
    for (bool memoOnly : {false, true}) {
        Items t(path);
        ASSERT_EQ(t.call(OPEN), 0);
        ASSERT_EQ(t.call(WATCH), 0);
        DriverArguments args;
        args.pointer = first;
        ASSERT_EQ(t.call(GETfileptr, args), 0);
        Station other([&](Station&) {
            Items o(path);
            DriverArguments a;
            a.pointer = first;
            if (o.call(OPEN) || o.call(GETfileptr, a)) return 2;
            if (memoOnly)
                o.setMemo(0, "other note");
            else
                o.setText(2, "other");
            return o.call(PUT) ? 3 : 0;
        });
        ASSERT_EQ(other.finish(), 0);
        t.setText(2, "mine");
        EXPECT_EQ(t.call(PUT), 89);
        ASSERT_EQ(t.call(GETfileptr, args), 0);
        EXPECT_EQ(t.getText(2), memoOnly ? "one" : "other");
        EXPECT_EQ(t.getMemo(0).substr(0, 10), memoOnly ? "other note" : "note      ");
        // Without WATCH the same PUT goes through.
        t.setText(2, "mine");
        EXPECT_EQ(t.call(PUT), 0);
        t.setText(2, "one");
        t.setMemo(0, "note");
        EXPECT_EQ(t.call(PUT), 0);
    }
}

TEST_F(StationsTest, AHeldRecordRefusesOtherHoldersUntilReleased) {
    Station holder([&](Station& s) {
        Items o(path);
        DriverArguments a;
        a.pointer = first;
        if (o.call(OPEN) || o.call(HOLDfile) || o.call(GETfileptr, a)) return 2;
        s.signal(s.toParent[1]);
        s.await(s.toChild[0]);
        o.call(RELEASE);
        s.signal(s.toParent[1]);
        s.await(s.toChild[0]);
        return 0;
    });
    holder.await(holder.toParent[0]);
    Items t(path);
    ASSERT_EQ(t.call(OPEN), 0);
    DriverArguments args;
    args.seconds = 1;
    ASSERT_EQ(t.call(HOLDfilesec, args), 0);
    args.pointer = first;
    EXPECT_EQ(t.call(GETfileptr, args), 43);
    EXPECT_EQ(t.call(DELETE), 33); // no current record
    // A plain read still works, and PUT cannot hold the record.
    ASSERT_EQ(t.call(RELEASE), 0);
    ASSERT_EQ(t.call(GETfileptr, args), 0);
    EXPECT_EQ(t.call(PUT), 5);
    holder.signal(holder.toChild[1]);
    holder.await(holder.toParent[0]);
    args.seconds = -1;
    ASSERT_EQ(t.call(HOLDfilesec, args), 0);
    EXPECT_EQ(t.call(GETfileptr, args), 0);
    holder.signal(holder.toChild[1]);
    EXPECT_EQ(holder.finish(), 0);
}

// The waiting read runs on a thread of its own: it must still be waiting while the holder keeps the
// record, and must end with the holder's change once the holder's PUT gives the hold up.
TEST_F(StationsTest, WaitingForAHoldEndsWhenTheHolderReleasesIt) {
    Station holder([&](Station& s) {
        Items o(path);
        DriverArguments a;
        a.pointer = first;
        if (o.call(OPEN) || o.call(HOLDfile) || o.call(GETfileptr, a)) return 2;
        s.signal(s.toParent[1]);
        if (!s.await(s.toChild[0])) return 4;
        o.setText(2, "by holder");
        return o.call(PUT) ? 3 : 0; // PUT gives the hold up
    });
    ASSERT_TRUE(holder.await(holder.toParent[0]));
    Items t(path);
    ASSERT_EQ(t.call(OPEN), 0);
    DriverArguments args;
    args.seconds = -1;
    ASSERT_EQ(t.call(HOLDfilesec, args), 0);
    args.pointer = first;
    auto read = std::async(std::launch::async, [&] { return t.call(GETfileptr, args); });
    EXPECT_EQ(read.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout)
        << "the read did not wait for the held record";
    holder.signal(holder.toChild[1]);
    ASSERT_EQ(read.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_EQ(read.get(), 0);
    EXPECT_EQ(t.getText(2), "by holder");
    EXPECT_EQ(holder.finish(), 0);
}

int sendTo(Items& t, const std::string& command) {
    DriverArguments args;
    args.text = command;
    return t.call(SEND, args);
}

// A station that batches its commits: the other station reads the committed state until the batch
// is committed by FLUSH, by the page limit, or by CLOSE; another writer waits for the batch, and a
// transaction's LOGOUT timeout bounds that wait.
TEST_F(StationsTest, BatchedCommitsStayPrivateUntilFlushedAndHoldOffOtherWriters) {
    Station batcher([&](Station& s) {
        Items o(path);
        if (o.call(OPEN) || sendTo(o, "BATCHFLUSH=ON")) return 2;
        for (int i = 0; i < 10; ++i) {
            o.setLong(1, 100 + i);
            if (o.call(ADD)) return 3;
        }
        s.signal(s.toParent[1]); // 10 changes batched
        s.await(s.toChild[0]);
        if (o.call(FLUSH)) return 4;
        s.signal(s.toParent[1]); // committed
        s.await(s.toChild[0]);
        o.setLong(1, 200);
        if (o.call(ADD)) return 5;
        s.signal(s.toParent[1]); // one more batched
        s.await(s.toChild[0]);
        if (o.call(CLOSE)) return 6;
        s.signal(s.toParent[1]); // committed by the close
        return 0;
    });
    Items t(path);
    ASSERT_EQ(t.call(OPEN), 0);
    batcher.await(batcher.toParent[0]);
    EXPECT_EQ(t.records(), 1u);
    // A transaction whose first change cannot get the write access within its timeout fails with 5
    // and changes nothing.
    DriverArguments logout;
    logout.seconds = 1;
    ASSERT_EQ(t.call(LOGOUT, logout), 0);
    t.setLong(1, 999);
    EXPECT_EQ(t.call(ADD), 5);
    EXPECT_EQ(t.call(ROLLBACK), 0);
    batcher.signal(batcher.toChild[1]);
    batcher.await(batcher.toParent[0]);
    EXPECT_EQ(t.records(), 11u);
    batcher.signal(batcher.toChild[1]);
    batcher.await(batcher.toParent[0]);
    EXPECT_EQ(t.records(), 11u);
    batcher.signal(batcher.toChild[1]);
    batcher.await(batcher.toParent[0]);
    EXPECT_EQ(t.records(), 12u);
    EXPECT_EQ(batcher.finish(), 0);
}

TEST_F(StationsTest, ABatchKeepsItsChangesOverARefusedOneAndCommitsItselfAtThePageLimit) {
    {
        Items unique(dir.file("unique.qvn"));
        unique.key("U", 0, {1});
        ASSERT_EQ(unique.call(CREATE), 0);
        ASSERT_EQ(unique.call(OPEN), 0);
        ASSERT_EQ(sendTo(unique, "BATCHFLUSH=ON"), 0);
        unique.setLong(1, 7);
        ASSERT_EQ(unique.call(ADD), 0);
        EXPECT_EQ(unique.call(ADD), 40); // refused: the batched first record stays
        ASSERT_EQ(unique.call(CLOSE), 0);
        ASSERT_EQ(unique.call(OPEN), 0);
        EXPECT_EQ(unique.records(), 1u);
    }
    // Records with long notes fill pages fast: the batch commits on its own at the page limit,
    // and the last changes stay batched until the close. (Forked before this process opens the
    // file, so that the two stations share no open file.)
    Station batcher([&](Station& s) {
        Items o(path);
        if (o.call(OPEN) || sendTo(o, "BATCHFLUSH=ON")) return 2;
        const std::string note(290, 'n');
        for (int i = 0; i < 800; ++i) {
            o.setLong(1, 10 + i);
            o.setMemo(0, note + std::to_string(i));
            if (o.call(ADD)) return 3;
        }
        s.signal(s.toParent[1]);
        s.await(s.toChild[0]);
        return o.call(CLOSE);
    });
    batcher.await(batcher.toParent[0]);
    Items t(path);
    ASSERT_EQ(t.call(OPEN), 0);
    const std::uint64_t seen = t.records();
    EXPECT_GT(seen, 1u);
    EXPECT_LT(seen, 801u);
    batcher.signal(batcher.toChild[1]);
    EXPECT_EQ(batcher.finish(), 0);
    EXPECT_EQ(t.records(), 801u);
}

TEST_F(StationsTest, ABatchIsCommittedWhenItsTableGoesWithoutClose) {
    {
        Items o(path);
        ASSERT_EQ(o.call(OPEN), 0);
        ASSERT_EQ(sendTo(o, "BATCHFLUSH=ON"), 0);
        o.setLong(1, 5);
        ASSERT_EQ(o.call(ADD), 0);
    }
    Items t(path);
    ASSERT_EQ(t.call(OPEN), 0);
    EXPECT_EQ(t.records(), 2u);
}

// An OPEN that meets another station's flush (every reader slot held) waits until it ends, also
// when another table of this station has the file open already.
TEST_F(StationsTest, OpenWaitsForAnotherStationsFlush) {
    Items open(path);
    ASSERT_EQ(open.call(OPEN), 0);
    std::unique_ptr<QvnFile> flusher;
    ASSERT_EQ(QvnFile::openPrivate(path, kReadWriteShared, {}, &flusher), 0);
    ASSERT_EQ(flusher->locks().lockFlush(), 0);
    auto release = std::async(std::launch::async, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        flusher->locks().unlockFlush();
    });
    const auto start = std::chrono::steady_clock::now();
    Items t(path);
    EXPECT_EQ(t.call(OPEN), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    release.get();
    t.setLong(1, 2);
    EXPECT_EQ(t.call(ADD), 0);
}

TEST_F(StationsTest, LockOfATableRefusesTheOtherStation) {
    Station locker([&](Station& s) {
        Items o(path);
        if (o.call(OPEN) || o.call(LOCKfile)) return 2;
        s.signal(s.toParent[1]);
        s.await(s.toChild[0]);
        o.call(UNLOCK);
        s.signal(s.toParent[1]);
        s.await(s.toChild[0]);
        return 0;
    });
    locker.await(locker.toParent[0]);
    Items t(path);
    ASSERT_EQ(t.call(OPEN), 0);
    EXPECT_EQ(t.call(LOCKfile), 32);
    DriverArguments args;
    args.seconds = 1;
    EXPECT_EQ(t.call(LOCKfilesec, args), 32);
    locker.signal(locker.toChild[1]);
    locker.await(locker.toParent[0]);
    EXPECT_EQ(t.call(LOCKfile), 0);
    EXPECT_EQ(t.call(UNLOCK), 0);
    locker.signal(locker.toChild[1]);
    EXPECT_EQ(locker.finish(), 0);
}

} // namespace
} // namespace docket::drivers::qvn
