// Tables of the native driver through the driver interface: definitions, table names, records,
// keys, sequences, memos and BLOBs, SEND.
#include <gtest/gtest.h>

#include <cstring>

#include "drivers/qvn/qvn_table.h"
#include "drivers/qvn/internal/table_entries.h"
#include "drivers/qvn/tests/qvn_test_util.h"
#include "drivers/qvn/tests/table_test_util.h"
#include "runtime/core/error_state.h"

namespace docket::drivers::qvn {
namespace {

using namespace testing;
using enum OperationCode;

// ID LONG, NAME CSTRING(20), AMOUNT DECIMAL(7,2); NOTE MEMO(100); keys ID (unique), NAME (DUP, NOCASE).
struct People : TestTable {
    explicit People(const std::string& name, std::uint32_t memoSize = 100) : TestTable(name) {
        field("ID", TypeCode::Long, 4);
        field("NAME", TypeCode::CString, 20);
        field("AMOUNT", TypeCode::Decimal, 4, 2);
        memo("NOTE", memoSize);
        key("ID_KEY", key_flag::kPrimary, {1});
        key("NAME_KEY", key_flag::kDup | key_flag::kNoCase, {2});
    }
    int addPerson(std::int32_t id, const std::string& name, const std::string& note = {}) {
        setLong(1, id);
        setText(2, name);
        setMemo(0, note);
        return call(ADD);
    }
};

class TableTest : public ::testing::Test {
protected:
    ScratchDir dir;
};

TEST_F(TableTest, CreateCloseOpenWithMatchingAndMismatchingDeclarations) {
    const std::string path = dir.file("people.qvn");
    {
        People t(path);
        EXPECT_EQ(t.call(OPEN), 2); // no file yet
        ASSERT_EQ(t.call(CREATE), 0);
        ASSERT_EQ(t.call(OPEN), 0);
        EXPECT_EQ(t.call(OPEN), 52);
        EXPECT_EQ(t.records(), 0u);
        EXPECT_EQ(t.addPerson(1, "Ann"), 0);
        EXPECT_EQ(t.call(CLOSE), 0);
        EXPECT_EQ(t.call(NEXT), 37);
    }
    {
        People t(path);
        t.declaration.keys[0].flags = 0; // PRIMARY only: still the same definition
        ASSERT_EQ(t.call(OPEN), 0);
        EXPECT_EQ(t.records(), 1u);
        t.call(CLOSE);
    }
    {
        People t(path);
        t.declaration.keys[0].flags |= key_flag::kNoCase;
        EXPECT_EQ(t.call(OPEN), 47);
    }
    {
        People t(path, 101);
        EXPECT_EQ(t.call(OPEN), 47);
    }
    {
        People t(path);
        t.declaration.fields[1].label = "OTHER";
        EXPECT_EQ(t.call(OPEN), 47);
    }
    {
        People t(path, 64001);
        EXPECT_EQ(t.call(CREATE), 47);
    }
    expectTablesClean(path);
}

TEST_F(TableTest, SeveralNamedTablesShareOneFile) {
    const std::string path = dir.file("many.qvn");
    People a(path + "\\!first"), b(path + "\\!second"), c(path);
    for (People* t : {&a, &b, &c}) {
        ASSERT_EQ(t->call(CREATE), 0);
        ASSERT_EQ(t->call(OPEN), 0);
    }
    EXPECT_EQ(a.addPerson(1, "a1"), 0);
    EXPECT_EQ(a.addPerson(2, "a2"), 0);
    EXPECT_EQ(b.addPerson(1, "b1"), 0); // same key value, another table
    EXPECT_EQ(a.records(), 2u);
    EXPECT_EQ(b.records(), 1u);
    EXPECT_EQ(c.records(), 0u);
    DriverArguments args;
    args.text = "PNMQ=";
    ASSERT_EQ(c.call(SEND, args), 0);
    EXPECT_EQ(args.result, "FIRST");
    args.text = "PNMQ=FIRST";
    c.call(SEND, args);
    EXPECT_EQ(args.result, "SECOND");
    args.text = "PNMQ=UNNAMED";
    c.call(SEND, args);
    EXPECT_EQ(args.result, "");
    args.text = "PNM=second";
    c.call(SEND, args);
    EXPECT_EQ(args.result, "SECOND");
    std::string names;
    for (People* t : {&a, &b}) {
        t->setLong(1, 1);
        ASSERT_EQ(t->callKey(GETfilekey, 0), 0);
        names += t->getText(2) + ",";
    }
    EXPECT_EQ(names, "a1,b1,");
    for (People* t : {&a, &b, &c}) t->call(CLOSE);
    expectTablesClean(path);
}

TEST_F(TableTest, RecordsMustBeGroupsNestedAtMostAHundredDeep) {
    // Groups nested `depth` deep around one LONG, then a second LONG after them.
    auto nested = [&](int depth, const std::string& name) {
        auto t = std::make_unique<TestTable>(dir.file(name));
        for (int level = 0; level < depth; ++level) {
            FieldDeclaration group;
            group.type = TypeCode::Group;
            group.label = "G" + std::to_string(level);
            group.size = 4;
            t->declaration.fields.push_back(group);
        }
        t->field("INNER", TypeCode::Long, 4);
        t->field("AFTER", TypeCode::Long, 4);
        return t;
    };
    EXPECT_EQ(nested(100, "deep.qvn")->call(CREATE), 0);
    EXPECT_EQ(nested(101, "deeper.qvn")->call(CREATE), 75);
    // A member that runs past the end of its group: the list is not a record group.
    auto broken = nested(1, "broken.qvn");
    broken->declaration.fields[1].size = 8;
    broken->declaration.fields.pop_back();
    EXPECT_EQ(broken->call(CREATE), 75);
}

TEST_F(TableTest, PropertyOperationsThroughAKeyAnswerAsTheFileForms) {
    const std::string path = dir.file("props.qvn");
    People a(path + "\\!first"), b(path + "\\!second");
    for (People* t : {&a, &b}) {
        ASSERT_EQ(t->call(CREATE), 0);
        ASSERT_EQ(t->call(OPEN), 0);
    }
    DriverArguments args;
    args.text = "PNMQ=FIRST";
    ASSERT_EQ(a.callKey(GETPROPERTYkey, 0, args), 0);
    EXPECT_EQ(args.result, "SECOND");
    DriverArguments set;
    set.text = "BATCHFLUSH";
    set.result = "ON";
    EXPECT_EQ(a.callKey(SETPROPERTYkey, 0, set), 0);
    set.result = "MAYBE";
    EXPECT_EQ(a.callKey(SETPROPERTYkey, 0, set), 76);
    // A key the table does not have is refused before anything is asked.
    KeyDeclaration unknown;
    unknown.label = "NO_SUCH_KEY";
    DriverArguments foreign;
    foreign.text = "PNMQ=";
    foreign.key = &unknown;
    EXPECT_EQ(a.call(GETPROPERTYkey, foreign), 77);
    for (People* t : {&a, &b}) t->call(CLOSE);
}

TEST_F(TableTest, DuplicatesAreRefusedWithoutTraceAndNoCaseCollides) {
    People t(dir.file("dup.qvn"));
    t.key("UNIQUE_NAME", key_flag::kNoCase, {2});
    ASSERT_EQ(t.call(CREATE), 0);
    ASSERT_EQ(t.call(OPEN), 0);
    ASSERT_EQ(t.addPerson(1, "smith", "first note"), 0);
    EXPECT_EQ(t.addPerson(2, "SMITH", "second note"), 40);
    EXPECT_EQ(t.addPerson(1, "jones"), 40); // the ID key, the first one, refuses
    EXPECT_EQ(t.records(), 1u);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(t.records(k), 1u);
    // PUT that would collide leaves record and keys as they were.
    ASSERT_EQ(t.addPerson(2, "jones"), 0);
    t.setText(2, "Smith");
    EXPECT_EQ(t.call(PUT), 40);
    t.setText(2, "smith");
    ASSERT_EQ(t.callKey(GETfilekey, 2), 0);
    EXPECT_EQ(t.getLong(1), 1);
    t.setLong(1, 2);
    ASSERT_EQ(t.callKey(GETfilekey, 0), 0);
    EXPECT_EQ(t.getText(2), "jones");
    t.call(CLOSE);
    expectTablesClean(dir.file("dup.qvn"));
}

TEST_F(TableTest, OptKeysLeaveBlankRecordsOutAndDupKeysKeepRecordOrder) {
    TestTable t(dir.file("opt.qvn"));
    t.field("CODE", TypeCode::String, 6);
    t.field("GROUP", TypeCode::Short, 2);
    t.key("CODE_KEY", key_flag::kOpt, {1});
    t.key("GROUP_KEY", key_flag::kDup, {2});
    ASSERT_EQ(t.call(CREATE), 0);
    ASSERT_EQ(t.call(OPEN), 0);
    const char* codes[] = {"A", "", "B", "", "C"};
    for (int i = 0; i < 5; ++i) {
        t.setText(1, codes[i]);
        std::int16_t group = static_cast<std::int16_t>(i % 2);
        std::memcpy(t.at(2), &group, 2);
        ASSERT_EQ(t.call(ADD), 0);
    }
    EXPECT_EQ(t.records(), 5u);
    EXPECT_EQ(t.records(0), 3u);
    EXPECT_EQ(t.records(1), 5u);
    ASSERT_EQ(t.callKey(SETkey, 1), 0);
    std::vector<std::uint32_t> order;
    while (t.call(NEXT) == 0) order.push_back(t.pointer());
    EXPECT_EQ(runtime::errorCode(), 33);
    ASSERT_EQ(order.size(), 5u);
    EXPECT_TRUE(order[0] < order[1] && order[1] < order[2]); // group 0 in record order
    EXPECT_TRUE(order[3] < order[4]);                        // then group 1
    t.call(CLOSE);
}

TEST_F(TableTest, SequencesByKeyValuePointerAndPositions) {
    People t(dir.file("seq.qvn"));
    ASSERT_EQ(t.call(CREATE), 0);
    ASSERT_EQ(t.call(OPEN), 0);
    for (int i = 1; i <= 9; ++i)
        ASSERT_EQ(t.addPerson(i * 10, i % 3 == 0 ? "same" : "n" + std::to_string(i)), 0);
    // SET(key, key): start at the value; PREVIOUS from there reads the smaller ones.
    t.setLong(1, 45);
    DriverArguments args;
    args.secondKey = &t.declaration.keys[0];
    ASSERT_EQ(t.callKey(SETkeykey, 0, args), 0);
    ASSERT_EQ(t.call(NEXT), 0);
    EXPECT_EQ(t.getLong(1), 50);
    ASSERT_EQ(t.call(PREVIOUS), 0);
    EXPECT_EQ(t.getLong(1), 40);
    // Key value of a DUP key: all duplicates forward, none skipped.
    t.setText(2, "SAME");
    args = {};
    args.secondKey = &t.declaration.keys[1];
    ASSERT_EQ(t.callKey(SETkeykey, 1, args), 0);
    std::vector<std::int32_t> ids;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(t.call(NEXT), 0);
        ids.push_back(t.getLong(1));
    }
    EXPECT_EQ(ids, (std::vector<std::int32_t>{30, 60, 90}));
    // Backward from the same value starts after all duplicates.
    ASSERT_EQ(t.callKey(SETkeykey, 1, args), 0);
    ASSERT_EQ(t.call(PREVIOUS), 0);
    EXPECT_EQ(t.getLong(1), 90);
    // Record order, EOF/BOF, SKIP.
    ASSERT_EQ(t.call(SETfile), 0);
    ASSERT_EQ(t.call(NEXT), 0);
    args = {};
    ASSERT_EQ(t.call(BOF, args), 0);
    EXPECT_TRUE(args.flag); // nothing before the first record
    ASSERT_EQ(t.call(EOF_, args), 0);
    EXPECT_FALSE(args.flag);
    args.seconds = 2;
    ASSERT_EQ(t.call(SKIP, args), 0);
    ASSERT_EQ(t.call(NEXT), 0);
    EXPECT_EQ(t.getLong(1), 40);
    // POSITION and REGET/RESET in key order.
    args = {};
    args.key = &t.declaration.keys[0];
    ASSERT_EQ(t.callKey(POSITIONkey, 0, args), 0);
    const std::string position = args.result;
    ASSERT_EQ(t.call(NEXT), 0);
    EXPECT_EQ(t.getLong(1), 50);
    args.text = position;
    ASSERT_EQ(t.callKey(REGETkey, 0, args), 0);
    EXPECT_EQ(t.getLong(1), 40);
    ASSERT_EQ(t.callKey(RESETkey, 0, args), 0);
    ASSERT_EQ(t.call(NEXT), 0);
    EXPECT_EQ(t.getLong(1), 40);
    ASSERT_EQ(t.call(NEXT), 0);
    EXPECT_EQ(t.getLong(1), 50);
    args.text = "garbage";
    EXPECT_EQ(t.callKey(RESETkey, 0, args), 76);
    // SET(key, ptr) and GET by pointer.
    const std::uint32_t fifty = t.pointer();
    args = {};
    args.pointer = fifty;
    ASSERT_EQ(t.callKey(SETkeyptr, 0, args), 0);
    ASSERT_EQ(t.call(NEXT), 0);
    EXPECT_EQ(t.getLong(1), 50);
    args.pointer = 0xFFFFF;
    EXPECT_EQ(t.call(GETfileptr, args), 35);
    t.setLong(1, 55);
    EXPECT_EQ(t.callKey(GETfilekey, 0), 35);
    // DUPLICATE.
    t.setLong(1, 60);
    args = {};
    ASSERT_EQ(t.call(DUPLICATE, args), 0);
    EXPECT_TRUE(args.flag);
    t.setLong(1, 61);
    ASSERT_EQ(t.call(DUPLICATE, args), 0);
    EXPECT_FALSE(args.flag);
    // DELETE and NEXT over the gap; EMPTY.
    ASSERT_EQ(t.call(DELETE), 0);
    EXPECT_EQ(t.call(DELETE), 33);
    EXPECT_EQ(t.call(PUT), 33);
    EXPECT_EQ(t.records(), 8u);
    EXPECT_EQ(t.records(1), 8u);
    ASSERT_EQ(t.call(EMPTY), 0);
    EXPECT_EQ(t.records(), 0u);
    EXPECT_EQ(t.records(0), 0u);
    ASSERT_EQ(t.call(SETfile), 0);
    EXPECT_EQ(t.call(NEXT), 33);
    t.call(CLOSE);
    expectTablesClean(dir.file("seq.qvn"));
}

// The memo segments of the file, by key part.
Model memoSegments(const std::string& path) {
    std::unique_ptr<QvnFile> file;
    EXPECT_EQ(QvnFile::openPrivate(path, kReadOnlyShared, {}, &file), 0);
    Model segments;
    for (auto& [key, data] : readAll(*file))
        if (key.size() == 12 && static_cast<std::uint8_t>(key[4]) == kKindMemo) segments[key] = data;
    return segments;
}

TEST_F(TableTest, MemoSegmentsAreWrittenOnlyWhereTheyChanged) {
    const std::string path = dir.file("memo.qvn");
    People t(path, 1000);
    t.memo("DATA", 0, memo_flag::kBlob | memo_flag::kBinary);
    ASSERT_EQ(t.call(CREATE), 0);
    ASSERT_EQ(t.call(OPEN), 0);
    ASSERT_EQ(t.addPerson(1, "a", "abc"), 0);
    Model segments = memoSegments(path);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments.begin()->second, "abc");
    t.setMemo(0, "zzz");
    DriverArguments reread;
    reread.pointer = t.pointer();
    ASSERT_EQ(t.call(GETfileptr, reread), 0);
    EXPECT_EQ(t.getMemo(0), "abc" + std::string(997, ' '));

    auto sizes = [&] {
        std::vector<std::size_t> out;
        for (auto& [key, data] : memoSegments(path)) out.push_back(data.size());
        return out;
    };
    t.setMemo(0, std::string(256, 'x'));
    ASSERT_EQ(t.call(PUT), 0);
    EXPECT_EQ(sizes(), std::vector<std::size_t>{256});
    t.setMemo(0, std::string(257, 'x'));
    ASSERT_EQ(t.call(PUT), 0);
    EXPECT_EQ(sizes(), (std::vector<std::size_t>{256, 1}));
    t.setMemo(0, std::string(600, 'y'));
    ASSERT_EQ(t.call(PUT), 0);
    EXPECT_EQ(sizes(), (std::vector<std::size_t>{256, 256, 88}));
    t.setMemo(0, std::string(100, 'y'));
    ASSERT_EQ(t.call(PUT), 0);
    EXPECT_EQ(sizes(), std::vector<std::size_t>{100});

    // An unchanged PUT commits nothing: the file's change counter stays.
    auto counter = [&] { return examineFile(path, {}).header.changeCounter; };
    const auto before = counter();
    ASSERT_EQ(t.call(PUT), 0);
    EXPECT_EQ(counter(), before);

    // A BLOB of 300 bytes: 4 + 256 and 44.
    t.blobs[0].assign(300, 7);
    ASSERT_EQ(t.call(PUT), 0);
    std::vector<std::size_t> blobSizes;
    for (auto& [key, data] : memoSegments(path))
        if (key[9] == 1) blobSizes.push_back(data.size());
    EXPECT_EQ(blobSizes, (std::vector<std::size_t>{260, 44}));
    t.blobs[0].clear();
    DriverArguments args;
    args.pointer = t.pointer();
    ASSERT_EQ(t.call(GETfileptr, args), 0);
    EXPECT_EQ(t.blobs[0], std::vector<std::uint8_t>(300, 7));
    args = {};
    args.pointer = 2; // the BLOB is the second memo
    ASSERT_EQ(t.call(BLOB_SIZE, args), 0);
    EXPECT_EQ(args.number, 300u);
    args.pointer = 1;
    EXPECT_EQ(t.call(BLOB_SIZE, args), 75);

    // NOMEMO: the read leaves the buffer alone and the following PUT the stored memo.
    t.setMemo(0, "buffer");
    ASSERT_EQ(t.call(NOMEMO), 0);
    args = {};
    args.pointer = t.pointer();
    ASSERT_EQ(t.call(GETfileptr, args), 0);
    EXPECT_EQ(t.getMemo(0).substr(0, 6), "buffer");
    ASSERT_EQ(t.call(PUT), 0);
    ASSERT_EQ(t.call(GETfileptr, args), 0);
    EXPECT_EQ(t.getMemo(0), std::string(100, 'y') + std::string(900, ' '));
    // A NOMEMO read that finds nothing uses the NOMEMO up: the next read reads the memos again.
    t.setMemo(0, "buffer");
    ASSERT_EQ(t.call(NOMEMO), 0);
    DriverArguments missing;
    missing.pointer = 999;
    EXPECT_NE(t.call(GETfileptr, missing), 0);
    ASSERT_EQ(t.call(GETfileptr, args), 0);
    EXPECT_EQ(t.getMemo(0), std::string(100, 'y') + std::string(900, ' '));

    ASSERT_EQ(t.call(DELETE), 0);
    EXPECT_TRUE(memoSegments(path).empty());
    t.call(CLOSE);
    expectTablesClean(path);
}

TEST_F(TableTest, OemTablesStoreCodePage437AndReadBackTheProgramsText) {
    const std::string path = dir.file("oem.qvn");
    People t(path);
    t.declaration.flags |= file_flag::kOem;
    ASSERT_EQ(t.call(CREATE), 0);
    ASSERT_EQ(t.call(OPEN), 0);
    ASSERT_EQ(t.addPerson(1, "caf\xe9", "na\xefve"), 0);
    std::unique_ptr<QvnFile> file;
    ASSERT_EQ(QvnFile::openPrivate(path, kReadOnlyShared, {}, &file), 0);
    bool sawRecord = false;
    for (auto& [key, data] : readAll(*file))
        if (key.size() == 9 && static_cast<std::uint8_t>(key[4]) == kKindData) {
            EXPECT_EQ(data.substr(4, 5), std::string("caf\x82", 4) + '\0'); // é is 0x82 in code page 437
            sawRecord = true;
        }
    EXPECT_TRUE(sawRecord);
    file.reset();
    t.setText(2, "");
    DriverArguments args;
    args.pointer = t.pointer();
    ASSERT_EQ(t.call(GETfileptr, args), 0);
    EXPECT_EQ(t.getText(2), "caf\xe9");
    EXPECT_EQ(t.getMemo(0).substr(0, 5), "na\xefve");
    t.call(CLOSE);
}

TEST_F(TableTest, SendFlagsFullBuildAndTcf) {
    People t(dir.file("send.qvn"));
    DriverArguments args;
    args.text = "FLAGS";
    EXPECT_EQ(t.call(SEND, args), 37);
    ASSERT_EQ(t.call(CREATE), 0);
    ASSERT_EQ(t.call(OPEN), 0);
    auto send = [&](const std::string& command) {
        DriverArguments a;
        a.text = command;
        EXPECT_EQ(t.call(SEND, a), 0) << command;
        return a.result;
    };
    EXPECT_EQ(send("FLAGS"), "0");
    EXPECT_EQ(send("FLAGS=42"), "42");
    EXPECT_EQ(send("FULLBUILD"), "OFF");
    EXPECT_EQ(send("FULLBUILD=ON"), "ON");
    EXPECT_EQ(send("TCF=/tmp/x.tcf"), "/tmp/x.tcf");
    EXPECT_EQ(send("TCF="), dir.file("quorvane.tcf"));
    t.call(CLOSE);
    ASSERT_EQ(t.call(OPEN), 0);
    EXPECT_EQ(send("FLAGS"), "42"); // kept with the counters
    t.call(CLOSE);
}

TEST_F(TableTest, ReadModeOpenFillsTheDeclarationFromTheFile) {
    const std::string path = dir.file("read.qvn");
    {
        People t(path);
        ASSERT_EQ(t.call(CREATE), 0);
        ASSERT_EQ(t.call(OPEN), 0);
        ASSERT_EQ(t.addPerson(7, "seven", "memo text"), 0);
        t.call(CLOSE);
    }
    TestTable bare(path);
    ASSERT_EQ(bare.call(OPEN), 0);
    ASSERT_EQ(bare.call(NEXT), 0);
    auto* table = static_cast<QvnTable*>(bare.file.state.get());
    const FileDeclaration& d = table->declaration();
    ASSERT_EQ(d.fields.size(), 3u);
    EXPECT_EQ(d.fields[1].label, "NAME");
    EXPECT_EQ(d.keys[1].flags & key_flag::kNoCase, key_flag::kNoCase);
    std::int32_t id = 0;
    std::memcpy(&id, d.record, 4);
    EXPECT_EQ(id, 7);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(d.memos[0].buffer), 9), "memo text");
    bare.call(CLOSE);
}

TEST_F(TableTest, CopyRenameAndRemoveOfTables) {
    const std::string path = dir.file("src.qvn");
    People t(path);
    ASSERT_EQ(t.call(CREATE), 0);
    ASSERT_EQ(t.call(OPEN), 0);
    for (int i = 1; i <= 5; ++i) ASSERT_EQ(t.addPerson(i, "p" + std::to_string(i), "note"), 0);
    t.call(CLOSE);
    DriverArguments args;
    args.text = path + "\\!copy";
    ASSERT_EQ(t.call(COPY, args), 0);
    People copy(path + "\\!copy");
    ASSERT_EQ(copy.call(OPEN), 0);
    EXPECT_EQ(copy.records(), 5u);
    EXPECT_EQ(copy.records(1), 5u);
    copy.setLong(1, 3);
    ASSERT_EQ(copy.callKey(GETfilekey, 0), 0);
    EXPECT_EQ(copy.getText(2), "p3");
    EXPECT_EQ(copy.getMemo(0).substr(0, 4), "note");
    ASSERT_EQ(copy.addPerson(6, "p6"), 0); // fresh numbers never collide with the copied ones
    EXPECT_EQ(copy.records(), 6u);
    copy.call(CLOSE);
    args.text = dir.file("moved.qvn");
    ASSERT_EQ(t.call(RENAME, args), 0);
    EXPECT_EQ(t.call(OPEN), 2);
    People moved(dir.file("moved.qvn"));
    ASSERT_EQ(moved.call(OPEN), 0);
    EXPECT_EQ(moved.records(), 5u);
    EXPECT_EQ(moved.call(REMOVE), 63);
    moved.call(CLOSE);
    ASSERT_EQ(moved.call(REMOVE), 0);
    EXPECT_EQ(moved.call(OPEN), 2);
    expectTablesClean(path);
}

TEST_F(TableTest, TheNumberCounterStopsBeforeTableNamesBegin) {
    const std::string path = dir.file("counter.qvn");
    People t(path);
    ASSERT_EQ(t.call(CREATE), 0);
    ASSERT_EQ(t.call(OPEN), 0);
    auto* table = static_cast<QvnTable*>(t.file.state.get());
    ASSERT_EQ(table->file().beginAccess(true, true), 0);
    table->file().store().header().lastNumber = 0xFDFFFFFE;
    table->file().endAccess();
    ASSERT_EQ(t.addPerson(1, "last"), 0);
    EXPECT_EQ(t.pointer(), 0xFDFFFFFFu);
    FaultRecorder faults;
    EXPECT_EQ(t.addPerson(2, "one too many"), 36);
    ASSERT_EQ(faults.messages.size(), 1u);
    EXPECT_EQ(faults.messages[0], "Possible data corruption in file (1173)");
    EXPECT_EQ(t.records(), 1u);
    t.call(CLOSE);
}

TEST_F(TableTest, TheCheckFindsMissingKeyEntriesAndWrongCounters) {
    const std::string path = dir.file("damaged.qvn");
    People t(path);
    ASSERT_EQ(t.call(CREATE), 0);
    ASSERT_EQ(t.call(OPEN), 0);
    ASSERT_EQ(t.addPerson(1, "a", "note"), 0);
    ASSERT_EQ(t.addPerson(2, "b"), 0);
    t.call(CLOSE);
    expectTablesClean(path);
    {
        std::unique_ptr<QvnFile> file;
        ASSERT_EQ(QvnFile::openPrivate(path, kReadWriteShared, {}, &file), 0);
        ASSERT_EQ(file->beginAccess(true, true), 0);
        // The ID key's entry of the first record goes.
        std::string first;
        for (auto& [key, data] : readAll(*file))
            if (key.size() == 9 && static_cast<std::uint8_t>(key[4]) == 0 && first.empty()) first = key;
        bool existed = false;
        ASSERT_EQ(file->erase(first, &existed), 0);
        ASSERT_TRUE(existed);
        ASSERT_EQ(file->flush(), 0);
        file->endAccess();
    }
    std::vector<std::string> problems;
    checkTables(path, {}, &problems);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0], "table UNNAMED: key ID_KEY counter 2, real count 1");
    EXPECT_NE(problems[1].find("has no entry in key ID_KEY"), std::string::npos);
}

// A table opened read-only first must not keep a later table of the same physical file from
// being opened for writing: the shared file is opened again for reading and writing.
TEST_F(TableTest, AReadOnlyFirstOpenDoesNotStopAWritingOpenOfAnotherTable) {
    const std::string path = dir.file("shared.qvn");
    People a(path + "\\!A"), b(path + "\\!B");
    ASSERT_EQ(a.call(CREATE), 0);
    ASSERT_EQ(b.call(CREATE), 0);
    ASSERT_EQ(a.call(OPEN), 0);
    EXPECT_EQ(a.addPerson(1, "Ann"), 0);
    a.call(CLOSE);

    DriverArguments readOnly;
    readOnly.openMode = 0x40;
    ASSERT_EQ(a.call(OPEN, readOnly), 0);
    EXPECT_EQ(a.addPerson(2, "Bob"), 5); // read-only open: no changes
    ASSERT_EQ(b.call(OPEN), 0);          // read and write: the shared file is upgraded
    EXPECT_EQ(b.addPerson(7, "Cy", "note"), 0);
    EXPECT_EQ(b.records(), 1u);
    // The first table keeps reading through the same shared file.
    a.setLong(1, 1);
    EXPECT_EQ(a.callKey(GETfilekey, 0), 0);
    EXPECT_EQ(a.getText(2), "Ann");
    EXPECT_EQ(a.records(), 1u);
    EXPECT_EQ(a.addPerson(3, "Dee"), 5); // still a read-only open of its own
    b.call(CLOSE);
    a.call(CLOSE);
    expectTablesClean(path);
}

} // namespace
} // namespace docket::drivers::qvn
