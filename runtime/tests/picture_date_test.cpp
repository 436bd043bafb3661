#include <gtest/gtest.h>

#include "runtime/core/dates.h"
#include "runtime/picture/picture.h"
#include "runtime/picture/picture_regional.h"

namespace docket::runtime {
namespace {

std::string fmt(double value, const char* picture) {
    return formatNumber(value, compilePicture(picture));
}

// Day numbers are computed at run time, never during static initialisation.
std::int32_t jan5() {
    return dayNumber(1999, 1, 5);
}

TEST(PictureDate, EveryTemplate) {
    const char* expected[] = {" 1/05/99", " 1/05/1999", "JAN  5,1999", "January  5, 1999",
                              " 5/01/99", " 5/01/1999", " 5 JAN 99",   " 5 JAN 1999",
                              "99/01/05", "1999/01/05", "990105",      "19990105",
                              "01/99",    "01/1999",    "99/01",       "1999/01"};
    for (int format = 1; format <= 16; ++format) {
        const std::string picture = "d" + std::to_string(format);
        EXPECT_EQ(formatNumber(jan5(), compilePicture(picture)), expected[format - 1]) << picture;
    }
}

TEST(PictureDate, SeparatorsAndFills) {
    EXPECT_EQ(fmt(jan5(), "d2-"), " 1-05-1999");
    EXPECT_EQ(fmt(jan5(), "d1."), " 1.05.99");
    EXPECT_EQ(fmt(jan5(), "d1_"), " 1 05 99");
    EXPECT_EQ(fmt(jan5(), "d1`"), " 1,05,99");
    EXPECT_EQ(fmt(jan5(), "d3-"), "JAN  5-1999");
    EXPECT_EQ(fmt(jan5(), "d7-"), " 5-JAN-99");
    EXPECT_EQ(fmt(jan5(), "d01"), "01/05/99");
    EXPECT_EQ(fmt(jan5(), "d05-"), "05-01-99");
    EXPECT_EQ(fmt(jan5(), "d07"), "05 JAN 99");
    EXPECT_EQ(fmt(jan5(), "d*1"), "*1/*5/99");
    EXPECT_EQ(fmt(jan5(), "d_6"), " 5/ 1/1999");
    EXPECT_EQ(fmt(jan5(), "d_10<50."), "1999. 1. 5");
    // A fill only stands for leading zeros: ten stays ten and 2000 stays 2000.
    EXPECT_EQ(fmt(dayNumber(2000, 10, 10), "d_2"), "10/10/2000");
    EXPECT_EQ(fmt(dayNumber(2000, 10, 10), "d*1"), "10/10/*0");
    EXPECT_EQ(fmt(dayNumber(2000, 10, 10), "d1"), "10/10/00");
}

TEST(PictureDate, RangeAndMonthNames) {
    EXPECT_EQ(fmt(4, "d10"), "1801/01/01");
    EXPECT_EQ(fmt(2994626, "d10"), "9999/12/31");
    EXPECT_EQ(fmt(3, "d1"), "        ");
    EXPECT_EQ(fmt(2994627, "d1"), "        ");
    EXPECT_EQ(fmt(0, "d4"), std::string(21, ' '));
    EXPECT_EQ(fmt(dayNumber(2024, 2, 29), "d6"), "29/02/2024");
    EXPECT_EQ(fmt(dayNumber(2024, 9, 30), "d4"), "September 30, 2024");
    EXPECT_EQ(fmt(dayNumber(2024, 5, 1), "d4"), "May  1, 2024"); // unused name cells give no output
    EXPECT_EQ(fmt(dayNumber(2024, 5, 1), "d8"), " 1 MAY 2024");
}

std::int32_t at13h05m09s() {
    return timeNumber(13, 5, 9, 0);
}

TEST(PictureTime, EveryTemplate) {
    const char* expected[] = {"13:05", "1305", " 1:05PM", "13:05:09", "130509", " 1:05:09PM"};
    for (int format = 1; format <= 6; ++format) {
        const std::string picture = "t" + std::to_string(format);
        EXPECT_EQ(formatNumber(at13h05m09s(), compilePicture(picture)), expected[format - 1]) << picture;
    }
}

TEST(PictureTime, TwelveHourClockFillsAndSeparators) {
    EXPECT_EQ(fmt(timeNumber(13, 5, 0, 0), "t3"), " 1:05PM");
    EXPECT_EQ(fmt(timeNumber(0, 30, 0, 0), "t3"), "12:30AM");
    EXPECT_EQ(fmt(timeNumber(12, 0, 0, 0), "t3"), "12:00PM");
    EXPECT_EQ(fmt(timeNumber(11, 59, 59, 99), "t6"), "11:59:59AM");
    EXPECT_EQ(fmt(timeNumber(9, 5, 0, 0), "t1"), " 9:05");
    EXPECT_EQ(fmt(timeNumber(9, 5, 0, 0), "t01"), "09:05");
    EXPECT_EQ(fmt(timeNumber(9, 5, 0, 0), "t_1"), " 9: 5");
    EXPECT_EQ(fmt(timeNumber(9, 5, 0, 0), "t1."), " 9.05");
    EXPECT_EQ(fmt(timeNumber(9, 5, 7, 0), "t04-"), "09-05-07");
    EXPECT_EQ(fmt(1, "t4"), " 0:00:00");
    EXPECT_EQ(fmt(8640000, "t4"), "23:59:59");
    EXPECT_EQ(fmt(0, "t4"), "        ");
    EXPECT_EQ(fmt(8640001, "t1"), "     ");
}

class RegionalPictures : public ::testing::Test {
protected:
    void TearDown() override { setRegionalFormats(RegionalFormats{}); }
};

TEST_F(RegionalPictures, DayFirstShortDate) {
    RegionalFormats f;
    f.shortDate = "%d/%m/%Y";
    setRegionalFormats(f);
    EXPECT_EQ(fmt(jan5(), "d17"), "05/01/1999");
    EXPECT_EQ(fmt(jan5(), "d17-"), "05-01-1999");
    EXPECT_EQ(fmt(jan5(), "d18"), " 5 January 1999");
    EXPECT_EQ(fmt(jan5(), "d_17"), " 5/ 1/1999");
}

TEST_F(RegionalPictures, MonthFirstAndNamedForms) {
    EXPECT_EQ(fmt(jan5(), "d17"), "01/05/99"); // the C library's own "%m/%d/%y"
    EXPECT_EQ(fmt(jan5(), "d18"), "January  5, 1999");
    RegionalFormats f;
    f.shortDate = "%a %d %b %Y"; // the weekday has no cells
    f.longDate = "%A, %e. %B %Y";
    setRegionalFormats(f);
    EXPECT_EQ(fmt(jan5(), "d17"), "05 Jan 1999");
    EXPECT_EQ(fmt(jan5(), "d18"), " 5. January 1999");
    f.shortDate = "%Y-%m-%d";
    f.longDate.clear();
    setRegionalFormats(f);
    EXPECT_EQ(fmt(jan5(), "d17"), "1999-01-05");
    EXPECT_EQ(fmt(jan5(), "d18"), "1999 January  5");
}

TEST_F(RegionalPictures, TimesAndDesignators) {
    EXPECT_EQ(fmt(at13h05m09s(), "t8"), "13:05:09");
    EXPECT_EQ(fmt(at13h05m09s(), "t7"), "13:05");
    RegionalFormats f;
    f.longTime = "%r";
    f.am = "am";
    f.pm = "pm";
    setRegionalFormats(f);
    EXPECT_EQ(fmt(at13h05m09s(), "t8"), "01:05:09 pm");
    EXPECT_EQ(fmt(at13h05m09s(), "t7"), "01:05 pm");
    EXPECT_EQ(fmt(timeNumber(0, 5, 0, 0), "t7."), "12.05 am");
    EXPECT_EQ(fmt(at13h05m09s(), "t3"), " 1:05PM"); // the fixed formats keep AM and PM
    f.longTime = "%l:%M:%S %p";
    f.am = "vorm.";
    f.pm = "";
    setRegionalFormats(f); // an empty designator falls back to AM and PM
    EXPECT_EQ(fmt(at13h05m09s(), "t8"), " 1:05:09 PM");
}

TEST_F(RegionalPictures, PatternCells) {
    const auto c = cellsFromDatePattern("%e.%m.%y");
    ASSERT_EQ(c.size(), 8u);
    EXPECT_EQ(c[0], (PictureCell{' ', cell::Day}));
    EXPECT_EQ(c[2], (PictureCell{'.', cell::Separator}));
    EXPECT_EQ(cellsFromDatePattern("%j %Z").size(), 0u);
    EXPECT_EQ(cellsFromTimePattern("%T", 2).size(), 8u);
    EXPECT_EQ(cellsFromTimePattern("%R %p", 4).size(), 10u);
    // A long date of nothing but unknown directives gives an invalid picture, not a crash.
    RegionalFormats f;
    f.shortDate = "%j";
    setRegionalFormats(f);
    EXPECT_FALSE(compilePicture("d17").valid());
    EXPECT_EQ(fmt(jan5(), "d17"), "");
}

} // namespace
} // namespace docket::runtime
