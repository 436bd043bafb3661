#include "rtf/format_commands.h"

#include "ui/text.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace docket::rtf {
namespace {

using Scope = ui::RichTextControl::Scope;

// Letters, digits and the underscore make words, as the text's own word moves see them.
bool wordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c.category() == QChar::Mark_NonSpacing;
}

std::uint32_t effectOf(int style) {
    switch (style) {
    case fontstyle::Bold:
        return ui::cfe::Bold;
    case fontstyle::Italic:
        return ui::cfe::Italic;
    case fontstyle::Underline:
        return ui::cfe::Underline;
    case fontstyle::StrikeOut:
        return ui::cfe::StrikeOut;
    case fontstyle::Protected:
        return ui::cfe::Protected;
    default:
        return 0;
    }
}

// The effects a style value names; a weight other than 400 and 700 names none.
std::uint32_t effectsOf(int style) {
    std::uint32_t effects = 0;
    if ((style & fontstyle::WeightMask) == fontstyle::Bold) effects |= ui::cfe::Bold;
    if (style & fontstyle::Italic) effects |= ui::cfe::Italic;
    if (style & fontstyle::Underline) effects |= ui::cfe::Underline;
    if (style & fontstyle::StrikeOut) effects |= ui::cfe::StrikeOut;
    return effects;
}

} // namespace

int snapToGrid(int twips) {
    if (twips <= 0) return 0;
    const int r = twips % kTabGrid;
    return r >= kTabGrid / 2 ? twips + kTabGrid - r : twips - r;
}

int twipsFromPixels(int pixels, int dpi) {
    if (dpi <= 0) return 0;
    return static_cast<int>(static_cast<long long>(pixels) * kTwipsPerInch / dpi);
}

int pixelsFromTwips(int twips, int dpi) {
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / kTwipsPerInch));
}

TabChange toggleTabStop(std::vector<int>& stops, int position) {
    const auto at = std::lower_bound(stops.begin(), stops.end(), position);
    if (at != stops.end() && *at == position) {
        stops.erase(at);
        return TabChange::Removed;
    }
    if (position <= 0 || stops.size() >= static_cast<std::size_t>(ui::kMaxTabStops))
        return TabChange::Refused;
    stops.insert(at, position);
    return TabChange::Added;
}

bool FormatCommands::wordAtCaret(int& start, int& end) const {
    const QTextCursor c = text_.textCursor();
    if (c.hasSelection()) return false;
    const QTextBlock block = c.block();
    const QString line = block.text();
    const int at = c.position() - block.position();
    if (at <= 0 || at >= line.size() || !wordChar(line.at(at - 1)) || !wordChar(line.at(at))) return false;
    int first = at, last = at;
    while (first > 0 && wordChar(line.at(first - 1))) --first;
    while (last < line.size() && wordChar(line.at(last))) ++last;
    start = block.position() + first;
    end = block.position() + last;
    return true;
}

void FormatCommands::setChar(const ui::CharFormat& format) {
    int start = 0, end = 0;
    if (wordAtCaret(start, end)) {
        // The word changes; the caret stays where it was.
        QTextCursor word(text_.document());
        word.setPosition(start);
        word.setPosition(end, QTextCursor::KeepAnchor);
        word.mergeCharFormat(ui::toQtCharFormat(format));
        // What is typed next at the caret takes the word's new format too.
        QTextCursor caret = text_.textCursor();
        caret.mergeCharFormat(ui::toQtCharFormat(format));
        text_.setTextCursor(caret);
        return;
    }
    text_.setCharFormat(format, Scope::Selection);
}

FontChoice FormatCommands::selectionFont(bool selection) const {
    const ui::CharFormat f = text_.charFormat(selection ? Scope::Selection : Scope::Default);
    FontChoice font;
    font.face = ui::fromQt(f.face.left(31));
    font.size = f.height / 20;
    font.colour = (f.effects & ui::cfe::AutoColor) ? -1 : f.color;
    font.style = (f.effects & ui::cfe::Bold) ? fontstyle::Bold : fontstyle::Normal;
    if (f.effects & ui::cfe::Italic) font.style |= fontstyle::Italic;
    if (f.effects & ui::cfe::Underline) font.style |= fontstyle::Underline;
    if (f.effects & ui::cfe::StrikeOut) font.style |= fontstyle::StrikeOut;
    return font;
}

void FormatCommands::applyCharFormat(const FontChoice& font, bool asDefault) {
    ui::CharFormat f;
    f.mask = ui::cfm::All;
    f.face = ui::toQt(font.face.substr(0, 31));
    f.height = font.size * 20;
    if (font.colour < 0)
        f.effects |= ui::cfe::AutoColor;
    else
        f.color = font.colour;
    f.effects |= effectsOf(font.style);
    if (asDefault)
        text_.setCharFormat(f, Scope::Default);
    else
        setChar(f);
}

void FormatCommands::setFace(const std::string& face) {
    if (face.empty()) return;
    ui::CharFormat f;
    f.mask = ui::cfm::Face;
    f.face = ui::toQt(face);
    setChar(f);
}

void FormatCommands::setSize(int points) {
    if (points <= 0) return;
    ui::CharFormat f;
    f.mask = ui::cfm::Size;
    f.height = points * 20;
    setChar(f);
}

void FormatCommands::setColour(long colour) {
    ui::CharFormat f;
    f.mask = ui::cfm::Color;
    if (colour < 0)
        f.effects = ui::cfe::AutoColor;
    else
        f.color = colour;
    setChar(f);
}

void FormatCommands::setStyle(int style) {
    ui::CharFormat f;
    f.effects = effectsOf(style);
    f.mask = f.effects; // the mask bits of the effects are the effect bits
    if (f.mask == 0) return;
    setChar(f);
}

bool FormatCommands::toggleEffect(int style) {
    const std::uint32_t bit = effectOf(style);
    if (bit == 0) return false;
    const ui::CharFormat now = text_.charFormat(Scope::Selection);
    // A selection whose characters differ in the effect stays as it is.
    if (!(now.mask & bit)) return false;
    ui::CharFormat f;
    f.mask = bit;
    f.effects = (now.effects & bit) ^ bit;
    setChar(f);
    return true;
}

void FormatCommands::align(int alignment) {
    ui::ParaFormat p;
    p.mask = ui::pfm::Alignment;
    p.alignment = alignment;
    text_.setParaFormat(p);
}

void FormatCommands::setNumbering(int style) {
    if (style < ui::numbering::Bullets || style > ui::numbering::UpperRoman) return;
    ui::ParaFormat p = text_.paraFormat();
    p.mask = ui::pfm::Numbering | ui::pfm::Offset | ui::pfm::NumberingStart;
    p.numbering = style;
    p.numberingStart = 1;
    p.offset = kHangingIndent;
    p.listLevel = 0;
    p.numberPrefix.clear();
    p.numberSuffix = style == ui::numbering::Bullets ? QString() : QStringLiteral(".");
    text_.setParaFormat(p);
}

void FormatCommands::numberingOff() {
    ui::ParaFormat p = text_.paraFormat();
    p.mask = ui::pfm::Numbering | ui::pfm::Offset;
    p.numbering = ui::numbering::None;
    p.offset = 0;
    text_.setParaFormat(p);
}

std::vector<int> FormatCommands::tabStops() const {
    const QTextBlock block = text_.document()->findBlock(text_.textCursor().selectionStart());
    std::vector<int> stops;
    for (const ui::TabStop& t : ui::paraFormatOf(block).tabs) stops.push_back(t.position);
    return stops;
}

TabChange FormatCommands::clickTabStop(int twips) {
    const int position = snapToGrid(twips);
    std::vector<int> stops = tabStops();
    const TabChange change = toggleTabStop(stops, position);
    if (change == TabChange::Refused) return change;
    // The kinds and leaders of the stops that stay are kept; a new stop is a left stop.
    const QTextBlock block = text_.document()->findBlock(text_.textCursor().selectionStart());
    const std::vector<ui::TabStop> before = ui::paraFormatOf(block).tabs;
    ui::ParaFormat p;
    p.mask = ui::pfm::TabStops;
    for (int at : stops) {
        ui::TabStop stop;
        stop.position = at;
        for (const ui::TabStop& old : before) {
            if (old.position == at) stop = old;
        }
        p.tabs.push_back(stop);
    }
    text_.setParaFormat(p);
    return change;
}

QString FormatCommands::selectedText(int from, int to, bool keepSelection) const {
    if (!keepSelection) text_.setSelection(from, to);
    return text_.selectedPlainText();
}

} // namespace docket::rtf
