#include "runtime/expression/picture_functions.h"

#include "runtime/picture/picture.h"
#include "runtime/core/value.h"

#include <vector>

namespace docket::runtime {
namespace {

std::string_view withoutAt(std::string_view picture) {
    if (!picture.empty() && picture.front() == '@') picture.remove_prefix(1);
    if (picture.empty()) picture = "S255";
    return picture;
}

// Filters format by the same few pictures over and over: the last pictures compiled on this
// thread are kept, so a warmed-up filter compiles nothing. Short results stay in the strings'
// own storage; a long formatted text still allocates.
const Picture& compiled(std::string_view picture) {
    struct Entry {
        std::string text;
        Picture picture;
    };
    constexpr std::size_t kKept = 16;
    thread_local std::vector<Entry> cache;
    thread_local std::size_t next = 0;
    for (const Entry& entry : cache)
        if (entry.text == picture) return entry.picture;
    if (cache.size() < kKept) {
        cache.push_back({std::string(picture), compilePicture(picture)});
        return cache.back().picture;
    }
    Entry& replaced = cache[next++ % kKept];
    replaced.text.assign(picture);
    replaced.picture = compilePicture(picture);
    return replaced.picture;
}

} // namespace

// Numeric pictures (N, E, D, T) format the value as a number, a text value being read as one;
// the others format its text. An invalid picture gives the empty text.
void formatByPicture(const PictureValue& value, std::string_view picture, std::string& out) {
    const Picture& p = compiled(withoutAt(picture));
    if (isNumericPicture(p))
        out = formatNumber(value.isNumber ? value.number : textToReal(value.text), p);
    else
        out = formatText(value.text, p);
}

// The stored form of displayed text: a number's plain text for numeric pictures, the text for the
// others; the empty text for an invalid picture.
void deformatByPicture(std::string_view text, std::string_view picture, std::string& out) {
    const Picture& p = compiled(withoutAt(picture));
    if (!p.valid()) {
        out.clear();
        return;
    }
    if (isNumericPicture(p)) {
        char buffer[kNumberTextSize];
        out.assign(buffer, formatReal(deformatNumber(text, p), buffer));
    } else {
        out = deformatText(text, p);
    }
}

} // namespace docket::runtime
