// The editor's bars driven by the scripted user: the order and tips of the bars, every button on
// a selection and on a caret inside a word, a partly bold selection that Bold leaves alone, the
// bars following a mouse selection, the numbering menu, the ruler's clicks, find with and without
// its window, and the context menu's entries and states.
#include "rtf/bar_icons.h"
#include "rtf/find.h"
#include "rtf/format_commands.h"
#include "rtf/tab_ruler.h"
#include "rtf/tests/editor_harness.h"

#include "ui/dialogs.h"
#include "ui/events.h"
#include "ui/modal.h"
#include "ui/text.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QIcon>
#include <QImageReader>
#include <QDialog>
#include <QDir>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace docket;
using namespace docket::rtf;
using namespace docket::rtf::testing;
using Scope = ui::RichTextControl::Scope;

namespace {

constexpr int kBody = 1; // the text control of the host without a sheet

// Lets the scripted user carry out everything queued and the windows take what it raised.
void settle(Harness& h, ui::Window& host) {
    ui::Scheduler::instance().waitUntil([&] { return h.user.pending() == 0; });
    drain(host);
}

std::uint32_t effectsOf(ui::RichTextControl& text, int from, int to) {
    const int start = text.selectionStart(), end = text.selectionEnd();
    text.setSelection(from, to);
    const ui::CharFormat f = text.charFormat(Scope::Selection);
    text.setSelection(start, end);
    return f.effects & f.mask & (ui::cfe::Bold | ui::cfe::Italic | ui::cfe::Underline | ui::cfe::StrikeOut);
}

void releaseMouse(ui::RichTextControl& text, Qt::MouseButton button) {
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), button, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(text.viewport(), &release);
}

// Runs `body` on a program thread with an editor open over a host without a sheet.
template <typename Body> void withEditor(Harness& h, Body body) {
    ui::startThread([&] {
        ui::Window host(hostWindow(false));
        kwRTF editor;
        ASSERT_TRUE(editor.Init(&host, kBody, true, true, true));
        drain(host);
        body(host, editor, *editor.HRTFWINDOW, editor.LRTFTHREAD);
        editor.Close(false);
        drain(host);
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
    EXPECT_TRUE(h.user.failures().empty()) << h.user.failures().front();
}

} // namespace

TEST(EditorCommands, TheBarsHoldTheirControlsInOrderWithTheirTipsAndASortedFontList) {
    Harness h;
    withEditor(h, [&](ui::Window&, kwRTF& editor, ui::RichTextControl&, int) {
        ui::Window& c = *editor.RCONTAINER;
        const std::vector<std::string> tips = {"",
                                               "New",
                                               "Open",
                                               "Save",
                                               "Print",
                                               "Find",
                                               "Cut",
                                               "Copy",
                                               "Paste",
                                               "Undo",
                                               "Redo",
                                               "",
                                               "Changes the font of the selection",
                                               "Changes the font size of the selection",
                                               "Bold",
                                               "Italic",
                                               "Underline",
                                               "Font Color",
                                               "",
                                               "Align Left",
                                               "Center",
                                               "Align Right",
                                               "Bullets and Numbering"};
        for (int n = 1; n <= container::Bullets; ++n) EXPECT_EQ(c.get(n, "Tip"), tips[n - 1]) << n;
        // Left to right in each bar, in that order.
        for (int n = container::ButtonNew; n < container::ButtonRedo; ++n)
            EXPECT_LT(c.controlWidget(n)->x(), c.controlWidget(n + 1)->x()) << n;
        for (int n : {container::Fonts, container::FontSize, container::Bold, container::Italic,
                      container::Underline, container::FontColor}) {
            EXPECT_LT(c.controlWidget(n)->mapTo(c.widget(), QPoint()).x(),
                      c.controlWidget(n + 1)->mapTo(c.widget(), QPoint()).x())
                << n;
        }
        // Every button shows a picture.
        for (int n = container::ButtonNew; n <= container::Bullets; ++n) {
            if (auto* b = qobject_cast<QAbstractButton*>(c.controlWidget(n))) {
                EXPECT_FALSE(b->icon().isNull()) << n;
                EXPECT_FALSE(b->icon().pixmap(16, 16).isNull()) << n;
            }
        }
        auto* sizes = qobject_cast<QComboBox*>(c.controlWidget(container::FontSize));
        ASSERT_NE(sizes, nullptr);
        QStringList listed;
        for (int i = 0; i < sizes->count(); ++i) listed << sizes->itemText(i).trimmed();
        EXPECT_EQ(listed.join('|'), QStringLiteral("8|9|10|11|12|14|16|18|20|22|24|26|28|36|48|72"));
        auto* fonts = qobject_cast<QComboBox*>(c.controlWidget(container::Fonts));
        ASSERT_NE(fonts, nullptr);
        ASSERT_GT(fonts->count(), 0);
        for (int i = 1; i < fonts->count(); ++i) {
            EXPECT_LT(ui::fromQt(fonts->itemText(i - 1).trimmed()), ui::fromQt(fonts->itemText(i).trimmed()))
                << i;
            EXPECT_LE(fonts->itemText(i).trimmed().size(), 32);
        }
    });
}

TEST(EditorCommands, EffectButtonsWorkOnASelectionAndOnTheWordAtTheCaretAndLeaveAMixedSelection) {
    Harness h;
    withEditor(h, [&](ui::Window& host, kwRTF&, ui::RichTextControl& text, int bar) {
        text.replaceSelection(QStringLiteral("alpha beta gamma"));
        text.setSelection(0, 5);
        h.user.click(container::Bold, bar);
        settle(h, host);
        EXPECT_EQ(effectsOf(text, 0, 5) & ui::cfe::Bold, ui::cfe::Bold);
        EXPECT_EQ(text.selectionStart(), 0); // the selection stays
        EXPECT_EQ(text.selectionEnd(), 5);

        // "alpha beta" is partly bold: Bold leaves it as it is.
        text.setSelection(0, 10);
        h.user.click(container::Bold, bar);
        settle(h, host);
        EXPECT_EQ(effectsOf(text, 0, 5) & ui::cfe::Bold, ui::cfe::Bold);
        EXPECT_EQ(effectsOf(text, 6, 10) & ui::cfe::Bold, 0u);

        // The caret inside "gamma": Italic and Underline change that word only.
        text.setSelection(13, 13);
        h.user.click(container::Italic, bar);
        h.user.click(container::Underline, bar);
        settle(h, host);
        EXPECT_EQ(effectsOf(text, 11, 16), ui::cfe::Italic | ui::cfe::Underline);
        EXPECT_EQ(effectsOf(text, 6, 10) & (ui::cfe::Italic | ui::cfe::Underline), 0u);
        EXPECT_EQ(text.selectionStart(), 13);
        EXPECT_EQ(text.selectionEnd(), 13);
    });
}

TEST(EditorCommands, FontListsColourAlignmentAndNumberingFromTheBar) {
    Harness h;
    withEditor(h, [&](ui::Window& host, kwRTF& editor, ui::RichTextControl& text, int bar) {
        ui::Window& c = *editor.RCONTAINER;
        text.replaceSelection(QStringLiteral("alpha beta\nsecond"));
        // The size list's fifth row is 12: only the size changes.
        text.setSelection(0, 5);
        const ui::CharFormat before = text.charFormat(Scope::Selection);
        h.user.pickRow(container::FontSize, 5, bar);
        settle(h, host);
        text.setSelection(0, 5);
        ui::CharFormat after = text.charFormat(Scope::Selection);
        EXPECT_EQ(after.height, 240);
        EXPECT_EQ(after.face, before.face);
        EXPECT_EQ(after.effects, before.effects);

        // A face from the list, on the word at the caret.
        auto* fonts = qobject_cast<QComboBox*>(c.controlWidget(container::Fonts));
        int row = fonts->findText(QStringLiteral("DejaVu Serif"), Qt::MatchStartsWith);
        if (row < 0) row = fonts->count() > 1 ? 1 : 0;
        const QString face = fonts->itemText(row).trimmed();
        text.setSelection(8, 8);
        h.user.pickRow(container::Fonts, row + 1, bar);
        settle(h, host);
        text.setSelection(6, 10);
        EXPECT_EQ(text.charFormat(Scope::Selection).face, face);
        text.setSelection(0, 5);
        EXPECT_NE(text.charFormat(Scope::Selection).face, face);

        // The colour button asks the colour dialog and colours the selection.
        text.setSelection(0, 5);
        h.user.click(container::FontColor, bar);
        h.user.pickColor(0x0000C0);
        settle(h, host);
        text.setSelection(0, 5);
        after = text.charFormat(Scope::Selection);
        EXPECT_EQ(after.color, 0x0000C0);
        EXPECT_EQ(after.mask & ui::cfm::Color, ui::cfm::Color);
        EXPECT_EQ(editor.LFONTCOLOR, 0x0000C0); // the bar follows

        // Alignment by the radios.
        text.setSelection(2, 2);
        h.user.click(container::AlignCenter, bar);
        settle(h, host);
        EXPECT_EQ(text.paraFormat().alignment, ui::align::Center);
        h.user.click(container::AlignRight, bar);
        settle(h, host);
        text.setSelection(2, 2);
        EXPECT_EQ(text.paraFormat().alignment, ui::align::Right);
        text.setSelection(13, 13);
        EXPECT_EQ(text.paraFormat().alignment, ui::align::Left);

        // Bullets and numbering: the menu, its choice, the hanging indent; unchecking ends it.
        text.setSelection(0, 13);
        h.user.click(container::Bullets, bar);
        h.user.chooseMenu(6); // Lowercase Roman numerals
        settle(h, host);
        ASSERT_FALSE(h.user.shown().empty());
        EXPECT_EQ(h.user.shown().back().text,
                  "Numbering off|Bullets|Arabic Numbers|Lower case letters|Upper case "
                  "letters|Lowercase Roman numerals|Uppercase Roman numerals");
        ui::ParaFormat p = text.paraFormat();
        EXPECT_EQ(p.numbering, ui::numbering::LowerRoman);
        EXPECT_EQ(p.offset, kHangingIndent);
        EXPECT_EQ(editor.BBULLETS, 1);
        h.user.click(container::Bullets, bar); // unchecked: off without a menu
        settle(h, host);
        p = text.paraFormat();
        EXPECT_EQ(p.numbering, 0);
        EXPECT_EQ(p.offset, 0);
        EXPECT_EQ(editor.BBULLETS, 0);
        // A menu dismissed leaves the paragraph and the box as they were.
        h.user.click(container::Bullets, bar);
        h.user.chooseMenu(0);
        settle(h, host);
        EXPECT_EQ(text.paraFormat().numbering, 0);
        EXPECT_EQ(editor.BBULLETS, 0);
        EXPECT_FALSE(qobject_cast<QAbstractButton*>(c.controlWidget(container::Bullets))->isChecked());
    });
}

TEST(EditorCommands, EditButtonsCutCopyPasteUndoAndRedo) {
    Harness h;
    withEditor(h, [&](ui::Window& host, kwRTF&, ui::RichTextControl& text, int bar) {
        text.replaceSelection(QStringLiteral("one two three"));
        text.setSelection(4, 8);
        h.user.click(container::ButtonCut, bar);
        settle(h, host);
        EXPECT_EQ(text.document()->toPlainText(), QStringLiteral("one three"));
        EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("two "));
        text.setSelection(0, 0);
        h.user.click(container::ButtonPaste, bar);
        settle(h, host);
        EXPECT_EQ(text.document()->toPlainText(), QStringLiteral("two one three"));
        h.user.click(container::ButtonUndo, bar);
        settle(h, host);
        EXPECT_EQ(text.document()->toPlainText(), QStringLiteral("one three"));
        h.user.click(container::ButtonRedo, bar);
        settle(h, host);
        EXPECT_EQ(text.document()->toPlainText(), QStringLiteral("two one three"));
        text.setSelection(8, 13);
        h.user.click(container::ButtonCopy, bar);
        settle(h, host);
        EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("three"));
        EXPECT_TRUE(text.hasFocus() || QApplication::focusWidget() == nullptr);
    });
}

TEST(EditorCommands, TheBarsFollowAMouseSelection) {
    Harness h;
    withEditor(h, [&](ui::Window& host, kwRTF& editor, ui::RichTextControl& text, int) {
        ui::Window& c = *editor.RCONTAINER;
        text.replaceSelection(QStringLiteral("plain bold"));
        text.setSelection(6, 10);
        FormatCommands(text).toggleEffect(fontstyle::Bold);
        FormatCommands(text).align(ui::align::Center);
        text.setSelection(6, 10);
        releaseMouse(text, Qt::LeftButton);
        drain(host);
        EXPECT_EQ(editor.LFONTBOLD, 1);
        EXPECT_EQ(editor.LPARAFORMAT, 2);
        EXPECT_TRUE(qobject_cast<QAbstractButton*>(c.controlWidget(container::Bold))->isChecked());
        EXPECT_TRUE(qobject_cast<QAbstractButton*>(c.controlWidget(container::AlignCenter))->isChecked());
        text.setSelection(0, 5);
        releaseMouse(text, Qt::LeftButton);
        drain(host);
        EXPECT_EQ(editor.LFONTBOLD, 0);
        EXPECT_FALSE(qobject_cast<QAbstractButton*>(c.controlWidget(container::Bold))->isChecked());
    });
}

TEST(EditorCommands, RulerClicksSnapAddAndRemoveStopsAndTheMarkersFollow) {
    Harness h;
    withEditor(h, [&](ui::Window& host, kwRTF& editor, ui::RichTextControl& text, int) {
        text.replaceSelection(QStringLiteral("a\tb"));
        TabRuler* ruler = editor.tabRuler();
        ASSERT_NE(ruler, nullptr);
        EXPECT_TRUE(ruler->isVisible());
        EXPECT_EQ(ruler->resolution(), editor.screenResolution());
        const int dpi = ruler->resolution();
        // A click at the pixel nearest to `twips` from the text's left edge.
        auto clickAt = [&](int twips) {
            const int x = ruler->origin() + pixelsFromTwips(twips, dpi);
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, 10), QPointF(x, 10), Qt::LeftButton,
                              Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(ruler, &press);
            drain(host);
        };
        clickAt(1440);
        EXPECT_EQ(FormatCommands(text).tabStops(), std::vector<int>{1440});
        EXPECT_EQ(ruler->stops(), std::vector<int>{1440});
        EXPECT_EQ(ruler->markerPixels(), std::vector<int>{ruler->origin() + pixelsFromTwips(1440, dpi)});
        clickAt(1440 + 30); // on the stop after snapping: removed
        EXPECT_TRUE(FormatCommands(text).tabStops().empty());
        EXPECT_TRUE(ruler->markerPixels().empty());
        clickAt(20); // snaps to 0: nothing
        EXPECT_TRUE(FormatCommands(text).tabStops().empty());
        // The text's left edge is the scale's zero: the origin lies inside the text window's frame.
        const QPoint textLeft = text.viewport()->mapTo(host.widget(), QPoint(0, 0));
        const QPoint rulerLeft = ruler->mapTo(host.widget(), QPoint(0, 0));
        EXPECT_GE(ruler->origin(), textLeft.x() - rulerLeft.x());
        EXPECT_LE(ruler->origin(), textLeft.x() - rulerLeft.x() + 8);
    });
}

TEST(EditorCommands, FindWithoutTheWindowWalksThroughEveryHitThenReportsNone) {
    Harness h;
    withEditor(h, [&](ui::Window&, kwRTF& editor, ui::RichTextControl& text, int) {
        EXPECT_EQ(editor.Find("abc", false), -1); // an empty document
        text.replaceSelection(QStringLiteral("abc abc abc"));
        text.setSelection(0, 0);
        std::vector<long> found;
        for (int i = 0; i < 4; ++i) found.push_back(editor.Find("abc  ", false));
        EXPECT_EQ(found, (std::vector<long>{0, 4, 8, -1}));
        EXPECT_EQ(text.selectionStart(), 8); // the last hit stays selected
        // Whole words and case always hold without the window.
        text.setSelection(0, 0);
        EXPECT_EQ(editor.Find("ab", false), -1);
        EXPECT_EQ(editor.Find("ABC", false), -1);
    });
}

TEST(EditorCommands, TheFindWindowSearchesDownUpWholeWordsAndCaseAndSaysNotFound) {
    Harness h;
    std::vector<int> hits;
    withEditor(h, [&](ui::Window& host, kwRTF&, ui::RichTextControl& text, int bar) {
        text.replaceSelection(QStringLiteral("abc abc abc"));
        text.setSelection(0, 0);
        auto record = [&] { h.user.custom([&] { hits.push_back(text.selectionStart()); }); };
        h.user.click(container::ButtonFind, bar); // the find window opens on the container's thread
        h.user.type(findwindow::SearchString, "abc", bar);
        h.user.custom([] {
            // A picture of the find window for review.
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->isVisible() && w->windowTitle() == QStringLiteral("Find")) {
                    QDir().mkpath(DOCKET_SCREENSHOT_DIR);
                    w->grab().save(DOCKET_SCREENSHOT_DIR "/rtf-find.png");
                }
            }
        });
        for (int i = 0; i < 3; ++i) {
            h.user.click(findwindow::ButtonFind, bar);
            record();
        }
        h.user.click(findwindow::ButtonFind, bar);
        h.user.answerBox(ui::button::Ok);
        record();
        // Up from the last hit.
        h.user.click(findwindow::Up, bar);
        h.user.click(findwindow::ButtonFind, bar);
        record();
        h.user.click(findwindow::ButtonCancel, bar);
        settle(h, host);
        EXPECT_EQ(hits, (std::vector<int>{0, 4, 8, 8, 4}));
        const auto& shown = h.user.shown();
        bool box = false;
        for (const auto& s : shown) {
            if (s.kind == "box" && s.caption == "Search") {
                EXPECT_EQ(s.text, "\"abc\" not found.");
                EXPECT_EQ(s.buttons, ui::button::Ok);
                box = true;
            }
        }
        EXPECT_TRUE(box);
        // The window remembers the search: it opens with it again (direction up now).
        EXPECT_EQ(findValues().SEARCHSTRING, "abc");
        EXPECT_EQ(findValues().BDIRECTION, 0);

        // Whole words and case.
        hits.clear();
        text.setSelection(0, -1);
        text.replaceSelection(QStringLiteral("Abc abcd abc"));
        text.setSelection(0, 0);
        h.user.click(container::ButtonFind, bar);
        h.user.click(findwindow::Down, bar);
        h.user.click(findwindow::WholeWords, bar);
        h.user.click(findwindow::CaseSensitive, bar);
        h.user.click(findwindow::ButtonFind, bar);
        record();
        h.user.click(findwindow::ButtonFind, bar);
        h.user.answerBox(ui::button::Ok);
        record();
        h.user.click(findwindow::ButtonCancel, bar);
        settle(h, host);
        EXPECT_EQ(hits, (std::vector<int>{9, 9}));
        findValues() = {};
    });
}

TEST(EditorCommands, TheContextMenuHasItsFourEntriesEnabledBySelectionAndClipboard) {
    Harness h;
    withEditor(h, [&](ui::Window& host, kwRTF&, ui::RichTextControl& text, int) {
        EXPECT_EQ(text.contextMenuPolicy(), Qt::PreventContextMenu); // Qt's own menu never opens
        text.replaceSelection(QStringLiteral("some text"));
        QApplication::clipboard()->clear();
        text.setSelection(0, 0);
        releaseMouse(text, Qt::RightButton);
        h.user.chooseMenu(0);
        settle(h, host);
        ASSERT_FALSE(h.user.shown().empty());
        EXPECT_EQ(h.user.shown().back().kind, "menu");
        EXPECT_EQ(h.user.shown().back().text, "~Cut|~Copy|~Paste|-|Font");

        // With a selection: Copy (the second entry) copies it; then Paste is offered too.
        text.setSelection(0, 4);
        releaseMouse(text, Qt::RightButton);
        h.user.chooseMenu(2);
        settle(h, host);
        EXPECT_EQ(h.user.shown().back().text, "Cut|Copy|~Paste|-|Font");
        EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("some"));
        text.setSelection(9, 9);
        releaseMouse(text, Qt::RightButton);
        h.user.chooseMenu(3);
        settle(h, host);
        EXPECT_EQ(h.user.shown().back().text, "~Cut|~Copy|Paste|-|Font");
        EXPECT_EQ(text.document()->toPlainText(), QStringLiteral("some textsome"));

        // Font: the font dialog on the selection's font, with colour.
        text.setSelection(0, 4);
        releaseMouse(text, Qt::RightButton);
        h.user.chooseMenu(4);
        h.user.pickFont("DejaVu Serif", 14, 0x008000, fontstyle::Bold | fontstyle::Italic);
        settle(h, host);
        EXPECT_EQ(h.user.shown().back().kind, "font");
        text.setSelection(0, 4);
        const ui::CharFormat f = text.charFormat(Scope::Selection);
        EXPECT_EQ(f.height, 280);
        EXPECT_EQ(f.color, 0x008000);
        EXPECT_EQ(f.effects & (ui::cfe::Bold | ui::cfe::Italic), ui::cfe::Bold | ui::cfe::Italic);
        text.setSelection(5, 9);
        EXPECT_NE(text.charFormat(Scope::Selection).height, 280);
    });
}

TEST(EditorCommands, ScreenshotOfTheBarsWithTabStopsAndLists) {
    Harness h;
    withEditor(h, [&](ui::Window& host, kwRTF& editor, ui::RichTextControl& text, int) {
        host.widget()->resize(640, 420);
        drain(host);
        text.replaceSelection(QStringLiteral("To:\tAll staff\t8 December\nItems:\nfirst\nsecond\nthird"));
        FormatCommands f(text);
        text.setSelection(8, 13); // "staff"
        f.toggleEffect(fontstyle::Bold);
        text.setSelection(32, 44); // "first" to "third"
        f.setNumbering(ui::numbering::UpperRoman);
        text.setSelection(2, 2);
        f.clickTabStop(1440);
        f.clickTabStop(3600);
        text.setSelection(5, 5);
        releaseMouse(text, Qt::LeftButton);
        drain(host);
        EXPECT_EQ(editor.tabRuler()->stops(), (std::vector<int>{1440, 3600}));
        QDir().mkpath(DOCKET_SCREENSHOT_DIR);
        EXPECT_TRUE(host.widget()->grab().save(DOCKET_SCREENSHOT_DIR "/rtf-editor-bars.png"));
    });
}

TEST(EditorCommands, TheDocumentButtonsAskWhatTheyMust) {
    Harness h;
    withEditor(h, [&](ui::Window& host, kwRTF&, ui::RichTextControl& text, int bar) {
        text.replaceSelection(QStringLiteral("changed"));
        // New on a changed document asks first; No empties it.
        h.user.click(container::ButtonNew, bar);
        h.user.answerBox(ui::button::No);
        settle(h, host);
        EXPECT_EQ(text.textLength(), 0);
        EXPECT_EQ(h.user.shown().back().caption, "Save Document");
        // Open and Save show their dialogs (cancelled here); Print its dialog; Find its window.
        h.user.click(container::ButtonOpen, bar);
        h.user.cancelDialog();
        settle(h, host);
        EXPECT_EQ(h.user.shown().back().kind, "open");
        text.replaceSelection(QStringLiteral("text"));
        h.user.click(container::ButtonSave, bar);
        h.user.cancelDialog();
        settle(h, host);
        EXPECT_EQ(h.user.shown().back().kind, "save");
        bool printDialog = false;
        h.user.click(container::ButtonPrint, bar);
        h.user.custom([&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* d = qobject_cast<QDialog*>(w);
                    d != nullptr && d->isVisible() &&
                    w->objectName() == QStringLiteral("docketPrintDialog")) {
                    printDialog = true;
                    d->reject();
                }
            }
        });
        settle(h, host);
        EXPECT_TRUE(printDialog);
        h.user.click(container::ButtonFind, bar);
        h.user.click(findwindow::ButtonCancel, bar);
        settle(h, host);
        EXPECT_EQ(text.document()->toPlainText(), QStringLiteral("text"));
        EXPECT_TRUE(h.user.failures().empty());
    });
}

TEST(EditorCommands, EveryPictureShipsWithTheProgramForThemesThatLackIt) {
    int shipped = 0;
    for (int n = container::ButtonNew; n <= container::Bullets; ++n) {
        const QString path = shippedIconPath(n);
        if (path.isEmpty()) continue;
        ++shipped;
        EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
        if (QImageReader::supportedImageFormats().contains("svg")) {
            EXPECT_FALSE(QIcon(path).pixmap(24, 24).isNull()) << path.toStdString();
        }
    }
    EXPECT_EQ(shipped, 18); // ten tool bar buttons and eight on the format bar
    if (!QImageReader::supportedImageFormats().contains("svg"))
        GTEST_SKIP() << "Qt's SVG support (libqt6svg6) is not installed: the pictures were not drawn";
}
