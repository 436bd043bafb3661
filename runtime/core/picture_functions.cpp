#include "runtime/core/picture_functions.h"

#include "runtime/core/char_tables.h"

namespace docket::runtime {
namespace {

// The width of a string picture "S<width>" (1..255, then only blanks); 0 when `picture` is not a
// valid string picture.
int stringPictureWidth(std::string_view picture) {
    if (picture.empty() || upperChar(static_cast<unsigned char>(picture[0])) != 'S') return 0;
    std::size_t i = 1;
    int width = 0;
    while (i < picture.size() && isDigit(static_cast<unsigned char>(picture[i])) && width <= 255)
        width = width * 10 + (picture[i++] - '0');
    while (i < picture.size() && picture[i] == ' ') ++i;
    if (i != picture.size() || width < 1 || width > 255) return 0;
    return width;
}

bool isStringPicture(std::string_view picture) {
    return !picture.empty() && upperChar(static_cast<unsigned char>(picture[0])) == 'S';
}

} // namespace

// Only the string picture is handled here so far: the value's text, left-aligned and cut or
// padded to the width; an invalid string picture gives the empty text. Other pictures pass the
// value's plain text through unchanged until the picture engine takes them over.
void formatByPicture(const PictureValue& value, std::string_view picture, std::string& out) {
    if (picture.empty()) picture = "S255";
    if (!isStringPicture(picture)) {
        out.assign(value.text);
        return;
    }
    const auto width = static_cast<std::size_t>(stringPictureWidth(picture));
    out.assign(value.text.substr(0, width));
    out.append(width - out.size(), ' ');
}

void deformatByPicture(std::string_view text, std::string_view picture, std::string& out) {
    if (picture.empty()) picture = "S255";
    if (!isStringPicture(picture)) {
        out.assign(text);
        return;
    }
    out.assign(text.substr(0, static_cast<std::size_t>(stringPictureWidth(picture))));
}

} // namespace docket::runtime
