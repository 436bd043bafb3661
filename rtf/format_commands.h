#pragma once
// The editor's formatting logic on the rich-text control: fonts and effects of the selection,
// paragraph alignment, bullets and numbering, tab stops, and the selected text. No window, bar or
// dialog appears here; the editor's commands (rtf/editor_commands.cpp) call these after asking
// the user, and the tests call them on a bare control.
//
// What it promises:
// - A change of a character format applies to the selection; with no selection and the caret
//   strictly inside a word (word characters on both sides) it applies to that word, otherwise to
//   what is typed next. The caret and the selection stay where they were.
// - toggleEffect leaves a selection unchanged when its characters differ in that effect.
// - Numbering gives the paragraph a hanging indent of 180 twips and starts at 1; switching it off
//   takes both away.
// - Tab stops stay ascending and at most 32 per paragraph; a position that snaps to 0 adds
//   nothing. Pixel and twip conversions multiply before they divide (no precision lost to an
//   integer quotient).
// - selectedText has no fixed buffer: any selection length is returned whole.
//
// GUI thread, like the control.
#include "ui/rich_text_control.h"

#include <string>
#include <vector>

namespace docket::rtf {

// The font style value: weight in the low 11 bits, then the effects.
namespace fontstyle {
inline constexpr int WeightMask = 0x7FF;
inline constexpr int Normal = 400;
inline constexpr int Bold = 700;
inline constexpr int Protected = 0x800;
inline constexpr int Italic = 0x1000;
inline constexpr int Underline = 0x2000;
inline constexpr int StrikeOut = 0x4000;
} // namespace fontstyle

// A font as the editor passes it around: face, points, colour (0x00BBGGRR, -1 automatic), style.
struct FontChoice {
    std::string face; // Windows-1252, at most 31 characters
    int size = 0;
    long colour = 0;
    int style = fontstyle::Normal;
    bool operator==(const FontChoice&) const = default;
};

// The ruler's grid: a sixteenth of an inch.
inline constexpr int kTabGrid = 90;
inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kHangingIndent = 180;

// Rounds to the nearest multiple of the grid (45 twips past a multiple goes up, 44 down).
int snapToGrid(int twips);
// Pixels at `dpi` to twips, and back (rounded to the nearest pixel).
int twipsFromPixels(int pixels, int dpi);
int pixelsFromTwips(int twips, int dpi);

// What a click on the ruler did to a paragraph's stops.
enum class TabChange { Added, Removed, Refused };
// Adds `position` to the ascending stops, or removes it when it is there already. Refused when
// the position is not above 0 or 32 stops are set.
TabChange toggleTabStop(std::vector<int>& stops, int position);

class FormatCommands {
public:
    explicit FormatCommands(ui::RichTextControl& text) : text_(text) {}

    // The font of the selection (mixed members read as at the selection's start) or the default.
    FontChoice selectionFont(bool selection) const;
    // Writes every member of the font to the selection (or word), or as the default format.
    void applyCharFormat(const FontChoice& font, bool asDefault);
    // One member each, to the selection (or word); the rest of the format stays.
    void setFace(const std::string& face);
    void setSize(int points);
    void setColour(long colour);
    void setStyle(int style); // sets only the effects the style names (bold needs weight 700)

    // Flips one effect (a font style value: 700, 0x1000, 0x2000, 0x4000 or 0x800). False when
    // nothing changed: an unknown style, or a selection mixed in that effect.
    bool toggleEffect(int style);

    void align(int alignment);    // ui::align::Left, Center or Right, on the selected paragraphs
    void setNumbering(int style); // 1 bullets .. 6 upper-case Roman numerals
    void numberingOff();

    // The tab stops (twips) of the paragraph holding the selection's start.
    std::vector<int> tabStops() const;
    // Adds or removes a stop at the snapped position on every selected paragraph.
    TabChange clickTabStop(int twips);

    // The selected text; unless keepSelection, from..to is selected first.
    QString selectedText(int from, int to, bool keepSelection) const;

    // The word range around the caret when it lies strictly inside a word; false otherwise.
    bool wordAtCaret(int& start, int& end) const;

private:
    void setChar(const ui::CharFormat& format);

    ui::RichTextControl& text_;
};

} // namespace docket::rtf
