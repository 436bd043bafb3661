#include "runtime/picture/picture_regional.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <mutex>

namespace docket::runtime {
namespace {

struct RegionalState {
    RegionalFormats formats;
    std::vector<PictureCell> shortDate;
    std::vector<PictureCell> longDate;
    std::vector<PictureCell> shortTime;
    std::vector<PictureCell> longTime;
};

std::mutex& stateMutex() {
    static std::mutex mutex;
    return mutex;
}

RegionalState build(RegionalFormats formats);

RegionalState& state() {
    static RegionalState current = build(RegionalFormats{});
    return current;
}

void addCells(std::vector<PictureCell>& cells, std::uint8_t code, char firstFill, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) cells.push_back({i == 0 ? firstFill : '0', code});
}

bool isTrimmable(const PictureCell& c) {
    return c.code == cell::Separator || c.code == cell::Literal;
}

void trimEnds(std::vector<PictureCell>& cells) {
    while (!cells.empty() && isTrimmable(cells.back())) cells.pop_back();
    auto first = std::find_if_not(cells.begin(), cells.end(), isTrimmable);
    cells.erase(cells.begin(), first);
}

// Walks `pattern`, handing each known directive to `directive` (which returns false for unknown
// ones) and turning plain characters into literal (blank) or separator cells.
template <typename Directive>
std::vector<PictureCell> walkPattern(std::string_view pattern, Directive directive) {
    std::vector<PictureCell> cells;
    bool skipping = false; // after an unknown directive, up to the next directive
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size()) {
            char d = pattern[++i];
            // Flags and widths of the GNU forms ("%-d", "%0e", "%Ey") do not change the cells.
            while ((d == '-' || d == '_' || d == '0' || d == '^' || d == '#' || d == 'E' || d == 'O') &&
                   i + 1 < pattern.size())
                d = pattern[++i];
            if (d == '%') {
                if (!skipping) cells.push_back({'%', cell::Separator});
                continue;
            }
            skipping = !directive(cells, d);
            continue;
        }
        if (skipping) continue;
        cells.push_back({c, c == ' ' ? cell::Literal : cell::Separator});
    }
    trimEnds(cells);
    return cells;
}

std::string expandTimeShorthands(std::string_view pattern) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            const char d = pattern[i + 1];
            if (d == 'T')
                out += "%H:%M:%S";
            else if (d == 'R')
                out += "%H:%M";
            else if (d == 'r')
                out += "%I:%M:%S %p";
            else
                out.append(pattern.substr(i, 2));
            ++i;
            continue;
        }
        out += pattern[i];
    }
    return out;
}

// The long time without seconds: "%S" goes together with the one character before it.
std::string withoutSeconds(std::string_view pattern) {
    std::string out = expandTimeShorthands(pattern);
    const std::size_t at = out.find("%S");
    if (at == std::string::npos) return out;
    std::size_t from = at;
    if (from > 0 && out[from - 1] != ' ' && !(from >= 2 && out[from - 2] == '%')) --from;
    out.erase(from, at + 2 - from);
    return out;
}

// Day, month and year in the order the short date shows them.
std::string deriveLongDate(std::string_view shortDate) {
    const auto position = [&](std::string_view letters) {
        for (std::size_t i = 0; i + 1 < shortDate.size(); ++i)
            if (shortDate[i] == '%' && letters.find(shortDate[i + 1]) != std::string_view::npos) return i;
        return std::string_view::npos;
    };
    const std::size_t day = position("de");
    const std::size_t month = position("mbhB");
    const std::size_t year = position("yY");
    if (year < day && year < month) return "%Y %B %e";
    if (month < day) return "%B %e, %Y";
    return "%e %B %Y";
}

std::size_t designatorWidth(const RegionalFormats& formats) {
    return std::max<std::size_t>({formats.am.size(), formats.pm.size(), 1});
}

RegionalState build(RegionalFormats formats) {
    if (formats.am.empty() || formats.pm.empty()) {
        formats.am = "AM";
        formats.pm = "PM";
    }
    if (formats.longDate.empty()) formats.longDate = deriveLongDate(formats.shortDate);
    if (formats.shortTime.empty()) formats.shortTime = withoutSeconds(formats.longTime);
    RegionalState s;
    s.shortDate = cellsFromDatePattern(formats.shortDate);
    s.longDate = cellsFromDatePattern(formats.longDate);
    const std::size_t width = designatorWidth(formats);
    s.shortTime = cellsFromTimePattern(formats.shortTime, width);
    s.longTime = cellsFromTimePattern(formats.longTime, width);
    s.formats = std::move(formats);
    return s;
}

std::string langinfo(locale_t locale, nl_item item) {
    const char* text = nl_langinfo_l(item, locale);
    return text != nullptr ? text : "";
}

} // namespace

std::vector<PictureCell> cellsFromDatePattern(std::string_view pattern) {
    return walkPattern(pattern, [](std::vector<PictureCell>& cells, char d) {
        switch (d) {
        case 'd':
            addCells(cells, cell::Day, '0', 2);
            return true;
        case 'e':
            addCells(cells, cell::Day, ' ', 2);
            return true;
        case 'm':
            addCells(cells, cell::Month, '0', 2);
            return true;
        case 'y':
            addCells(cells, cell::Year, '0', 2);
            return true;
        case 'Y':
            addCells(cells, cell::Year, '0', 4);
            return true;
        case 'b':
        case 'h':
            addCells(cells, cell::MonthName, ' ', 3);
            return true;
        case 'B':
            addCells(cells, cell::MonthName, ' ', 9);
            return true; // "September" is the longest
        default:
            return false;
        }
    });
}

std::vector<PictureCell> cellsFromTimePattern(std::string_view pattern, std::size_t designatorWidth) {
    const std::string expanded = expandTimeShorthands(pattern);
    return walkPattern(expanded, [designatorWidth](std::vector<PictureCell>& cells, char d) {
        switch (d) {
        case 'H':
        case 'I':
            addCells(cells, cell::Hour, '0', 2);
            return true;
        case 'k':
        case 'l':
            addCells(cells, cell::Hour, ' ', 2);
            return true;
        case 'M':
            addCells(cells, cell::Minute, '0', 2);
            return true;
        case 'S':
            addCells(cells, cell::Second, '0', 2);
            return true;
        case 'p':
        case 'P':
            for (std::size_t i = 0; i < designatorWidth; ++i) cells.push_back({' ', cell::Designator});
            return true;
        default:
            return false;
        }
    });
}

void setRegionalFormats(const RegionalFormats& formats) {
    RegionalState built = build(formats);
    const std::lock_guard lock(stateMutex());
    state() = std::move(built);
}

RegionalFormats regionalFormats() {
    const std::lock_guard lock(stateMutex());
    return state().formats;
}

void initRegionalFormats() {
    locale_t locale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) return; // an unknown locale keeps the defaults
    RegionalFormats formats;
    formats.shortDate = langinfo(locale, D_FMT);
    std::string longTime = langinfo(locale, T_FMT);
    const std::string ampm = langinfo(locale, T_FMT_AMPM);
    // "%r" stands for the locale's own 12-hour form.
    if (const std::size_t r = longTime.find("%r"); r != std::string::npos && !ampm.empty())
        longTime.replace(r, 2, ampm);
    formats.longTime = longTime;
    formats.am = langinfo(locale, AM_STR);
    formats.pm = langinfo(locale, PM_STR);
    freelocale(locale);
    if (formats.shortDate.empty()) formats.shortDate = RegionalFormats{}.shortDate;
    if (formats.longTime.empty()) formats.longTime = RegionalFormats{}.longTime;
    setRegionalFormats(formats);
}

std::vector<PictureCell> regionalDateCells(int format) {
    const std::lock_guard lock(stateMutex());
    return format == 18 ? state().longDate : state().shortDate;
}

std::vector<PictureCell> regionalTimeCells(int format) {
    const std::lock_guard lock(stateMutex());
    return format == 8 ? state().longTime : state().shortTime;
}

std::string regionalAm() {
    const std::lock_guard lock(stateMutex());
    return state().formats.am;
}

std::string regionalPm() {
    const std::lock_guard lock(stateMutex());
    return state().formats.pm;
}

} // namespace docket::runtime
