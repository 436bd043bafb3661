// TableAccess over real native tables: opening (counts, lazy use, fall-backs), auto-numbering
// alone and against another station, insert and update failures as the user sees them, saved
// buffers and table states, the usage log across nested procedures, and the file callback.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

#include "classes/data/table_access.h"
#include "runtime/core/thread_hook.h"
#include "runtime/core/thread_state.h"
#include "classes/data/table_registry.h"
#include "classes/data/tests/table_test_support.h"
#include "runtime/expression/binding_scopes.h"
#include "runtime/core/error_state.h"
#include "files/file_callback.h"
#include "files/file_statements.h"
#include "files/record_fields.h"

namespace docket::classes {
namespace {

using namespace testing;
using drivers::OperationCode;

constexpr int kId = 1, kName = 2, kGroup = 3, kSeq = 4;

// The items table: ID (LONG), NAME (CSTRING, a unique case-blind key), GRP and SEQ (LONG), a memo.
// `idComponent` is the ID key's component (-1 for descending); (GRP, SEQ) is a key with
// duplicates.
struct Items {
    Items(const std::string& path, std::int32_t idComponent = kId) : table("ITEMS", path) {
        table.field("ITM:ID", TypeCode::Long, 4);
        table.field("ITM:NAME", TypeCode::CString, 20);
        table.field("ITM:GRP", TypeCode::Long, 4);
        table.field("ITM:SEQ", TypeCode::Long, 4);
        table.memo("ITM:NOTE", 64);
        byId = &table.key("ITM:KEY_ID", drivers::key_flag::kPrimary, {idComponent});
        byName = &table.key("ITM:KEY_NAME", drivers::key_flag::kNoCase, {kName});
        byGroup = &table.key("ITM:KEY_GRP", drivers::key_flag::kDup, {kGroup, kSeq});
    }
    Table table;
    const KeyDeclaration* byId = nullptr;
    const KeyDeclaration* byName = nullptr;
    const KeyDeclaration* byGroup = nullptr;
};

// Which key carries the automatic number.
enum class Numbering { None, ById, ByGroup };

void declareKeys(TableAccess& access, Items& items, Numbering numbering) {
    access.DeclareKey("Urut ID", *items.byId, numbering == Numbering::ById);
    access.DeclareKey("Urut Nama", *items.byName);
    access.DeclareKey("Urut Grup", *items.byGroup, numbering == Numbering::ByGroup);
}

class TableAccessTest : public ::testing::Test {
protected:
    void SetUp() override { path = dir.file("items.qvn"); }

    void start(Numbering numbering = Numbering::ById, std::int32_t idComponent = kId) {
        items = std::make_unique<Items>(path, idComponent);
        access = std::make_unique<TableAccess>();
        access->Init(items->table.file, reporter);
        declareKeys(*access, *items, numbering);
    }
    Table& t() { return items->table; }

    // Records added with the raw statements, the table opened (and left open) through `access`.
    void seed(int count) {
        ASSERT_EQ(access->Open(kReport), Severity::Proceed);
        ASSERT_EQ(access->RequireOpen(), Severity::Proceed);
        for (int i = 1; i <= count; ++i) {
            t().setLong(kId, i);
            t().setText(kName, "item" + std::to_string(i));
            t().setLong(kGroup, 1);
            t().setLong(kSeq, i);
            t().setMemo(0, "note " + std::to_string(i));
            ASSERT_EQ(runtime::add(t().file), 0);
        }
    }
    std::uint64_t records() {
        std::uint64_t n = 0;
        EXPECT_EQ(runtime::records(t().file, n), 0);
        return n;
    }
    std::vector<std::string> ids(const KeyDeclaration* key = nullptr) {
        return t().dump(key, [this] { return std::to_string(t().getLong(kId)); });
    }

    ScratchDir dir;
    std::string path;
    Messages messages;
    Halts halts;
    ErrorReporter reporter;
    std::unique_ptr<Items> items;
    std::unique_ptr<TableAccess> access;
};

// ---- Opening ---------------------------------------------------------------------------------

TEST_F(TableAccessTest, OpensLazilyCountsOpensAndCreatesAMissingFileSilently) {
    start();
    ASSERT_FALSE(std::filesystem::exists(path));
    ASSERT_EQ(access->Open(kReport), Severity::Proceed);
    ASSERT_EQ(access->Open(kReport), Severity::Proceed);
    EXPECT_EQ(t().file.state, nullptr) << "a lazy open only counts";

    EXPECT_EQ(access->Next(kReport), Severity::Inform) << "an empty table is at its end";
    EXPECT_TRUE(access->SelectThreadState().ATEOF);
    EXPECT_NE(t().file.state, nullptr);
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_TRUE(messages.shown.empty()) << "neither the create nor the end of file is reported";

    access->Close();
    EXPECT_NE(t().file.state, nullptr) << "opened twice, closed once";
    EXPECT_EQ(access->SelectThreadState().OPENED, 1);
    access->Close();
    EXPECT_EQ(t().file.state, nullptr);
    EXPECT_FALSE(access->SelectThreadState().USED);
    access->Close(); // one close too many changes nothing
    EXPECT_EQ(access->SelectThreadState().OPENED, 0);

    // A first open starts from a cleared buffer; a later one leaves the record being worked on.
    t().setText(kName, "left over");
    ASSERT_EQ(access->Open(kReport), Severity::Proceed);
    EXPECT_EQ(t().getText(kName), "");
    t().setText(kName, "being edited");
    ASSERT_EQ(access->Open(kReport), Severity::Proceed);
    EXPECT_EQ(t().getText(kName), "being edited");
    access->Close();
    access->Close();

    access->LAZYOPEN = false;
    ASSERT_EQ(access->Open(kReport), Severity::Proceed);
    EXPECT_NE(t().file.state, nullptr) << "without LAZYOPEN the first open is physical";
    access->Close();
}

int programThread = 0;
int numberOfProgramThread() { return programThread; }

TEST_F(TableAccessTest, ProgramThreadsThatEndLeaveNoStateBehind) {
    start();
    items->table.declaration.flags |= drivers::file_flag::kThread;
    runtime::setThreadNumberHook(&numberOfProgramThread);
    const std::size_t before = runtime::threadsWithState();
    for (int n = 1; n <= 1000; ++n) {
        programThread = 50000 + n;
        reporter.NoteProcedure("Procedure" + std::to_string(n));
        ASSERT_EQ(access->Open(kReport), Severity::Proceed);
        ASSERT_EQ(access->RequireOpen(), Severity::Proceed);
        // The thread ends without closing or leaving its procedure.
        programThread = 0;
        runtime::endThread(50000 + n);
    }
    EXPECT_EQ(runtime::threadsWithState(), before);
    for (const UsageEntry& e : TableAccess::UsageLog()) EXPECT_LT(e.THREAD, 50000);
    programThread = 50001;
    EXPECT_EQ(reporter.CurrentProcedureName(), "");
    programThread = 0;
    runtime::setThreadNumberHook(nullptr);
}

TEST_F(TableAccessTest, UseBeforeOpenIsAProgramFaultThatHalts) {
    start();
    EXPECT_EQ(access->Next(kReport), Severity::Fatal);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "File Usage Error");
    EXPECT_TRUE(Contains(messages.shown[0].text,
                         "Attempt to use file (" + access->FILENAMEVALUE + ") before it was opened"));
    ASSERT_EQ(halts.messages.size(), 1u);
    EXPECT_EQ(halts.messages[0], "File Usage Error");
    EXPECT_EQ(t().file.state, nullptr);
    EXPECT_TRUE(Contains(access->FILENAMEVALUE, "items.qvn"));
}

TEST_F(TableAccessTest, MissingFileWithoutCreateIsAFatalAccessError) {
    start();
    access->CREATE = false;
    access->Open(kReport);
    EXPECT_EQ(access->ReadByKey(*items->byId), Severity::Fatal);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "File Access Error");
    EXPECT_TRUE(Contains(messages.shown[0].text, "could not be opened.  Error: File Not Found (2)."));
    EXPECT_EQ(halts.messages.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(TableAccessTest, OpenRefusedForWritingFallsBackToReadOnly) {
    start(Numbering::None);
    seed(2);
    access->Close();
    ASSERT_EQ(t().file.state, nullptr);

    // Another station reads the file and lets nobody else write to it.
    Station holder([&](Station& self) {
        Items other(path);
        if (runtime::open(other.table.file, 0x20) != 0) return 1;
        self.tellParent();
        self.awaitParent();
        return 0;
    });
    ASSERT_TRUE(holder.awaitChild());

    ASSERT_EQ(access->Open(kReport), Severity::Proceed);
    EXPECT_EQ(access->Next(kReport), Severity::Proceed) << "read-only still reads";
    EXPECT_EQ(t().getLong(kId), 1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "Access Denied");
    EXPECT_EQ(messages.shown[0].text,
              "Could not get write access to " + access->FILENAMEVALUE + " so trying read-only.");

    t().setLong(kId, 3);
    t().setText(kName, "three");
    EXPECT_EQ(access->Insert(kReport), Severity::Inform);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].title, "Record Insert Error");
    EXPECT_TRUE(Contains(messages.shown[1].text, "Error: Access Denied (5)."));
    access->Close();
    holder.tellChild();
    EXPECT_EQ(holder.finish(), 0);
}

// ---- Auto-numbering --------------------------------------------------------------------------

TEST_F(TableAccessTest, NumbersAscendingAndDescendingKeysFromTheHighestNumber) {
    for (std::int32_t component : {kId, -kId}) {
        SCOPED_TRACE(component);
        std::filesystem::remove(path);
        start(Numbering::ById, component);
        ASSERT_EQ(access->Open(kReport), Severity::Proceed);
        for (int i = 1; i <= 3; ++i) {
            ASSERT_EQ(access->PrepareNewRecord(false), Severity::Proceed);
            EXPECT_EQ(t().getLong(kId), i);
            EXPECT_TRUE(access->SelectThreadState().AUTOINCDONE);
            EXPECT_EQ(records(), static_cast<std::uint64_t>(i))
                << "the number is reserved by adding the record";
            t().setText(kName, "item" + std::to_string(i));
            ASSERT_EQ(access->Insert(kReport), Severity::Proceed);
            EXPECT_FALSE(access->SelectThreadState().AUTOINCDONE);
        }
        EXPECT_EQ(records(), 3u);
        const std::vector<std::string> expected =
            component > 0 ? std::vector<std::string>{"1", "2", "3"} : std::vector<std::string>{"3", "2", "1"};
        EXPECT_EQ(ids(items->byId), expected);
        EXPECT_TRUE(messages.shown.empty());
        access->Close();
        access.reset();
    }
}

TEST_F(TableAccessTest, NumbersTheLastComponentWithinTheLeadingValues) {
    start(Numbering::ByGroup);
    ASSERT_EQ(access->Open(kReport), Severity::Proceed);
    const std::pair<int, int> expected[] = {{1, 1}, {2, 1}, {1, 2}, {1, 3}, {3, 1}, {2, 2}};
    int id = 0;
    for (auto [group, seq] : expected) {
        runtime::clearRecord(t().declaration);
        t().setLong(kId, ++id);
        t().setText(kName, "n" + std::to_string(id));
        t().setLong(kGroup, group);
        ASSERT_EQ(access->PrepareNewRecord(true), Severity::Proceed);
        EXPECT_EQ(t().getLong(kGroup), group);
        EXPECT_EQ(t().getLong(kSeq), seq) << "group " << group;
        ASSERT_EQ(access->Insert(kReport), Severity::Proceed);
    }
    access->Close();
}

TEST_F(TableAccessTest, ReleasingAReservedNumberDeletesItsRecord) {
    start();
    seed(2);
    ASSERT_EQ(access->PrepareNewRecord(false), Severity::Proceed);
    EXPECT_EQ(t().getLong(kId), 3);
    EXPECT_EQ(records(), 3u);
    EXPECT_EQ(access->ReleaseAutoNumber(), Severity::Proceed);
    EXPECT_EQ(records(), 2u);
    EXPECT_FALSE(access->SelectThreadState().AUTOINCDONE);
    EXPECT_EQ(access->ReleaseAutoNumber(), Severity::Proceed) << "nothing reserved: nothing to do";
    EXPECT_EQ(records(), 2u);
    access->Close();
}

TEST_F(TableAccessTest, TheFirstRecordOfAnEmptyTableKeepsReadingMemos) {
    // Numbering reads the highest record without its memos; on an empty table there is none to
    // read, and the memos of the next read must still come in.
    start();
    ASSERT_EQ(access->Open(kReport), Severity::Proceed);
    ASSERT_EQ(access->PrepareNewRecord(false), Severity::Proceed);
    t().setText(kName, "first");
    t().setMemo(0, "the first body");
    ASSERT_EQ(access->Insert(kReport), Severity::Proceed);
    t().setMemo(0, "");
    runtime::set(t().file);
    ASSERT_EQ(access->Next(kReport), Severity::Proceed);
    EXPECT_EQ(t().getMemo(0), "the first body");

    // A new record keeps the memo it was given while the number was found.
    runtime::clearRecord(t().declaration);
    t().setText(kName, "second");
    t().setMemo(0, "the second body");
    ASSERT_EQ(access->PrepareNewRecord(true), Severity::Proceed);
    EXPECT_EQ(t().getMemo(0), "the second body");
    ASSERT_EQ(access->Insert(kReport), Severity::Proceed);
    t().setLong(kId, 2);
    t().setMemo(0, "");
    ASSERT_EQ(access->FetchOrClear(*items->byId), Severity::Proceed);
    EXPECT_EQ(t().getMemo(0), "the second body");
    t().setLong(kId, 9);
    EXPECT_EQ(access->FetchOrClear(*items->byId), Severity::Inform);
    EXPECT_EQ(t().getText(kName), "") << "a failed fetch clears the buffer";
    access->Close();
}

TEST_F(TableAccessTest, TwoStationsPrimingAtOnceGetDistinctConsecutiveNumbers) {
    start();
    seed(0);
    access->Close();
    constexpr int kEach = 25;
    auto station = [&](int number) {
        return [&, number](Station& self) {
            Items mine(path);
            ErrorReporter errors;
            TableAccess table;
            table.Init(mine.table.file, errors);
            declareKeys(table, mine, Numbering::ById);
            if (table.Open(kReport) != Severity::Proceed || table.RequireOpen() != Severity::Proceed)
                return 1;
            self.tellParent();
            self.awaitParent();
            for (int i = 0; i < kEach; ++i) {
                runtime::clearRecord(mine.table.declaration);
                mine.table.setText(kName, "s" + std::to_string(number) + "-" + std::to_string(i));
                if (table.PrepareNewRecord(true) != Severity::Proceed) return 2;
                if (table.Insert(kReport) != Severity::Proceed) return 3;
            }
            table.Close();
            return 0;
        };
    };
    Station first(station(1)), second(station(2));
    ASSERT_TRUE(first.awaitChild());
    ASSERT_TRUE(second.awaitChild());
    first.tellChild();
    second.tellChild();
    EXPECT_EQ(first.finish(), 0);
    EXPECT_EQ(second.finish(), 0);

    ASSERT_EQ(access->Open(kReport), Severity::Proceed);
    ASSERT_EQ(access->RequireOpen(), Severity::Proceed);
    std::vector<std::string> expected;
    for (int i = 1; i <= 2 * kEach; ++i) expected.push_back(std::to_string(i));
    EXPECT_EQ(ids(items->byId), expected);
    access->Close();
}

// Refuses the first `failures` ADDs as a driver would refuse them.
struct RefusingAdds : TableAccess {
    int failures = 0;
    int OperationStarting(OperationCode code) override {
        if (code == OperationCode::ADD && failures > 0) {
            --failures;
            return 5;
        }
        return TableAccess::OperationStarting(code);
    }
};

TEST_F(TableAccessTest, ThreeFailedAddsAskWhetherToTryAgain) {
    items = std::make_unique<Items>(path);
    auto refusing = std::make_unique<RefusingAdds>();
    refusing->Init(t().file, reporter);
    declareKeys(*refusing, *items, Numbering::ById);
    ASSERT_EQ(refusing->Open(kReport), Severity::Proceed);

    refusing->failures = 4; // a whole series, then one more
    messages.answer("Auto Increment Error", {button::kYes});
    EXPECT_EQ(refusing->PrepareNewRecord(false), Severity::Proceed);
    ASSERT_EQ(messages.count("Auto Increment Error"), 1);
    EXPECT_TRUE(Contains(messages.shown[0].text, "have failed.  Error: Access Denied (5). Try Again?"));
    EXPECT_EQ(t().getLong(kId), 1);
    EXPECT_EQ(refusing->failures, 0);

    ASSERT_EQ(refusing->Insert(kReport), Severity::Proceed);
    refusing->failures = 100;
    messages.answer("Auto Increment Error", {button::kYes, button::kNo});
    EXPECT_EQ(refusing->PrepareNewRecord(false), Severity::Inform);
    EXPECT_EQ(messages.count("Auto Increment Error"), 3);
    EXPECT_EQ(refusing->failures, 100 - 6) << "three ADDs per series";
    EXPECT_FALSE(refusing->SelectThreadState().AUTOINCDONE);
    std::uint64_t n = 0;
    runtime::records(t().file, n);
    EXPECT_EQ(n, 1u);
    refusing->Close();
}

// ---- Insert and update failures --------------------------------------------------------------

TEST_F(TableAccessTest, DuplicateKeysAreReportedWithTheKeyDescription) {
    start(Numbering::None);
    seed(2);
    // A copy of a record read from the table: the record it was read from is the duplicate.
    t().setLong(kId, 1);
    ASSERT_EQ(access->ReadByKey(*items->byId), Severity::Proceed);
    t().setLong(kId, 7);
    EXPECT_EQ(access->Insert(kReport), Severity::Inform);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "Duplicate Key Error");
    EXPECT_EQ(messages.shown[0].text, "Adding this record creates a duplicate entry for the key: Urut Nama");

    // Silent: nothing shown, the message remembered.
    t().setText(kName, "ITEM2");
    EXPECT_EQ(access->Insert(kSilent), Severity::Inform);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(access->SelectThreadState().LASTERROR, 13);
    EXPECT_EQ(records(), 2u);
    access->Close();
}

TEST_F(TableAccessTest, DuplicatesOfNumberedRecordsAreReportedByKey) {
    start();
    seed(2);
    // The record is added when numbered; its own entries do not count against it.
    ASSERT_EQ(access->PrepareNewRecord(false), Severity::Proceed);
    t().setText(kName, "Item1");
    EXPECT_EQ(access->Insert(kReport), Severity::Inform);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Adding this record creates a duplicate entry for the key: Urut Nama");
    t().setText(kName, "item3");
    EXPECT_EQ(access->Insert(kReport), Severity::Proceed);

    // Numbering a record that clashes in another key is no race: the clash is told at once,
    // without asking to try again.
    runtime::clearRecord(t().declaration);
    t().setText(kName, "ITEM3");
    EXPECT_EQ(access->PrepareNewRecord(true), Severity::Inform);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].title, "Duplicate Key Error");
    EXPECT_EQ(messages.count("Auto Increment Error"), 0);
    EXPECT_EQ(records(), 3u);
    access->Close();
}

TEST_F(TableAccessTest, UpdateAfterAnotherStationShowsTheOtherVersion) {
    start(Numbering::None);
    seed(1);
    access->Close();
    Station other([&](Station& self) {
        if (!self.awaitParent()) return 1;
        Items mine(path);
        if (runtime::open(mine.table.file, 0x42)) return 2;
        mine.table.setLong(kId, 1);
        if (runtime::get(mine.table.file, *mine.byId)) return 3;
        mine.table.setText(kName, "changed elsewhere");
        if (runtime::put(mine.table.file)) return 4;
        runtime::close(mine.table.file);
        self.tellParent();
        return 0;
    });
    ASSERT_EQ(access->Open(kReport), Severity::Proceed);
    ASSERT_EQ(access->RequireOpen(), Severity::Proceed);
    runtime::watch(t().file);
    t().setLong(kId, 1);
    ASSERT_EQ(access->ReadByKey(*items->byId), Severity::Proceed);
    t().setText(kName, "mine");
    other.tellChild();
    ASSERT_TRUE(other.awaitChild());
    EXPECT_EQ(other.finish(), 0);

    EXPECT_EQ(access->Update(kReport), Severity::Inform);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "Record Was Not Updated");
    EXPECT_EQ(messages.shown[0].text, "This record was changed by another station.");
    EXPECT_EQ(t().getText(kName), "changed elsewhere");

    t().setText(kName, "mine after all");
    EXPECT_EQ(access->Update(kReport), Severity::Proceed);
    t().setLong(kId, 1);
    ASSERT_EQ(access->ReadByKey(*items->byId), Severity::Proceed);
    EXPECT_EQ(t().getText(kName), "mine after all");
    access->Close();
}

TEST_F(TableAccessTest, HeldRecordsAreSkippedOrReported) {
    start(Numbering::None);
    seed(4);
    access->Close();
    Station holder([&](Station& self) {
        Items mine(path);
        if (runtime::open(mine.table.file, 0x42)) return 1;
        runtime::hold(mine.table.file);
        mine.table.setLong(kId, 2);
        if (runtime::get(mine.table.file, *mine.byId)) return 2;
        self.tellParent();
        self.awaitParent();
        return 0;
    });
    ASSERT_TRUE(holder.awaitChild());
    ASSERT_EQ(access->Open(kReport), Severity::Proceed);
    ASSERT_EQ(access->RequireOpen(), Severity::Proceed);
    runtime::hold(t().file); // reads hold their records, and give up at once on a held one

    access->SKIPHELDRECORDS = true;
    runtime::set(runtime::KeyRef{t().file, *items->byId});
    std::vector<int> read;
    while (access->Next(kReport) == Severity::Proceed) read.push_back(t().getLong(kId));
    EXPECT_EQ(read, (std::vector<int>{1, 3, 4}));
    EXPECT_TRUE(messages.shown.empty());

    access->SKIPHELDRECORDS = false;
    runtime::set(runtime::KeyRef{t().file, *items->byId});
    EXPECT_EQ(access->Next(kReport), Severity::Proceed);
    EXPECT_EQ(access->Next(kReport), Severity::Inform);
    EXPECT_FALSE(access->SelectThreadState().ATEOF);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "Record not read");
    runtime::release(t().file);
    access->Close();
    holder.tellChild();
    EXPECT_EQ(holder.finish(), 0);
}

// ---- Buffers and states ----------------------------------------------------------------------

TEST_F(TableAccessTest, SnapshotsKeepRecordAndMemos) {
    start(Numbering::None);
    seed(2);
    t().setLong(kId, 1);
    ASSERT_EQ(access->ReadByKey(*items->byId), Severity::Proceed);
    const std::int32_t first = access->SnapshotRecord();
    EXPECT_TRUE(access->SameAsSnapshot(first));
    t().setMemo(0, "edited");
    EXPECT_FALSE(access->SameAsSnapshot(first)) << "a memo counts";
    t().setMemo(0, "note 1");
    t().setText(kName, "edited");
    EXPECT_FALSE(access->SameAsSnapshot(first));

    const std::int32_t second = access->SnapshotRecord();
    EXPECT_EQ(second, first + 3) << "the record, one memo and the driver's entry";
    access->RestoreSnapshot(first);
    EXPECT_EQ(t().getText(kName), "item1");
    EXPECT_FALSE(access->SameAsSnapshot(first)) << "restoring releases the snapshot";
    access->RestoreSnapshot(second, false);
    EXPECT_EQ(t().getText(kName), "item1") << "releasing without copying back";
    EXPECT_TRUE(access->BUFFERS.empty());
    access->Close();
}

TEST_F(TableAccessTest, PushedStatesRestorePositionBufferAndNumbering) {
    start();
    seed(5);
    runtime::set(runtime::KeyRef{t().file, *items->byId});
    access->Next(kReport);
    access->Next(kReport);
    ASSERT_EQ(t().getLong(kId), 2);
    const std::uint16_t state = access->PushTableState();
    ASSERT_NE(state, 0);
    access->Next(kReport);
    access->Next(kReport);
    ASSERT_EQ(t().getLong(kId), 4);
    ASSERT_EQ(access->PrepareNewRecord(false), Severity::Proceed);
    EXPECT_TRUE(access->SelectThreadState().AUTOINCDONE);
    access->PopTableState(state);
    EXPECT_EQ(t().getLong(kId), 2);
    EXPECT_EQ(t().getMemo(0), "note 2");
    EXPECT_FALSE(access->SelectThreadState().AUTOINCDONE);
    EXPECT_TRUE(access->SAVED.empty());
    ASSERT_EQ(access->Next(kReport), Severity::Proceed);
    EXPECT_EQ(t().getLong(kId), 3);
    access->Close();
}

TEST_F(TableAccessTest, TheUsageLogRestoresTheCallersStateAfterANestedProcedure) {
    start(Numbering::None);
    reporter.NoteProcedure("BrowseItems");
    seed(5);
    runtime::set(runtime::KeyRef{t().file, *items->byId});
    access->Next(kReport);
    access->Next(kReport);
    ASSERT_EQ(t().getLong(kId), 2);

    for (std::uint8_t firstUse : {use_kind::kLibrary, use_kind::kBrowse}) {
        SCOPED_TRACE(int{firstUse});
        reporter.NoteProcedure("UpdateItems");
        ASSERT_EQ(access->Open(kReport), Severity::Proceed);
        ASSERT_EQ(access->RequireOpen(firstUse), Severity::Proceed);
        std::vector<UsageEntry> log = TableAccess::UsageLog();
        ASSERT_EQ(log.size(), 2u);
        EXPECT_EQ(log[0].PROC, "BrowseItems");
        EXPECT_EQ(log[1].PROC, "UpdateItems");
        EXPECT_EQ(log[1].SCOPELEVEL, 2);
        EXPECT_EQ(log[1].HOLD != 0, firstUse == use_kind::kLibrary);
        runtime::set(runtime::KeyRef{t().file, *items->byId});
        access->Next(kReport);
        access->Next(kReport);
        access->Next(kReport);
        EXPECT_EQ(t().getLong(kId), 3);
        t().setText(kName, "scribbled");
        access->Close();
        reporter.RemoveProcedure();
        EXPECT_EQ(TableAccess::UsageLog().size(), 1u);
        if (firstUse == use_kind::kLibrary) {
            EXPECT_EQ(t().getLong(kId), 2) << "the caller's buffer is back";
            EXPECT_EQ(t().getText(kName), "item2");
            ASSERT_EQ(access->Next(kReport), Severity::Proceed);
            EXPECT_EQ(t().getLong(kId), 3) << "and so is its position";
            runtime::set(runtime::KeyRef{t().file, *items->byId});
            access->Next(kReport);
            access->Next(kReport);
        } else {
            EXPECT_EQ(t().getText(kName), "scribbled") << "a browsing use saves nothing";
        }
    }
    EXPECT_NE(t().file.state, nullptr) << "the caller still has the table open";
    access->Close();
    EXPECT_TRUE(TableAccess::UsageLog().empty());
    reporter.RemoveProcedure();
}

// ---- Callback and registry -------------------------------------------------------------------

TEST_F(TableAccessTest, TheRuntimesDestroyShutsTheObjectDown) {
    start();
    EXPECT_EQ(TableRegistry::Find(t().file), access.get());
    EXPECT_EQ(TableRegistry::FindLabel("items"), access.get());
    EXPECT_EQ(runtime::fileCallbackOf(t().file), &access->FILECALLBACKINTERFACE);
    seed(1);
    ASSERT_NE(t().file.state, nullptr);

    EXPECT_EQ(runtime::destroyFile(t().file), 0);
    EXPECT_TRUE(access->CLEANEDUP);
    EXPECT_EQ(t().file.state, nullptr);
    EXPECT_EQ(TableRegistry::Find(t().file), nullptr);
    EXPECT_EQ(runtime::fileCallbackOf(t().file), nullptr);
    EXPECT_TRUE(access->INFO.empty());
}

TEST_F(TableAccessTest, BindsTheRecordForExpressions) {
    start();
    runtime::pushScope(false);
    access->BindFields();
    const auto bound = runtime::lookupName("ITM:ID");
    ASSERT_TRUE(bound.has_value());
    EXPECT_EQ(bound->variable.data, t().at(kId)) << "read in place in the record";
    EXPECT_TRUE(runtime::lookupName("ITM:NOTE").has_value()) << "memos too";
    runtime::popScope();
}

TEST_F(TableAccessTest, ACloseWhileTheRuntimeRestoresForgetsTheOpenCount) {
    start();
    seed(1);
    ASSERT_EQ(access->Open(kReport), Severity::Proceed);
    ASSERT_EQ(access->SelectThreadState().OPENED, 2);
    access->INRESTORE = true;
    EXPECT_EQ(runtime::close(t().file), 0);
    access->INRESTORE = false;
    EXPECT_EQ(access->SelectThreadState().OPENED, 0);
    EXPECT_FALSE(access->SelectThreadState().USED);
    EXPECT_EQ(t().file.state, nullptr);
}

} // namespace
} // namespace docket::classes
