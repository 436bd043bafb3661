#include "runtime/core/dates.h"

#include "platform/clock.h"

namespace docket::runtime {
namespace {

// Days from 1 March of year 0 in the proleptic Gregorian calendar; the shifted year makes the
// leap day the last day of its year, so the month lengths before it never depend on the year.
constexpr std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const int mp = (m + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

CivilDate civilFromDays(std::int64_t z) {
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    CivilDate date;
    date.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    date.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    date.year = static_cast<int>(era * 400 + yoe + (date.month <= 2));
    return date;
}

// constexpr, so that code running during static initialisation never sees a zero offset.
constexpr std::int64_t kDayOffset = daysFromCivil(1801, 1, 1) - kFirstDay;

} // namespace

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

bool isValidDate(std::int64_t day) {
    return day >= kFirstDay && day <= kLastDay;
}
bool isValidTime(std::int64_t time) {
    return time >= 1 && time <= kLastTime;
}

std::int32_t dayNumber(int year, int month, int day) {
    if (year < 1801 || year > 9999 || day < 1 || day > daysInMonth(year, month)) return 0;
    return static_cast<std::int32_t>(daysFromCivil(year, month, day) - kDayOffset);
}

CivilDate civilDate(std::int64_t day) {
    if (!isValidDate(day)) return {};
    return civilFromDays(day + kDayOffset);
}

std::int32_t normalizedDayNumber(std::int64_t year, std::int64_t month, std::int64_t day) {
    // Far-out arguments cannot land in 1801..9999; cutting them first keeps the arithmetic small.
    if (year < 0 || year > 20000 || month < -240000 || month > 240000 || day < -8000000 || day > 8000000)
        return 0;
    std::int64_t m0 = month - 1;
    std::int64_t y = year + (m0 >= 0 ? m0 / 12 : -((11 - m0) / 12));
    m0 -= (y - year) * 12;
    const std::int64_t first = daysFromCivil(y, static_cast<int>(m0 + 1), 1) - kDayOffset;
    const std::int64_t result = first + day - 1;
    return isValidDate(result) ? static_cast<std::int32_t>(result) : 0;
}

int completeYear(int twoDigits, int currentYear, int window) {
    const int low = currentYear - window;
    int year = low - ((low % 100) + 100) % 100 + twoDigits;
    if (year < low) year += 100;
    return year;
}

std::int32_t timeNumber(int hour, int minute, int second, int hundredths) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || hundredths < 0 ||
        hundredths > 99)
        return 0;
    return hour * 360000 + minute * 6000 + second * 100 + hundredths + 1;
}

ClockTime clockTime(std::int64_t time) {
    if (!isValidTime(time)) return {};
    const auto t = static_cast<int>(time - 1);
    return {t / 360000, t / 6000 % 60, t / 100 % 60, t % 100};
}

std::int32_t today() {
    const platform::LocalDateTime now = platform::localNow();
    return dayNumber(now.year, now.month, now.day);
}

std::int32_t clockNow() {
    return platform::clockHundredths() + 1;
}

} // namespace docket::runtime
