// Randomized ADD/PUT/DELETE over a table with four keys (one DUP, one descending, one NOCASE, one
// OPT), checked after every step against an in-memory model: record count, every key's count and
// the full order of every key; the file passes the check at the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "drivers/qvn/tests/qvn_test_util.h"
#include "drivers/qvn/tests/table_test_util.h"
#include "runtime/core/char_tables.h"

namespace docket::drivers::qvn {
namespace {

using namespace testing;
using enum OperationCode;

struct Row {
    std::int32_t id;
    std::int32_t group;
    std::string name; // STRING(6)
    std::string code; // CSTRING(4), "" for blank
};

TEST(TableModel, RandomChangesKeepEveryKeyEqualToTheModel) {
    ScratchDir dir;
    const std::string path = dir.file("model.qvn");
    TestTable t(path);
    t.field("ID", TypeCode::Long, 4);
    t.field("GROUP", TypeCode::Long, 4);
    t.field("NAME", TypeCode::String, 6);
    t.field("CODE", TypeCode::CString, 4);
    t.key("ID_KEY", 0, {1});
    t.key("GROUP_KEY", key_flag::kDup, {-2, 1}); // descending group, then id
    t.key("NAME_KEY", key_flag::kNoCase | key_flag::kDup, {3});
    t.key("CODE_KEY", key_flag::kOpt, {4});
    ASSERT_EQ(t.call(CREATE), 0);
    ASSERT_EQ(t.call(OPEN), 0);

    std::map<std::uint32_t, Row> model; // by record number
    std::mt19937 random(12345);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    auto randomRow = [&] {
        static const char* names[] = {"ann", "ANN", "bob", "Bob", "carl", "dora", "eve"};
        Row r{pick(60), pick(5) - 2, names[pick(7)],
              pick(3) == 0 ? "" : std::string(1, static_cast<char>('a' + pick(20)))};
        return r;
    };
    auto store = [&](const Row& r) {
        t.setLong(1, r.id);
        t.setLong(2, r.group);
        t.setText(3, r.name);
        t.setText(4, r.code);
    };
    auto collides = [&](const Row& r, std::uint32_t except) {
        for (auto& [rec, m] : model) {
            if (rec == except) continue;
            if (m.id == r.id) return true;
            if (!r.code.empty() && m.code == r.code) return true;
        }
        return false;
    };
    auto verify = [&](int step) {
        ASSERT_EQ(t.records(), model.size()) << step;
        // Expected orders.
        std::vector<std::pair<Row, std::uint32_t>> rows;
        for (auto& [rec, r] : model) rows.push_back({r, rec});
        auto ids = [&](auto less, bool skipBlankCode) {
            auto sorted = rows;
            std::stable_sort(sorted.begin(), sorted.end(), less);
            std::vector<std::uint32_t> out;
            for (auto& [r, rec] : sorted)
                if (!skipBlankCode || !r.code.empty()) out.push_back(rec);
            return out;
        };
        std::vector<std::vector<std::uint32_t>> expected = {
            ids([](auto& a, auto& b) { return a.first.id < b.first.id; }, false),
            ids(
                [](auto& a, auto& b) {
                    if (a.first.group != b.first.group) return a.first.group > b.first.group;
                    if (a.first.id != b.first.id) return a.first.id < b.first.id;
                    return a.second < b.second;
                },
                false),
            ids(
                [](auto& a, auto& b) {
                    const int c = runtime::collateCompareNoCase(a.first.name, b.first.name);
                    return c != 0 ? c < 0 : a.second < b.second;
                },
                false),
            ids([](auto& a, auto& b) { return a.first.code < b.first.code; }, true),
        };
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(t.records(k), expected[k].size()) << "key " << k << " step " << step;
            ASSERT_EQ(t.callKey(SETkey, k), 0);
            std::vector<std::uint32_t> seen;
            while (t.call(NEXT) == 0) seen.push_back(t.pointer());
            ASSERT_EQ(seen, expected[k]) << "key " << k << " step " << step;
            // And backward.
            ASSERT_EQ(t.callKey(SETkey, k), 0);
            seen.clear();
            while (t.call(PREVIOUS) == 0) seen.push_back(t.pointer());
            std::reverse(seen.begin(), seen.end());
            ASSERT_EQ(seen, expected[k]) << "key " << k << " backward, step " << step;
        }
    };

    for (int step = 0; step < 300; ++step) {
        const int action = model.empty() ? 0 : pick(3);
        if (action == 0) {
            Row r = randomRow();
            store(r);
            const int rc = t.call(ADD);
            if (collides(r, 0)) {
                ASSERT_EQ(rc, 40) << step;
            } else {
                ASSERT_EQ(rc, 0) << step;
                model[t.pointer()] = r;
            }
        } else {
            auto it = model.begin();
            std::advance(it, pick(static_cast<int>(model.size())));
            DriverArguments args;
            args.pointer = it->first;
            ASSERT_EQ(t.call(GETfileptr, args), 0);
            if (action == 1) {
                Row r = randomRow();
                store(r);
                const int rc = t.call(PUT);
                if (collides(r, it->first))
                    ASSERT_EQ(rc, 40) << step;
                else {
                    ASSERT_EQ(rc, 0) << step;
                    it->second = r;
                }
            } else {
                ASSERT_EQ(t.call(DELETE), 0) << step;
                model.erase(it);
            }
        }
        if (step % 10 == 0 || step > 280) verify(step);
        if (::testing::Test::HasFatalFailure()) return;
    }
    t.call(CLOSE);
    expectTablesClean(path);
}

} // namespace
} // namespace docket::drivers::qvn
