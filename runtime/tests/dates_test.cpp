#include "runtime/core/dates.h"

#include <gtest/gtest.h>

namespace docket::runtime {
namespace {

TEST(Dates, EndpointsOfTheRange) {
    EXPECT_EQ(dayNumber(1801, 1, 1), 4);
    EXPECT_EQ(dayNumber(9999, 12, 31), 2994626);
    EXPECT_EQ(dayNumber(1800, 12, 31), 0);
    EXPECT_EQ(dayNumber(10000, 1, 1), 0);
    const CivilDate last = civilDate(2994626);
    EXPECT_EQ(last.year, 9999);
    EXPECT_EQ(last.month, 12);
    EXPECT_EQ(last.day, 31);
    EXPECT_EQ(civilDate(3).year, 0);
    EXPECT_EQ(civilDate(2994627).year, 0);
    EXPECT_FALSE(isValidDate(0));
    EXPECT_TRUE(isValidDate(4));
}

TEST(Dates, EveryDayRoundTripsAndFollowsItsPredecessor) {
    CivilDate previous = civilDate(kFirstDay);
    for (std::int32_t day = kFirstDay + 1; day <= kLastDay; ++day) {
        const CivilDate d = civilDate(day);
        ASSERT_EQ(dayNumber(d.year, d.month, d.day), day);
        const bool nextDay = d.day == previous.day + 1 && d.month == previous.month;
        const bool nextMonth = d.day == 1 && previous.day == daysInMonth(previous.year, previous.month);
        ASSERT_TRUE(nextDay || nextMonth) << day;
        previous = d;
    }
}

TEST(Dates, GregorianLeapYears) {
    EXPECT_TRUE(isLeapYear(2000));
    EXPECT_TRUE(isLeapYear(2024));
    EXPECT_FALSE(isLeapYear(1900));
    EXPECT_FALSE(isLeapYear(2023));
    EXPECT_EQ(dayNumber(1900, 2, 29), 0);
    EXPECT_NE(dayNumber(2000, 2, 29), 0);
    EXPECT_EQ(daysInMonth(2023, 13), 0);
}

TEST(Dates, NormalizedDatesRollMonthsAndDays) {
    EXPECT_EQ(normalizedDayNumber(2000, 13, 1), dayNumber(2001, 1, 1));
    EXPECT_EQ(normalizedDayNumber(2000, 0, 1), dayNumber(1999, 12, 1));
    EXPECT_EQ(normalizedDayNumber(2000, -12, 1), dayNumber(1998, 12, 1));
    EXPECT_EQ(normalizedDayNumber(2000, 3, 0), dayNumber(2000, 2, 29));
    EXPECT_EQ(normalizedDayNumber(2000, 1, 32), dayNumber(2000, 2, 1));
    EXPECT_EQ(normalizedDayNumber(1800, 12, 31), 0);
    EXPECT_EQ(normalizedDayNumber(9223372036854775807LL, 1, 1), 0);
}

TEST(Dates, TwoDigitYearsLandInTheWindow) {
    EXPECT_EQ(completeYear(99, 2026), 1999);
    EXPECT_EQ(completeYear(45, 2026), 2045);
    EXPECT_EQ(completeYear(46, 2026), 1946);
    EXPECT_EQ(completeYear(0, 2026), 2000);
    EXPECT_EQ(completeYear(30, 2026, 10), 2030);
    EXPECT_EQ(completeYear(10, 2026, 10), 2110);
}

TEST(Dates, TimesAreHundredthsPlusOne) {
    EXPECT_EQ(timeNumber(0, 0, 0, 0), 1);
    EXPECT_EQ(timeNumber(23, 59, 59, 99), 8640000);
    EXPECT_EQ(timeNumber(24, 0, 0, 0), 0);
    const ClockTime t = clockTime(timeNumber(13, 5, 7, 42));
    EXPECT_EQ(t.hour, 13);
    EXPECT_EQ(t.minute, 5);
    EXPECT_EQ(t.second, 7);
    EXPECT_EQ(t.hundredths, 42);
    EXPECT_EQ(clockTime(0).hour, 0);
    EXPECT_FALSE(isValidTime(8640001));
}

} // namespace
} // namespace docket::runtime
