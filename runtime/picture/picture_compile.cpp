// The picture compiler: picture text to descriptor. Each kind has its own small reader; any text
// left over, or a value out of range, makes the whole picture invalid.
#include <algorithm>

#include "runtime/picture/picture.h"
#include "runtime/picture/picture_regional.h"

namespace docket::runtime {
namespace {

bool isDigitChar(char c) {
    return c >= '0' && c <= '9';
}

// Reads a decimal number at `i`; -1 when there is no digit. Values above 9999 are reported as
// 10000, which every caller rejects.
int readNumber(std::string_view text, std::size_t& i) {
    if (i >= text.size() || !isDigitChar(text[i])) return -1;
    int value = 0;
    while (i < text.size() && isDigitChar(text[i])) {
        value = std::min(value * 10 + (text[i] - '0'), 10000);
        ++i;
    }
    return value;
}

// "_" stands for a blank and a grave accent for a comma wherever a picture names a character.
char mapped(char c) {
    if (c == '_') return ' ';
    if (c == '`') return ',';
    return c;
}

Picture finish(PictureKind kind, std::uint8_t groupFlags, bool blankWhenZero, std::size_t width,
               std::vector<PictureCell> cells) {
    if (width == 0 || width > kMaxPictureCells || cells.size() > kMaxPictureCells + 1) return {};
    Picture p;
    p.kind = kind;
    p.groupFlags = groupFlags;
    p.blankWhenZero = blankWhenZero;
    p.width = static_cast<std::uint8_t>(width);
    p.cells = std::move(cells);
    return p;
}

// String cells are "any character" cells with a blank fill.
Picture compileString(std::string_view text, bool blankWhenZero) {
    std::size_t i = 1;
    const int width = readNumber(text, i);
    while (i < text.size() && text[i] == ' ') ++i;
    if (i != text.size() || width < 1 || width > 255) return {};
    return finish(PictureKind::String, 0, blankWhenZero, static_cast<std::size_t>(width),
                  std::vector<PictureCell>(static_cast<std::size_t>(width), {' ', cell::KeyAny}));
}

// Reads "$" or a "~text~" currency at `i`: 0 none, 1 read, -1 an unclosed "~".
int readCurrency(std::string_view text, std::size_t& i, std::string& out) {
    if (i >= text.size()) return 0;
    if (text[i] == '$') {
        out.assign(1, '$');
        ++i;
        return 1;
    }
    if (text[i] != '~') return 0;
    const std::size_t end = text.find('~', i + 1);
    if (end == std::string_view::npos) return -1;
    out = std::string(text.substr(i + 1, end - i - 1));
    i = end + 1;
    return 1;
}

bool isNumericSeparator(char c) {
    return c == '.' || c == '`' || c == '_' || c == 'V' || c == 'v';
}
bool isImplied(char c) {
    return c == 'V' || c == 'v';
}

// Lays out the integer digits right to left with a grouping cell after every third digit.
void addIntegerRegion(std::vector<PictureCell>& cells, std::size_t count, char grouping, char fill,
                      bool implied) {
    std::vector<PictureCell> region;
    std::size_t digits = 0;
    bool lastWasDigit = false;
    while (region.size() < count) {
        if (grouping != 0 && lastWasDigit && digits % 3 == 0) {
            region.push_back({grouping, cell::Grouping});
            lastWasDigit = false;
            continue;
        }
        // With an implied point the units digit is filled like the others: blank by default, but
        // a zero fill must not leave a blank among its zeros.
        if (digits == 0 && !implied)
            region.push_back({'0', cell::Digit});
        else if (fill == '0' || fill == '*')
            region.push_back({fill, cell::Digit});
        else
            region.push_back({' ', cell::BlankDigit});
        ++digits;
        lastWasDigit = true;
    }
    cells.insert(cells.end(), region.rbegin(), region.rend());
}

// The "(" sign needs its ")" later; a trailing "-" only without a leading sign; a trailing
// currency only without a leading one. A separator directly followed by digits is the decimal
// character; one followed by another separator, or by anything else, is the grouping character.
// A decimal character must be followed by its number of places.
Picture compileNumeric(std::string_view text, bool blankWhenZero) {
    std::size_t i = 1;
    std::string leadCurrency, trailCurrency;
    const int lead = readCurrency(text, i, leadCurrency);
    if (lead < 0) return {};
    char sign = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '(')) sign = text[i++];
    char fill = 0;
    if (i < text.size() && (text[i] == '0' || text[i] == '_' || text[i] == '*')) fill = text[i++];
    const int width = readNumber(text, i);
    if (width < 1 || width > 255) return {};

    char writtenGrouping = 0, decimal = 0;
    int places = 0;
    if (i < text.size() && isNumericSeparator(text[i])) {
        const char first = text[i++];
        if (i < text.size() && isNumericSeparator(text[i])) {
            writtenGrouping = first;
            decimal = text[i++];
        } else if (i < text.size() && isDigitChar(text[i])) {
            decimal = first;
        } else {
            writtenGrouping = first;
        }
        if (isImplied(writtenGrouping)) return {};
        if (decimal != 0) {
            places = readNumber(text, i);
            if (places < 0 || places > 255) return {};
        }
    }
    bool trailingMinus = false;
    if (sign == 0 && i < text.size() && text[i] == '-') {
        trailingMinus = true;
        ++i;
    }
    if (sign == '(') {
        if (i >= text.size() || text[i] != ')') return {};
        ++i;
    }
    if (lead == 0 && readCurrency(text, i, trailCurrency) < 0) return {};
    if (i != text.size()) return {};

    const bool implied = isImplied(decimal);
    // Fill "0" and "_" mean no grouping unless one is written; a decimal comma groups with ".".
    char grouping = ',';
    if (writtenGrouping != 0)
        grouping = mapped(writtenGrouping);
    else if (fill == '0' || fill == '_')
        grouping = 0;
    else if (decimal == '`')
        grouping = '.';

    const std::size_t signCells = sign == '(' ? 2 : (sign != 0 || trailingMinus ? 1 : 0);
    const std::size_t decimalCells = static_cast<std::size_t>(places) + (decimal != 0 && !implied ? 1 : 0);
    const std::size_t fixed = leadCurrency.size() + trailCurrency.size() + signCells + decimalCells;
    const auto total = static_cast<std::size_t>(width);
    if (total < fixed) return {};

    std::vector<PictureCell> cells;
    for (char c : leadCurrency) cells.push_back({c, cell::Currency});
    if (sign != 0) cells.push_back({sign, cell::Sign});
    addIntegerRegion(cells, total - fixed, grouping, fill, implied);
    if (decimal != 0)
        cells.push_back(implied ? PictureCell{'.', cell::ImpliedDecimal}
                                : PictureCell{mapped(decimal), cell::Decimal});
    for (int k = 0; k < places; ++k) cells.push_back({'0', cell::Digit});
    if (sign == '(') cells.push_back({')', cell::Sign});
    if (trailingMinus) cells.push_back({'-', cell::Sign});
    for (char c : trailCurrency) cells.push_back({c, cell::Currency});
    return finish(PictureKind::Numeric, 3, blankWhenZero, total, std::move(cells));
}

// Scientific pictures always show one integer digit; further integer cells stay blank, so a
// grouping character only matters when written.
Picture compileScientific(std::string_view text, bool blankWhenZero) {
    std::size_t i = 1;
    const int width = readNumber(text, i);
    if (width < 7 || width > 255) return {};
    const auto isGroupChar = [](char c) { return c == '.' || c == '`' || c == '_'; };
    char grouping = 0, decimal = 0;
    int places = 0;
    if (i < text.size() && isGroupChar(text[i])) {
        const char first = text[i++];
        if (i < text.size() && isGroupChar(text[i])) {
            grouping = first;
            decimal = text[i++];
        } else if (i < text.size() && isDigitChar(text[i])) {
            decimal = first;
        } else {
            grouping = first;
        }
        if (decimal != 0) {
            places = readNumber(text, i);
            if (places < 0) return {};
        }
    }
    if (i != text.size()) return {};
    const std::size_t fixed = 1 + 5 + static_cast<std::size_t>(places) + (decimal != 0 ? 1 : 0);
    const auto total = static_cast<std::size_t>(width);
    if (total < fixed + 1) return {};
    std::vector<PictureCell> cells;
    cells.push_back({'-', cell::Sign});
    addIntegerRegion(cells, total - fixed, grouping != 0 ? mapped(grouping) : 0, 0, false);
    if (decimal != 0) cells.push_back({mapped(decimal), cell::Decimal});
    for (int k = 0; k < places; ++k) cells.push_back({'0', cell::Digit});
    cells.push_back({'E', cell::Literal});
    cells.push_back({'+', cell::ExponentSign});
    for (int k = 0; k < 3; ++k) cells.push_back({'0', cell::Digit});
    return finish(PictureKind::Scientific, 2, blankWhenZero, total, std::move(cells));
}

// Pattern and key-in pictures end with the letter that begins them, in the same case; its first
// unescaped occurrence after the start must be the last character.
Picture compilePatternOrKeyIn(std::string_view text, bool blankWhenZero, bool keyIn) {
    const char letter = text[0];
    if (text.size() < 2 || text.back() != letter) return {};
    std::vector<PictureCell> cells;
    std::size_t width = 0;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        const char c = text[i];
        if (c == letter) return {};
        PictureCell add{c, cell::Literal};
        if (c == '#')
            add = {'0', cell::Digit};
        else if (c == '<')
            add = {' ', cell::BlankDigit};
        else if (keyIn) {
            if (c == '@')
                add = {' ', cell::KeyLetter};
            else if (c == '^')
                add = {' ', cell::KeyUpper};
            else if (c == '_')
                add = {' ', cell::KeyLower};
            else if (c == '?')
                add = {' ', cell::KeyAny};
            else if (c == '|')
                add = {'|', cell::KeyMarker};
            else if (c == '\\') {
                if (i + 2 >= text.size()) return {}; // nothing to escape before the closing letter
                add = {text[++i], cell::Literal};
            }
        }
        cells.push_back(add);
        // The "|" marker says where an entry may end; it takes no output position.
        if (add.code != cell::KeyMarker) ++width;
    }
    return finish(keyIn ? PictureKind::KeyIn : PictureKind::Pattern, keyIn ? 0 : 3, blankWhenZero, width,
                  std::move(cells));
}

using Cells = std::vector<PictureCell>;

void add(Cells& cells, std::uint8_t code, std::string_view fills) {
    for (char f : fills) cells.push_back({f, code});
}

Cells dateTemplate(int format) {
    Cells c;
    const auto sep = [&c](char s) { c.push_back({s, cell::Separator}); };
    const auto lit = [&c](char s) { c.push_back({s, cell::Literal}); };
    const auto years = [&c](bool four) { add(c, cell::Year, four ? "0000" : "00"); };
    switch (format) {
    case 1:
    case 2:
        add(c, cell::Month, " 0"), sep('/'), add(c, cell::Day, "00"), sep('/'), years(format == 2);
        break;
    case 3:
        add(c, cell::MonthName, "   "), lit(' '), add(c, cell::Day, " 0"), sep(','), years(true);
        break;
    case 4:
        add(c, cell::MonthName, std::string(12, ' ')), lit(' '), add(c, cell::Day, " 0"), sep(','), lit(' ');
        years(true);
        break;
    case 5:
    case 6:
        add(c, cell::Day, " 0"), sep('/'), add(c, cell::Month, "00"), sep('/'), years(format == 6);
        break;
    case 7:
    case 8:
        add(c, cell::Day, " 0"), sep(' '), add(c, cell::MonthName, "   "), sep(' '), years(format == 8);
        break;
    case 9:
    case 10:
        years(format == 10), sep('/'), add(c, cell::Month, "00"), sep('/'), add(c, cell::Day, "00");
        break;
    case 11:
    case 12:
        years(format == 12), add(c, cell::Month, "00"), add(c, cell::Day, "00");
        break;
    case 13:
    case 14:
        add(c, cell::Month, "00"), sep('/'), years(format == 14);
        break;
    case 15:
    case 16:
        years(format == 16), sep('/'), add(c, cell::Month, "00");
        break;
    case 17:
    case 18:
        c = regionalDateCells(format);
        break;
    default:
        break;
    }
    return c;
}

Cells timeTemplate(int format) {
    Cells c;
    const auto hoursMinutes = [&c](bool colon) {
        add(c, cell::Hour, " 0");
        if (colon) c.push_back({':', cell::Separator});
        add(c, cell::Minute, "00");
    };
    const auto seconds = [&c](bool colon) {
        if (colon) c.push_back({':', cell::Separator});
        add(c, cell::Second, "00");
    };
    const auto designator = [&c] { c.push_back({' ', cell::Designator}), c.push_back({'M', cell::Literal}); };
    switch (format) {
    case 1:
        hoursMinutes(true);
        break;
    case 2:
        hoursMinutes(false);
        break;
    case 3:
        hoursMinutes(true), designator();
        break;
    case 4:
        hoursMinutes(true), seconds(true);
        break;
    case 5:
        hoursMinutes(false), seconds(false);
        break;
    case 6:
        hoursMinutes(true), seconds(true), designator();
        break;
    case 7:
    case 8:
        c = regionalTimeCells(format);
        break;
    default:
        break;
    }
    return c;
}

bool isFillChar(char c) {
    return c == '0' || c == '_' || c == '*';
}
bool isDateSeparator(char c) {
    return c == '.' || c == '-' || c == '_' || c == '`';
}

void applySeparatorAndFill(Cells& cells, char separator, char fill,
                           std::initializer_list<std::uint8_t> filled) {
    for (PictureCell& c : cells) {
        if (separator != 0 && c.code == cell::Separator) c.fill = mapped(separator);
        if (fill != 0 && std::find(filled.begin(), filled.end(), c.code) != filled.end())
            c.fill = mapped(fill);
    }
}

Picture finishDateTime(PictureKind kind, bool blankWhenZero, int format, int window, Cells cells) {
    const std::size_t width = cells.size();
    Picture p = finish(kind, 1, blankWhenZero, width, std::move(cells));
    if (!p.valid()) return {};
    p.formatNumber = static_cast<std::uint8_t>(format);
    p.yearWindow = static_cast<std::uint8_t>(window);
    return p;
}

// Window numbers above 99 cannot describe a window within a century and make the picture invalid.
Picture compileDate(std::string_view text, bool blankWhenZero) {
    std::size_t i = 1;
    char fill = 0;
    if (i < text.size() && isFillChar(text[i])) fill = text[i++];
    const int format = readNumber(text, i);
    if (format < 1 || format > 18) return {};
    int window = 80;
    if (i < text.size() && (text[i] == '<' || text[i] == '>')) {
        const bool before = text[i++] == '<';
        int n = readNumber(text, i);
        if (n > 99) return {};
        if (n < 0) n = 0;
        window = before ? (n == 0 ? 80 : n) : (n == 0 ? 19 : 99 - n);
    }
    char separator = 0;
    if (i < text.size() && isDateSeparator(text[i])) separator = text[i++];
    if (i != text.size()) return {};
    Cells cells = dateTemplate(format);
    applySeparatorAndFill(cells, separator, fill, {cell::Month, cell::Day, cell::Year, cell::MonthName});
    return finishDateTime(PictureKind::Date, blankWhenZero, format, window, std::move(cells));
}

Picture compileTime(std::string_view text, bool blankWhenZero) {
    std::size_t i = 1;
    char fill = 0;
    if (i < text.size() && isFillChar(text[i])) fill = text[i++];
    if (i >= text.size() || text[i] < '1' || text[i] > '8') return {};
    const int format = text[i++] - '0';
    char separator = 0;
    if (i + 1 == text.size() && isDateSeparator(text[i])) separator = text[i++];
    if (i != text.size()) return {};
    Cells cells = timeTemplate(format);
    applySeparatorAndFill(cells, separator, fill, {cell::Hour, cell::Minute, cell::Second});
    return finishDateTime(PictureKind::Time, blankWhenZero, format, 0, std::move(cells));
}

} // namespace

Picture compilePicture(std::string_view text) {
    if (text.empty()) return compileString("S255", false);
    if (text.size() > kMaxPictureCells) return {};
    bool blankWhenZero = false;
    if (text.back() == 'B' || text.back() == 'b') {
        blankWhenZero = true;
        text.remove_suffix(1);
    }
    if (text.size() < 2) return {};
    switch (text[0]) {
    case 'S':
    case 's':
        return compileString(text, blankWhenZero);
    case 'N':
    case 'n':
        return compileNumeric(text, blankWhenZero);
    case 'E':
    case 'e':
        return compileScientific(text, blankWhenZero);
    case 'D':
    case 'd':
        return compileDate(text, blankWhenZero);
    case 'T':
    case 't':
        return compileTime(text, blankWhenZero);
    case 'P':
    case 'p':
        return compilePatternOrKeyIn(text, blankWhenZero, false);
    case 'K':
    case 'k':
        return compilePatternOrKeyIn(text, blankWhenZero, true);
    default:
        return {};
    }
}

} // namespace docket::runtime
