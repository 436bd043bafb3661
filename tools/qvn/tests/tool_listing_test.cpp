// What the tool lists about itself and about a file: every error text, each command once, and the
// numbers of a file's tables as the driver stores them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <regex>
#include <string>

#include "drivers/qvn/tests/qvn_test_util.h"
#include "tools/qvn/tests/run_tool.h"

namespace docket::qvn_tool {
namespace {

using drivers::qvn::testing::ScratchDir;
using testing::run;

TEST(QvnListings, ErrorsListTheRuntimeCodesAndTheFileSystemTexts) {
    int status = 0;
    const std::string out = run(std::string(QVN_BINARY) + " errors", &status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    for (const char* line : {"  2 File Not Found\n", " 89 Record Changed By Another Station\n",
                             "800 Invalid expression for EVALUATE\n", "302 File Not Found\n",
                             "332 Sharing Violation\n", "350 Not Supported \n"})
        EXPECT_NE(out.find(line), std::string::npos) << line;
    // The file system texts follow the runtime's own codes.
    EXPECT_LT(out.find("802 "), out.find("301 "));
}

TEST(QvnListings, HelpNamesEachCommandOnce) {
    int status = 0;
    const std::string out = run(std::string(QVN_BINARY) + " help", &status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::regex memoLine("(^|\\n) *memo ");
    auto begin = std::sregex_iterator(out.begin(), out.end(), memoLine);
    EXPECT_EQ(std::distance(begin, std::sregex_iterator()), 1) << out;
}

TEST(QvnListings, InfoShowsTableNumbersAsStored) {
    ScratchDir dir;
    const std::string folder = dir.file("register");
    int status = 0;
    run(std::string(QVN_BINARY) + " memo seed '" + folder + "' --count 3 >/dev/null 2>&1", &status);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    const std::string out = run(std::string(QVN_BINARY) + " info '" + folder + "/MEMO.DB'", &status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << out;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(out, m, std::regex("\\n  UNNAMED +([0-9]+)\\n"))) << out;
    // The first number the file's counter hands out: a small one, not a byte-swapped one.
    EXPECT_LT(std::stoul(m[1]), 1000u) << out;
}

} // namespace
} // namespace docket::qvn_tool
