// qvn memo: generated memos are deterministic and realistic, seeding creates or extends the
// register through the dictionary, and the listing joins the type names in each order.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <set>
#include <string>

#include "drivers/qvn/tests/qvn_test_util.h"
#include "tools/qvn/tests/run_tool.h"
#include "runtime/core/dates.h"
#include "tools/qvn/memo_generator.h"

namespace docket::qvn_tool {
namespace {

using drivers::qvn::testing::ScratchDir;

TEST(MemoGenerator, SameSeedSameMemosAndEveryBodyIsAWholeDocumentOfTheRightSize) {
    MemoGenerator a(42), b(42), c(43);
    std::set<int> types;
    bool differs = false;
    for (int i = 0; i < 300; ++i) {
        const GeneratedMemo m = a.next(), n = b.next(), o = c.next();
        EXPECT_EQ(m.number, n.number);
        EXPECT_EQ(m.body, n.body);
        differs |= m.body != o.body;
        EXPECT_GE(m.body.size(), 300u);
        EXPECT_LE(m.body.size(), 3000u);
        EXPECT_EQ(m.body.rfind("{\\rtf1", 0), 0u);
        int depth = 0;
        for (char ch : m.body) {
            depth += ch == '{' ? 1 : ch == '}' ? -1 : 0;
            EXPECT_GE(depth, 0);
        }
        EXPECT_EQ(depth, 0) << m.body;
        EXPECT_LE(m.number.size(), 30u);
        EXPECT_EQ(m.number.size(), 12u); // "017/DIR/2024"
        EXPECT_LE(m.subject.size(), 80u);
        EXPECT_LE(m.date, runtime::today());
        types.insert(m.type);
    }
    EXPECT_TRUE(differs);
    EXPECT_EQ(types.size(), memoTypeNames().size());
}

using testing::run;

TEST(QvnMemoTest, SeedCreatesAndExtendsTheRegisterAndListJoinsTheTypes) {
    ScratchDir dir;
    const std::string folder = dir.file("register");
    const std::string qvn = QVN_BINARY;
    int status = 0;
    std::string out = run(qvn + " memo seed '" + folder + "' --count 40 --seed 3 2>/dev/null", &status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << out;
    EXPECT_NE(out.find("40 memos added, 40 in all"), std::string::npos) << out;
    out = run(qvn + " memo seed '" + folder + "' --count 5 2>/dev/null", &status);
    EXPECT_NE(out.find("5 memos added, 45 in all"), std::string::npos) << out;

    out = run(qvn + " memo list '" + folder + "'", &status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(out.rfind("   Entry  Date", 0), 0u) << out;
    EXPECT_NE(out.find("\n      45  "), std::string::npos) << out; // newest entry first
    EXPECT_NE(out.find("45 memos\n"), std::string::npos);
    // Every memo shows its type's name: the ten types were added once.
    out = run(qvn + " memo list '" + folder + "' --filter \"JEN:JENIS_MEMO = ''\"", &status);
    EXPECT_NE(out.find("\n0 memos\n"), std::string::npos) << out;
    out = run(qvn + " tables '" + folder + "/JENIS.DB'", &status);
    EXPECT_NE(out.find("10 records"), std::string::npos) << out;

    out = run(qvn + " memo list '" + folder + "' --order date", &status);
    std::string previous;
    for (std::size_t at = out.find('\n') + 1; at < out.size();) {
        const std::size_t end = out.find('\n', at);
        const std::string line = out.substr(at, end - at);
        at = end + 1;
        if (line.size() < 20) continue;
        const std::string date = line.substr(10, 8); // mm/dd/yy
        const std::string sortable = date.substr(6, 2) + date.substr(0, 2) + date.substr(3, 2);
        EXPECT_LE(previous, sortable) << line;
        previous = sortable;
    }
    out = run(qvn + " memo list '" + folder + "' --filter 'MEM:MEMO_ID <' 2>&1", &status);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(out.find("the filter does not compile"), std::string::npos);
    out = run(qvn + " check '" + folder + "/MEMO.DB'", &status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << out;
}

} // namespace
} // namespace docket::qvn_tool
