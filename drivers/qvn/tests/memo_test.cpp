// Memos and counters of the native tables as the record layer keeps them: memos of every size
// around the segment length written and read back, a PUT that leaves an unchanged memo stored, a
// PUT after the memo changed elsewhere (another table of the process, another station, a rolled
// back transaction) storing this station's buffer, and the counters of ADD, PUT and DELETE.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "drivers/qvn/internal/table_entries.h"
#include "drivers/qvn/qvn_table.h"
#include "drivers/qvn/tests/qvn_test_util.h"
#include "drivers/qvn/tests/table_test_util.h"

namespace docket::drivers::qvn {
namespace {

using namespace testing;
using enum OperationCode;

struct Notes : TestTable {
    explicit Notes(const std::string& path) : TestTable(path) {
        field("ID", TypeCode::Long, 4);
        field("NAME", TypeCode::CString, 20);
        memo("NOTE", 8192);
        memo("DATA", 0, memo_flag::kBlob | memo_flag::kBinary);
        // The unique key second, so that a duplicate is found after the first key was changed.
        key("NAME_KEY", key_flag::kDup | key_flag::kOpt, {2});
        key("ID_KEY", 0, {1});
    }
    int add(std::int32_t id, const std::string& name, const std::string& note) {
        setLong(1, id);
        setText(2, name);
        setMemo(0, note);
        return call(ADD);
    }
    int get(std::uint32_t number) {
        DriverArguments args;
        args.pointer = number;
        return call(GETfileptr, args);
    }
    std::string note() {
        std::string text = getMemo(0);
        while (!text.empty() && text.back() == ' ') text.pop_back();
        return text;
    }
};

// The memo segments of record `record` of the file's first table: segment number -> data part.
std::map<int, std::string> segmentsOf(const std::string& path, std::uint32_t record, int memo) {
    std::unique_ptr<QvnFile> file;
    EXPECT_EQ(QvnFile::openPrivate(path, kReadOnlyShared, {}, &file), 0);
    std::map<int, std::string> out;
    for (auto& [key, data] : readAll(*file))
        if (key.size() == 12 && static_cast<std::uint8_t>(key[4]) == kKindMemo &&
            readBig32(key, 5) == record && key[9] == memo)
            out[static_cast<std::uint8_t>(key[10]) << 8 | static_cast<std::uint8_t>(key[11])] = data;
    return out;
}

std::string text(std::size_t size, char seed) {
    std::string s(size, ' ');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>('a' + (i * 7 + seed) % 26);
    return s;
}

class MemoTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("notes.qvn");
        ASSERT_EQ(t.call(CREATE), 0);
        ASSERT_EQ(t.call(OPEN), 0);
    }
    std::uint32_t changeCounter() { return examineFile(path, {}).header.changeCounter; }

    ScratchDir dir;
    std::string path;
    Notes t{dir.file("notes.qvn")};
};

TEST_F(MemoTest, MemosOfEverySizeAroundTheSegmentLengthRoundTrip) {
    const std::vector<std::size_t> sizes{0, 1, 255, 256, 257, 8192};
    std::vector<std::uint32_t> records;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        t.blobs[0].assign(sizes[i], static_cast<std::uint8_t>(i + 1));
        ASSERT_EQ(t.add(static_cast<std::int32_t>(i), "n", text(sizes[i], static_cast<char>(i))), 0);
        records.push_back(t.pointer());
    }
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        SCOPED_TRACE(sizes[i]);
        const auto note = segmentsOf(path, records[i], 0);
        const auto blob = segmentsOf(path, records[i], 1);
        const std::size_t count = (sizes[i] + 255) / 256;
        ASSERT_EQ(note.size(), count);
        ASSERT_EQ(blob.size(), count);
        for (std::size_t j = 0; j < count; ++j) {
            const std::size_t body = std::min<std::size_t>(256, sizes[i] - j * 256);
            EXPECT_EQ(note.at(static_cast<int>(j)).size(), body);
            EXPECT_EQ(blob.at(static_cast<int>(j)).size(), body + (j == 0 ? 4 : 0));
        }
        t.setMemo(0, "stale");
        t.blobs[0].assign(3, 9);
        ASSERT_EQ(t.get(records[i]), 0);
        EXPECT_EQ(t.getMemo(0), text(sizes[i], static_cast<char>(i)) + std::string(8192 - sizes[i], ' '));
        EXPECT_EQ(t.blobs[0], std::vector<std::uint8_t>(sizes[i], static_cast<std::uint8_t>(i + 1)));
    }
    // Every size into every other: the segments follow, the content reads back.
    for (std::size_t from = 0; from < sizes.size(); ++from)
        for (std::size_t to = 0; to < sizes.size(); ++to) {
            SCOPED_TRACE(std::to_string(sizes[from]) + " -> " + std::to_string(sizes[to]));
            ASSERT_EQ(t.get(records[from]), 0);
            t.setMemo(0, text(sizes[to], 'x'));
            t.blobs[0].assign(sizes[to], 0xEE);
            ASSERT_EQ(t.call(PUT), 0);
            EXPECT_EQ(segmentsOf(path, records[from], 0).size(), (sizes[to] + 255) / 256);
            t.setMemo(0, "stale");
            t.blobs[0].clear();
            ASSERT_EQ(t.get(records[from]), 0);
            EXPECT_EQ(t.note(), text(sizes[to], 'x'));
            EXPECT_EQ(t.blobs[0], std::vector<std::uint8_t>(sizes[to], 0xEE));
            // Back to where it was, for the next pair.
            t.setMemo(0, text(sizes[from], static_cast<char>(from)));
            t.blobs[0].assign(sizes[from], static_cast<std::uint8_t>(from + 1));
            ASSERT_EQ(t.call(PUT), 0);
        }
    t.call(CLOSE);
    expectTablesClean(path);
}

TEST_F(MemoTest, APutWithAnUnchangedMemoLeavesItStored) {
    ASSERT_EQ(t.add(1, "one", text(1000, 'q')), 0);
    const std::uint32_t r = t.pointer();
    const auto stored = segmentsOf(path, r, 0);
    ASSERT_EQ(t.get(r), 0);
    // Nothing changed: nothing is committed.
    const std::uint32_t before = changeCounter();
    ASSERT_EQ(t.call(PUT), 0);
    EXPECT_EQ(changeCounter(), before);
    // The record changes, the memo not: its segments stay, and so they do over PUTs without reads.
    for (int id = 2; id <= 4; ++id) {
        t.setLong(1, id);
        ASSERT_EQ(t.call(PUT), 0);
        EXPECT_EQ(segmentsOf(path, r, 0), stored);
    }
    // A memo changed and changed back between PUTs without reads is stored as the buffer is.
    t.setMemo(0, "short");
    ASSERT_EQ(t.call(PUT), 0);
    EXPECT_EQ(segmentsOf(path, r, 0), (std::map<int, std::string>{{0, "short"}}));
    t.setMemo(0, text(1000, 'q'));
    ASSERT_EQ(t.call(PUT), 0);
    EXPECT_EQ(segmentsOf(path, r, 0), stored);
    t.setMemo(0, "");
    ASSERT_EQ(t.get(r), 0);
    EXPECT_EQ(t.note(), text(1000, 'q'));
    EXPECT_EQ(t.getLong(1), 4);
}

TEST_F(MemoTest, APutAfterAnotherTableChangedTheMemoStoresThisBuffer) {
    ASSERT_EQ(t.add(1, "one", "first"), 0);
    const std::uint32_t r = t.pointer();
    Notes other(path); // another table of the same file in this process
    ASSERT_EQ(other.call(OPEN), 0);
    ASSERT_EQ(t.get(r), 0);
    ASSERT_EQ(other.get(r), 0);
    other.setMemo(0, "second");
    ASSERT_EQ(other.call(PUT), 0);
    // This table's buffer still holds what it read, and its PUT stores that.
    t.setLong(1, 11);
    ASSERT_EQ(t.call(PUT), 0);
    EXPECT_EQ(segmentsOf(path, r, 0), (std::map<int, std::string>{{0, "first"}}));
    ASSERT_EQ(other.get(r), 0);
    EXPECT_EQ(other.note(), "first");
    // With WATCH the same PUT is refused.
    ASSERT_EQ(t.call(WATCH), 0);
    ASSERT_EQ(t.get(r), 0);
    other.setMemo(0, "third");
    ASSERT_EQ(other.call(PUT), 0);
    EXPECT_EQ(t.call(PUT), 89);
    EXPECT_EQ(segmentsOf(path, r, 0), (std::map<int, std::string>{{0, "third"}}));
    other.call(CLOSE);
}

TEST_F(MemoTest, APutAfterAnotherStationChangedOnlyTheMemoStoresThisBuffer) {
    ASSERT_EQ(t.add(1, "one", "mine"), 0);
    const std::uint32_t r = t.pointer();
    ASSERT_EQ(t.get(r), 0);
    ChildStation station([&] {
        Notes other(path);
        int rc = retryWhileBusy([&] { return other.call(OPEN); });
        if (rc == 0) rc = other.get(r);
        other.setMemo(0, "theirs");
        if (rc == 0) rc = other.call(PUT);
        return rc == 0 ? 0 : 1;
    });
    ASSERT_EQ(station.finish(), 0);
    EXPECT_EQ(segmentsOf(path, r, 0), (std::map<int, std::string>{{0, "theirs"}}));
    // Without WATCH the last writer wins: this station's buffer, memo included.
    ASSERT_EQ(t.call(PUT), 0);
    EXPECT_EQ(segmentsOf(path, r, 0), (std::map<int, std::string>{{0, "mine"}}));
}

// WATCH compares every stored segment of the memo, not only the first: another station that
// changes one byte in a later segment of an eight-segment memo makes the PUT fail with 89, and
// leaves that station's memo stored. Rewriting the same text changes nothing and the PUT goes
// through.
TEST_F(MemoTest, PutAfterWatchFailsWhenAnotherStationChangedOnlyALaterSegment) {
    const std::string original = text(2000, 'w');
    ASSERT_EQ(t.add(1, "one", original), 0);
    const std::uint32_t r = t.pointer();
    const auto before = segmentsOf(path, r, 0);
    ASSERT_EQ(before.size(), 8u);
    auto otherStores = [&](const std::string& memo) {
        ChildStation station([&] {
            Notes other(path);
            int rc = retryWhileBusy([&] { return other.call(OPEN); });
            if (rc == 0) rc = other.get(r);
            other.setMemo(0, memo);
            if (rc == 0) rc = other.call(PUT);
            return rc == 0 ? 0 : 1;
        });
        return station.finish();
    };

    // The same text stored again: nothing changed, the watched PUT goes through.
    ASSERT_EQ(t.call(WATCH), 0);
    ASSERT_EQ(t.get(r), 0);
    ASSERT_EQ(otherStores(original), 0);
    t.setText(2, "unchanged");
    EXPECT_EQ(t.call(PUT), 0);

    for (const std::size_t changed : {3u, 7u}) {
        SCOPED_TRACE(changed);
        std::string theirs = t.note();
        const std::size_t at = changed * 256 + 200; // inside segment `changed` only
        theirs[at] = theirs[at] == 'Z' ? 'Y' : 'Z';
        ASSERT_EQ(t.call(WATCH), 0);
        ASSERT_EQ(t.get(r), 0);
        const auto watched = segmentsOf(path, r, 0);
        ASSERT_EQ(otherStores(theirs), 0);
        // Only that segment differs in the file now.
        auto stored = segmentsOf(path, r, 0);
        ASSERT_EQ(stored.size(), watched.size());
        for (const auto& [segment, data] : watched)
            EXPECT_EQ(stored.at(segment) == data, segment != static_cast<int>(changed)) << segment;
        t.setText(2, "mine");
        EXPECT_EQ(t.call(PUT), 89);
        EXPECT_TRUE(segmentsOf(path, r, 0) == stored) << "the other station's memo was overwritten";
        ASSERT_EQ(t.get(r), 0);
        EXPECT_EQ(t.getText(2), "unchanged");
        EXPECT_TRUE(t.note() == theirs) << "the memo read back is not the other station's";
    }
}

// A record added while a watch stands (a form primes a new record after the list read another one
// with a watch) is watched with its own memos: its PUT is not compared with the memo of the record
// read before, and a change of the new record by another station is still noticed.
TEST_F(MemoTest, ARecordAddedUnderAWatchIsWatchedWithItsOwnMemos) {
    ASSERT_EQ(t.add(1, "one", text(2000, 'w')), 0);
    const std::uint32_t first = t.pointer();
    ASSERT_EQ(t.call(WATCH), 0);
    ASSERT_EQ(t.get(first), 0);
    ASSERT_EQ(t.add(2, "two", ""), 0);
    const std::uint32_t added = t.pointer();
    t.setText(2, "two stored");
    t.setMemo(0, "the body typed into the new record");
    EXPECT_EQ(t.call(PUT), 0);

    ASSERT_EQ(t.call(WATCH), 0);
    ASSERT_EQ(t.get(first), 0);
    ASSERT_EQ(t.add(3, "three", ""), 0);
    const std::uint32_t third = t.pointer();
    ChildStation station([&] {
        Notes other(path);
        int rc = retryWhileBusy([&] { return other.call(OPEN); });
        if (rc == 0) rc = other.get(third);
        other.setMemo(0, "written by the other station");
        if (rc == 0) rc = other.call(PUT);
        return rc == 0 ? 0 : 1;
    });
    ASSERT_EQ(station.finish(), 0);
    t.setText(2, "mine");
    EXPECT_EQ(t.call(PUT), 89);
    ASSERT_EQ(t.get(added), 0);
    EXPECT_EQ(t.note(), "the body typed into the new record");
}

TEST_F(MemoTest, AfterARollbackThePutStillWritesTheBuffer) {
    ASSERT_EQ(t.add(1, "one", "committed"), 0);
    const std::uint32_t r = t.pointer();
    ASSERT_EQ(t.call(LOGOUT), 0);
    ASSERT_EQ(t.get(r), 0);
    t.setMemo(0, "pending");
    ASSERT_EQ(t.call(PUT), 0);
    ASSERT_EQ(t.get(r), 0); // reads the transaction's own, pending memo
    EXPECT_EQ(t.note(), "pending");
    ASSERT_EQ(t.call(ROLLBACK), 0);
    EXPECT_EQ(segmentsOf(path, r, 0), (std::map<int, std::string>{{0, "committed"}}));
    // The buffer still holds "pending", which the rollback took away from the file.
    ASSERT_EQ(t.call(PUT), 0);
    EXPECT_EQ(segmentsOf(path, r, 0), (std::map<int, std::string>{{0, "pending"}}));
}

TEST_F(MemoTest, CountersFollowAddPutAndDeleteAndAMissingOneIsCreated) {
    ASSERT_EQ(t.add(1, "a", ""), 0);
    ASSERT_EQ(t.add(2, "", ""), 0); // no entry in the OPT key
    ASSERT_EQ(t.add(3, "c", ""), 0);
    const std::uint32_t third = t.pointer();
    EXPECT_EQ(t.records(), 3u);
    EXPECT_EQ(t.records(0), 2u);
    EXPECT_EQ(t.records(1), 3u);
    // Refused by the unique key after the OPT key took its entry, which is undone: no counter moves.
    EXPECT_EQ(t.add(3, "dup", ""), 40);
    EXPECT_EQ(t.records(), 3u);
    EXPECT_EQ(t.records(0), 2u);
    EXPECT_EQ(t.records(1), 3u);
    ASSERT_EQ(t.get(third), 0);
    t.setText(2, "");
    ASSERT_EQ(t.call(PUT), 0);
    EXPECT_EQ(t.records(0), 1u);
    t.setText(2, "back");
    ASSERT_EQ(t.call(PUT), 0);
    EXPECT_EQ(t.records(0), 2u);
    ASSERT_EQ(t.call(DELETE), 0);
    EXPECT_EQ(t.records(), 2u);
    EXPECT_EQ(t.records(0), 1u);
    EXPECT_EQ(t.records(1), 2u);
    t.call(CLOSE);
    expectTablesClean(path);

    // Another station removes the OPT key's counter entry; the next ADD creates it from zero.
    {
        std::unique_ptr<QvnFile> file;
        ASSERT_EQ(QvnFile::openPrivate(path, kReadWriteShared, {}, &file), 0);
        ASSERT_EQ(file->beginAccess(true), 0);
        std::uint32_t number = 0;
        bool found = false;
        ASSERT_EQ(findTable(*file, "UNNAMED", &number, &found), 0);
        ASSERT_TRUE(found);
        bool existed = false;
        ASSERT_EQ(file->erase(counterKey(number, 0), &existed), 0);
        ASSERT_TRUE(existed);
        ASSERT_EQ(file->flush(), 0);
        file->endAccess();
    }
    ASSERT_EQ(t.call(OPEN), 0);
    ASSERT_EQ(t.add(9, "nine", ""), 0);
    EXPECT_EQ(t.records(0), 1u);
    EXPECT_EQ(t.records(), 3u);
    EXPECT_EQ(t.records(1), 3u);
}

} // namespace
} // namespace docket::drivers::qvn
