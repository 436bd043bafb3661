// Deformatting: text typed into an entry back to its value. The readers are lenient where a user
// would expect it and give 0 for text they cannot read:
// - numbers: blanks, "*" fill, grouping characters and currency text are skipped; a "-" or "(" anywhere
//   makes the value negative; one decimal character (the picture's, else "." — or "," when the
//   grouping character is ".") may appear; an implied decimal point applies unless a point was
//   typed; any other character makes the text unreadable;
// - dates: day, month and year are read in the picture's order, any run of non-digits (other than
//   a month name, in either case, three letters at least) separating them; a run of digits with
//   too few runs for the fields is split from its right end by the fields' widths ("990105");
//   years of one or two digits are completed by the picture's window;
// - times: hours, minutes, seconds and hundredths in this order, those not typed being 0, and
//   "AM"/"PM" (any case, also "A"/"P" or the regional designators) anywhere.
#include <charconv>
#include <cmath>

#include "runtime/core/char_tables.h"
#include "runtime/core/dates.h"
#include "runtime/picture/internal/picture_internal.h"
#include "runtime/picture/picture_regional.h"

namespace docket::runtime::picture_detail {
namespace {

bool isDigitChar(char c) {
    return c >= '0' && c <= '9';
}

double parseDecimal(const std::string& integer, const std::string& fraction) {
    const std::string text = (integer.empty() ? std::string("0") : integer) + "." + fraction + "0";
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() ? value : 0;
}

void removeAll(std::string& text, const std::string& part) {
    if (part.empty() || part.find_first_not_of(' ') == std::string::npos) return;
    for (std::size_t at; (at = text.find(part)) != std::string::npos;) text.erase(at, part.size());
}

// The currency texts of a numeric picture: the runs of currency cells.
std::vector<std::string> currencyTexts(const Picture& picture) {
    std::vector<std::string> texts;
    bool inRun = false;
    for (const PictureCell& c : picture.cells) {
        if (c.code != cell::Currency) {
            inRun = false;
            continue;
        }
        if (!inRun) texts.emplace_back();
        texts.back() += c.fill;
        inRun = true;
    }
    return texts;
}

struct Token {
    bool word = false;
    std::string text;
};

std::vector<Token> tokenize(std::string_view text) {
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool digit = isDigit(c);
        if (!digit && !isLetter(c)) {
            ++i;
            continue;
        }
        Token t{!digit, {}};
        while (i < text.size() && (digit ? isDigit(static_cast<unsigned char>(text[i]))
                                         : isLetter(static_cast<unsigned char>(text[i]))))
            t.text += text[i++];
        tokens.push_back(std::move(t));
    }
    return tokens;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && collateCompareNoCase(a, b) == 0;
}

// A month name in either case: a unique prefix of three letters or more.
int matchMonth(std::string_view word) {
    if (word.size() < 3) return 0;
    int found = 0;
    for (int m = 1; m <= 12; ++m) {
        const std::string_view name = monthName(m);
        if (word.size() <= name.size() && equalsNoCase(word, name.substr(0, word.size()))) {
            if (found != 0) return 0;
            found = m;
        }
    }
    return found;
}

// Hands the digit runs to fields of the given widths, in order. With fewer runs than fields, a run
// longer than its field is shared with the following fields, which take their widths from its
// right end. False when a run is left over or a shared run cannot feed its first field.
bool assignDigits(const std::vector<std::string>& runs, const std::vector<std::size_t>& widths,
                  std::vector<std::string>& values) {
    values.assign(widths.size(), std::string());
    const bool split = runs.size() < widths.size();
    std::size_t f = 0;
    for (const std::string& run : runs) {
        if (f >= widths.size()) return false;
        std::size_t last = f, sum = widths[f];
        while (split && sum < run.size() && last + 1 < widths.size()) sum += widths[++last];
        std::string rest = run;
        for (std::size_t k = last; k > f; --k) {
            const std::size_t w = std::min(widths[k], rest.size());
            values[k] = rest.substr(rest.size() - w);
            rest.resize(rest.size() - w);
        }
        if (rest.empty()) return false;
        values[f] = rest;
        f = last + 1;
    }
    return true;
}

long digitsValue(const std::string& digits) {
    long value = 0;
    for (char c : digits) value = std::min(value * 10 + (c - '0'), 1000000000L);
    return value;
}

int currentYear() {
    const int year = civilDate(today()).year;
    return year != 0 ? year : 2000;
}

} // namespace

double readNumeric(std::string_view text, const Picture& picture) {
    char decimal = 0, grouping = 0;
    bool implied = false, afterPoint = false;
    int places = 0;
    for (const PictureCell& c : picture.cells) {
        if (c.code == cell::Decimal) decimal = c.fill;
        if (c.code == cell::ImpliedDecimal) implied = true;
        if (c.code == cell::Decimal || c.code == cell::ImpliedDecimal) afterPoint = true;
        if (c.code == cell::Grouping) grouping = c.fill;
        if (afterPoint && c.code == cell::Digit) ++places;
    }
    if (decimal == 0) decimal = grouping == '.' ? ',' : '.';
    std::string rest(text);
    for (const std::string& currency : currencyTexts(picture)) removeAll(rest, currency);
    std::string integer, fraction;
    bool negative = false, point = false;
    for (char c : rest) {
        if (isDigitChar(c))
            (point ? fraction : integer) += c;
        else if (c == decimal && !point)
            point = true;
        else if (c == grouping || c == ' ' || c == '*' || c == ')' || c == '+')
            continue;
        else if (c == '-' || c == '(')
            negative = true;
        else
            return 0;
    }
    if (integer.empty() && fraction.empty()) return 0;
    double value = parseDecimal(integer, fraction);
    if (implied && !point) value /= std::pow(10.0, places);
    return negative && value != 0 ? -value : value;
}

double readScientific(std::string_view text, const Picture& picture) {
    char decimal = '.', grouping = 0;
    for (const PictureCell& c : picture.cells) {
        if (c.code == cell::Decimal) decimal = c.fill;
        if (c.code == cell::Grouping) grouping = c.fill;
    }
    std::string plain;
    for (char c : text) {
        if (c == decimal)
            plain += '.';
        else if (c == ' ' || c == grouping)
            continue;
        else if (isDigitChar(c) || c == '-' || c == '+' || c == 'E' || c == 'e')
            plain += c;
        else
            return 0;
    }
    if (!plain.empty() && plain.front() == '+') plain.erase(0, 1);
    double value = 0;
    const auto result = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (result.ec != std::errc() || result.ptr != plain.data() + plain.size()) return 0;
    return value;
}

// Text laid out as the picture shows it gives the digits of the digit cells; any other text gives
// all its digits.
double readPattern(std::string_view text, const Picture& picture) {
    std::string digits;
    bool aligned = text.size() == picture.cells.size();
    for (std::size_t i = 0; aligned && i < text.size(); ++i) {
        const PictureCell& c = picture.cells[i];
        if (c.code == cell::Literal)
            aligned = text[i] == c.fill;
        else if (isDigitChar(text[i]))
            digits += text[i];
        else
            aligned = text[i] == ' ';
    }
    if (!aligned) {
        digits.clear();
        for (char c : text)
            if (isDigitChar(c)) digits += c;
    }
    return digits.empty() ? 0 : parseDecimal(digits, "");
}

double readDate(std::string_view text, const Picture& picture) {
    std::vector<Token> tokens = tokenize(text);
    int month = 0;
    std::vector<std::string> runs;
    for (const Token& t : tokens) {
        if (!t.word) {
            runs.push_back(t.text);
            continue;
        }
        if (month != 0) return 0;
        month = matchMonth(t.text);
        if (month == 0) return 0;
    }
    std::vector<std::uint8_t> codes;
    std::vector<std::size_t> widths;
    const auto& cells = picture.cells;
    for (std::size_t i = 0; i < cells.size();) {
        const std::uint8_t raw = cells[i].code;
        std::size_t n = 1;
        while (i + n < cells.size() && cells[i + n].code == raw) ++n;
        i += n;
        const std::uint8_t code = raw == cell::MonthName ? cell::Month : raw;
        if (code != cell::Month && code != cell::Day && code != cell::Year) continue;
        if (code == cell::Month && month != 0) continue; // typed as a name
        codes.push_back(code);
        widths.push_back(raw == cell::MonthName ? 2 : n);
    }
    std::vector<std::string> values;
    if (runs.empty() || !assignDigits(runs, widths, values)) return 0;
    int day = 1, year = 0;
    bool haveYear = false;
    for (std::size_t k = 0; k < codes.size(); ++k) {
        if (values[k].empty()) return 0;
        const long v = digitsValue(values[k]);
        if (codes[k] == cell::Month)
            month = static_cast<int>(v);
        else if (codes[k] == cell::Day)
            day = static_cast<int>(v);
        else {
            haveYear = true;
            year = values[k].size() <= 2 ? completeYear(static_cast<int>(v), currentYear(),
                                                        picture.yearWindow != 0 ? picture.yearWindow : 80)
                                         : static_cast<int>(v);
        }
    }
    if (!haveYear || month == 0) return 0;
    return dayNumber(year, month, day);
}

double readTime(std::string_view text, const Picture& picture) {
    (void)picture;
    int designator = 0; // 1 AM, 2 PM
    std::vector<std::string> runs;
    const std::string am = regionalAm(), pm = regionalPm();
    for (const Token& t : tokenize(text)) {
        if (!t.word) {
            runs.push_back(t.text);
            continue;
        }
        if (designator != 0) return 0;
        if (equalsNoCase(t.text, "AM") || equalsNoCase(t.text, "A") || equalsNoCase(t.text, am))
            designator = 1;
        else if (equalsNoCase(t.text, "PM") || equalsNoCase(t.text, "P") || equalsNoCase(t.text, pm))
            designator = 2;
        else
            return 0;
    }
    std::vector<std::string> values;
    if (runs.empty() || !assignDigits(runs, {2, 2, 2, 2}, values)) return 0;
    int parts[4] = {};
    for (std::size_t k = 0; k < 4; ++k) parts[k] = static_cast<int>(digitsValue(values[k]));
    if (designator == 2 && parts[0] < 12) parts[0] += 12;
    if (designator == 1 && parts[0] == 12) parts[0] = 0;
    // One typed hundredths digit is tenths, as after a decimal point.
    if (values[3].size() == 1) parts[3] *= 10;
    return timeNumber(parts[0], parts[1], parts[2], parts[3]);
}

// Text laid out as the picture shows it gives the characters of its input cells; other text is
// taken as typed. Trailing blanks are dropped either way.
std::string readKeyIn(std::string_view text, const Picture& picture) {
    std::string out;
    if (text.size() == picture.width) {
        std::size_t at = 0;
        for (const PictureCell& c : picture.cells) {
            if (c.code == cell::KeyMarker) continue;
            if (c.code != cell::Literal) out += text[at];
            ++at;
        }
    } else {
        out = std::string(text);
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

} // namespace docket::runtime::picture_detail
