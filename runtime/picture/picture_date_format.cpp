// Formatting of day numbers and time numbers by date and time pictures. A run of neighbouring
// cells of one code (month, day, year, hour, minute, second) is one field.
#include <cmath>
#include <cstdio>

#include "runtime/core/char_tables.h"
#include "runtime/core/dates.h"
#include "runtime/picture/internal/picture_internal.h"
#include "runtime/picture/picture_regional.h"

namespace docket::runtime::picture_detail {
namespace {

std::size_t runLength(const std::vector<PictureCell>& cells, std::size_t at) {
    std::size_t end = at;
    while (end < cells.size() && cells[end].code == cells[at].code) ++end;
    return end - at;
}

// The field's value in `count` digits (the lowest ones when it has more). A zero before the first
// non-zero digit shows its cell's fill, but the last digit always shows: with the templates' fills
// this gives " 1" and "05", and a blank or "*" fill never turns 10 into "1 " or 2000 into "2   ".
void putField(std::string& out, const std::vector<PictureCell>& cells, std::size_t at, std::size_t count,
              long value) {
    std::string digits(count, '0');
    for (std::size_t k = count; k-- > 0 && value > 0; value /= 10)
        digits[k] = static_cast<char>('0' + value % 10);
    bool leading = true;
    for (std::size_t k = 0; k < count; ++k) {
        leading = leading && digits[k] == '0' && k + 1 < count;
        out += leading ? (cells[at + k].fill != 0 ? cells[at + k].fill : '0') : digits[k];
    }
}

std::string blanks(const Picture& picture) {
    return std::string(picture.width, ' ');
}

bool hasDesignator(const Picture& picture) {
    for (const PictureCell& c : picture.cells)
        if (c.code == cell::Designator) return true;
    return false;
}

} // namespace

std::string_view monthName(int month) {
    static constexpr std::string_view kNames[] = {"January",   "February", "March",    "April",
                                                  "May",       "June",     "July",     "August",
                                                  "September", "October",  "November", "December"};
    return month >= 1 && month <= 12 ? kNames[month - 1] : std::string_view();
}

// Days outside the valid range, and fractions of a day that leave it, show as blanks.
std::string formatDate(double value, const Picture& picture) {
    if (!std::isfinite(value) || !isValidDate(static_cast<std::int64_t>(std::floor(value))))
        return blanks(picture);
    const CivilDate date = civilDate(static_cast<std::int64_t>(std::floor(value)));
    const auto& cells = picture.cells;
    std::string out;
    for (std::size_t i = 0; i < cells.size();) {
        const std::uint8_t code = cells[i].code;
        const std::size_t n = runLength(cells, i);
        switch (code) {
        case cell::Month:
            putField(out, cells, i, n, date.month);
            break;
        case cell::Day:
            putField(out, cells, i, n, date.day);
            break;
        case cell::Year:
            putField(out, cells, i, n, n >= 4 ? date.year : date.year % 100);
            break;
        case cell::MonthName: {
            const std::string_view name = monthName(date.month).substr(0, n);
            for (char c : name)
                out += upperCaseMonthNames(picture)
                           ? static_cast<char>(upperChar(static_cast<unsigned char>(c)))
                           : c;
            break;
        }
        default:
            for (std::size_t k = 0; k < n; ++k) out += cells[i + k].fill;
            break;
        }
        i += n;
    }
    return out;
}

// Pictures with a designator show a 12-hour clock: hour 0 is 12 AM and 13 is 1 PM. A run of
// designator cells shows as much of the designator as it has cells, padded with blanks.
std::string formatTime(double value, const Picture& picture) {
    if (!std::isfinite(value) || !isValidTime(static_cast<std::int64_t>(std::floor(value))))
        return blanks(picture);
    const ClockTime time = clockTime(static_cast<std::int64_t>(std::floor(value)));
    const bool twelveHour = hasDesignator(picture);
    int hour = time.hour;
    if (twelveHour) hour = hour % 12 == 0 ? 12 : hour % 12;
    std::string designator = time.hour < 12 ? "AM" : "PM";
    if (regionalDesignators(picture)) designator = time.hour < 12 ? regionalAm() : regionalPm();
    const auto& cells = picture.cells;
    std::string out;
    for (std::size_t i = 0; i < cells.size();) {
        const std::uint8_t code = cells[i].code;
        const std::size_t n = runLength(cells, i);
        switch (code) {
        case cell::Hour:
            putField(out, cells, i, n, hour);
            break;
        case cell::Minute:
            putField(out, cells, i, n, time.minute);
            break;
        case cell::Second:
            putField(out, cells, i, n, time.second);
            break;
        case cell::Designator:
            for (std::size_t k = 0; k < n; ++k) out += k < designator.size() ? designator[k] : ' ';
            break;
        default:
            for (std::size_t k = 0; k < n; ++k) out += cells[i + k].fill;
            break;
        }
        i += n;
    }
    return out;
}

} // namespace docket::runtime::picture_detail
