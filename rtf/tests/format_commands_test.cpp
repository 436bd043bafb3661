// The formatting logic on a bare rich-text control: effects on selections and words, single
// format members, bullets and numbering through RTF, the ruler's arithmetic and tab stops through
// save, load and undo, and selected text of any length.
#include "rtf/format_commands.h"
#include "rtf/tab_ruler.h"
#include "rtf/text_document.h"

#include <QTextBlock>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace docket;
using namespace docket::rtf;
using Scope = ui::RichTextControl::Scope;

namespace {

// A control holding `text` (plain), with the RTF codec installed.
struct Text {
    explicit Text(const QString& text) {
        installRichTextCodec();
        control.replaceSelection(text);
        control.setSelection(0, 0);
    }
    // The effects of the character at `position`.
    std::uint32_t effectsAt(int position) {
        control.setSelection(position, position + 1);
        return control.charFormat(Scope::Selection).effects;
    }
    ui::CharFormat formatAt(int position) {
        control.setSelection(position, position + 1);
        return control.charFormat(Scope::Selection);
    }
    ui::RichTextControl control;
    FormatCommands commands{control};
};

std::string rtfOf(ui::RichTextControl& control) {
    std::string bytes, error;
    EXPECT_TRUE(control.streamOut(ui::StreamFormat::Rtf, bytes, error)) << error;
    return bytes;
}

} // namespace

TEST(FormatCommands, BoldTogglesAUniformSelectionAndLeavesAMixedOneAlone) {
    Text t(QStringLiteral("alpha beta gamma"));
    t.control.setSelection(0, 5);
    EXPECT_TRUE(t.commands.toggleEffect(fontstyle::Bold));
    EXPECT_TRUE(t.effectsAt(0) & ui::cfe::Bold);
    EXPECT_TRUE(t.effectsAt(4) & ui::cfe::Bold);
    EXPECT_FALSE(t.effectsAt(6) & ui::cfe::Bold);

    // "alpha beta": partly bold, so Bold changes nothing.
    t.control.setSelection(0, 10);
    EXPECT_FALSE(t.commands.toggleEffect(fontstyle::Bold));
    EXPECT_TRUE(t.effectsAt(2) & ui::cfe::Bold);
    EXPECT_FALSE(t.effectsAt(7) & ui::cfe::Bold);
    // The other effects still toggle on that selection.
    t.control.setSelection(0, 10);
    EXPECT_TRUE(t.commands.toggleEffect(fontstyle::Italic));
    EXPECT_TRUE(t.effectsAt(8) & ui::cfe::Italic);
    EXPECT_FALSE(t.commands.toggleEffect(12345)); // no effect by that style
}

TEST(FormatCommands, ACaretInsideAWordChangesTheWordAndACaretAtItsEdgeOnlyWhatIsTypedNext) {
    Text t(QStringLiteral("alpha beta gamma"));
    t.control.setSelection(8, 8); // "be|ta"
    EXPECT_TRUE(t.commands.toggleEffect(fontstyle::Underline));
    for (int i = 6; i < 10; ++i) EXPECT_TRUE(t.effectsAt(i) & ui::cfe::Underline) << i;
    EXPECT_FALSE(t.effectsAt(5) & ui::cfe::Underline);
    EXPECT_FALSE(t.effectsAt(10) & ui::cfe::Underline);

    t.control.setSelection(8, 8);
    t.commands.setSize(20);
    t.commands.setFace("DejaVu Serif");
    t.commands.setColour(0x0000FF);
    const ui::CharFormat f = t.formatAt(7);
    EXPECT_EQ(f.height, 400);
    EXPECT_EQ(f.face, QStringLiteral("DejaVu Serif"));
    EXPECT_EQ(f.color, 0x0000FF);
    EXPECT_TRUE(f.effects & ui::cfe::Underline); // the size kept the rest
    EXPECT_NE(t.formatAt(12).height, 400);

    // At the end of "alpha" nothing in the text changes.
    t.control.setSelection(5, 5);
    EXPECT_TRUE(t.commands.toggleEffect(fontstyle::Bold));
    for (int i = 0; i < 16; ++i) EXPECT_FALSE(t.effectsAt(i) & ui::cfe::Bold) << i;
}

TEST(FormatCommands, ASizeChangesOnlyTheSizeAndTheFontRoundTrips) {
    Text t(QStringLiteral("one two"));
    t.control.setSelection(0, 7);
    t.commands.applyCharFormat({"DejaVu Sans", 10, 0x008000, fontstyle::Bold | fontstyle::Italic}, false);
    t.control.setSelection(0, 3);
    t.commands.setSize(12);
    t.control.setSelection(0, 3);
    const FontChoice font = t.commands.selectionFont(true);
    EXPECT_EQ(font, (FontChoice{"DejaVu Sans", 12, 0x008000, fontstyle::Bold | fontstyle::Italic}));
    t.control.setSelection(4, 7);
    EXPECT_EQ(t.commands.selectionFont(true).size, 10);
    t.control.setSelection(0, 7);
    t.commands.setStyle(fontstyle::StrikeOut);
    EXPECT_TRUE(t.effectsAt(1) & ui::cfe::StrikeOut);
    EXPECT_TRUE(t.effectsAt(1) & ui::cfe::Bold); // setStyle sets only what it names
}

TEST(FormatCommands, AlignmentAppliesToEverySelectedParagraph) {
    Text t(QStringLiteral("one\ntwo\nthree"));
    t.control.setSelection(1, 5);
    t.commands.align(ui::align::Center);
    auto alignmentOf = [&](int position) {
        t.control.setSelection(position, position);
        return t.control.paraFormat().alignment;
    };
    EXPECT_EQ(alignmentOf(0), ui::align::Center);
    EXPECT_EQ(alignmentOf(5), ui::align::Center);
    EXPECT_EQ(alignmentOf(9), ui::align::Left);
    t.control.setSelection(9, 9);
    t.commands.align(ui::align::Right);
    EXPECT_EQ(alignmentOf(9), ui::align::Right);
}

TEST(FormatCommands, BulletsAndTheFiveNumberingsSurviveRtfWithAHangingIndent) {
    for (int style = ui::numbering::Bullets; style <= ui::numbering::UpperRoman; ++style) {
        Text t(QStringLiteral("before\nfirst\nsecond\nafter"));
        t.control.setSelection(8, 15); // "first" and "second"
        t.commands.setNumbering(style);
        ui::ParaFormat p = t.control.paraFormat();
        EXPECT_EQ(p.numbering, style);
        EXPECT_EQ(p.numberingStart, 1);
        EXPECT_EQ(p.offset, kHangingIndent);
        // The marker takes the hanging space: the first line's text starts where the later ones do.
        const QTextBlockFormat q = t.control.document()->findBlockByNumber(1).blockFormat();
        EXPECT_NEAR(q.leftMargin(), kHangingIndent / 15.0, 0.01);
        EXPECT_EQ(q.textIndent(), 0.0);

        ui::RichTextControl loaded;
        std::string error;
        ASSERT_TRUE(loaded.streamIn(ui::StreamFormat::Rtf, rtfOf(t.control), false, error)) << error;
        const QTextDocument& d = *loaded.document();
        std::vector<int> styles;
        for (QTextBlock b = d.begin(); b.isValid(); b = b.next())
            styles.push_back(ui::paraFormatOf(b).numbering);
        EXPECT_EQ(styles, (std::vector<int>{0, style, style, 0})) << "style " << style;
        const ui::ParaFormat back = ui::paraFormatOf(d.findBlockByNumber(1));
        EXPECT_EQ(back.offset, kHangingIndent) << style;
        EXPECT_EQ(back.numberingStart, 1) << style;
        // Both numbered paragraphs are one list.
        EXPECT_EQ(d.findBlockByNumber(1).textList(), d.findBlockByNumber(2).textList());
        EXPECT_NE(d.findBlockByNumber(1).textList(), nullptr);

        t.control.setSelection(8, 15);
        t.commands.numberingOff();
        p = t.control.paraFormat();
        EXPECT_EQ(p.numbering, 0);
        EXPECT_EQ(p.offset, 0);
    }
}

TEST(FormatCommands, RulerArithmeticSnapsToSixteenthsAndMultipliesBeforeDividing) {
    EXPECT_EQ(snapToGrid(720 + 44), 720);
    EXPECT_EQ(snapToGrid(720 + 45), 810);
    EXPECT_EQ(snapToGrid(44), 0);
    EXPECT_EQ(snapToGrid(45), 90);
    EXPECT_EQ(snapToGrid(-30), 0);
    // 50 pixels at 96 per inch are 750 twips (a division first would give 0).
    EXPECT_EQ(twipsFromPixels(50, 96), 750);
    EXPECT_EQ(twipsFromPixels(50, 120), 600);
    EXPECT_EQ(pixelsFromTwips(1440, 96), 96);
    EXPECT_EQ(pixelsFromTwips(1440, 144), 144);
    EXPECT_EQ(pixelsFromTwips(90, 96), 6);

    TabRuler ruler;
    ruler.setResolution(120);
    ruler.setOrigin(5);
    EXPECT_EQ(ruler.twipsAt(5 + 120), 1440);
    ruler.setStops({720, 1440});
    EXPECT_EQ(ruler.markerPixels(), (std::vector<int>{65, 125}));
    std::vector<int> many(40);
    for (int i = 0; i < 40; ++i) many[static_cast<std::size_t>(i)] = 90 * (i + 1);
    ruler.setStops(many);
    EXPECT_EQ(ruler.markerPixels().size(), 32u);
}

TEST(FormatCommands, RulerClicksAddAndRemoveStopsUpToThirtyTwo) {
    Text t(QStringLiteral("a\tb\tc"));
    EXPECT_EQ(t.commands.clickTabStop(720 + 44), TabChange::Added);
    EXPECT_EQ(t.commands.clickTabStop(1440 + 45), TabChange::Added);
    EXPECT_EQ(t.commands.tabStops(), (std::vector<int>{720, 1530}));
    // A click that snaps to 0 adds nothing.
    EXPECT_EQ(t.commands.clickTabStop(44), TabChange::Refused);
    // A click on a stop (after snapping) removes it.
    EXPECT_EQ(t.commands.clickTabStop(720 - 20), TabChange::Removed);
    EXPECT_EQ(t.commands.tabStops(), (std::vector<int>{1530}));

    Text full(QStringLiteral("x"));
    for (int i = 1; i <= 32; ++i) ASSERT_EQ(full.commands.clickTabStop(90 * i), TabChange::Added) << i;
    EXPECT_EQ(full.commands.clickTabStop(90 * 33), TabChange::Refused);
    EXPECT_EQ(full.commands.tabStops().size(), 32u);
    EXPECT_EQ(full.commands.clickTabStop(90 * 5), TabChange::Removed); // removing still works
    EXPECT_EQ(full.commands.clickTabStop(90 * 33), TabChange::Added);
}

TEST(FormatCommands, TabStopsSurviveSaveLoadAndUndo) {
    Text t(QStringLiteral("left\tright\nnext"));
    t.commands.clickTabStop(1800);
    t.commands.clickTabStop(3600);
    const std::vector<int> stops{1800, 3600};
    ui::RichTextControl loaded;
    std::string error;
    ASSERT_TRUE(loaded.streamIn(ui::StreamFormat::Rtf, rtfOf(t.control), false, error)) << error;
    loaded.setSelection(0, 0);
    EXPECT_EQ(FormatCommands(loaded).tabStops(), stops);
    loaded.setSelection(12, 12); // the second paragraph had none
    EXPECT_TRUE(FormatCommands(loaded).tabStops().empty());

    t.commands.clickTabStop(3600); // removed
    EXPECT_EQ(t.commands.tabStops(), std::vector<int>{1800});
    t.control.undo();
    t.control.setSelection(0, 0); // the undo put the caret where its change was
    EXPECT_EQ(t.commands.tabStops(), stops);
    t.control.redo();
    t.control.setSelection(0, 0);
    EXPECT_EQ(t.commands.tabStops(), std::vector<int>{1800});
}

TEST(FormatCommands, SelectedTextOfFiveThousandCharactersComesWhole) {
    QString long_text(5000, QLatin1Char('x'));
    long_text[4999] = QLatin1Char('!');
    Text t(long_text + QStringLiteral(" tail"));
    EXPECT_EQ(t.commands.selectedText(0, 5000, false), long_text);
    EXPECT_EQ(t.control.selectionEnd(), 5000);
    t.control.setSelection(5001, 5005);
    EXPECT_EQ(t.commands.selectedText(0, 1, true), QStringLiteral("tail"));
}
