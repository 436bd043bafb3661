#include "rtf/codec/rich_text.h"

#include "rtf/codec/utf8.h"

namespace docket::rtf {
namespace {

constexpr char32_t kBullet = 0x2022;
constexpr int kMaxRoman = 3999;

std::string letters(int number, char first) {
    // 1 a, 26 z, 27 aa, 52 zz, 53 aaa: the letter repeats, as word processors count.
    const int repeat = (number - 1) / 26 + 1;
    return std::string(static_cast<std::size_t>(repeat > 100 ? 100 : repeat),
                       static_cast<char>(first + (number - 1) % 26));
}

std::string roman(int number, bool upper) {
    static constexpr struct {
        int value;
        const char* digits;
    } kSteps[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
                  {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
    std::string out;
    for (const auto& step : kSteps)
        for (; number >= step.value; number -= step.value) out += step.digits;
    if (upper)
        for (char& c : out) c = static_cast<char>(c - 'a' + 'A');
    return out;
}

} // namespace

std::string listMarker(const ListFormat& list, int number) {
    std::string out;
    switch (list.style) {
    case ListStyle::None:
        return out;
    case ListStyle::Bullet:
        appendUtf8(out, kBullet);
        return out;
    default:
        break;
    }
    out = list.textBefore;
    const bool counted = number >= 1;
    switch (list.style) {
    case ListStyle::LowerLetter:
    case ListStyle::UpperLetter:
        out += counted ? letters(number, list.style == ListStyle::LowerLetter ? 'a' : 'A')
                       : std::to_string(number);
        break;
    case ListStyle::LowerRoman:
    case ListStyle::UpperRoman:
        out += counted && number <= kMaxRoman ? roman(number, list.style == ListStyle::UpperRoman)
                                              : std::to_string(number);
        break;
    default:
        out += std::to_string(number);
        break;
    }
    out += list.textAfter;
    return out;
}

std::string ListNumbering::next(const ListFormat& list) {
    lastNumber_ = 0;
    if (!list.active()) {
        reset();
        return {};
    }
    const int level = list.level < 0 ? 0 : list.level >= kLevels ? kLevels - 1 : list.level;
    for (int deeper = level + 1; deeper < kLevels; ++deeper) lists_[deeper].style = ListStyle::None;
    ListFormat& running = lists_[level];
    if (running.style == list.style && running.start == list.start && running.textBefore == list.textBefore &&
        running.textAfter == list.textAfter && counts_[level] < 1000000) {
        ++counts_[level];
    } else {
        running = list;
        counts_[level] = list.start;
    }
    if (list.style != ListStyle::Bullet) lastNumber_ = counts_[level];
    return listMarker(list, counts_[level]);
}

void ListNumbering::reset() {
    for (int level = 0; level < kLevels; ++level) {
        lists_[level].style = ListStyle::None;
        counts_[level] = 0;
    }
}

} // namespace docket::rtf
