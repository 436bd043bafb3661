#pragma once
// Display pictures. A picture text such as "n-14" or "d17" (written without its "@") compiles into
// a descriptor: a kind, a few option bytes and a row of cells, each a fill or literal character with
// a cell code. Formatting walks the cells to turn a value into text; deformatting reads text typed
// by a user back into a value.
//
// Values by kind: numeric (N), scientific (E) and pattern (P) pictures show numbers; date (D)
// pictures show day numbers and time (T) pictures time numbers (see dates.h); string (S) and
// key-in (K) pictures show texts.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace docket::runtime {

enum class PictureKind : std::uint8_t {
    Numeric = 0,
    Scientific = 1,
    Date = 2,
    Time = 3,
    Pattern = 4,
    String = 5,
    KeyIn = 6,
};

namespace cell {
inline constexpr std::uint8_t Literal = 0;
inline constexpr std::uint8_t Grouping = 1;
inline constexpr std::uint8_t Decimal = 2;
inline constexpr std::uint8_t Digit = 3;      // a leading zero shows the fill ("0" or "*")
inline constexpr std::uint8_t BlankDigit = 4; // a leading zero shows blank
inline constexpr std::uint8_t Sign = 5;       // "-", "(" or ")", shown for negative values only
inline constexpr std::uint8_t Currency = 6;
inline constexpr std::uint8_t Month = 7;
inline constexpr std::uint8_t Day = 8;
inline constexpr std::uint8_t Year = 9;
inline constexpr std::uint8_t MonthName = 10;
inline constexpr std::uint8_t Hour = 11;
inline constexpr std::uint8_t Minute = 12;
inline constexpr std::uint8_t Second = 13;
inline constexpr std::uint8_t KeyLetter = 14;
inline constexpr std::uint8_t KeyUpper = 15;
inline constexpr std::uint8_t KeyLower = 16;
inline constexpr std::uint8_t KeyAny = 17;
inline constexpr std::uint8_t Separator = 19;  // date/time separator, replaced by a picture's separator
inline constexpr std::uint8_t Designator = 20; // AM/PM
inline constexpr std::uint8_t ExponentSign = 21;
inline constexpr std::uint8_t ImpliedDecimal = 22; // takes no output position
inline constexpr std::uint8_t KeyMarker = 23;
} // namespace cell

struct PictureCell {
    char fill = 0;
    std::uint8_t code = 0;
    friend bool operator==(const PictureCell&, const PictureCell&) = default;
};

inline constexpr std::size_t kMaxPictureCells = 255;

// The compiled picture. The invalid picture is all zero (width 0, no cells) and formats every value
// as an empty text.
struct Picture {
    PictureKind kind = PictureKind::Numeric;
    std::uint8_t groupFlags = 0; // 1 date and time, 2 scientific, 3 numeric and pattern, 0 others
    bool blankWhenZero = false;
    // Output positions. Equal to the number of cells, except that an implied decimal cell of a
    // numeric picture takes no position.
    std::uint8_t width = 0;
    std::uint8_t yearWindow = 0;   // date pictures; 80 unless the picture says otherwise
    std::uint8_t formatNumber = 0; // date and time pictures
    std::vector<PictureCell> cells;

    bool valid() const { return width != 0; }
    friend bool operator==(const Picture&, const Picture&) = default;
};

// Compiles a picture text without its leading "@"; its first letter, in either case, selects the
// kind. An empty text is the string picture of width 255. Texts that do not compile, or longer than
// 255 characters, give the invalid picture.
Picture compilePicture(std::string_view text);

// Value to text. formatNumber serves numeric, scientific, pattern, date and time pictures (a day or
// time number for the last two); for string and key-in pictures it formats the number's plain
// text. formatText serves string and key-in pictures; for the other kinds it reads the text's
// leading number (0 when there is none). The invalid picture gives the empty text.
std::string formatNumber(double value, const Picture& picture);
std::string formatText(std::string_view text, const Picture& picture);

// Text to value: the number (or day or time number) typed in `text`, 0 when it cannot be read;
// used for every kind but string and key-in.
double deformatNumber(std::string_view text, const Picture& picture);
// Text to value for string and key-in pictures: the text as it would be stored. For the other kinds
// the plain text of deformatNumber's result.
std::string deformatText(std::string_view text, const Picture& picture);

// True for the kinds whose values are numbers (everything but string and key-in).
inline bool isNumericPicture(const Picture& picture) {
    return picture.kind != PictureKind::String && picture.kind != PictureKind::KeyIn;
}

} // namespace docket::runtime
