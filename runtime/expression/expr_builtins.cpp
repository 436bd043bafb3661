#include "runtime/expression/internal/expr_builtins.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <random>

#include "platform/clock.h"
#include "platform/profile.h"
#include "runtime/core/char_tables.h"
#include "runtime/core/dates.h"
#include "runtime/expression/expr_tree.h"
#include "runtime/expression/picture_functions.h"

namespace docket::runtime {
namespace {

constexpr ValueKind R = ValueKind::Real;
constexpr ValueKind I = ValueKind::Integer;
constexpr ValueKind S = ValueKind::String;

constexpr BuiltinInfo kBuiltins[] = {
    {"ABS", Builtin::Abs, 1, R},           {"ACOS", Builtin::Acos, 1, R},
    {"AGE", Builtin::Age, 2, S},           {"ALL", Builtin::All, 2, S},
    {"ASIN", Builtin::Asin, 1, R},         {"ATAN", Builtin::Atan, 1, R},
    {"BAND", Builtin::Band, 2, I},         {"BOR", Builtin::Bor, 2, I},
    {"BSHIFT", Builtin::Bshift, 2, I},     {"BXOR", Builtin::Bxor, 2, I},
    {"CENTER", Builtin::Center, 2, S},     {"CHOOSE", Builtin::Choose, 25, S},
    {"CHR", Builtin::Chr, 1, S},           {"CLIP", Builtin::Clip, 1, S},
    {"CLOCK", Builtin::Clock, 0, I},       {"COS", Builtin::Cos, 1, R},
    {"DATE", Builtin::Date, 3, I},         {"DAY", Builtin::Day, 1, I},
    {"DEFORMAT", Builtin::Deformat, 2, S}, {"FORMAT", Builtin::Format, 2, S},
    {"GETINI", Builtin::GetIni, 4, S},     {"INLIST", Builtin::InList, 25, I},
    {"INRANGE", Builtin::InRange, 3, I},   {"INSTRING", Builtin::InString, 4, I},
    {"INT", Builtin::Int, 1, I},           {"LEFT", Builtin::Left, 2, S},
    {"LEN", Builtin::Len, 1, I},           {"LOG10", Builtin::Log10, 1, R},
    {"LOGE", Builtin::LogE, 1, R},         {"LOWER", Builtin::Lower, 1, S},
    {"MATCH", Builtin::Match, 3, I},       {"MEMORY", Builtin::Memory, 1, I},
    {"MONTH", Builtin::Month, 1, I},       {"NULL", Builtin::Null, 1, I},
    {"NUMERIC", Builtin::Numeric, 1, I},   {"RANDOM", Builtin::Random, 2, I},
    {"RIGHT", Builtin::Right, 2, S},       {"ROUND", Builtin::Round, 2, R},
    {"SIN", Builtin::Sin, 1, R},           {"SQL", Builtin::Sql, 0, ValueKind::Logical},
    {"SQRT", Builtin::Sqrt, 1, R},         {"SUB", Builtin::Sub, 3, S},
    {"TAN", Builtin::Tan, 1, R},           {"TODAY", Builtin::Today, 0, I},
    {"UPPER", Builtin::Upper, 1, S},       {"VAL", Builtin::Val, 1, I},
    {"YEAR", Builtin::Year, 1, I},
};

// Arguments that are texts by nature, so that an omitted one is the empty text rather than 0.
bool isTextArgument(Builtin code, int index) {
    switch (code) {
    case Builtin::All:
    case Builtin::Center:
    case Builtin::Clip:
    case Builtin::Deformat:
    case Builtin::Left:
    case Builtin::Len:
    case Builtin::Lower:
    case Builtin::Numeric:
    case Builtin::Right:
    case Builtin::Sub:
    case Builtin::Upper:
    case Builtin::Val:
    case Builtin::Format:
        return index == 0;
    case Builtin::InString:
    case Builtin::Match:
        return index <= 1;
    case Builtin::GetIni:
        return true;
    case Builtin::Choose:
    case Builtin::InList:
        return index >= 1;
    default:
        return false;
    }
}

std::string_view clipped(std::string_view text) {
    std::size_t n = text.size();
    while (n > 0 && text[n - 1] == ' ') --n;
    return text.substr(0, n);
}

std::string_view unpadded(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    return text.substr(i);
}

// A width argument: negative means the text's own length; cut to the longest computed text.
std::size_t widthArgument(ExprNode& arg, std::size_t ownLength) {
    const std::int64_t w = evalInteger(arg);
    const std::size_t width = w < 0 ? ownLength : static_cast<std::size_t>(w);
    return width > kMaxComputedText ? kMaxComputedText : width;
}

std::uint32_t bits(ExprNode& arg) {
    return static_cast<std::uint32_t>(evalInteger(arg));
}
std::int64_t fromBits(std::uint32_t v) {
    return static_cast<std::int32_t>(v);
}

double realFunction(double (*f)(double), ExprNode& arg) {
    return finiteOrZero(f(evalReal(arg)));
}

// ROUND: to the nearest multiple of `order`, halves away from zero. The quotient is nudged by a
// relative 1e-12 so that decimal halves stored a hair below .5 in binary (2.675 / 0.01) still
// round up.
double roundTo(double value, double order) {
    if (order == 0.0) return value;
    const double q = value / order;
    const double nudged = q + std::copysign(std::fabs(q) * 1e-12 + 1e-12, q);
    return finiteOrZero(std::round(nudged) * order);
}

// INSTRING(sub, text, step, start): searches `text` for `sub` at positions start, start + step,
// ... With a positive step the result is the step count of the hit counted from position 1,
// (position - 1) / step + 1, which is the position itself for step 1 and the field number for a
// step equal to a field width. A negative step searches backwards from `start` (from the last
// possible position when start is beyond it) and returns the character position. 0 when not
// found, for an empty `sub` and for step 0.
std::int64_t inString(std::string_view sub, std::string_view text, std::int64_t step, std::int64_t start) {
    if (sub.empty() || step == 0 || sub.size() > text.size()) return 0;
    const auto last = static_cast<std::int64_t>(text.size() - sub.size()) + 1; // last start position
    if (step > 0) {
        if (start < 1) start = 1;
        if (step == 1) { // the common plain search
            if (start > last) return 0;
            const std::size_t at = text.find(sub, static_cast<std::size_t>(start - 1));
            return at == std::string_view::npos ? 0 : static_cast<std::int64_t>(at) + 1;
        }
        for (std::int64_t p = start; p <= last; p += step) {
            if (text.compare(static_cast<std::size_t>(p - 1), sub.size(), sub) == 0)
                return (p - 1) / step + 1;
            if (step > last) break;
        }
        return 0;
    }
    if (start > last || start < 1) start = last;
    for (std::int64_t p = start; p >= 1; p += step) {
        if (text.compare(static_cast<std::size_t>(p - 1), sub.size(), sub) == 0) return p;
        if (step < -last) break;
    }
    return 0;
}

// MATCH modes: the low bits choose the kind of match, 16 makes it ignore letter case.
constexpr std::int64_t kMatchWild = 0;    // "*" any run, "?" any one character
constexpr std::int64_t kMatchRegular = 1; // ^ $ . [set] [^set] \c and the postfixes * + ?
constexpr std::int64_t kMatchSoundex = 2; // same soundex code
constexpr std::int64_t kMatchNoCase = 16;

bool sameChar(char a, char b, bool noCase) {
    if (noCase) return upperChar(static_cast<unsigned char>(a)) == upperChar(static_cast<unsigned char>(b));
    return a == b;
}

// Wildcards, matched with the usual single-backtrack scan: linear in practice, never recursive.
bool wildMatch(std::string_view text, std::string_view pattern, bool noCase) {
    std::size_t t = 0, p = 0, starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || (pattern[p] != '*' && sameChar(pattern[p], text[t], noCase)))) {
            ++t;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// A small backtracking regular-expression matcher. Its work is bounded by a step budget (an
// exhausted budget counts as no match) and its recursion by the pattern length it accepts.
class RegularMatcher {
public:
    RegularMatcher(std::string_view pattern, bool noCase) : pattern_(pattern), noCase_(noCase) {}

    bool search(std::string_view text) {
        if (pattern_.size() > kMaxPattern) return false;
        if (!pattern_.empty() && pattern_[0] == '^') return here(1, text, 0);
        for (std::size_t t = 0; t <= text.size(); ++t)
            if (here(0, text, t)) return true;
        return false;
    }

private:
    static constexpr std::size_t kMaxPattern = 256;
    static constexpr long kBudget = 200000;

    // The end of the atom at `p` (one character, an escape or a bracket set); npos when malformed.
    std::size_t atomEnd(std::size_t p) const {
        if (pattern_[p] == '\\') return p + 1 < pattern_.size() ? p + 2 : std::string_view::npos;
        if (pattern_[p] != '[') return p + 1;
        std::size_t q = p + 1;
        if (q < pattern_.size() && pattern_[q] == '^') ++q;
        if (q < pattern_.size() && pattern_[q] == ']') ++q;
        while (q < pattern_.size() && pattern_[q] != ']') ++q;
        return q < pattern_.size() ? q + 1 : std::string_view::npos;
    }

    bool atomMatches(std::size_t p, std::size_t end, char c) const {
        if (pattern_[p] == '.') return true;
        if (pattern_[p] == '\\') return sameChar(pattern_[p + 1], c, noCase_);
        if (pattern_[p] != '[') return sameChar(pattern_[p], c, noCase_);
        std::size_t q = p + 1;
        const bool negate = pattern_[q] == '^';
        if (negate) ++q;
        bool found = false;
        for (std::size_t first = q; q < end - 1; ++q) {
            const bool range = q + 2 < end - 1 && pattern_[q + 1] == '-' && (q > first || pattern_[q] != ']');
            if (range) {
                unsigned char lo = static_cast<unsigned char>(pattern_[q]);
                unsigned char hi = static_cast<unsigned char>(pattern_[q + 2]);
                auto uc = static_cast<unsigned char>(c);
                if ((uc >= lo && uc <= hi) || (noCase_ && ((upperChar(uc) >= lo && upperChar(uc) <= hi) ||
                                                           (lowerChar(uc) >= lo && lowerChar(uc) <= hi))))
                    found = true;
                q += 2;
            } else if (sameChar(pattern_[q], c, noCase_)) {
                found = true;
            }
        }
        return found != negate;
    }

    bool here(std::size_t p, std::string_view text, std::size_t t) {
        if (--budget_ < 0) return false;
        if (p == pattern_.size()) return true;
        if (pattern_[p] == '$' && p + 1 == pattern_.size()) return t == text.size();
        const std::size_t end = atomEnd(p);
        if (end == std::string_view::npos) return false;
        const char op = end < pattern_.size() ? pattern_[end] : '\0';
        if (op == '*' || op == '+' || op == '?') {
            const std::size_t maxCount = op == '?' ? 1 : text.size() - t;
            std::size_t count = 0;
            while (count < maxCount && t + count < text.size() && atomMatches(p, end, text[t + count]))
                ++count;
            const std::size_t minCount = op == '+' ? 1 : 0;
            for (std::size_t k = count + 1; k-- > minCount;)
                if (here(end + 1, text, t + k)) return true;
            return false;
        }
        return t < text.size() && atomMatches(p, end, text[t]) && here(end, text, t + 1);
    }

    std::string_view pattern_;
    bool noCase_;
    long budget_ = kBudget;
};

// American soundex: the first letter and three digits ("R163"); empty for text without letters.
void soundex(std::string_view text, char out[5]) {
    static constexpr char kCodes[] = "01230120022455012623010202"; // A..Z
    std::size_t n = 0;
    char previous = 0;
    for (char ch : text) {
        const auto c = upperChar(static_cast<unsigned char>(ch));
        if (c < 'A' || c > 'Z') continue;
        const char code = kCodes[c - 'A'];
        if (n == 0) {
            out[n++] = static_cast<char>(c);
        } else if (code != '0' && code != previous) {
            out[n++] = code;
            if (n == 4) break;
        }
        if (c != 'H' && c != 'W') previous = code;
    }
    if (n > 0)
        while (n < 4) out[n++] = '0';
    out[n] = '\0';
}

std::int64_t match(std::string_view value, std::string_view pattern, std::int64_t mode) {
    const bool noCase = (mode & kMatchNoCase) != 0;
    value = clipped(value); // fields are blank-padded; the padding never takes part
    switch (mode & 15) {
    case kMatchRegular:
        return RegularMatcher(pattern, noCase).search(value);
    case kMatchSoundex: {
        char a[5], b[5];
        soundex(value, a);
        soundex(pattern, b);
        return a[0] != '\0' && std::strcmp(a, b) == 0;
    }
    case kMatchWild:
    default:
        return wildMatch(value, clipped(pattern), noCase);
    }
}

// AGE: the time from `birth` to `base` as "<n> DAYS" below 61 days, "<n> MOS" (whole months)
// below two years, else "<n> YRS" (whole years). Empty when either date is invalid or the base
// lies before the birth.
std::string_view age(ExprNode& n, std::int64_t birth, std::int64_t base) {
    if (!isValidDate(birth) || !isValidDate(base) || base < birth) return storeText(n, {});
    char text[32];
    std::int64_t amount = base - birth;
    const char* unit = " DAYS";
    if (amount >= 61) {
        const CivilDate b = civilDate(birth);
        const CivilDate e = civilDate(base);
        amount = (e.year * 12 + e.month) - (b.year * 12 + b.month) - (e.day < b.day ? 1 : 0);
        unit = " MOS";
        if (amount >= 24) {
            amount /= 12;
            unit = " YRS";
        }
    }
    std::size_t length = formatInteger(amount, text);
    std::memcpy(text + length, unit, std::strlen(unit));
    length += std::strlen(unit);
    return storeText(n, {text, length});
}

std::int64_t randomBetween(std::int64_t low, std::int64_t high) {
    thread_local std::minstd_rand engine(
        static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    if (low > high) std::swap(low, high);
    return std::uniform_int_distribution<std::int64_t>(low, high)(engine);
}

std::int64_t clampToLong(std::int64_t v) {
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v;
}

PictureValue pictureValue(ExprNode& arg, char* digits) {
    PictureValue v;
    if (arg.kind == ValueKind::String) {
        v.text = evalString(arg);
        return v;
    }
    v.isNumber = true;
    if (isIntegerKind(arg.kind)) {
        const std::int64_t i = evalInteger(arg);
        v.number = static_cast<double>(i);
        v.text = {digits, formatInteger(i, digits)};
    } else {
        v.number = evalReal(arg);
        v.text = {digits, formatReal(v.number, digits)};
    }
    return v;
}

std::string_view withoutAt(std::string_view picture) {
    return !picture.empty() && picture[0] == '@' ? picture.substr(1) : picture;
}

} // namespace

std::span<const BuiltinInfo> builtinFunctions() {
    return kBuiltins;
}

const BuiltinInfo& builtinInfo(Builtin code) {
    for (const BuiltinInfo& info : kBuiltins)
        if (info.code == code) return info;
    return kBuiltins[0];
}

DefaultArgument defaultArgument(Builtin code, int index) {
    using F = DefaultArgument::Form;
    switch (code) {
    case Builtin::Sub:
        if (index == 1) return {F::Integer, 1};
        if (index == 2) return {F::Integer, -1};
        break;
    case Builtin::All:
        if (index == 1) return {F::Integer, 255};
        break;
    case Builtin::Center:
    case Builtin::Left:
    case Builtin::Right:
        if (index == 1) return {F::Integer, -1};
        break;
    case Builtin::Format:
    case Builtin::Deformat:
        if (index == 1) return {F::String, 0, 0.0, "S255"};
        break;
    case Builtin::Round:
        if (index == 1) return {F::Real, 0, 1.0};
        break;
    case Builtin::Age:
        if (index == 1) return {F::Today};
        break;
    case Builtin::InString:
        // Step 1 from the first position: a plain search.
        if (index >= 2) return {F::Integer, 1};
        break;
    default:
        break;
    }
    // Every other omitted argument is the empty text or 0 (GETINI's file: see evalBuiltinString).
    return isTextArgument(code, index) ? DefaultArgument{F::String} : DefaultArgument{F::Integer};
}

bool keepsArgumentCount(Builtin code) {
    return code == Builtin::Choose || code == Builtin::InList;
}

std::int64_t evalBuiltinInteger(ExprNode& n) {
    auto& a = n.args;
    switch (n.function) {
    case Builtin::Band:
        return fromBits(bits(*a[0]) & bits(*a[1]));
    case Builtin::Bor:
        return fromBits(bits(*a[0]) | bits(*a[1]));
    case Builtin::Bxor:
        return fromBits(bits(*a[0]) ^ bits(*a[1]));
    case Builtin::Bshift: {
        // The value as a 32-bit pattern: a positive count shifts left, a negative one right
        // (zeros come in); 32 places or more leave 0.
        const std::uint32_t v = bits(*a[0]);
        const std::int64_t count = evalInteger(*a[1]);
        if (count >= 32 || count <= -32) return 0;
        return fromBits(count >= 0 ? v << count : v >> -count);
    }
    case Builtin::Clock:
        return clockNow();
    case Builtin::Today:
        return today();
    case Builtin::Date: {
        // DATE(month, day, year): months and days beyond their ranges roll over; a year below 100
        // is a two-digit year completed around the current one.
        const std::int64_t month = evalInteger(*a[0]);
        const std::int64_t day = evalInteger(*a[1]);
        std::int64_t year = evalInteger(*a[2]);
        if (year >= 0 && year < 100) year = completeYear(static_cast<int>(year), platform::localNow().year);
        return normalizedDayNumber(year, month, day);
    }
    case Builtin::Day:
        return civilDate(evalInteger(*a[0])).day;
    case Builtin::Month:
        return civilDate(evalInteger(*a[0])).month;
    case Builtin::Year:
        return civilDate(evalInteger(*a[0])).year;
    case Builtin::InList: {
        // The value is evaluated once: nested calls must not multiply the work.
        const EvaluatedOperand value = evaluateOperand(*a[0]);
        for (std::size_t i = 1; i < a.size(); ++i)
            if (compareEvaluated(value, *a[i]) == 0) return static_cast<std::int64_t>(i);
        return 0;
    }
    case Builtin::InRange: {
        const EvaluatedOperand value = evaluateOperand(*a[0]);
        if (compareEvaluated(value, *a[1]) < 0) return 0;
        return compareEvaluated(value, *a[2]) <= 0;
    }
    case Builtin::InString: {
        const std::string_view sub = evalString(*a[0]);
        const std::string_view text = evalString(*a[1]);
        return inString(sub, text, evalInteger(*a[2]), evalInteger(*a[3]));
    }
    case Builtin::Int:
        return isIntegerKind(a[0]->kind) ? evalInteger(*a[0]) : realToInteger(std::trunc(evalReal(*a[0])));
    case Builtin::Len:
        return static_cast<std::int64_t>(evalString(*a[0]).size());
    case Builtin::Match: {
        const std::string_view value = evalString(*a[0]);
        const std::string_view pattern = evalString(*a[1]);
        return match(value, pattern, evalInteger(*a[2]));
    }
    case Builtin::Memory: {
        // The free physical memory in bytes, capped to the largest LONG.
        const long pages = sysconf(_SC_AVPHYS_PAGES);
        const long pageSize = sysconf(_SC_PAGESIZE);
        if (pages <= 0 || pageSize <= 0) return 0;
        const double bytes = static_cast<double>(pages) * static_cast<double>(pageSize);
        return bytes > 2147483647.0 ? 2147483647 : static_cast<std::int64_t>(bytes);
    }
    case Builtin::Null:
        // Bound variables hold plain values without a null state.
        return 0;
    case Builtin::Numeric:
        return isNumericText(evalString(*a[0]));
    case Builtin::Random:
        return randomBetween(clampToLong(evalInteger(*a[0])), clampToLong(evalInteger(*a[1])));
    case Builtin::Val: {
        const std::string_view text = evalString(*a[0]);
        return text.empty() ? 0 : static_cast<unsigned char>(text[0]);
    }
    default:
        return 0;
    }
}

double evalBuiltinReal(ExprNode& n) {
    auto& a = n.args;
    switch (n.function) {
    case Builtin::Abs:
        return std::fabs(evalReal(*a[0]));
    case Builtin::Acos:
        return realFunction(std::acos, *a[0]);
    case Builtin::Asin:
        return realFunction(std::asin, *a[0]);
    case Builtin::Atan:
        return realFunction(std::atan, *a[0]);
    case Builtin::Cos:
        return realFunction(std::cos, *a[0]);
    case Builtin::Sin:
        return realFunction(std::sin, *a[0]);
    case Builtin::Tan:
        return realFunction(std::tan, *a[0]);
    case Builtin::Sqrt:
        return realFunction(std::sqrt, *a[0]);
    case Builtin::Log10:
        return realFunction(std::log10, *a[0]);
    case Builtin::LogE:
        return realFunction(std::log, *a[0]);
    case Builtin::Round: {
        const double value = evalReal(*a[0]);
        return roundTo(value, evalReal(*a[1]));
    }
    default:
        return 0.0;
    }
}

std::string_view evalBuiltinString(ExprNode& n) {
    auto& a = n.args;
    switch (n.function) {
    case Builtin::Age: {
        const std::int64_t birth = evalInteger(*a[0]);
        return age(n, birth, evalInteger(*a[1]));
    }
    case Builtin::All: {
        const std::string_view text = evalString(*a[0]);
        const std::size_t width = widthArgument(*a[1], 0);
        n.buffer.clear();
        if (text.empty()) return n.buffer;
        while (n.buffer.size() < width) n.buffer.append(text.substr(0, width - n.buffer.size()));
        return n.buffer;
    }
    case Builtin::Center: {
        // The text without its surrounding blanks, centred in the width (an odd spare blank goes
        // to the right) or cut at its end when it is wider.
        const std::string_view raw = evalString(*a[0]);
        const std::size_t width = widthArgument(*a[1], raw.size());
        const std::string_view text = clipped(unpadded(raw)).substr(0, width);
        const std::size_t left = (width - text.size()) / 2;
        n.buffer.assign(left, ' ');
        n.buffer.append(text);
        n.buffer.append(width - n.buffer.size(), ' ');
        return n.buffer;
    }
    case Builtin::Left: {
        // Leading blanks removed, then padded or cut at the end to the width.
        const std::string_view raw = evalString(*a[0]);
        const std::size_t width = widthArgument(*a[1], raw.size());
        n.buffer.assign(unpadded(raw).substr(0, width));
        n.buffer.append(width - n.buffer.size(), ' ');
        return n.buffer;
    }
    case Builtin::Right: {
        // Trailing blanks removed, then padded on the left; a wider text keeps its last
        // characters, so its end stays aligned with the width's end.
        const std::string_view raw = evalString(*a[0]);
        const std::size_t width = widthArgument(*a[1], raw.size());
        std::string_view text = clipped(raw);
        if (text.size() > width) text = text.substr(text.size() - width);
        n.buffer.assign(width - text.size(), ' ');
        n.buffer.append(text);
        return n.buffer;
    }
    case Builtin::Choose: {
        // CHOOSE(index): 1 when the index is non-zero; CHOOSE(index, v1..vn): value "index", or
        // the last value for an index outside 1..n.
        const std::size_t count = a.size() - 1;
        if (count == 0) return storeText(n, evalTruth(*a[0]) ? "1" : "0");
        const std::int64_t index = evalInteger(*a[0]);
        const std::size_t pick = index >= 1 && static_cast<std::uint64_t>(index) <= count
                                     ? static_cast<std::size_t>(index)
                                     : count;
        return evalString(*a[pick]);
    }
    case Builtin::Chr: {
        // The character of the low byte of the code.
        const char c = static_cast<char>(evalInteger(*a[0]) & 0xFF);
        return storeText(n, {&c, 1});
    }
    case Builtin::Clip:
        return clipped(evalString(*a[0]));
    case Builtin::Sub: {
        const std::string_view text = evalString(*a[0]);
        const std::int64_t start = evalInteger(*a[1]);
        const std::int64_t length = evalInteger(*a[2]);
        // SUB counts from 1; a negative start counts from the end (-1 is the last character) and
        // 0 is taken as 1; a negative length takes the rest of the text.
        const auto size = static_cast<std::int64_t>(text.size());
        std::int64_t first = start < 0 ? size + start + 1 : start;
        if (first < 1) first = 1;
        if (first > size) return {};
        const std::int64_t available = size - first + 1;
        const std::int64_t take = length < 0 || length > available ? available : length;
        return text.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(take));
    }
    case Builtin::Upper:
    case Builtin::Lower: {
        const std::string_view text = evalString(*a[0]);
        n.buffer.resize(text.size() > kMaxComputedText ? kMaxComputedText : text.size());
        if (n.function == Builtin::Upper)
            upperText(text.data(), n.buffer.data(), n.buffer.size());
        else
            lowerText(text.data(), n.buffer.data(), n.buffer.size());
        return n.buffer;
    }
    case Builtin::Format: {
        char digits[kNumberTextSize];
        const PictureValue value = pictureValue(*a[0], digits);
        formatByPicture(value, withoutAt(evalString(*a[1])), n.buffer);
        return n.buffer;
    }
    case Builtin::Deformat: {
        const std::string_view text = evalString(*a[0]);
        deformatByPicture(text, withoutAt(evalString(*a[1])), n.buffer);
        return n.buffer;
    }
    case Builtin::GetIni: {
        // GETINI(section, entry, default, file): the file defaults to "WIN.INI".
        const std::string section(evalString(*a[0]));
        const std::string entry(evalString(*a[1]));
        const std::string fallback(evalString(*a[2]));
        std::string file(evalString(*a[3]));
        if (file.empty()) file = "WIN.INI";
        return storeText(n, platform::readProfileString(section, entry, fallback, file));
    }
    default:
        return {};
    }
}

} // namespace docket::runtime
