// qvn import and qvn dump over real files: every output form, key order, filters, refused rows with
// their lines and reasons, schema errors, and the built tool itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "drivers/qvn/table_check.h"
#include "drivers/qvn/tests/qvn_test_util.h"
#include "tools/qvn/tests/run_tool.h"
#include "tools/qvn/table_commands.h"

namespace docket::qvn_tool {
namespace {

using drivers::qvn::testing::ScratchDir;

const char* const kSchema =
    "ID:LONG,NAME:CSTRING(11),BORN:DATE,AMOUNT:DECIMAL(7,2),NOTE:MEMO(40);KEY ID_KEY=+ID PRIMARY;"
    "KEY NAME_KEY=+NAME DUP NOCASE;KEY BORN_KEY=-BORN OPT";

struct Result {
    int code;
    std::string out, err;
};

Result import(const std::string& file, const std::string& schema, const std::string& csv) {
    std::istringstream in(csv);
    std::ostringstream out, err;
    const int code = importTable({file, schema, {}}, in, out, err);
    return {code, out.str(), err.str()};
}

Result dump(const std::string& file, DumpOptions::Format format = DumpOptions::Format::Lines,
            const std::string& key = {}, const std::string& filter = {}) {
    std::ostringstream out, err;
    DumpOptions options;
    options.file = file;
    options.format = format;
    options.key = key;
    options.filter = filter;
    const int code = dumpTable(options, out, err);
    return {code, out.str(), err.str()};
}

std::vector<std::string> checkProblems(const std::string& path) {
    std::vector<std::string> problems;
    drivers::qvn::checkTables(path, {}, &problems);
    return problems;
}

class DumpImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("people.qvn");
        const Result r = import(path, kSchema,
                                "ID,NAME,BORN,AMOUNT,NOTE\n"
                                "2,bob,1990-05-17,-12.5,\"two\nlines, and \"\"quotes\"\"\"\n"
                                "1,Ann,,3,\r\n"
                                "3,Cy,2001-01-02,0.25,é\n");
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, "created " + path + "\n3 rows added, 0 refused\n");
    }
    ScratchDir dir;
    std::string path;
};

TEST_F(DumpImportTest, LinesCsvAndJsonInRecordOrder) {
    Result r = dump(path);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "ID | NAME | BORN | AMOUNT | NOTE\n"
                     "2 | bob | 1990-05-17 | -12.50 | two\\nlines, and \"quotes\"\n"
                     "1 | Ann |  | 3.00 | \n"
                     "3 | Cy | 2001-01-02 | 0.25 | é\n");
    r = dump(path, DumpOptions::Format::Csv);
    EXPECT_EQ(r.out, "ID,NAME,BORN,AMOUNT,NOTE\n"
                     "2,bob,1990-05-17,-12.50,\"two\nlines, and \"\"quotes\"\"\"\n"
                     "1,Ann,,3.00,\n"
                     "3,Cy,2001-01-02,0.25,é\n");
    r = dump(path, DumpOptions::Format::Json);
    EXPECT_EQ(r.out,
              "[\n"
              "  {\"ID\": 2, \"NAME\": \"bob\", \"BORN\": \"1990-05-17\", \"AMOUNT\": -12.50, "
              "\"NOTE\": \"two\\nlines, and \\\"quotes\\\"\"},\n"
              "  {\"ID\": 1, \"NAME\": \"Ann\", \"BORN\": \"\", \"AMOUNT\": 3.00, \"NOTE\": \"\"},\n"
              "  {\"ID\": 3, \"NAME\": \"Cy\", \"BORN\": \"2001-01-02\", \"AMOUNT\": 0.25, \"NOTE\": \"é\"}\n"
              "]\n");
    // What the CSV dump writes, an import reads back the same.
    const std::string copy = dir.file("copy.qvn");
    const Result back = import(copy, kSchema, dump(path, DumpOptions::Format::Csv).out);
    EXPECT_EQ(back.code, 0) << back.err;
    EXPECT_EQ(dump(copy, DumpOptions::Format::Csv).out, dump(path, DumpOptions::Format::Csv).out);
}

TEST_F(DumpImportTest, KeyOrderByLabelNumberAndDescendingOptKey) {
    auto ids = [&](const std::string& key) {
        const Result r = dump(path, DumpOptions::Format::Csv, key);
        EXPECT_EQ(r.code, 0) << key << ": " << r.err;
        std::string order;
        std::istringstream lines(r.out);
        std::string line;
        std::getline(lines, line); // header
        while (std::getline(lines, line))
            if (!line.empty() && line[0] >= '0' && line[0] <= '9') order += line.substr(0, line.find(','));
        return order;
    };
    EXPECT_EQ(ids("ID_KEY"), "123");
    EXPECT_EQ(ids("1"), "123");
    EXPECT_EQ(ids("name_key"), "123"); // NOCASE: Ann, bob, Cy
    EXPECT_EQ(ids("3"), "321"); // descending; the view keeps Ann, whom the OPT key leaves out
    const Result bad = dump(path, DumpOptions::Format::Lines, "4");
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find("has no key '4' (keys: 1 ID_KEY 2 NAME_KEY 3 BORN_KEY)"), std::string::npos)
        << bad.err;
}

TEST_F(DumpImportTest, FilterOverFieldsAndMemos) {
    auto lines = [&](const std::string& filter) {
        const Result r = dump(path, DumpOptions::Format::Csv, "ID_KEY", filter);
        EXPECT_EQ(r.code, 0) << filter << ": " << r.err;
        return r.out.substr(r.out.find('\n') + 1);
    };
    EXPECT_EQ(lines("ID >= 2 AND AMOUNT < 0"),
              "2,bob,1990-05-17,-12.50,\"two\nlines, and \"\"quotes\"\"\"\n");
    EXPECT_EQ(lines("UPPER(NAME) = 'ANN' OR BORN > DATE(1,1,2000)"),
              "1,Ann,,3.00,\n3,Cy,2001-01-02,0.25,é\n");
    EXPECT_EQ(lines("INSTRING('quotes', NOTE, 1, 1)"),
              "2,bob,1990-05-17,-12.50,\"two\nlines, and \"\"quotes\"\"\"\n");
    EXPECT_EQ(lines("ID = 99"), "");
    const Result bad = dump(path, DumpOptions::Format::Lines, {}, "NOSUCH = 1");
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find("does not compile"), std::string::npos);
}

TEST(DumpImportPrefixTest, PrefixedLabelsBindWithAndWithoutPrefixWhenUnambiguous) {
    ScratchDir dir;
    const std::string path = dir.file("memo.qvn") + "\\!MEMOS";
    ASSERT_EQ(import(path, "MEM:ID:LONG,MEM:SUBJECT:STRING(10),OLD:SUBJECT:STRING(5),MEM:BODY:MEMO(20)",
                     "ID,MEM:SUBJECT,OLD:SUBJECT,BODY\n1,one,x,hello\n2,two,y,\n")
                  .code,
              0);
    EXPECT_EQ(dump(path, DumpOptions::Format::Csv, {}, "MEM:ID = 2").out,
              "MEM:ID,MEM:SUBJECT,OLD:SUBJECT,MEM:BODY\n2,two,y,\n");
    EXPECT_EQ(dump(path, DumpOptions::Format::Csv, {}, "ID = 2 AND BODY = ''").out.substr(40), "2,two,y,\n");
    EXPECT_EQ(dump(path, DumpOptions::Format::Lines, {}, "SUBJECT = 'one'").code, 2); // two fields share it
    // The JSON of an empty selection is an empty array.
    EXPECT_EQ(dump(path, DumpOptions::Format::Json, {}, "MEM:ID = 5").out, "[\n]\n");
}

TEST(DumpImportRefusalTest, RefusedRowsAreReportedByLineWhileTheOthersGoIn) {
    ScratchDir dir;
    const std::string path = dir.file("people.qvn");
    const Result r = import(path, kSchema,
                            "NAME,ID,AMOUNT,BORN,NOTE\n" // columns in any order
                            "Ann,1,1.5,2000-02-29,ok\n"
                            "Ann again,1,,,\n"                                      // line 3: duplicate ID
                            "Bea,2,12x,,\n"                                         // line 4: bad number
                            "A name far too long,3,,,\n"                            // line 5: too long
                            "\"multi\nline\",4,,,fine\n"                            // lines 6-7: goes in
                            "Cid,5,,2001-02-29,\n"                                  // line 8: no such day
                            "Dee,6,123456,,\n"                                      // line 9: too many digits
                            "Eve,7,,,\n"                                            // line 10: goes in
                            "Fay,8\n"                                               // line 11: cells missing
                            "Gus,99999999999,,,\n"                                  // line 12: out of range
                            "Hal,9,,,0123456789012345678901234567890123456789X\n"); // line 13: memo long
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "line 3: duplicate key\n"
                     "line 4: column 3: bad number '12x'\n"
                     "line 5: column 1: value too long: 19 characters where NAME holds 10\n"
                     "line 8: column 4: bad date '2001-02-29' (yyyy-mm-dd is needed)\n"
                     "line 9: column 3: number too large: '123456' where AMOUNT is DECIMAL(7,2)\n"
                     "line 11: 2 cells where the header has 5\n"
                     "line 12: column 2: number out of range: '99999999999' where ID is LONG\n"
                     "line 13: column 5: value too long: 41 characters where NOTE holds 40\n");
    EXPECT_EQ(r.out, "created " + path + "\n3 rows added, 8 refused\n");
    EXPECT_EQ(dump(path, DumpOptions::Format::Csv).out, "ID,NAME,BORN,AMOUNT,NOTE\n"
                                                        "1,Ann,2000-02-29,1.50,ok\n"
                                                        "4,\"multi\nline\",,0.00,fine\n"
                                                        "7,Eve,,0.00,\n");
    EXPECT_TRUE(checkProblems(path).empty());
    // A second import into the existing table adds to it.
    const Result more = import(path, kSchema, "ID,NAME\n2,Bea\n");
    EXPECT_EQ(more.code, 0) << more.err;
    EXPECT_EQ(more.out, "1 row added, 0 refused\n");
}

TEST(DumpImportRefusalTest, SchemaAndHeaderErrorsStopBeforeAnyRow) {
    ScratchDir dir;
    const std::string path = dir.file("bad.qvn");
    Result r = import(path, "ID:LONG;KEY K=+NAME", "ID\n1\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "qvn import: bad schema: key 1 'KEY K=+NAME': component '+NAME' names no field\n");
    EXPECT_FALSE(std::ifstream(path).good()); // nothing was created
    ASSERT_EQ(import(path, "ID:LONG", "ID\n1\n").code, 0);
    r = import(path, "ID:SHORT", "ID\n2\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("a definition other than the schema's"), std::string::npos) << r.err;
    r = import(path, "ID:LONG", "ID,WHAT\n2,3\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "qvn import: line 1: the header's column 'WHAT' names no field or memo of the table\n");
    // Without a schema an existing table's own definition is used.
    r = import(path, {}, "ID\n2\n");
    EXPECT_EQ(r.code, 0) << r.err;
    r = import(path + "\\!OTHER", {}, "ID\n2\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("no such table"), std::string::npos);
    EXPECT_EQ(dump(path).out, "ID\n1\n2\n");
    EXPECT_EQ(dump(path + "\\!OTHER").code, 1);
}

using testing::run;

TEST(QvnToolTest, TheBuiltToolImportsDumpsAndExplains) {
    ScratchDir dir;
    const std::string csv = dir.file("rows.csv");
    std::ofstream(csv) << "ID,NAME,NOTE\n1,Ann,hi\n1,Dup,\n";
    const std::string file = dir.file("t.qvn");
    int status = 0;
    std::string out = run(std::string(QVN_BINARY) + " import '" + file +
                              "\\!PEOPLE' --schema "
                              "'ID:LONG,NAME:CSTRING(41),NOTE:MEMO(2000);KEY ID_KEY=+ID PRIMARY;KEY "
                              "NAME_KEY=+NAME DUP NOCASE' < '" +
                              csv + "' 2>&1",
                          &status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(out.find("line 3: duplicate key"), std::string::npos) << out;
    EXPECT_NE(out.find("1 row added, 1 refused"), std::string::npos) << out;
    out = run(std::string(QVN_BINARY) + " dump '" + file + "\\!people' --json --key NAME_KEY", &status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(out, "[\n  {\"ID\": 1, \"NAME\": \"Ann\", \"NOTE\": \"hi\"}\n]\n");
    out = run(std::string(QVN_BINARY) + " help import", &status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(out.find("usage: qvn import"), std::string::npos);
    EXPECT_NE(out.find("PRIMARY, DUP, NOCASE, OPT"), std::string::npos);
    run(std::string(QVN_BINARY) + " help nosuch 2>/dev/null", &status);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    out = run(std::string(QVN_BINARY) + " check '" + file + "'", &status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << out;
}

} // namespace
} // namespace docket::qvn_tool
