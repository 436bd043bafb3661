// Views over a native table with a memo: whatever the filter reads and whatever the order, every
// record the view returns has its own memo in the buffer, filters and links that read the memo see
// it, and a record returned can be changed with its memo. Records that a filter rejects without
// the memo are read without it, which the file trace shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "drivers/qvn/tests/table_test_util.h"
#include "runtime/expression/binding_scopes.h"
#include "files/record_fields.h"
#include "files/view.h"

namespace docket::runtime {
namespace {

using drivers::OperationCode;
using drivers::qvn::testing::ScratchDir;
using drivers::qvn::testing::TestTable;

constexpr int kRecords = 60;

// Record i: type i % 3 + 1, subject "s" + i, body "body i" with " urgent" for every seventh.
bool urgent(int id) {
    return id % 7 == 0;
}
std::string bodyOf(int id) {
    return "body " + std::to_string(id) + (urgent(id) ? " urgent" : "");
}

class ViewMemoTest : public ::testing::Test {
protected:
    void SetUp() override {
        notes.declaration.label = "NOTES";
        notes.field("NOT:ID", TypeCode::Long, 4);
        notes.field("NOT:TYPE", TypeCode::Long, 4);
        notes.field("NOT:SUBJECT", TypeCode::String, 20);
        notes.memo("NOT:BODY", 300);
        notes.key("NOT:KEY_ID", drivers::key_flag::kPrimary, {1});
        types.declaration.label = "TYPES";
        types.field("TYP:TYPE", TypeCode::Long, 4);
        types.field("TYP:NAME", TypeCode::String, 10);
        types.key("TYP:KEY_TYPE", drivers::key_flag::kPrimary, {1});
        for (auto* t : {&notes, &types}) {
            ASSERT_EQ(t->call(OperationCode::CREATE), 0);
            ASSERT_EQ(t->call(OperationCode::OPEN), 0);
        }
        for (int j = 1; j <= 3; ++j) {
            types.setLong(1, j);
            types.setText(2, std::string(1, static_cast<char>('A' + j - 1)));
            ASSERT_EQ(types.call(OperationCode::ADD), 0);
        }
        // Added in descending id order, so that record order and id order differ.
        for (int id = kRecords; id >= 1; --id) {
            notes.setLong(1, id);
            notes.setLong(2, id % 3 + 1);
            notes.setText(3, "s" + std::to_string(id));
            notes.setMemo(0, bodyOf(id));
            ASSERT_EQ(notes.call(OperationCode::ADD), 0);
        }
        pushScope(false);
        bindTableFields(notes.declaration);
        bindTableFields(types.declaration);
    }
    void TearDown() override { popScope(); }

    ViewDeclaration declaration(const std::string& link = {}) {
        ViewDeclaration d;
        d.primary = &notes.file;
        ViewJoin j;
        j.file = &types.file;
        if (link.empty()) {
            j.key = 0;
            j.parentFields = {2};
        } else {
            j.link = link;
        }
        j.inner = true;
        d.joins.push_back(j);
        return d;
    }
    std::string body() {
        std::string s = notes.getMemo(0);
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    }
    // Reads the view forwards, checking every record's memo; the ids read.
    std::vector<int> readChecked(View& view) {
        std::vector<int> ids;
        EXPECT_EQ(view.set(), 0);
        int rc = 0;
        while ((rc = view.next()) == 0) {
            const int id = notes.getLong(1);
            ids.push_back(id);
            EXPECT_EQ(body(), bodyOf(id)) << id;
            EXPECT_EQ(types.getLong(1), id % 3 + 1) << id;
        }
        EXPECT_EQ(rc, 33);
        // Backwards the same records come with their memos too.
        while (view.previous() == 0) EXPECT_EQ(body(), bodyOf(notes.getLong(1)));
        return ids;
    }
    static std::vector<int> idsWhere(bool (*keep)(int), bool descending = false) {
        std::vector<int> ids;
        for (int id = 1; id <= kRecords; ++id)
            if (keep(id)) ids.push_back(id);
        if (descending) std::reverse(ids.begin(), ids.end());
        return ids;
    }

    ScratchDir dir;
    TestTable notes{dir.file("NOTES.DB")};
    TestTable types{dir.file("TYPES.DB")};
};

TEST_F(ViewMemoTest, EveryReturnedRecordHasItsMemoWhateverTheFilterReads) {
    struct Case {
        const char* filter;
        bool (*keep)(int);
    };
    const Case cases[] = {
        // Terms that never read the memo: the rejected records are read without it.
        {"NOT:TYPE = 2", [](int id) { return id % 3 == 1; }},
        {"NOT:ID > 0", [](int) { return true; }},
        // The memo in the first term, in a later one, and after a term on the joined table.
        {"INSTRING('urgent', NOT:BODY, 1, 1)", [](int id) { return urgent(id); }},
        {"NOT:TYPE <> 1 AND INSTRING('urgent', NOT:BODY, 1, 1)",
         [](int id) { return urgent(id) && id % 3 != 0; }},
        {"NOT:ID > 10 AND TYP:NAME <> 'B' AND INSTRING('urgent', NOT:BODY, 1, 1) = 0",
         [](int id) { return id > 10 && id % 3 != 1 && !urgent(id); }},
    };
    for (const char* order : {"", "NOT:ID", "-NOT:ID", "NOT:SUBJECT"}) {
        View view(declaration());
        ASSERT_EQ(view.open(), 0);
        ASSERT_EQ(view.setOrder(order), 0);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(order) + " / " + c.filter);
            ASSERT_EQ(view.setFilter(c.filter), 0);
            std::vector<int> ids = readChecked(view);
            std::vector<int> want = idsWhere(c.keep);
            if (std::string(order).empty()) std::reverse(want.begin(), want.end()); // record order
            if (std::string(order) == "-NOT:ID") std::reverse(want.begin(), want.end());
            if (std::string(order) == "NOT:SUBJECT") {
                std::sort(want.begin(), want.end(),
                          [](int a, int b) { return "s" + std::to_string(a) < "s" + std::to_string(b); });
            }
            EXPECT_EQ(ids, want);
        }
    }
}

TEST_F(ViewMemoTest, ALinkThatReadsTheMemoSeesIt) {
    View view(declaration("TYP:TYPE = NOT:TYPE AND INSTRING('urgent', NOT:BODY, 1, 1)"));
    ASSERT_EQ(view.open(), 0);
    ASSERT_EQ(view.setOrder("NOT:ID"), 0);
    ASSERT_EQ(view.setFilter("NOT:ID <= 40"), 0);
    EXPECT_EQ(readChecked(view), idsWhere([](int id) { return id <= 40 && urgent(id); }));
}

TEST_F(ViewMemoTest, ARecordReturnedIsChangedWithItsMemo) {
    View view(declaration());
    ASSERT_EQ(view.open(), 0);
    ASSERT_EQ(view.setOrder("NOT:ID"), 0);
    ASSERT_EQ(view.setFilter("NOT:TYPE = 3"), 0);
    ASSERT_EQ(view.set(), 0);
    ASSERT_EQ(view.next(), 0);
    ASSERT_EQ(notes.getLong(1), 2);
    notes.setMemo(0, "changed 2");
    ASSERT_EQ(notes.call(OperationCode::PUT), 0);
    // Read to the end: the records rejected last were read without their memos, and the buffers
    // hold the last one returned again, which a PUT changes memo and all.
    int last = 0;
    while (view.next() == 0) last = notes.getLong(1);
    EXPECT_EQ(notes.getLong(1), last);
    EXPECT_EQ(body(), bodyOf(last));
    notes.setMemo(0, "changed last");
    ASSERT_EQ(notes.call(OperationCode::PUT), 0);

    ASSERT_EQ(view.setFilter(""), 0);
    std::map<int, std::string> bodies;
    ASSERT_EQ(view.set(), 0);
    while (view.next() == 0) bodies[notes.getLong(1)] = body();
    EXPECT_EQ(bodies[2], "changed 2");
    EXPECT_EQ(bodies[last], "changed last");
    EXPECT_EQ(bodies[5], bodyOf(5));
}

TEST_F(ViewMemoTest, RejectedRecordsAreReadWithoutTheirMemosWhileMostAreRejected) {
    ScratchDir config;
    const std::string log = config.file("view.log");
    {
        std::ofstream ini(config.file("WIN.INI"));
        ini << "[KWVIEW]\nProfile=1\nTraceIntoFiles=1\nTraceFile=" << log << "\n";
    }
    ::setenv("DOCKET_CONFIG_DIR", config.file("").c_str(), 1);
    auto count = [&](const std::string& what) {
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        const std::string s = text.str();
        std::size_t n = 0;
        for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
        return n;
    };
    {
        View view(declaration());
        ASSERT_EQ(view.open(), 0);
        // One record in seven passes: every record is read without its memo (forwards, and
        // backwards from the last one returned), the passing ones read again.
        ASSERT_EQ(view.setFilter("NOT:ID % 7 = 0"), 0);
        EXPECT_EQ(readChecked(view).size(), 8u);
        const std::size_t rare = count("FILE NOMEMO");
        EXPECT_GE(rare, static_cast<std::size_t>(kRecords + kRecords / 2));
        // Every record passes: after the first 32 records it stops reading them twice, and a
        // second read keeps to that.
        ASSERT_EQ(view.setFilter("NOT:ID > 0"), 0);
        EXPECT_EQ(readChecked(view).size(), static_cast<std::size_t>(kRecords));
        EXPECT_EQ(readChecked(view).size(), static_cast<std::size_t>(kRecords));
        const std::size_t all = count("FILE NOMEMO");
        EXPECT_EQ(all - rare, 32u);
        // The memo in the first term: no record is read without it.
        ASSERT_EQ(view.setFilter("INSTRING('urgent', NOT:BODY, 1, 1)"), 0);
        EXPECT_EQ(readChecked(view).size(), 8u);
        EXPECT_EQ(count("FILE NOMEMO"), all);
    }
    ::unsetenv("DOCKET_CONFIG_DIR");
}

} // namespace
} // namespace docket::runtime
