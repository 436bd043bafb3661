#pragma once
// Dates and times as the runtime stores them. A date is a day number: 4 is 1 January 1801 and each
// following day is one more, up to 2994626 for 31 December 9999 (Gregorian calendar throughout).
// A time is hundredths of a second since midnight plus one: 1 is 00:00:00.00, 8640000 is
// 23:59:59.99. Zero is the empty date and the empty time.
#include <cstdint>

namespace docket::runtime {

inline constexpr std::int32_t kFirstDay = 4;       // 1 January 1801
inline constexpr std::int32_t kLastDay = 2994626;  // 31 December 9999
inline constexpr std::int32_t kLastTime = 8640000; // 23:59:59.99

struct CivilDate {
    int year = 0;
    int month = 0; // 1..12
    int day = 0;   // 1..31
};

struct ClockTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int hundredths = 0;
};

bool isLeapYear(int year);
// 28..31; 0 for a month outside 1..12.
int daysInMonth(int year, int month);

bool isValidDate(std::int64_t day);
bool isValidTime(std::int64_t time);

// The day number of a calendar date; 0 when the date does not exist or lies outside 1801..9999.
std::int32_t dayNumber(int year, int month, int day);
// The calendar date of a valid day number; all zero for an invalid one.
CivilDate civilDate(std::int64_t day);

// The day number of a date whose month and day may lie outside their ranges: months beyond 12
// (or below 1) move into the following (previous) years, and the day is counted from the first of
// the resulting month, so day 0 is the last day of the month before. 0 when the result is not a
// valid date.
std::int32_t normalizedDayNumber(std::int64_t year, std::int64_t month, std::int64_t day);

// Completes a two-digit year: the year ending in `twoDigits` (0..99) that lies between
// currentYear - window and currentYear + 99 - window. Window 80 puts it between 80 years before
// and 19 years after the current year.
int completeYear(int twoDigits, int currentYear, int window = 80);

// The time number of a clock time; 0 when a part is out of range.
std::int32_t timeNumber(int hour, int minute, int second, int hundredths);
// The clock time of a valid time number; all zero for an invalid one.
ClockTime clockTime(std::int64_t time);

// Today's day number and the current time number, from the platform's local clock.
std::int32_t today();
std::int32_t clockNow();

} // namespace docket::runtime
