#include "runtime/core/value.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace docket::runtime {
namespace {

std::string realText(double v) {
    char buffer[kNumberTextSize];
    return std::string(buffer, formatReal(v, buffer));
}

TEST(Value, RealsPrintWithoutTrailingZeros) {
    EXPECT_EQ(realText(2.5), "2.5");
    EXPECT_EQ(realText(3.0), "3");
    EXPECT_EQ(realText(-0.125), "-0.125");
    EXPECT_EQ(realText(0.1 + 0.2), "0.3");
    EXPECT_EQ(realText(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(realText(1e20), "100000000000000000000");
    EXPECT_EQ(realText(4294967295.0), "4294967295");
    EXPECT_EQ(realText(-1e-30), "-0.000000000000000000000000000001");
    EXPECT_EQ(realText(1.0 / 3e10), "0.0000000000333333333333333");
    EXPECT_EQ(realText(std::numeric_limits<double>::denorm_min()), "0");
    EXPECT_EQ(realText(std::numeric_limits<double>::infinity()), "0");
    EXPECT_EQ(realText(-std::numeric_limits<double>::max()).size(), 310u);
}

TEST(Value, TextToNumberTakesTheNumericPrefix) {
    EXPECT_EQ(textToReal("12abc"), 12.0);
    EXPECT_EQ(textToReal("abc"), 0.0);
    EXPECT_EQ(textToReal("  -3.5 "), -3.5);
    EXPECT_EQ(textToReal("+.5"), 0.5);
    EXPECT_EQ(textToReal("7."), 7.0);
    EXPECT_EQ(textToReal("-"), 0.0);
    EXPECT_EQ(textToReal("1e5"), 1.0);
    EXPECT_EQ(textToReal(std::string(400, '9')), 0.0); // beyond the reals: not finite, so 0
}

TEST(Value, NumericText) {
    EXPECT_TRUE(isNumericText("12"));
    EXPECT_TRUE(isNumericText(" -12.50  "));
    EXPECT_TRUE(isNumericText(".5"));
    EXPECT_FALSE(isNumericText(""));
    EXPECT_FALSE(isNumericText("   "));
    EXPECT_FALSE(isNumericText("12a"));
    EXPECT_FALSE(isNumericText("1 2"));
    EXPECT_FALSE(isNumericText("."));
    EXPECT_FALSE(isNumericText("1.2.3"));
}

TEST(Value, RealToIntegerTruncatesAndSaturates) {
    EXPECT_EQ(realToInteger(3.9), 3);
    EXPECT_EQ(realToInteger(-3.9), -3);
    EXPECT_EQ(realToInteger(1e300), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(realToInteger(-1e300), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(realToInteger(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(Value, MixedComparisons) {
    EXPECT_EQ(compareTextWithNumber(" 10 ", 10.0, "10"), 0);
    EXPECT_LT(compareTextWithNumber("9", 10.0, "10"), 0); // numeric, not text order
    EXPECT_GT(compareTextWithNumber("abc", 5.0, "5"), 0); // text order: "a" after "5"
    EXPECT_EQ(compareTexts("ABC", "ABC  "), 0);
    EXPECT_LT(compareTexts("10", "9"), 0); // two texts compare as texts
}

} // namespace
} // namespace docket::runtime
