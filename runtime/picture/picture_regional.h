#pragma once
// The user's regional date and time forms, behind date pictures 17 (short date) and 18 (long date)
// and time pictures 7 (short time) and 8 (long time). The forms are strftime-style patterns as the
// C library's LC_TIME category gives them ("%d/%m/%Y", "%H:%M:%S", "%I:%M:%S %p").
#include <string>
#include <string_view>
#include <vector>

#include "runtime/picture/picture.h"

namespace docket::runtime {

struct RegionalFormats {
    std::string shortDate = "%m/%d/%y";
    std::string longDate;  // empty: derived from shortDate, see below
    std::string shortTime; // empty: longTime without its seconds
    std::string longTime = "%H:%M:%S";
    std::string am = "AM"; // designators; empty ones fall back to "AM" and "PM"
    std::string pm = "PM";
};

// Reads the LC_TIME forms of the user's environment (LANG, LC_ALL, LC_TIME) with nl_langinfo,
// without touching the process's own locale, and makes them the current regional forms. The C
// library offers no long date form: the long date is derived from the short one (see
// setRegionalFormats). Called once at start-up; before that the defaults above apply.
void initRegionalFormats();

// Makes `formats` the current regional forms (tests, and initRegionalFormats). An empty long date
// becomes day, full month name and four-digit year in the short date's order: "%B %e, %Y" when the
// month comes before the day, "%Y %B %e" when the year leads, "%e %B %Y" otherwise.
void setRegionalFormats(const RegionalFormats& formats);
RegionalFormats regionalFormats();

// The cells of date picture 17 or 18 and time picture 7 or 8 under the current regional forms.
std::vector<PictureCell> regionalDateCells(int format);
std::vector<PictureCell> regionalTimeCells(int format);
// The designators formats 7 and 8 show.
std::string regionalAm();
std::string regionalPm();

// Pattern to cells, for the regional forms. Date patterns know %d, %e, %m, %y, %Y, %b, %h and %B;
// time patterns %H, %k, %I, %l, %M, %S, %p and %P, and the shorthands %T, %R and %r. Blanks become
// literal cells and other characters separator cells; other directives (weekday, time zone) are
// dropped with the characters that follow them up to the next directive, and separators left at
// either end are trimmed. `designatorWidth` is the number of cells of %p.
std::vector<PictureCell> cellsFromDatePattern(std::string_view pattern);
std::vector<PictureCell> cellsFromTimePattern(std::string_view pattern, std::size_t designatorWidth);

} // namespace docket::runtime
