#pragma once
// Shared between the picture engine's files: the formatters and readers of each kind.
#include <string>
#include <string_view>

#include "runtime/picture/picture.h"

namespace docket::runtime::picture_detail {

// "January" ... "December".
std::string_view monthName(int month);
// Formats 3, 7 and 8 show month names in upper case; the others as stored.
inline bool upperCaseMonthNames(const Picture& picture) {
    return picture.formatNumber == 3 || picture.formatNumber == 7 || picture.formatNumber == 8;
}
// Time formats 7 and 8 show the regional designators; the others "AM" and "PM".
inline bool regionalDesignators(const Picture& picture) {
    return picture.formatNumber == 7 || picture.formatNumber == 8;
}

std::string formatNumeric(double value, const Picture& picture);
std::string formatScientific(double value, const Picture& picture);
std::string formatPattern(double value, const Picture& picture);
std::string formatDate(double value, const Picture& picture);
std::string formatTime(double value, const Picture& picture);
std::string formatKeyIn(std::string_view text, const Picture& picture);

double readNumeric(std::string_view text, const Picture& picture);
double readScientific(std::string_view text, const Picture& picture);
double readPattern(std::string_view text, const Picture& picture);
double readDate(std::string_view text, const Picture& picture);
double readTime(std::string_view text, const Picture& picture);
std::string readKeyIn(std::string_view text, const Picture& picture);

} // namespace docket::runtime::picture_detail
