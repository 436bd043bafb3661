// Views over real native tables of the memo register's shape: memos joined to their types by type
// number, read in three key orders and in sorted orders, with and without filters, compared with
// the same query answered by sorting a model of the records in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include "drivers/qvn/tests/table_test_util.h"
#include "runtime/expression/binding_scopes.h"
#include "runtime/core/error_state.h"
#include "files/record_fields.h"
#include "files/view.h"

namespace docket::runtime {
namespace {

using drivers::OperationCode;
using drivers::qvn::testing::ScratchDir;
using drivers::qvn::testing::TestTable;

struct Memo {
    std::int32_t id;
    std::string no;
    std::int32_t date;
    std::int32_t type;
    std::string subject;
};

const char* kTypeNames[] = {"", "Surat", "Nota", "Edaran"}; // type 4 has no record
// The name an outer join shows: blank for the missing type.
std::string typeName(std::int32_t type) {
    return type >= 1 && type <= 3 ? kTypeNames[type] : "";
}

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        memo.declaration.label = "MEMO_DB";
        memo.field("MEM:MEMO_ID", TypeCode::Long, 4);
        memo.field("MEM:MEMO_NO", TypeCode::String, 12);
        memo.field("MEM:TANGGAL", TypeCode::Date, 4);
        memo.field("MEM:JENIS", TypeCode::Long, 4);
        memo.field("MEM:PERIHAL", TypeCode::String, 30);
        memo.memo("MEM:ISI", 64);
        memo.key("MEM:KEY_ID", drivers::key_flag::kPrimary, {1});
        memo.key("MEM:KEY_NO", drivers::key_flag::kDup | drivers::key_flag::kNoCase, {2});
        memo.key("MEM:KEY_TANGGAL", 0, {3, 1});
        type.declaration.label = "MEMO_JENIS";
        type.field("JEN:JENIS", TypeCode::Long, 4);
        type.field("JEN:NAMA", TypeCode::String, 20);
        type.key("JEN:KEY_JENIS", drivers::key_flag::kPrimary, {1});
        for (auto* t : {&memo, &type}) {
            ASSERT_EQ(t->call(OperationCode::CREATE), 0);
            ASSERT_EQ(t->call(OperationCode::OPEN), 0);
        }
        for (int j = 1; j <= 3; ++j) {
            type.setLong(1, j);
            type.setText(2, kTypeNames[j]);
            ASSERT_EQ(type.call(OperationCode::ADD), 0);
        }
        static const char* words[] = {"anggaran", "Rapat",      "cuti", "Laporan",
                                      "mutasi",   "Inventaris", "pajak"};
        for (int id = 1; id <= 60; ++id) {
            char no[16];
            std::snprintf(no, sizeof no, "m-%03d", (id * 37) % 101);
            if (id % 2) no[0] = 'M'; // the key ignores case
            add({id, no, 80000 + (id * 13) % 20, id % 4 + 1,
                 std::string(words[id % 7]) + " " + std::to_string(id)});
        }
        pushScope(false);
        bindTableFields(memo.declaration);
        bindTableFields(type.declaration);
    }
    void TearDown() override { popScope(); }

    void add(const Memo& m) {
        memo.setLong(1, m.id);
        memo.setText(2, m.no);
        memo.setLong(3, m.date);
        memo.setLong(4, m.type);
        memo.setText(5, m.subject);
        memo.setMemo(0, "body of " + m.subject);
        ASSERT_EQ(memo.call(OperationCode::ADD), 0);
        model.push_back(m);
    }
    void removeMemo(std::int32_t id) {
        memo.setLong(1, id);
        drivers::DriverArguments args;
        ASSERT_EQ(memo.callKey(OperationCode::GETfilekey, 0, args), 0);
        ASSERT_EQ(memo.call(OperationCode::DELETE), 0);
        model.erase(std::find_if(model.begin(), model.end(), [&](const Memo& m) { return m.id == id; }));
    }

    ViewDeclaration declaration(bool inner) {
        ViewDeclaration d;
        d.primary = &memo.file;
        ViewJoin j;
        j.file = &type.file;
        j.key = 0;
        j.parentFields = {4};
        j.inner = inner;
        d.joins.push_back(j);
        return d;
    }

    // Reads the whole view forwards from SET: the ids and the type names that came with them.
    std::vector<std::int32_t> readAll(View& view, std::vector<std::string>* names = nullptr) {
        std::vector<std::int32_t> ids;
        EXPECT_EQ(view.set(), 0);
        int rc;
        while ((rc = view.next()) == 0) {
            ids.push_back(memo.getLong(1));
            if (names) names->push_back(trimmed(type.getText(2)));
        }
        EXPECT_EQ(rc, 33);
        return ids;
    }

    static std::string trimmed(std::string s) {
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    }
    static std::string upper(std::string s) {
        for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }

    // The query answered from the model: passing memos (with a type when `inner`) in `less` order.
    std::vector<std::int32_t> expected(const std::function<bool(const Memo&, const Memo&)>& less,
                                       const std::function<bool(const Memo&)>& keep, bool inner) {
        std::vector<Memo> rows;
        for (const Memo& m : model)
            if ((!inner || m.type <= 3) && keep(m)) rows.push_back(m);
        std::stable_sort(rows.begin(), rows.end(), less);
        std::vector<std::int32_t> ids;
        for (const Memo& m : rows) ids.push_back(m.id);
        return ids;
    }

    ScratchDir dir;
    TestTable memo{dir.file("MEMO.DB")};
    TestTable type{dir.file("JENIS.DB")};
    std::vector<Memo> model;
};

struct OrderCase {
    const char* text;
    bool keyed;
    std::function<bool(const Memo&, const Memo&)> less;
};

std::vector<OrderCase> orderCases() {
    auto upperNo = [](const Memo& m) {
        std::string s = m.no;
        for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    };
    return {
        {"-MEM:MEMO_ID", true, [](const Memo& a, const Memo& b) { return a.id > b.id; }},
        {"UPPER(MEM:MEMO_NO)", true, [=](const Memo& a, const Memo& b) { return upperNo(a) < upperNo(b); }},
        {"MEM:TANGGAL, MEM:MEMO_ID", true,
         [](const Memo& a, const Memo& b) { return std::tie(a.date, a.id) < std::tie(b.date, b.id); }},
        {"-MEM:TANGGAL, -MEM:MEMO_ID", true,
         [](const Memo& a, const Memo& b) { return std::tie(a.date, a.id) > std::tie(b.date, b.id); }},
        // No key gives these: the view sorts (ties by record number, which is the id here).
        {"MEM:JENIS, -MEM:TANGGAL", false,
         [](const Memo& a, const Memo& b) { return a.type != b.type ? a.type < b.type : a.date > b.date; }},
        {"JEN:NAMA, MEM:MEMO_ID", false,
         [](const Memo& a, const Memo& b) {
             return typeName(a.type) != typeName(b.type) ? typeName(a.type) < typeName(b.type) : a.id < b.id;
         }},
    };
}

struct FilterCase {
    const char* text;
    std::function<bool(const Memo&)> keep;
};

std::vector<FilterCase> filterCases() {
    return {
        {"", [](const Memo&) { return true; }},
        {"MEM:JENIS = 2", [](const Memo& m) { return m.type == 2; }},
        {"UPPER(MEM:PERIHAL) >= 'M' AND MEM:TANGGAL >= 80010",
         [](const Memo& m) {
             std::string s = m.subject;
             for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
             return s >= "M" && m.date >= 80010;
         }},
        {"MEM:MEMO_ID > 20 AND MEM:MEMO_ID <= 45 AND JEN:NAMA <> 'Nota'",
         [](const Memo& m) { return m.id > 20 && m.id <= 45 && m.type != 2; }},
    };
}

TEST_F(ViewTest, EveryOrderAndFilterReadsLikeASortOfTheModel) {
    for (bool inner : {true, false}) {
        View view(declaration(inner));
        ASSERT_EQ(view.open(), 0);
        for (const OrderCase& order : orderCases()) {
            ASSERT_EQ(view.setOrder(order.text), 0) << order.text;
            EXPECT_EQ(view.readingKey() >= 0, order.keyed) << order.text;
            for (const FilterCase& filter : filterCases()) {
                SCOPED_TRACE(std::string(order.text) + " / " + filter.text + (inner ? " inner" : " outer"));
                ASSERT_EQ(view.setFilter(filter.text), 0);
                std::vector<std::string> names;
                const auto ids = readAll(view, &names);
                EXPECT_EQ(ids, expected(order.less, filter.keep, inner));
                for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(names[i], typeName(ids[i] % 4 + 1));
                // Backwards from the end: the records before the last one, last first.
                std::vector<std::int32_t> back;
                while (view.previous() == 0) back.push_back(memo.getLong(1));
                std::vector<std::int32_t> want(ids.rbegin(), ids.rend());
                if (!want.empty()) want.erase(want.begin());
                EXPECT_EQ(back, want);
            }
        }
    }
}

// SET to the end reads the view backwards from its last record; SET from the buffer starts at the
// first record whose order values are at or after the buffer's, in keyed and sorted orders alike.
TEST_F(ViewTest, SetToTheEndAndFromTheBufferStartWhereTheModelSays) {
    for (bool inner : {true, false}) {
        View view(declaration(inner));
        ASSERT_EQ(view.open(), 0);
        for (const OrderCase& order : orderCases()) {
            ASSERT_EQ(view.setOrder(order.text), 0) << order.text;
            for (const FilterCase& filter : filterCases()) {
                SCOPED_TRACE(std::string(order.text) + " / " + filter.text + (inner ? " inner" : " outer"));
                ASSERT_EQ(view.setFilter(filter.text), 0);
                const auto all = expected(order.less, filter.keep, inner);
                ASSERT_EQ(view.setToEnd(), 0);
                std::vector<std::int32_t> back;
                while (view.previous() == 0) back.push_back(memo.getLong(1));
                EXPECT_EQ(back, std::vector<std::int32_t>(all.rbegin(), all.rend()));
                ASSERT_EQ(view.setToEnd(), 0);
                EXPECT_EQ(view.next(), 33);
                // From the values of every seventh memo (passing or not): the records not before it.
                for (std::size_t k = 0; k < model.size(); k += 7) {
                    const Memo at = model[k];
                    memo.setLong(1, at.id);
                    memo.setText(2, at.no);
                    memo.setLong(3, at.date);
                    memo.setLong(4, at.type);
                    memo.setText(5, at.subject);
                    type.setLong(1, at.type);
                    type.setText(2, typeName(at.type));
                    std::vector<std::int32_t> want;
                    for (std::int32_t id : all)
                        if (!order.less(model[std::size_t(id - 1)], at)) want.push_back(id);
                    ASSERT_EQ(view.setFromBuffer(), 0);
                    std::vector<std::int32_t> got;
                    while (view.next() == 0) got.push_back(memo.getLong(1));
                    EXPECT_EQ(got, want) << "from memo " << at.id;
                }
            }
        }
    }
}

TEST_F(ViewTest, EdgeCasesOfSetAndFilters) {
    View view(declaration(true));
    ASSERT_EQ(view.open(), 0);
    for (const char* order : {"", "MEM:MEMO_ID", "-MEM:MEMO_ID", "MEM:PERIHAL"}) {
        SCOPED_TRACE(order);
        ASSERT_EQ(view.setOrder(order), 0);
        ASSERT_EQ(view.setFilter(""), 0);
        ASSERT_EQ(view.set(), 0);
        EXPECT_EQ(view.previous(), 33);
        ASSERT_EQ(view.setFilter("MEM:MEMO_ID > 1000 OR MEM:PERIHAL = 'nothing'"), 0);
        ASSERT_EQ(view.set(), 0);
        EXPECT_EQ(view.next(), 33);
        EXPECT_EQ(view.next(), 33);
        EXPECT_EQ(view.previous(), 33);
        std::string position;
        EXPECT_EQ(view.position(position), 33);
    }
}

TEST_F(ViewTest, TextsThatDoNotCompileAreRefusedAndTheOldOnesStay) {
    View view(declaration(true));
    EXPECT_EQ(view.setOrder("MEM:MEMO_ID"), 37); // not open
    ASSERT_EQ(view.open(), 0);
    ASSERT_EQ(view.setOrder("-MEM:MEMO_ID"), 0);
    ASSERT_EQ(view.setFilter("MEM:JENIS = 3"), 0);
    for (const char* bad : {"MEM:JENIS = ", "NO:SUCH = 1", "(MEM:JENIS", "'open"}) {
        EXPECT_EQ(view.setFilter(bad), kInvalidViewExpression) << bad;
        EXPECT_NE(errorCode(), 0);
        EXPECT_EQ(view.setOrder(bad), kInvalidViewExpression) << bad;
    }
    EXPECT_EQ(view.setOrder("MEM:MEMO_ID,,MEM:JENIS"), kInvalidViewExpression);
    EXPECT_EQ(view.filter(), "MEM:JENIS = 3");
    EXPECT_EQ(view.order(), "-MEM:MEMO_ID");
    EXPECT_EQ(readAll(view), expected([](const Memo& a, const Memo& b) { return a.id > b.id; },
                                      [](const Memo& m) { return m.type == 3; }, true));
}

TEST_F(ViewTest, PositionsSurviveReadsAndChangesElsewhereInTheTable) {
    for (const OrderCase& order : orderCases()) {
        SCOPED_TRACE(order.text);
        View view(declaration(false));
        ASSERT_EQ(view.open(), 0);
        ASSERT_EQ(view.setOrder(order.text), 0);
        ASSERT_EQ(view.setFilter("MEM:JENIS <> 4"), 0);
        const auto ids = readAll(view);
        ASSERT_GE(ids.size(), 12u);
        ASSERT_EQ(view.set(), 0);
        for (int i = 0; i < 7; ++i) ASSERT_EQ(view.next(), 0);
        std::string position;
        ASSERT_EQ(view.position(position), 0);
        EXPECT_EQ(memo.getLong(1), ids[6]);
        for (int i = 0; i < 4; ++i) ASSERT_EQ(view.next(), 0);
        for (int i = 0; i < 9; ++i) view.previous();
        for (int round = 0; round < 3; ++round) {
            ASSERT_EQ(view.reset(position), 0);
            ASSERT_EQ(view.next(), 0);
            EXPECT_EQ(memo.getLong(1), ids[6]);
            ASSERT_EQ(view.next(), 0);
            EXPECT_EQ(memo.getLong(1), ids[7]);
            ASSERT_EQ(view.reset(position), 0);
            ASSERT_EQ(view.previous(), 0);
            EXPECT_EQ(memo.getLong(1), ids[5]);
            ASSERT_EQ(view.reget(position), 0);
            EXPECT_EQ(memo.getLong(1), ids[6]);
            EXPECT_EQ(trimmed(type.getText(2)), kTypeNames[ids[6] % 4 + 1]);
        }
        // Others add and delete records; the position still finds its record and its neighbours.
        removeMemo(ids[5]);
        removeMemo(ids[9]);
        add({100 + static_cast<int>(model.size()), "A-1", 80001, 4, "aa added"}); // the filter hides it
        ASSERT_EQ(view.flush(), 0);
        ASSERT_EQ(view.reset(position), 0);
        ASSERT_EQ(view.next(), 0);
        EXPECT_EQ(memo.getLong(1), ids[6]);
        ASSERT_EQ(view.reset(position), 0);
        ASSERT_EQ(view.previous(), 0);
        EXPECT_EQ(memo.getLong(1), ids[4]);
        // A position of another order is refused.
        View other(declaration(false));
        ASSERT_EQ(other.open(), 0);
        ASSERT_EQ(other.setOrder(std::string(order.text) == "MEM:PERIHAL" ? "MEM:MEMO_ID" : "MEM:PERIHAL"),
                  0);
        EXPECT_EQ(other.reset(position), 76);
        EXPECT_EQ(other.reset("garbage"), 76);
        EXPECT_EQ(view.reset("S;#"), 76);
        // Put the model back for the next order.
        TearDown();
        memo.call(OperationCode::CLOSE);
        type.call(OperationCode::CLOSE);
        model.clear();
        std::filesystem::remove(dir.file("MEMO.DB"));
        std::filesystem::remove(dir.file("JENIS.DB"));
        memo.declaration.keys.clear();
        memo.declaration.fields.clear();
        memo.declaration.memos.clear();
        memo.declaration.recordLength = 0;
        memo.memos.clear();
        type.declaration.keys.clear();
        type.declaration.fields.clear();
        type.declaration.recordLength = 0;
        SetUp();
    }
}

TEST_F(ViewTest, JoinWithoutItsRecordIsSkippedWhenInnerAndClearedWhenOuter) {
    View outer(declaration(false));
    ASSERT_EQ(outer.open(), 0);
    ASSERT_EQ(outer.setOrder("MEM:MEMO_ID"), 0);
    ASSERT_EQ(outer.setFilter("MEM:MEMO_ID >= 2 AND MEM:MEMO_ID <= 3"), 0);
    ASSERT_EQ(outer.set(), 0);
    ASSERT_EQ(outer.next(), 0); // id 2: type 3
    EXPECT_EQ(trimmed(type.getText(2)), "Edaran");
    ASSERT_EQ(outer.next(), 0); // id 3: type 4, which does not exist
    EXPECT_EQ(memo.getLong(1), 3);
    EXPECT_EQ(type.getLong(1), 0);
    EXPECT_EQ(type.getText(2), std::string(20, ' '));
    EXPECT_EQ(outer.next(), 33);

    View inner(declaration(true));
    ASSERT_EQ(inner.open(), 0);
    ASSERT_EQ(inner.setFilter("MEM:MEMO_ID >= 2 AND MEM:MEMO_ID <= 4"), 0);
    EXPECT_EQ(readAll(inner), (std::vector<std::int32_t>{2, 4}));
}

TEST_F(ViewTest, LinkExpressionsAndLeadingKeyComponentsJoinLikeWholeKeys) {
    // A second key on the types whose first component alone is linked.
    type.call(OperationCode::CLOSE);
    ViewDeclaration byLink = declaration(true);
    byLink.joins[0].key = -1;
    byLink.joins[0].link = "JEN:JENIS = MEM:JENIS";
    ASSERT_EQ(type.call(OperationCode::OPEN), 0);
    View whole(declaration(true)), linked(byLink);
    ASSERT_EQ(whole.open(), 0);
    ASSERT_EQ(linked.open(), 0);
    std::vector<std::string> a, b;
    ASSERT_EQ(whole.setOrder("MEM:PERIHAL"), 0);
    ASSERT_EQ(linked.setOrder("MEM:PERIHAL"), 0);
    EXPECT_EQ(readAll(whole, &a), readAll(linked, &b));
    EXPECT_EQ(a, b);

    ViewDeclaration bad = declaration(true);
    bad.joins[0].link = "JEN:JENIS = ";
    bad.joins[0].key = -1;
    EXPECT_EQ(View(bad).open(), kInvalidViewExpression);
    bad.joins[0].key = 0;
    bad.joins[0].parentFields = {1, 2}; // more fields than the key has components
    EXPECT_EQ(View(bad).open(), 47);
}

TEST_F(ViewTest, PartialKeyLinkFindsTheFirstRecordOfTheValue) {
    // Memos joined to themselves by date through the date key (date, id): the earliest id of the day.
    TestTable& m = memo;
    ViewDeclaration d;
    d.primary = &type.file;
    ViewJoin j;
    j.file = &m.file;
    j.key = 2;
    j.parentFields = {1}; // JEN:JENIS as a date: days 1..3 have no memo
    j.inner = false;
    d.joins.push_back(j);
    View view(d);
    ASSERT_EQ(view.open(), 0);
    ASSERT_EQ(view.set(), 0);
    ASSERT_EQ(view.next(), 0);
    EXPECT_EQ(m.getLong(1), 0); // cleared: no memo of day 1
    // Now a day that exists: move the type's number onto a memo date.
    type.setLong(1, 80007);
    type.setText(2, "day");
    ASSERT_EQ(type.call(OperationCode::ADD), 0);
    std::int32_t first = 0;
    for (const Memo& x : model)
        if (x.date == 80007 && (first == 0 || x.id < first)) first = x.id;
    ASSERT_EQ(view.set(), 0);
    std::int32_t got = -1;
    while (view.next() == 0)
        if (type.getLong(1) == 80007) got = m.getLong(1);
    EXPECT_EQ(got, first);
}

TEST_F(ViewTest, KeyConditionsStartAndStopTheRead) {
    View view(declaration(true));
    ASSERT_EQ(view.open(), 0);
    ASSERT_EQ(view.setOrder("MEM:MEMO_ID"), 0);
    ASSERT_EQ(view.setFilter("MEM:MEMO_ID >= 40 AND MEM:MEMO_ID < 44"), 0);
    EXPECT_EQ(readAll(view), (std::vector<std::int32_t>{40, 41, 42})); // 43 has type 4
    EXPECT_LE(view.primaryReads(), 8u);
    ASSERT_EQ(view.setOrder("-MEM:MEMO_ID"), 0);
    ASSERT_EQ(view.setFilter("MEM:MEMO_ID <= 10 AND MEM:MEMO_ID > 6"), 0);
    const auto before = view.primaryReads();
    EXPECT_EQ(readAll(view), (std::vector<std::int32_t>{10, 9, 8}));
    EXPECT_LE(view.primaryReads() - before, 8u);
    // Dates repeat: the start steps back over the records of the same day.
    ASSERT_EQ(view.setOrder("MEM:TANGGAL, MEM:MEMO_ID"), 0);
    ASSERT_EQ(view.setFilter("MEM:TANGGAL = 80005"), 0);
    EXPECT_EQ(readAll(view), expected([](const Memo& a, const Memo& b) { return a.id < b.id; },
                                      [](const Memo& x) { return x.date == 80005; }, true));
}

TEST_F(ViewTest, TraceWritesViewAndFileOperations) {
    ScratchDir config;
    const std::string log = config.file("view.log");
    {
        std::ofstream ini(config.file("WIN.INI"));
        ini << "[KWVIEW]\nProfile=1\nTraceIntoFiles=1\nTraceFile=" << log << "\n";
    }
    ::setenv("DOCKET_CONFIG_DIR", config.file("").c_str(), 1);
    {
        View view(declaration(true));
        ASSERT_EQ(view.open(), 0);
        ASSERT_EQ(view.setFilter("MEM:JENIS = "), kInvalidViewExpression);
        ASSERT_EQ(view.set(), 0);
        ASSERT_EQ(view.next(), 0);
        EXPECT_EQ(view.previous(), 33);
    }
    ::unsetenv("DOCKET_CONFIG_DIR");
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    EXPECT_NE(s.find("VIEW FILTER   MEMO_DB MEM:JENIS =  -> 801"), std::string::npos) << s;
    EXPECT_NE(s.find("VIEW NEXT     MEMO_DB -> 0\r\n"), std::string::npos) << s;
    EXPECT_NE(s.find("  FILE NEXT     MEMO_DB -> 0\r\n"), std::string::npos) << s;
    EXPECT_NE(s.find("  FILE GET      MEMO_JENIS -> 0\r\n"), std::string::npos) << s;
    EXPECT_NE(s.find("VIEW CLOSE    MEMO_DB -> 0"), std::string::npos) << s;
}

TEST(ViewSortPosition, MalformedPositionsAreRefused) {
    SortEntry e;
    e.record = 7;
    e.values.push_back({ValueKind::String, 0, 0.0, "a;b#"});
    e.values.push_back({ValueKind::Real, 0, -2.5, ""});
    e.values.push_back({ValueKind::Integer, -9, 0.0, ""});
    const std::string text = encodeSortPosition(e);
    SortEntry back;
    ASSERT_TRUE(decodeSortPosition(text, 3, &back));
    EXPECT_EQ(back.values[0].text, "a;b#");
    EXPECT_EQ(back.values[1].real, -2.5);
    EXPECT_EQ(back.values[2].integer, -9);
    EXPECT_EQ(back.record, 7u);
    for (const char* bad : {"", "S", "S#", "S#0", "S#4294967296", "SI1;#1", "ST4;I1;I2;#3", "SX1;I1;I2;#3",
                            "SI;I1;I2;#3", "SI1x;I1;I2;#3"})
        EXPECT_FALSE(decodeSortPosition(bad, bad == std::string("SI1;#1") ? 2 : 3, &back)) << bad;
    EXPECT_FALSE(decodeSortPosition(text.substr(0, text.size() - 2), 4, &back));
}

} // namespace
} // namespace docket::runtime
