#include "classes/window/thumb_steps.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "runtime/core/char_tables.h"
#include "runtime/core/type_code.h"

namespace docket::classes {

using runtime::BoundVariable;

namespace {

constexpr int kEntries = 100;
constexpr std::size_t kRootLimit = 40;
constexpr std::size_t kValueLimit = 80;

// Name-like prefixes, spaced unevenly over the alphabet as surnames are.
constexpr char kNameTable[] = "   ALBAMEARNBAKBATBENBIABOBBRABROBUACACCARCENCHRCOECONCORCRUDASDELDIADONDUR"
                              "ELDEVEFELFISFLOFREFUTGARGIBGOLGOSGREGUTHAMHEMHOBHOTINGJASJONKAGKEAKIRKORKYO"
                              "LATLEOLIGLOUMACMAQMARMAUMCKMERMILMONMORNATNOLOKEPAGPAUPETPINPORPULRAUREYROB"
                              "ROSRUBSALSCASCHSCRSHASIGSKISNASOUSTESTISUNTAYTIRTUCVANWACWASWEIWIEWIMWOLYOR";
static_assert(sizeof kNameTable == 301);

// Two blanks, then per letter its quarters by the second letter: blank, F, N, T. A has no entry
// with the blank (the first entry stands for it); Q and Z only the blank and N.
std::string buildAlphaTable() {
    std::string t = "  ";
    for (char c = 'A'; c <= 'Z'; ++c) {
        const char* seconds = c == 'A' ? "FNT" : (c == 'Q' || c == 'Z') ? " N" : " FNT";
        for (const char* s = seconds; *s; ++s) {
            t += c;
            t += *s;
        }
    }
    return t;
}

constexpr unsigned char kPunctuation[] = {'`', '!',  '"', 0xA3, '$', '%', '%',  '^', '&', '*', '(',
                                          ')', '\'', '-', '=',  '_', '+', ']',  '[', '#', ';', '~',
                                          '@', ':',  '/', '.',  ',', '?', '\\', '|', ' '};
static_assert(sizeof kPunctuation == 31);

std::string trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    return std::string(s);
}

bool isText(runtime::TypeCode type) {
    return type == runtime::TypeCode::String || type == runtime::TypeCode::CString ||
           type == runtime::TypeCode::PString;
}

std::string textOf(const BoundVariable& v) {
    if (!v.data) return {};
    if (isText(v.type)) return trimRight(runtime::readTextVariable(v));
    return std::to_string(readNumber(v));
}

void storeText(const BoundVariable& v, const std::string& text) {
    if (!v.data) return;
    if (isText(v.type)) {
        runtime::writeText(v.type, static_cast<std::uint8_t*>(v.data), v.size, text);
        return;
    }
    char copy[256] = {};
    std::memcpy(copy, text.data(), std::min(text.size(), sizeof copy - 1));
    assignValue(v, runtime::bindCString(copy, sizeof copy));
}

std::uint8_t clampPosition(std::int64_t p) {
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(p, 1, kEntries));
}

} // namespace

std::string_view nameStepTable() {
    return {kNameTable, 300};
}

std::string_view alphaStepTable() {
    static const std::string table = buildAlphaTable();
    return table;
}

std::string_view stepPunctuation() {
    return {reinterpret_cast<const char*>(kPunctuation), sizeof kPunctuation};
}

// ---- TextThumbStep ---------------------------------------------------------------------------

void TextThumbStep::Init(std::uint8_t lookupMode, std::uint8_t controls) {
    CONTROLS = controls;
    LOOKUPMODE = lookupMode;
    ROOT.clear();
    SORTCHARS.clear();
    if (lookupMode == NameTable) {
        REF = std::string(nameStepTable());
        TESTLEN = 3;
        return;
    }
    if (lookupMode == AlphaTable) {
        REF = std::string(alphaStepTable());
        TESTLEN = 2;
        return;
    }
    LOOKUPMODE = RuntimeTable;
    TESTLEN = 4;
    REF.assign(4 * kEntries, ' ');
    const std::string_view punctuation = stepPunctuation();
    auto admit = [&](std::uint8_t flags, unsigned char c) {
        if ((flags & step_flag::kPunctuation) &&
            punctuation.find(static_cast<char>(c)) != std::string_view::npos)
            return true;
        if ((flags & step_flag::kDigits) && runtime::isDigit(c)) return true;
        return (flags & step_flag::kLetters) && runtime::isLetter(c) &&
               ((flags & step_flag::kCaseSensitive) || runtime::upperChar(c) == c);
    };
    for (int c = 1; c <= 255; ++c)
        if (admit(controls, static_cast<unsigned char>(c))) SORTCHARS += static_cast<char>(c);
    // An empty set would leave no digits to count in: the letters stand in for it.
    if (SORTCHARS.empty())
        for (int c = 1; c <= 255; ++c)
            if (admit(step_flag::kLetters | (controls & step_flag::kCaseSensitive),
                      static_cast<unsigned char>(c)))
                SORTCHARS += static_cast<char>(c);
}

void TextThumbStep::Shutdown() {
    REF.clear();
    SORTCHARS.clear();
    ROOT.clear();
}

std::string TextThumbStep::prepared(std::string_view value) const {
    std::string v(value.substr(0, kValueLimit));
    if (!(CONTROLS & step_flag::kCaseSensitive)) v = runtime::upperText(v);
    return v;
}

void TextThumbStep::SetBounds(std::string_view firstValue, std::string_view lastValue) {
    if (LOOKUPMODE != RuntimeTable || SORTCHARS.empty()) return;
    // Both values are compared as the table will be (upper-cased unless case-sensitive), so the
    // root found here is a prefix PercentFor can strip.
    const std::string first = prepared(trimRight(firstValue)), last = prepared(trimRight(lastValue));
    std::size_t common = 0;
    while (common < kRootLimit && common < first.size() && common < last.size() &&
           first[common] == last[common])
        ++common;
    ROOT = first.substr(0, common);
    const std::int64_t n = static_cast<std::int64_t>(SORTCHARS.size());
    auto number = [&](const std::string& value, char pad) {
        std::string part = value.substr(std::min(common, value.size()), 4);
        part.resize(4, pad);
        std::int64_t result = 0;
        for (char c : part) {
            const std::size_t at = SORTCHARS.find(c);
            result = result * n + (at == std::string::npos ? 0 : static_cast<std::int64_t>(at));
        }
        return result;
    };
    const std::int64_t low = number(first, SORTCHARS.front());
    const std::int64_t high = number(last, SORTCHARS.back());
    const std::int64_t step = (high - low) / kEntries;
    REF.assign(4 * kEntries, ' ');
    for (int r = 0; r < kEntries; ++r) {
        std::int64_t value = std::max<std::int64_t>(0, low + r * step);
        char entry[4];
        for (int d = 3; d >= 0; --d) {
            entry[d] = SORTCHARS[static_cast<std::size_t>(value % n)];
            value /= n;
        }
        const int slot = descending() ? kEntries - 1 - r : r;
        REF.replace(static_cast<std::size_t>(slot) * 4, 4, entry, 4);
    }
}

void TextThumbStep::SetBounds(const BoundVariable& first, const BoundVariable& last) {
    SetBounds(textOf(first), textOf(last));
}

std::uint8_t TextThumbStep::PercentFor(std::string_view value) const {
    if (TESTLEN == 0 || REF.size() < std::size_t(TESTLEN) * kEntries) return 1;
    std::string v = !ROOT.empty()
                        ? std::string(value.substr(std::min(ROOT.size(), value.size()), TESTLEN + 1u))
                        : std::string(value.substr(0, kValueLimit));
    v = prepared(v);
    int count = 0;
    while (count < kEntries && std::string_view(REF).substr(std::size_t(count) * TESTLEN, TESTLEN) <= v)
        ++count;
    return clampPosition(descending() ? kEntries - count : count);
}

std::string TextThumbStep::ValueAt(int position) const {
    if (TESTLEN == 0 || REF.size() < std::size_t(TESTLEN) * kEntries) return ROOT;
    const int p = clampPosition(position);
    const int a = clampPosition(descending() ? kEntries - p : p);
    return ROOT + REF.substr(std::size_t(a - 1) * TESTLEN, TESTLEN);
}

std::uint8_t TextThumbStep::PercentFor(const BoundVariable& value) {
    return PercentFor(textOf(value));
}

void TextThumbStep::ValueAt(std::uint8_t position, const BoundVariable& into) {
    storeText(into, trimRight(ValueAt(position)));
}

// ---- RealThumbStep and IntegerThumbStep ------------------------------------------------------

namespace {
// Where `v` lies between low and high, 1..100 (50 when they are equal), mirrored when descending.
std::uint8_t percentBetween(double v, double low, double high, bool descending) {
    if (high == low) return 50;
    const double raw = std::trunc((v - low) * 100.0 / (high - low));
    const double p = descending ? 100.0 - raw : raw;
    return clampPosition(static_cast<std::int64_t>(std::clamp(p, -1.0, 101.0)));
}
} // namespace

void RealThumbStep::SetBounds(double first, double last) {
    LOW = descending() ? last : first;
    HIGH = descending() ? first : last;
}

std::uint8_t RealThumbStep::PercentFor(double value) const {
    return percentBetween(value, LOW, HIGH, descending());
}

double RealThumbStep::ValueAt(int position) const {
    const int p = clampPosition(position);
    const int a = descending() ? kEntries - p : p;
    return LOW + a * (HIGH - LOW) / 100.0;
}

std::uint8_t RealThumbStep::PercentFor(const BoundVariable& value) {
    return PercentFor(readNumber(value));
}

void RealThumbStep::ValueAt(std::uint8_t position, const BoundVariable& into) {
    writeNumber(into, ValueAt(position));
}

void RealThumbStep::SetBounds(const BoundVariable& first, const BoundVariable& last) {
    SetBounds(readNumber(first), readNumber(last));
}

void IntegerThumbStep::SetBounds(double first, double last) {
    auto whole = [](double v) {
        return static_cast<std::int32_t>(std::clamp(std::round(v), -2147483648.0, 2147483647.0));
    };
    LOW = whole(descending() ? last : first);
    HIGH = whole(descending() ? first : last);
}

std::uint8_t IntegerThumbStep::PercentFor(std::int64_t value) const {
    return percentBetween(static_cast<double>(value), LOW, HIGH, descending());
}

std::int64_t IntegerThumbStep::ValueAt(int position) const {
    const int p = clampPosition(position);
    const std::int64_t a = descending() ? kEntries - p : p;
    return std::int64_t{LOW} + a * (std::int64_t{HIGH} - std::int64_t{LOW}) / 100;
}

std::uint8_t IntegerThumbStep::PercentFor(const BoundVariable& value) {
    return PercentFor(static_cast<std::int64_t>(std::llround(readNumber(value))));
}

void IntegerThumbStep::ValueAt(std::uint8_t position, const BoundVariable& into) {
    writeNumber(into, static_cast<double>(ValueAt(position)));
}

void IntegerThumbStep::SetBounds(const BoundVariable& first, const BoundVariable& last) {
    SetBounds(readNumber(first), readNumber(last));
}

} // namespace docket::classes
