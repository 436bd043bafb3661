#include "classes/window/text_matcher.h"

namespace docket::classes {
namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool wordChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u >= 0xC0;
}

} // namespace

void TextMatcher::Init() {
    caseInsensitive_ = false;
    wholeWord_ = false;
}

void TextMatcher::Shutdown() {}

void TextMatcher::SetOption(int option, bool on) {
    if (option == kCaseInsensitive) caseInsensitive_ = on;
    if (option == kWholeWord) wholeWord_ = on;
}

bool TextMatcher::Option(int option) const {
    return option == kCaseInsensitive ? caseInsensitive_ : option == kWholeWord ? wholeWord_ : false;
}

bool TextMatcher::Matches(std::string_view text, std::string_view word) const {
    if (word.empty() || word.size() > text.size()) return false;
    for (std::size_t at = 0; at + word.size() <= text.size(); ++at) {
        bool hit = true;
        for (std::size_t i = 0; hit && i < word.size(); ++i)
            hit = caseInsensitive_ ? lower(text[at + i]) == lower(word[i]) : text[at + i] == word[i];
        if (!hit) continue;
        if (wholeWord_ && ((at > 0 && wordChar(text[at - 1])) ||
                           (at + word.size() < text.size() && wordChar(text[at + word.size()]))))
            continue;
        return true;
    }
    return false;
}

} // namespace docket::classes
