// Formatting of numbers (numeric, scientific and pattern pictures) and texts (string and key-in
// pictures), and the entry points that pick the formatter by kind.
#include <charconv>
#include <cmath>
#include <cstdio>

#include "runtime/core/char_tables.h"
#include "runtime/picture/picture.h"
#include "runtime/picture/internal/picture_internal.h"

namespace docket::runtime {
namespace picture_detail {
namespace {

bool isIntegerCell(std::uint8_t code) {
    return code == cell::Digit || code == cell::BlankDigit;
}
bool isDigitChar(char c) {
    return c >= '0' && c <= '9';
}

// The magnitude in fixed notation with `places` decimals, split at the point.
void fixedDigits(double magnitude, int places, std::string& integer, std::string& fraction) {
    char buffer[700]; // 309 integer digits of the largest double, a point and up to 255 places
    const int n = std::snprintf(buffer, sizeof buffer, "%.*f", places, magnitude);
    const std::string_view text(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    const std::size_t point = text.find('.');
    integer = std::string(text.substr(0, point));
    fraction = point == std::string_view::npos ? std::string() : std::string(text.substr(point + 1));
    // printf writes the point of the C library's numeric locale; only digits matter here.
    if (point == std::string_view::npos && places > 0) {
        const std::size_t other = integer.find_first_not_of("0123456789");
        if (other != std::string::npos) {
            fraction = integer.substr(other + 1);
            integer.resize(other);
        }
    }
    const std::size_t first = integer.find_first_not_of('0');
    integer = first == std::string::npos ? std::string() : integer.substr(first);
}

// Grouping cells show their character when the nearest digit cell to their left shows a digit;
// otherwise they take on that cell's blank or "*", so fill never shows stray separators.
void settleGroupingCells(std::string& out, const std::vector<PictureCell>& cells, std::size_t begin,
                         std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
        if (cells[i].code != cell::Grouping) continue;
        std::size_t left = i;
        while (left > begin && cells[left - 1].code == cell::Grouping) --left;
        if (left > begin && isDigitChar(out[left - 1]))
            out[i] = cells[i].fill;
        else if (left > begin)
            out[i] = out[left - 1];
        else
            out[i] = ' ';
    }
}

// A leading sign moves right over blanks to stand next to the first shown character.
void floatSign(std::string& out, std::size_t signAt, std::size_t end) {
    while (signAt + 1 < end && out[signAt + 1] == ' ') {
        std::swap(out[signAt], out[signAt + 1]);
        ++signAt;
    }
}

} // namespace

// Cells map one to one onto output positions up to the implied decimal cell, which is skipped;
// the integer digits lie before any decimal cell, so their positions are their cell indices.
std::string formatNumeric(double value, const Picture& picture) {
    const auto& cells = picture.cells;
    const std::string overflow(picture.width, '#');
    if (!std::isfinite(value)) return overflow;

    std::size_t decimalAt = cells.size();
    for (std::size_t i = 0; i < cells.size(); ++i)
        if (cells[i].code == cell::Decimal || cells[i].code == cell::ImpliedDecimal) decimalAt = i;
    std::size_t firstDigit = cells.size(), integerCells = 0, places = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (!isIntegerCell(cells[i].code)) continue;
        if (i < decimalAt) {
            firstDigit = std::min(firstDigit, i);
            ++integerCells;
        } else {
            ++places;
        }
    }
    std::string integer, fraction;
    fixedDigits(std::fabs(value), static_cast<int>(places), integer, fraction);
    const bool zero = integer.empty() && fraction.find_first_not_of('0') == std::string::npos;
    if (zero && picture.blankWhenZero) return std::string(picture.width, ' ');
    if (integer.size() > integerCells) return overflow;
    const bool negative = value < 0 && !zero;

    std::string out;
    out.reserve(picture.width);
    std::size_t integerSeen = 0, fractionSeen = 0, leadingSign = cells.size(), integerEnd = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const PictureCell& c = cells[i];
        switch (c.code) {
        case cell::ImpliedDecimal:
            continue;
        case cell::Digit:
        case cell::BlankDigit:
            if (i < decimalAt) {
                const std::size_t fromRight = integerCells - 1 - integerSeen++;
                if (fromRight < integer.size())
                    out += integer[integer.size() - 1 - fromRight];
                else
                    out += c.code == cell::Digit ? c.fill : ' ';
                integerEnd = out.size();
            } else {
                out += fractionSeen < fraction.size() ? fraction[fractionSeen] : '0';
                ++fractionSeen;
            }
            break;
        case cell::Sign:
            if (i < firstDigit && leadingSign == cells.size()) leadingSign = out.size();
            out += negative ? c.fill : ' ';
            break;
        case cell::Grouping:
            out += c.fill;
            break; // settled below
        default:
            out += c.fill;
            break;
        }
    }
    std::size_t regionBegin = firstDigit;
    while (regionBegin > 0 && cells[regionBegin - 1].code == cell::Grouping) --regionBegin;
    if (firstDigit < cells.size()) settleGroupingCells(out, cells, regionBegin, integerEnd);
    // The opening parenthesis floats as the minus does, so both hug the number.
    if (negative && leadingSign < out.size()) floatSign(out, leadingSign, integerEnd);
    return out;
}

// One integer digit, the places after the point, and a three-digit exponent with its sign.
std::string formatScientific(double value, const Picture& picture) {
    const auto& cells = picture.cells;
    if (!std::isfinite(value)) return std::string(picture.width, '#');
    std::size_t decimalAt = cells.size(), exponentAt = cells.size(), places = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].code == cell::Decimal) decimalAt = i;
        if (cells[i].code == cell::ExponentSign) exponentAt = i;
    }
    for (std::size_t i = decimalAt; i < exponentAt; ++i)
        if (cells[i].code == cell::Digit) ++places;
    char buffer[400];
    const int n = std::snprintf(buffer, sizeof buffer, "%.*e", static_cast<int>(places), std::fabs(value));
    const std::string_view text(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    const std::size_t e = text.find('e');
    if (e == std::string_view::npos) return std::string(picture.width, '#');
    std::string mantissa;
    for (char c : text.substr(0, e))
        if (isDigitChar(c)) mantissa += c;
    int exponent = 0;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);
    const bool zero = mantissa.find_first_not_of('0') == std::string::npos;
    if (zero && picture.blankWhenZero) return std::string(picture.width, ' ');
    if (zero) exponent = 0;
    const bool negative = value < 0 && !zero;
    char exponentDigits[8];
    std::snprintf(exponentDigits, sizeof exponentDigits, "%03d", std::abs(exponent) % 1000);

    const std::size_t integerLimit = std::min(decimalAt, exponentAt);
    std::size_t unitsAt = 0;
    for (std::size_t i = 0; i < integerLimit; ++i)
        if (isIntegerCell(cells[i].code)) unitsAt = i;

    std::string out;
    std::size_t firstDigit = cells.size(), integerEnd = 0, mantissaSeen = 1, exponentSeen = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const PictureCell& c = cells[i];
        if (isIntegerCell(c.code) && i < integerLimit) {
            firstDigit = std::min(firstDigit, i);
            out += i == unitsAt ? mantissa[0] : ' ';
            integerEnd = out.size();
        } else if (c.code == cell::Digit && i < exponentAt) {
            out += mantissaSeen < mantissa.size() ? mantissa[mantissaSeen] : '0';
            ++mantissaSeen;
        } else if (c.code == cell::Digit) {
            out += exponentDigits[exponentSeen++ % 3];
        } else if (c.code == cell::ExponentSign) {
            out += exponent < 0 ? '-' : '+';
        } else if (c.code == cell::Sign) {
            out += negative ? c.fill : ' ';
        } else {
            out += c.fill;
        }
    }
    if (firstDigit < cells.size()) settleGroupingCells(out, cells, firstDigit, integerEnd);
    if (negative && !cells.empty() && cells[0].code == cell::Sign) floatSign(out, 0, integerEnd);
    return out;
}

// The whole number's digits fill the digit cells right-aligned across the literals; its sign and
// fraction are not shown. Too many digits give "#" in every position, as for numeric pictures.
std::string formatPattern(double value, const Picture& picture) {
    const auto& cells = picture.cells;
    if (!std::isfinite(value)) return std::string(picture.width, '#');
    std::string digits, unused;
    fixedDigits(std::fabs(value), 0, digits, unused);
    if (digits.empty() && picture.blankWhenZero) return std::string(picture.width, ' ');
    std::size_t digitCells = 0;
    for (const PictureCell& c : cells) digitCells += isIntegerCell(c.code) ? 1 : 0;
    if (digits.size() > digitCells) return std::string(picture.width, '#');
    std::string out;
    std::size_t seen = 0;
    for (const PictureCell& c : cells) {
        if (!isIntegerCell(c.code)) {
            out += c.fill;
            continue;
        }
        const std::size_t fromRight = digitCells - 1 - seen++;
        if (fromRight < digits.size())
            out += digits[digits.size() - 1 - fromRight];
        else
            out += c.code == cell::Digit ? c.fill : ' ';
    }
    return out;
}

// Key-in values hold only what was typed: each input cell takes the next character of the text,
// literal cells show themselves. A character that does not suit its cell shows as a blank.
std::string formatKeyIn(std::string_view text, const Picture& picture) {
    std::string out;
    std::size_t next = 0;
    for (const PictureCell& c : picture.cells) {
        if (c.code == cell::KeyMarker) continue;
        if (c.code == cell::Literal) {
            out += c.fill;
            continue;
        }
        const auto ch = static_cast<unsigned char>(next < text.size() ? text[next] : ' ');
        ++next;
        switch (c.code) {
        case cell::Digit:
        case cell::BlankDigit:
            out += isDigit(ch) ? static_cast<char>(ch) : ' ';
            break;
        case cell::KeyLetter:
            out += isLetter(ch) ? static_cast<char>(ch) : ' ';
            break;
        case cell::KeyUpper:
            out += isLetter(ch) ? static_cast<char>(upperChar(ch)) : ' ';
            break;
        case cell::KeyLower:
            out += isLetter(ch) ? static_cast<char>(lowerChar(ch)) : ' ';
            break;
        default:
            out += static_cast<char>(ch);
            break;
        }
    }
    return out;
}

} // namespace picture_detail

namespace {

std::string numberText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return std::string(buffer, result.ptr);
}

// The leading number of a text, after blanks; 0 when there is none.
double leadingNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc()) return 0;
    return negative ? -value : value;
}

std::string formatString(std::string_view text, const Picture& picture) {
    std::string out(text.substr(0, picture.width));
    out.append(picture.width - out.size(), ' ');
    return out;
}

} // namespace

std::string formatNumber(double value, const Picture& picture) {
    if (!picture.valid()) return {};
    using namespace picture_detail;
    switch (picture.kind) {
    case PictureKind::Numeric:
        return formatNumeric(value, picture);
    case PictureKind::Scientific:
        return formatScientific(value, picture);
    case PictureKind::Pattern:
        return formatPattern(value, picture);
    case PictureKind::Date:
        return formatDate(value, picture);
    case PictureKind::Time:
        return formatTime(value, picture);
    case PictureKind::String:
        return formatString(numberText(value), picture);
    case PictureKind::KeyIn:
        return formatKeyIn(numberText(value), picture);
    }
    return {};
}

std::string formatText(std::string_view text, const Picture& picture) {
    if (!picture.valid()) return {};
    if (picture.kind == PictureKind::String) return formatString(text, picture);
    if (picture.kind == PictureKind::KeyIn) return picture_detail::formatKeyIn(text, picture);
    return formatNumber(leadingNumber(text), picture);
}

std::string deformatText(std::string_view text, const Picture& picture) {
    if (!picture.valid()) return {};
    if (picture.kind == PictureKind::String) return std::string(text.substr(0, picture.width));
    if (picture.kind == PictureKind::KeyIn) return picture_detail::readKeyIn(text, picture);
    return numberText(deformatNumber(text, picture));
}

double deformatNumber(std::string_view text, const Picture& picture) {
    if (!picture.valid()) return 0;
    using namespace picture_detail;
    switch (picture.kind) {
    case PictureKind::Numeric:
        return readNumeric(text, picture);
    case PictureKind::Scientific:
        return readScientific(text, picture);
    case PictureKind::Pattern:
        return readPattern(text, picture);
    case PictureKind::Date:
        return readDate(text, picture);
    case PictureKind::Time:
        return readTime(text, picture);
    case PictureKind::String:
    case PictureKind::KeyIn:
        return leadingNumber(text);
    }
    return 0;
}

} // namespace docket::runtime
