// Thumb steps: the built-in tables' exact contents, positions at and beyond the ends, runtime tables
// between two values, descending steps, and the integer step at the ends of a LONG.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "classes/window/thumb_steps.h"

namespace docket::classes {
namespace {

std::vector<std::string> entries(const std::string& table, std::size_t width) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i + width <= table.size(); i += width) out.push_back(table.substr(i, width));
    return out;
}

TEST(ThumbSteps, NameTableHoldsItsHundredPrefixesAndSmithIsAt84) {
    const auto names = entries(std::string(nameStepTable()), 3);
    ASSERT_EQ(names.size(), 100u);
    EXPECT_EQ(names[0], "   ");
    EXPECT_EQ(names[1], "ALB");
    EXPECT_EQ(names[54], "MAC");
    EXPECT_EQ(names[58], "MCK");
    EXPECT_EQ(names[79], "SCH");
    EXPECT_EQ(names[83], "SKI");
    EXPECT_EQ(names[84], "SNA");
    EXPECT_EQ(names[99], "YOR");
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 100u);
    TextThumbStep step;
    step.Init(NameTable, step_flag::kLetters);
    EXPECT_EQ(step.PercentFor("Smith"), 84);
    EXPECT_EQ(step.PercentFor("SMITH"), 84);
    EXPECT_EQ(step.PercentFor("ZZZ"), 100);
    EXPECT_EQ(step.PercentFor(""), 1) << "below every entry but the blank one";
    EXPECT_EQ(step.ValueAt(0), "   ") << "positions below 1 count as 1";
    EXPECT_EQ(step.ValueAt(84), "SKI");
    EXPECT_EQ(step.ValueAt(250), "YOR") << "positions above 100 count as 100";
}

TEST(ThumbSteps, AlphaTableQuartersEachLetter) {
    const std::string alpha(alphaStepTable());
    ASSERT_EQ(alpha.size(), 200u);
    EXPECT_EQ(alpha.substr(0, 18), "  AFANATB BFBNBTC ");
    EXPECT_NE(alpha.find("P PFPNPTQ QNR RFRNRT"), std::string::npos);
    EXPECT_EQ(alpha.substr(188), "Y YFYNYTZ ZN");
    const auto e = entries(alpha, 2);
    EXPECT_TRUE(std::is_sorted(e.begin(), e.end()));
    TextThumbStep step;
    step.Init(AlphaTable, step_flag::kLetters);
    EXPECT_EQ(step.TESTLEN, 2);
    EXPECT_EQ(step.PercentFor("b"), 4) << "upper-cased: up to \"B \"";
}

TEST(ThumbSteps, RuntimeTableSpansTheFirstAndLastValuesInEqualSteps) {
    TextThumbStep step;
    step.Init(RuntimeTable, step_flag::kLetters);
    // The runtime's letters: A to Z, then the upper-case letters of the code page above 127.
    ASSERT_EQ(step.SORTCHARS.substr(0, 26), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(step.SORTCHARS.find_first_of("abcz"), std::string::npos);
    const long n = static_cast<long>(step.SORTCHARS.size());
    step.SetBounds("Adams", "Young");
    EXPECT_EQ(step.ROOT, "");
    const auto e = entries(step.REF, 4);
    ASSERT_EQ(e.size(), 100u);
    EXPECT_EQ(e[0], "ADAM");
    EXPECT_TRUE(std::is_sorted(e.begin(), e.end()));
    auto number = [&](const std::string& s) {
        long v = 0;
        for (char c : s) v = v * n + static_cast<long>(step.SORTCHARS.find(c));
        return v;
    };
    const long step0 = number(e[1]) - number(e[0]);
    for (std::size_t i = 1; i < e.size(); ++i) EXPECT_EQ(number(e[i]) - number(e[i - 1]), step0) << i;
    EXPECT_EQ(step0, (number("YOUN") - number("ADAM")) / 100);
    EXPECT_EQ(step.PercentFor("Adams"), 1);
    EXPECT_EQ(step.PercentFor("Zimmer"), 100);
    EXPECT_NEAR(step.PercentFor("Miller"), 50, 3);
    // A common prefix becomes the root; values are read after it.
    step.SetBounds("017/DIR/2024", "017/KEU/2024");
    EXPECT_EQ(step.ROOT, "017/");
    EXPECT_EQ(step.ValueAt(1).substr(0, 4), "017/");
}

TEST(ThumbSteps, EmptyCharacterSetFallsBackToLettersAndDescendingMirrors) {
    TextThumbStep none;
    none.Init(RuntimeTable, 0);
    TextThumbStep letters;
    letters.Init(RuntimeTable, step_flag::kLetters);
    EXPECT_EQ(none.SORTCHARS, letters.SORTCHARS);
    TextThumbStep digits;
    digits.Init(RuntimeTable, step_flag::kDigits | step_flag::kPunctuation);
    EXPECT_EQ(digits.SORTCHARS.find('A'), std::string::npos);
    EXPECT_NE(digits.SORTCHARS.find('7'), std::string::npos);
    TextThumbStep down;
    down.Init(RuntimeTable, step_flag::kLetters | step_flag::kDescending);
    down.SetBounds("ZULU", "ALFA"); // a descending order starts at the highest value
    EXPECT_EQ(down.PercentFor("ZULU"), 1);
    EXPECT_EQ(down.PercentFor("ALFA"), 100);
    EXPECT_GT(down.ValueAt(2), down.ValueAt(90));
}

TEST(ThumbSteps, NumberStepsInterpolateAndStayInRange) {
    RealThumbStep real;
    real.SetBounds(10.0, 10.0);
    EXPECT_EQ(real.PercentFor(3.0), 50);
    real.SetBounds(0.0, 200.0);
    EXPECT_EQ(real.PercentFor(100.0), 50);
    EXPECT_EQ(real.PercentFor(-5.0), 1);
    EXPECT_EQ(real.PercentFor(500.0), 100);
    EXPECT_DOUBLE_EQ(real.ValueAt(25), 50.0);
    IntegerThumbStep whole;
    whole.CONTROLS = step_flag::kDescending;
    whole.SetBounds(2147483647.0, -2147483648.0); // no overflow at the ends of a LONG
    EXPECT_EQ(whole.LOW, -2147483647 - 1);
    EXPECT_EQ(whole.PercentFor(2147483647), 1);
    EXPECT_EQ(whole.PercentFor(-2147483647 - 1), 100);
    EXPECT_NEAR(whole.PercentFor(0), 50, 1);
    EXPECT_EQ(whole.ValueAt(1), std::int64_t{-2147483648} + std::int64_t{99} * 4294967295 / 100);
    EXPECT_EQ(whole.ValueAt(100), std::int64_t{-2147483648});
    IntegerThumbStep same;
    same.SetBounds(7, 7);
    EXPECT_EQ(same.PercentFor(7), 50);
}

} // namespace
} // namespace docket::classes
