#pragma once
// TextMatcher: the class library's word matcher, used by its text searches. It finds a word in a
// text under two options: 1 compares without regard to (ASCII) case, 2 matches whole words only (a
// hit must not have a letter, digit or "_" right before or after it). Texts are Windows-1252 bytes.
// The program keeps one, set up at start-up; it holds no resources, so Shutdown only marks it.
#include <string_view>

namespace docket::classes {

class TextMatcher {
public:
    static constexpr int kCaseInsensitive = 1;
    static constexpr int kWholeWord = 2;

    void Init();
    void Shutdown();
    void SetOption(int option, bool on);
    bool Option(int option) const;
    // True when `word` occurs in `text` under the options; an empty word matches nothing.
    bool Matches(std::string_view text, std::string_view word) const;

private:
    bool caseInsensitive_ = false;
    bool wholeWord_ = false;
};

} // namespace docket::classes
