#include "drivers/driver_trace.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "drivers/driver_registry.h"
#include "drivers/qvn/qvn_registration.h"
#include "drivers/qvn/qvn_table.h"
#include "drivers/qvn/tests/table_test_util.h"
#include "runtime/core/thread_hook.h"

namespace docket::drivers {
namespace {

namespace fs = std::filesystem;

int succeed(OperationCode, DriverFile&, DriverArguments&) { return 0; }
int notFound(OperationCode, DriverFile&, DriverArguments&) { return 35; }
int diskFull(OperationCode, DriverFile&, DriverArguments&) {
    setPlatformError(39);
    return 90;
}

int threadSeven() { return 7; }

// A memo table: MEMO_ID LONG, MEMO_NO STRING(10) with a picture, TANGGAL DATE, JAM TIME, NILAI
// DECIMAL(5,2), FLAG BYTE, and a GROUP; two keys and a memo.
struct MemoTable {
    std::uint8_t record[40] = {};
    std::uint8_t memoBuffer[32] = {};
    FileDeclaration declaration;

    MemoTable() {
        declaration.label = "Memo";
        declaration.driver = "QUORVANE";
        declaration.recordLength = sizeof record;
        declaration.record = record;
        auto field = [&](TypeCode type, std::uint32_t offset, std::uint32_t size, const char* label) {
            FieldDeclaration f;
            f.type = type;
            f.offset = offset;
            f.size = size;
            f.label = label;
            declaration.fields.push_back(f);
            return &declaration.fields.back();
        };
        field(TypeCode::Long, 0, 4, "MEM:MEMO_ID");
        auto* no = field(TypeCode::String, 4, 10, "MEM:MEMO_NO");
        no->elementLength = 10;
        no->picture = "s10";
        field(TypeCode::Date, 14, 4, "MEM:TANGGAL");
        field(TypeCode::Time, 18, 4, "MEM:JAM");
        auto* value = field(TypeCode::Decimal, 22, 3, "MEM:NILAI");
        value->digits = 5;
        value->places = 2;
        field(TypeCode::Byte, 25, 1, "MEM:FLAG");
        auto* group = field(TypeCode::Group, 26, 4, "MEM:PAIR");
        group->dimensions = {2};
        group->elements = 2;
        group->name = "PAIR";

        KeyDeclaration id;
        id.label = "MEM:KeyId";
        id.flags = key_flag::kPrimary;
        id.components = {1};
        KeyDeclaration no2;
        no2.label = "MEM:KeyNo";
        no2.flags = key_flag::kDup | key_flag::kNoCase;
        no2.components = {2, -3};
        no2.name = "NOKEY";
        declaration.keys = {id, no2};

        MemoDeclaration memo;
        memo.label = "MEM:ISI";
        memo.size = sizeof memoBuffer;
        memo.buffer = memoBuffer;
        declaration.memos.push_back(memo);

        runtime::writeU32(record, 42);
        std::memcpy(record + 4, "A-1       ", 10);
        runtime::writeU32(record + 14, 82078); // 17 September 2025
        runtime::writeU32(record + 18, 3723457); // 10:20:34.56
        runtime::writeDecimal(record + 22, 3, 2, -12.5L);
        record[25] = 0x0A;
        std::memcpy(memoBuffer, "Hi\r\nthere", 9);
    }
};

class DriverTraceTest : public ::testing::Test {
protected:
    fs::path dir;
    fs::path log;

    void SetUp() override {
        dir = fs::temp_directory_path() / ("docket-trace-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        log = dir / "trace.log";
        setenv("DOCKET_CONFIG_DIR", dir.c_str(), 1);
        registerDriver(qvn::registration());
        runtime::setThreadNumberHook(threadSeven);
    }
    void TearDown() override {
        qvn::setOperations(nullptr);
        qvn::trace().reset();
        runtime::setThreadNumberHook(nullptr);
        unsetenv("DOCKET_CONFIG_DIR");
        fs::remove_all(dir);
    }
    void writeWinIni(int profile, int details) {
        std::ofstream(dir / "WIN.INI") << "[KWQUORVANE]\r\nProfile=" << profile << "\r\nTraceFile=" << log.string()
                                       << "\r\nDetails=" << details << "\r\n";
        qvn::trace().reset();
    }
    std::string traced() {
        std::ifstream in(log, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        // Elapsed times vary; the time column is checked on its own below.
        return std::regex_replace(text.str(), std::regex("Time Taken: [0-9]+\\.[0-9]{2} secs"), "Time Taken: T");
    }
};

TEST(TraceFormat, Columns) {
    MemoTable table;
    EXPECT_EQ(trace_format::operationColumn(OperationCode::ADD, table.declaration, nullptr, 1), "ADD(Memo 1)       ");
    EXPECT_EQ(trace_format::operationColumn(OperationCode::NEXT, table.declaration, &table.declaration.keys[1], 3),
              "NEXT(Memo,MEM:KeyNo[2] 3) ");
    EXPECT_EQ(trace_format::operationColumn(OperationCode::SETkey, table.declaration, &table.declaration.keys[0], 1),
              "SETkey(Memo,MEM:KeyId[1] 1) ");
    EXPECT_EQ(trace_format::errorColumn(0, 0), "");
    EXPECT_EQ(trace_format::errorColumn(35, 0), "Error: Record Not Found ");
    EXPECT_EQ(trace_format::errorColumn(90, 5), "File Error: Access Denied ");
    EXPECT_EQ(trace_format::timeColumn(0), "Time Taken: 0.00 secs\r\n");
    EXPECT_EQ(trace_format::timeColumn(1234), "Time Taken: 12.34 secs\r\n");
}

TEST(TraceFormat, FieldValues) {
    MemoTable table;
    const auto& f = table.declaration.fields;
    EXPECT_EQ(trace_format::fieldValue(f[0], table.record), "42");
    EXPECT_EQ(trace_format::fieldValue(f[1], table.record + 4), "'A-1       '");
    EXPECT_EQ(trace_format::fieldValue(f[3], table.record + 18), "10:20:34.56 (3723457)");
    EXPECT_EQ(trace_format::fieldValue(f[4], table.record + 22), "-12.50");
    EXPECT_EQ(trace_format::fieldValue(f[5], table.record + 25), "0AH");

    std::uint8_t day[4];
    runtime::writeU32(day, 4);
    EXPECT_EQ(trace_format::fieldValue(f[2], day), "01 Jan 1801 (4)");
    runtime::writeU32(day, 2994626);
    EXPECT_EQ(trace_format::fieldValue(f[2], day), "31 Dec 9999 (2994626)");
    runtime::writeU32(day, 36163);
    EXPECT_EQ(trace_format::fieldValue(f[2], day), "01 Jan 1900 (36163)");
    runtime::writeU32(day, 3);
    EXPECT_EQ(trace_format::fieldValue(f[2], day), "Invalid date (3)");
    runtime::writeU32(day, 0);
    EXPECT_EQ(trace_format::fieldValue(f[3], day), "Invalid time (0)");
    runtime::writeU32(day, 8640001);
    EXPECT_EQ(trace_format::fieldValue(f[3], day), "Invalid time (8640001)");

    FieldDeclaration shortField{.type = TypeCode::Short, .size = 2, .label = "S"};
    std::uint8_t s[2] = {0xFE, 0xFF};
    EXPECT_EQ(trace_format::fieldValue(shortField, s), "-2");
    FieldDeclaration real{.type = TypeCode::Real, .size = 8, .label = "R"};
    double r = 1.5;
    EXPECT_EQ(trace_format::fieldValue(real, reinterpret_cast<std::uint8_t*>(&r)), "1.500000");
}

TEST(TraceFormat, HexDump) {
    const std::uint8_t bytes[] = {'A', 'B', 0x00, 0x0D, 'z', 'y', 'x', 'w', 'v', 'u', 't', 's', 'r', 'q', 'p', 'o', 'N'};
    EXPECT_EQ(trace_format::hexDump(bytes, sizeof bytes),
              "41 42 00 0D 7A 79 78 77 76 75 74 73 72 71 70 6F  | AB..zyxwvutsrqpo\r\n"
              "4E " + std::string(15 * 3, ' ') + " | N\r\n");
}

TEST_F(DriverTraceTest, OffByDefault) {
    qvn::setOperations(succeed);
    qvn::trace().reset();
    MemoTable table;
    DriverFile file{&table.declaration, nullptr};
    DriverArguments args;
    EXPECT_EQ(callDriver(OperationCode::ADD, file, args), 0);
    EXPECT_FALSE(fs::exists(log));
}

TEST_F(DriverTraceTest, OperationLinesWithoutDetails) {
    writeWinIni(1, 0);
    MemoTable table;
    DriverFile file{&table.declaration, nullptr};
    DriverArguments args;
    qvn::setOperations(succeed);
    callDriver(OperationCode::ADD, file, args);
    args.key = &table.declaration.keys[1];
    callDriver(OperationCode::NEXT, file, args);
    qvn::setOperations(notFound);
    args.key = &table.declaration.keys[0];
    callDriver(OperationCode::GETfilekey, file, args);
    qvn::setOperations(diskFull);
    args.key = nullptr;
    callDriver(OperationCode::PUT, file, args);
    EXPECT_EQ(traced(), "ADD(Memo 7)       Time Taken: T\r\n"
                        "NEXT(Memo,MEM:KeyNo[2] 7) Time Taken: T\r\n"
                        "GETfilekey(Memo,MEM:KeyId[1] 7) Error: Record Not Found Time Taken: T\r\n"
                        "PUT(Memo 7)       File Error: Handle Disk Full Time Taken: T\r\n");
}

TEST_F(DriverTraceTest, DetailsWriteTheDeclarationOnceAndTheRecord) {
    writeWinIni(1, 1);
    MemoTable table;
    table.declaration.name = "memo.qvn";
    table.declaration.flags = file_flag::kCreate;
    DriverFile file{&table.declaration, nullptr};
    DriverArguments args;
    qvn::setOperations(succeed);
    callDriver(OperationCode::GETfileptr, file, args);
    callDriver(OperationCode::SETfile, file, args);
    args.key = &table.declaration.keys[1];
    args.secondKey = &table.declaration.keys[1];
    callDriver(OperationCode::SETkeykey, file, args);

    const std::string date = "  MEM:TANGGAL       : " + trace_format::fieldValue(table.declaration.fields[2], table.record + 14) + "\r\n";
    EXPECT_EQ(traced(),
              "Memo              FILE,DRIVER('QUORVANE'),NAME('memo.qvn'),CREATE\r\n"
              "MEM:KeyId           KEY(+MEM:MEMO_ID),PRIMARY\r\n"
              "MEM:KeyNo           KEY(+MEM:MEMO_NO,-MEM:TANGGAL),DUP,NOCASE,NAME('NOKEY')\r\n"
              "MEM:ISI             MEMO(32)\r\n"
              "                    RECORD\r\n"
              "MEM:MEMO_ID         LONG\r\n"
              "MEM:MEMO_NO         STRING(10)(@s10)\r\n"
              "MEM:TANGGAL         DATE\r\n"
              "MEM:JAM             TIME\r\n"
              "MEM:NILAI           DECIMAL(5,2)\r\n"
              "MEM:FLAG            BYTE\r\n"
              "MEM:PAIR            GROUP, DIM(2),NAME('PAIR')\r\n"
              "                    END\r\n"
              "                  END\r\n\r\n"
              "GETfileptr(Memo 7) Time Taken: T\r\n"
              "  MEM:MEMO_ID       : 42\r\n"
              "  MEM:MEMO_NO       : 'A-1       '\r\n" +
                  date +
                  "  MEM:JAM           : 10:20:34.56 (3723457)\r\n"
                  "  MEM:NILAI         : -12.50\r\n"
                  "  MEM:FLAG          : 0AH\r\n"
                  "  MEM:PAIR          : \r\n"
                  "  MEM:ISI           : \r\n"
                  "48 69 0D 0A 74 68 65 72 65 " + std::string(7 * 3, ' ') + " | Hi..there\r\n" +
                  "SETfile(Memo 7)   Time Taken: T\r\n"
                  "SETkeykey(Memo,MEM:KeyNo[2] 7) Time Taken: T\r\n"
                  "  MEM:MEMO_NO       : 'A-1       '\r\n" +
                  date);
}

TEST_F(DriverTraceTest, EncryptedFilesHideDetailsAndPassword) {
    writeWinIni(1, 1);
    MemoTable table;
    table.declaration.owner = "s3cret";
    table.declaration.flags = file_flag::kEncrypt;
    DriverFile file{&table.declaration, nullptr};
    DriverArguments args;
    qvn::setOperations(succeed);
    callDriver(OperationCode::ADD, file, args);
    EXPECT_EQ(traced(), "ADD(Memo 7)       Time Taken: T\r\n");

    // With ALLOWDETAILS the declaration and values appear, the password still does not.
    table.declaration.driverOptions = "/ALLOWDETAILS";
    table.declaration.label = "Memo2";
    callDriver(OperationCode::ADD, file, args);
    std::string text = traced();
    EXPECT_NE(text.find("Memo2             FILE,DRIVER('QUORVANE','/ALLOWDETAILS'),OWNER(******),ENCRYPT\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  MEM:MEMO_ID       : 42\r\n"), std::string::npos);
    EXPECT_EQ(text.find("s3cret"), std::string::npos);
}

TEST(TraceFormat, AKeyOutsideTheDeclarationIsNumberedByTheDriver) {
    MemoTable table;
    KeyDeclaration other;
    other.label = "K";
    EXPECT_EQ(trace_format::operationColumn(OperationCode::NEXT, table.declaration, &other, 3, 2), "NEXT(Memo,K[2] 3) ");
    // A key of the declaration keeps its own number whatever the driver says.
    EXPECT_EQ(trace_format::operationColumn(OperationCode::NEXT, table.declaration, &table.declaration.keys[1], 3, 9),
              "NEXT(Memo,MEM:KeyNo[2] 3) ");
}

TEST_F(DriverTraceTest, ReadModeNumbersTheTablesOwnKeys) {
    const std::string path = (dir / "t.qvn").string();
    {
        qvn::testing::TestTable t(path);
        t.field("ID", TypeCode::Long, 4);
        t.field("NAME", TypeCode::CString, 10);
        t.key("ID_KEY", 0, {1});
        t.key("NAME_KEY", key_flag::kDup, {2});
        ASSERT_EQ(t.call(OperationCode::CREATE), 0);
    }
    writeWinIni(1, 0);
    FileDeclaration bare; // filled from the file: the keys are the driver's own
    bare.label = "Bare";
    bare.driver = "QUORVANE";
    bare.name = path;
    DriverFile file{&bare, nullptr};
    DriverArguments open;
    open.openMode = 0x40;
    ASSERT_EQ(callDriver(OperationCode::OPEN, file, open), 0);
    auto* table = static_cast<qvn::QvnTable*>(file.state.get());
    DriverArguments set;
    set.key = &table->declaration().keys[1];
    EXPECT_EQ(callDriver(OperationCode::SETkey, file, set), 0);
    DriverArguments next;
    EXPECT_EQ(callDriver(OperationCode::NEXT, file, next), 33);
    EXPECT_EQ(traced(), "OPEN(Bare 7)      Time Taken: T\r\n"
                        "SETkey(Bare,NAME_KEY[2] 7) Time Taken: T\r\n"
                        "NEXT(Bare,NAME_KEY[2] 7) Error: Record Not Available Time Taken: T\r\n");
    DriverArguments close;
    callDriver(OperationCode::CLOSE, file, close);
}

} // namespace
} // namespace docket::drivers
