#pragma once
// FORMAT and DEFORMAT of the expression language, through the picture engine. A picture is given
// without its leading "@"; an empty picture means "S255".
#include <string>
#include <string_view>

namespace docket::runtime {

// The value to format: a number (with its plain text) or a text.
struct PictureValue {
    bool isNumber = false;
    double number = 0.0;
    std::string_view text; // the text, or the number's plain text
};

// Formats `value` by `picture` into `out` (its capacity is reused).
void formatByPicture(const PictureValue& value, std::string_view picture, std::string& out);
// Turns displayed `text` back into the stored form's text.
void deformatByPicture(std::string_view text, std::string_view picture, std::string& out);

} // namespace docket::runtime
