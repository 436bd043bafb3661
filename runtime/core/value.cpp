#include "runtime/core/value.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "runtime/core/char_tables.h"

namespace docket::runtime {

std::size_t formatInteger(std::int64_t value, char* out) {
    return static_cast<std::size_t>(std::to_chars(out, out + kNumberTextSize, value).ptr - out);
}

std::size_t formatReal(double value, char* out) {
    value = finiteOrZero(value);
    if (value == 0.0) {
        out[0] = '0';
        return 1;
    }
    // Fixed notation with as many decimals as leave 15 significant digits; the cap keeps the
    // smallest reals within the buffer (they print as 0).
    const double magnitude = std::fabs(value);
    int decimals = 0;
    if (magnitude < 1e15) {
        decimals = 14 - static_cast<int>(std::floor(std::log10(magnitude)));
        if (decimals > 320) decimals = 320;
    }
    auto result = std::to_chars(out, out + kNumberTextSize, value, std::chars_format::fixed, decimals);
    std::size_t length = static_cast<std::size_t>(result.ptr - out);
    if (std::memchr(out, '.', length) != nullptr) {
        while (out[length - 1] == '0') --length;
        if (out[length - 1] == '.') --length;
    }
    if (length == 2 && out[0] == '-' && out[1] == '0') { // a tiny negative value rounded to 0
        out[0] = '0';
        length = 1;
    }
    return length;
}

namespace {

// The numeric prefix of `text` after leading blanks: its extent, and whether it holds a digit.
struct NumberPrefix {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool hasDigit = false;
};

NumberPrefix scanNumber(std::string_view text) {
    NumberPrefix p;
    std::size_t i = 0;
    while (i < text.size() && isBlank(static_cast<unsigned char>(text[i]))) ++i;
    p.begin = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    while (i < text.size() && isDigit(static_cast<unsigned char>(text[i]))) {
        ++i;
        p.hasDigit = true;
    }
    if (i < text.size() && text[i] == '.') {
        std::size_t j = i + 1;
        bool fraction = false;
        while (j < text.size() && isDigit(static_cast<unsigned char>(text[j]))) {
            ++j;
            fraction = true;
        }
        if (fraction || p.hasDigit) i = j;
        p.hasDigit = p.hasDigit || fraction;
    }
    p.end = i;
    return p;
}

} // namespace

double textToReal(std::string_view text) {
    const NumberPrefix p = scanNumber(text);
    if (!p.hasDigit) return 0.0;
    std::size_t begin = p.begin;
    bool negative = false;
    if (text[begin] == '+' || text[begin] == '-') negative = text[begin++] == '-';
    double value = 0.0;
    // from_chars takes no sign of "+" and needs a digit before the point.
    if (text[begin] == '.') {
        char buffer[kNumberTextSize];
        std::size_t n = p.end - begin;
        if (n + 1 >= sizeof buffer) n = sizeof buffer - 2;
        buffer[0] = '0';
        std::memcpy(buffer + 1, text.data() + begin, n);
        std::from_chars(buffer, buffer + n + 1, value);
    } else {
        std::from_chars(text.data() + begin, text.data() + p.end, value);
    }
    value = finiteOrZero(value);
    return negative ? -value : value;
}

bool isNumericText(std::string_view text) {
    const NumberPrefix p = scanNumber(text);
    if (!p.hasDigit) return false;
    for (std::size_t i = p.end; i < text.size(); ++i)
        if (!isBlank(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

std::int64_t realToInteger(double value) {
    if (!(value == value)) return 0;
    if (value >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
    if (value <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

int compareIntegers(std::int64_t a, std::int64_t b) {
    return a < b ? -1 : a > b ? 1 : 0;
}
int compareReals(double a, double b) {
    return a < b ? -1 : a > b ? 1 : 0;
}
int compareTexts(std::string_view a, std::string_view b) {
    return collateCompare(a, b);
}

int compareTextWithNumber(std::string_view text, double number, std::string_view numberText) {
    if (isNumericText(text)) return compareReals(textToReal(text), number);
    return collateCompare(text, numberText);
}

} // namespace docket::runtime
