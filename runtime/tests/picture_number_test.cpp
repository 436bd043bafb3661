#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "runtime/picture/picture.h"

namespace docket::runtime {
namespace {

std::string fmt(double value, const char* picture) {
    return formatNumber(value, compilePicture(picture));
}

TEST(PictureNumeric, EdgeCases) {
    EXPECT_EQ(fmt(-1234, "n-14"), "        -1,234");
    EXPECT_EQ(fmt(1234, "n014"), "00000000001234");
    EXPECT_EQ(fmt(0, "n_6"), "     0");
    EXPECT_EQ(fmt(12345, "n3"), "###");
    EXPECT_EQ(fmt(0, "n6.2B"), "      ");
    EXPECT_EQ(fmt(0, "n6.2"), "  0.00");
}

TEST(PictureNumeric, GroupingAndDecimals) {
    EXPECT_EQ(fmt(1234.567, "n10.2"), "  1,234.57");
    EXPECT_EQ(fmt(1234567, "n10"), " 1,234,567");
    EXPECT_EQ(fmt(1234567, "n10."), " 1.234.567");
    EXPECT_EQ(fmt(1234.5, "n10.`2"), "  1.234,50");
    EXPECT_EQ(fmt(1234.5, "n10`2"), "  1.234,50");
    EXPECT_EQ(fmt(1234.5, "n10_.2"), "  1 234.50");
    EXPECT_EQ(fmt(1234.5, "n_10.2"), "   1234.50");
    EXPECT_EQ(fmt(0.5, "n6.3"), " 0.500");
    EXPECT_EQ(fmt(2.0 / 3.0, "n6.3"), " 0.667");
    EXPECT_EQ(fmt(99.96, "n4.1"), "####"); // rounding carries into a digit there is no room for
    EXPECT_EQ(fmt(9.96, "n4.1"), "10.0");
}

TEST(PictureNumeric, ImpliedDecimals) {
    EXPECT_EQ(fmt(15, "n6v2"), "  1500");
    EXPECT_EQ(fmt(0.05, "n6v2"), "    05");
    EXPECT_EQ(fmt(0.05, "n06v2"), "000005");
    EXPECT_EQ(fmt(1234.5, "n8.v2"), " 1.23450");
}

TEST(PictureNumeric, Signs) {
    EXPECT_EQ(fmt(-1234, "n(10)"), "   (1,234)");
    EXPECT_EQ(fmt(1234, "n(10)"), "    1,234 ");
    EXPECT_EQ(fmt(-1234, "n10-"), "    1,234-");
    EXPECT_EQ(fmt(-5, "n-010"), "-000000005"); // a zero fill leaves no blank to float over
    EXPECT_EQ(fmt(-5, "n-*6"), "-****5");
    EXPECT_EQ(fmt(-0.001, "n-8.2"), "    0.00"); // rounds to zero: no sign
    EXPECT_EQ(fmt(-5, "n6"), "     5");          // no sign cell: the magnitude
}

TEST(PictureNumeric, FillsAndCurrency) {
    EXPECT_EQ(fmt(1234, "n*10"), "*****1,234");
    EXPECT_EQ(fmt(0, "n*6"), "*****0");
    EXPECT_EQ(fmt(1234.5, "n$12.2"), "$   1,234.50");
    EXPECT_EQ(fmt(-1234.5, "n$-12.2"), "$  -1,234.50");
    EXPECT_EQ(fmt(1234.5, "n12`2~ EUR~"), "1.234,50 EUR");
    EXPECT_EQ(fmt(7, "n~kr ~-8"), "kr     7");
    EXPECT_EQ(fmt(-7, "n~kr ~-8"), "kr    -7");
}

TEST(PictureNumeric, OverflowAndNonFinite) {
    EXPECT_EQ(fmt(1e300, "n12"), "############");
    EXPECT_EQ(fmt(std::numeric_limits<double>::infinity(), "n5"), "#####");
    EXPECT_EQ(fmt(std::nan(""), "n5"), "#####");
    EXPECT_EQ(fmt(-123456, "n-6"), "######");
    EXPECT_EQ(fmt(-12345, "n-7"), "-12,345");
}

TEST(PictureScientific, Layout) {
    EXPECT_EQ(fmt(1234.6, "e12.2"), "   1.23E+003");
    EXPECT_EQ(fmt(-0.000123, "e12.3"), " -1.230E-004");
    EXPECT_EQ(fmt(0, "e9"), "   0E+000");
    EXPECT_EQ(fmt(0, "e9B"), "         ");
    EXPECT_EQ(fmt(9.999, "e9.1"), " 1.0E+001");
    EXPECT_EQ(fmt(1e-300, "e10.1"), "  1.0E-300");
    EXPECT_EQ(fmt(std::numeric_limits<double>::infinity(), "e7"), "#######");
}

TEST(PicturePattern, DigitsAcrossLiterals) {
    EXPECT_EQ(fmt(12345, "p###-##p"), "123-45");
    EXPECT_EQ(fmt(1234, "p###-##p"), "012-34");
    EXPECT_EQ(fmt(1234, "p<<#-##p"), " 12-34");
    EXPECT_EQ(fmt(-12.7, "p###p"), "013"); // sign and fraction are not shown
    EXPECT_EQ(fmt(1234567, "p###-##p"), "######");
    EXPECT_EQ(fmt(0, "p(###)p"), "(000)");
    EXPECT_EQ(fmt(0, "p(###)pB"), "     ");
}

TEST(PictureText, StringAndKeyIn) {
    const Picture s5 = compilePicture("s5");
    EXPECT_EQ(formatText("abc", s5), "abc  ");
    EXPECT_EQ(formatText("abcdefg", s5), "abcde");
    EXPECT_EQ(formatNumber(12.5, s5), "12.5 ");
    EXPECT_EQ(formatText("ab12", compilePicture("k@@-##k")), "ab-12");
    EXPECT_EQ(formatText("a1", compilePicture("k@@-##k")), "a -  ");
    EXPECT_EQ(formatText("abc", compilePicture("k^^^k")), "ABC");
    EXPECT_EQ(formatText("AB", compilePicture("k__k")), "ab");
    EXPECT_EQ(formatText("5", compilePicture("k\\##k")), "#5");
    EXPECT_EQ(formatText("1234", compilePicture("k##|##k")), "1234");
    EXPECT_EQ(formatText("12.5", compilePicture("n6.1")), "  12.5");
    EXPECT_EQ(formatText("abc", compilePicture("n6.1")), "   0.0");
}

} // namespace
} // namespace docket::runtime
