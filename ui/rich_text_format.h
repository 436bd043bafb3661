#pragma once
// The rich-text control's formats and their mapping onto Qt's text formats. The editor speaks of
// a selection's character format and paragraph format with masks (a bit set says which members
// count), in twips (1/20 point, 1440 per inch) for heights, indents and tab stops, and with the
// numbering styles 1 bullets, 2 Arabic, 3 and 4 lower- and upper-case letters, 5 and 6 lower- and
// upper-case Roman numerals. The mask and effect bits keep the numbers the editor's commands use.
//
// Twips survive a trip through QTextDocument exactly: the block format keeps the editor's values
// in properties of its own beside the pixels the layout uses (15 twips to the pixel, the layout's
// 96 pixels per inch). A block whose pixels no longer match those properties (someone changed the
// margins without them) reads its twips back from the pixels. Nothing here goes through HTML,
// which would drop tab stops. The adapter that fills a document from RTF uses these functions too,
// so the control and the documents it is given agree on every format.
#include <QColor>
#include <QString>

#include <cstdint>
#include <vector>

class QFont;
class QTextBlock;
class QTextBlockFormat;
class QTextCharFormat;
class QTextCursor;
class QTextDocument;

namespace docket::ui {

// Character-format mask bits.
namespace cfm {
inline constexpr std::uint32_t Bold = 0x1;
inline constexpr std::uint32_t Italic = 0x2;
inline constexpr std::uint32_t Underline = 0x4;
inline constexpr std::uint32_t StrikeOut = 0x8;
inline constexpr std::uint32_t Protected = 0x10;
inline constexpr std::uint32_t Link = 0x20;
inline constexpr std::uint32_t BackColor = 0x04000000;
inline constexpr std::uint32_t Charset = 0x08000000;
inline constexpr std::uint32_t Offset = 0x10000000;
inline constexpr std::uint32_t Face = 0x20000000;
inline constexpr std::uint32_t Color = 0x40000000;
inline constexpr std::uint32_t Size = 0x80000000;
inline constexpr std::uint32_t All = 0xF800003F; // effects, offset, charset, face, colour, size
} // namespace cfm

// Character effects (the bits of CharFormat::effects).
namespace cfe {
inline constexpr std::uint32_t Bold = 0x1;
inline constexpr std::uint32_t Italic = 0x2;
inline constexpr std::uint32_t Underline = 0x4;
inline constexpr std::uint32_t StrikeOut = 0x8;
inline constexpr std::uint32_t Protected = 0x10;
inline constexpr std::uint32_t Link = 0x20;
inline constexpr std::uint32_t AutoBackColor = 0x04000000; // no highlight
inline constexpr std::uint32_t AutoColor = 0x40000000;     // the window's text colour
} // namespace cfe

struct CharFormat {
    std::uint32_t mask = 0;
    std::uint32_t effects = 0;
    int height = 0;     // twips
    int offset = 0;     // twips above the baseline; below it when negative
    long color = 0;     // 0x00BBGGRR
    long backColor = 0; // 0x00BBGGRR, counts unless effects hold AutoBackColor
    int charset = 0;    // kept for the writer; the text itself is Unicode
    QString face;
};

// Paragraph-format mask bits.
namespace pfm {
inline constexpr std::uint32_t StartIndent = 0x1;
inline constexpr std::uint32_t RightIndent = 0x2;
inline constexpr std::uint32_t Offset = 0x4;
inline constexpr std::uint32_t Alignment = 0x8;
inline constexpr std::uint32_t TabStops = 0x10;
inline constexpr std::uint32_t Numbering = 0x20; // style, level, prefix and suffix
inline constexpr std::uint32_t SpaceBefore = 0x40;
inline constexpr std::uint32_t SpaceAfter = 0x80;
inline constexpr std::uint32_t NumberingStart = 0x8000;
inline constexpr std::uint32_t OffsetIndent = 0x80000000; // StartIndent relative to the current one
inline constexpr std::uint32_t All = 0x800080FF;
} // namespace pfm

namespace align {
inline constexpr int Left = 1, Right = 2, Center = 3, Justify = 4;
}

namespace numbering {
inline constexpr int None = 0, Bullets = 1, Arabic = 2, LowerLetters = 3, UpperLetters = 4, LowerRoman = 5,
                     UpperRoman = 6;
}

namespace tabkind {
inline constexpr int Left = 0, Center = 1, Right = 2, Decimal = 3, Bar = 4; // a bar is kept, laid out as left
}
namespace tableader {
inline constexpr int None = 0, Dots = 1, Hyphens = 2, Underline = 3, ThickLine = 4, Equals = 5;
}

inline constexpr int kMaxTabStops = 32;
inline constexpr double kTwipsPerPixel = 15.0;

struct TabStop {
    int position = 0; // twips from the left margin
    int kind = tabkind::Left;
    int leader = tableader::None;
    bool operator==(const TabStop&) const = default;
};

struct ParaFormat {
    std::uint32_t mask = 0;
    int numbering = numbering::None;
    int numberingStart = 1;
    int startIndent = 0; // twips: the first line's indent
    int rightIndent = 0;
    int offset = 0; // twips: later lines relative to the first (a hanging indent is positive)
    int alignment = align::Left;
    int spaceBefore = 0; // twips
    int spaceAfter = 0;
    std::vector<TabStop> tabs; // ascending, at most kMaxTabStops
    int listLevel = 0;         // nesting level of a list item, from 0
    QString numberPrefix;      // text around a list item's number: "(" and ")" give "(1)"
    QString numberSuffix = QStringLiteral(".");
};

// Character formats. toQt sets only the members the mask names (so merging it changes only
// those); fromQt reads every member, taking what the format leaves open from `base` (the
// document's default font and the window's text colour).
QTextCharFormat toQtCharFormat(const CharFormat& format);
CharFormat fromQtCharFormat(const QTextCharFormat& format, const QFont& base, const QColor& text);

// Paragraph formats of a block: the members the mask names are changed, the rest stay. Numbering
// joins the list of the block before when that list has the same style, level, prefix and suffix,
// else starts a new list.
void applyParaFormat(QTextCursor& cursor, const ParaFormat& format);
ParaFormat paraFormatOf(const QTextBlock& block);

// The numbering style of a Qt list style, and back (0 for styles the editor has no number for).
int numberingOf(int qtListStyle);
int qtListStyle(int numberingStyle);

// The length of a document in characters as the editor counts them: a paragraph break is one.
int documentLength(const QTextDocument& document);

} // namespace docket::ui
