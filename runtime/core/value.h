#pragma once
// The runtime's value kinds and the conversions and comparisons between them. Expressions use
// these rules everywhere a value of one kind is needed as another:
//
// - Number to text: integers in plain decimal; reals in fixed notation rounded to 15 significant
//   digits, without trailing zeros or a trailing point ("2.5", "3", "-0.125", "1e20" prints as
//   "100000000000000000000"). A real that is not finite never reaches the text: arithmetic turns
//   it into 0 first.
// - Text to number: leading blanks are skipped, then the longest prefix of the form
//   [+|-]digits[.digits] (or [+|-].digits) is taken and the rest ignored; text without such a
//   prefix is 0. "12abc" is 12, "abc" is 0, " -3.5 " is -3.5.
// - Numeric text: blanks, an optional sign, digits with at most one decimal point (at least one
//   digit), blanks, and nothing else. Blank or empty text is not numeric.
// - Real to integer: truncated toward zero and cut to the 64-bit range.
// - Logical truth: a number is true when it is non-zero; text is true when its number is non-zero.
// - Comparisons: two numbers compare numerically; two texts compare in the collating order with
//   trailing blanks ignored; a text against a number compares numerically when the text is
//   numeric, otherwise the number's text is compared with the text in the collating order.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace docket::runtime {

enum class ValueKind : std::uint8_t { Logical = 0, Integer = 1, Real = 2, String = 4 };

inline bool isIntegerKind(ValueKind kind) {
    return kind == ValueKind::Logical || kind == ValueKind::Integer;
}

// Longest text a number formats to (a 64-bit integer or a fixed-notation real up to 1e308 are
// both shorter when cut to 15 significant digits; huge reals are printed in full).
inline constexpr std::size_t kNumberTextSize = 330;

// Writes the text of a number into `out` (at least kNumberTextSize bytes); returns its length.
std::size_t formatInteger(std::int64_t value, char* out);
std::size_t formatReal(double value, char* out);

double textToReal(std::string_view text);
bool isNumericText(std::string_view text);

// Non-finite reals (from overflow, domain errors) become 0.
inline double finiteOrZero(double value) {
    return value - value == 0.0 ? value : 0.0;
}
std::int64_t realToInteger(double value);

// <0, 0, >0.
int compareIntegers(std::int64_t a, std::int64_t b);
int compareReals(double a, double b);
int compareTexts(std::string_view a, std::string_view b);
// A text against a number, by the mixed rule above; `numberText` is the number's text.
int compareTextWithNumber(std::string_view text, double number, std::string_view numberText);

} // namespace docket::runtime
