// The rich-text control on its own: keys that belong to the text, the text limit on every way in,
// formats with their masks, tab stops kept to the twip, find, page measuring and plain text.
#include "ui/rich_text_control.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

using namespace docket::ui;

namespace {

void press(QWidget* w, int key, const QString& text = {}, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent override(QEvent::ShortcutOverride, key, mods, text);
    QApplication::sendEvent(w, &override);
    QKeyEvent e(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &e);
}

void typeText(RichTextControl& c, const QString& text) {
    for (QChar ch : text) press(&c, ch.unicode(), QString(ch));
}

} // namespace

TEST(RichTextControl, EnterAndTabStayInTheTextAndNeverPressTheDefaultButton) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* edit = new RichTextControl;
    auto* ok = new QPushButton("OK");
    ok->setDefault(true);
    auto* other = new QPushButton("Other");
    layout->addWidget(edit);
    layout->addWidget(ok);
    layout->addWidget(other);
    int clicks = 0;
    QObject::connect(ok, &QPushButton::clicked, [&] { ++clicks; });
    window.show();
    edit->setFocus();
    typeText(*edit, "ab");
    press(edit, Qt::Key_Return, "\r");
    press(edit, Qt::Key_Tab, "\t");
    typeText(*edit, "c");
    press(edit, Qt::Key_Enter, "\r");
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(documentText(*edit->document(), "|"), "ab|\tc|");
    EXPECT_EQ(edit->textLength(), 6); // a paragraph break counts one
}

// Paste and drop both end in insertFromMimeData.
struct DropTarget : RichTextControl {
    using RichTextControl::insertFromMimeData;
};

TEST(RichTextControl, TextLimitHoldsForTypingPasteDropAndInputMethods) {
    DropTarget edit;
    edit.setTextLimit(10);
    typeText(edit, "abcdefgh");
    press(&edit, Qt::Key_Return, "\r"); // 9
    typeText(edit, "XYZ");              // only X fits
    EXPECT_EQ(edit.textLength(), 10);
    EXPECT_EQ(documentText(*edit.document(), "|"), "abcdefgh|X");

    // Paste over a selection of three characters: three may come in.
    edit.setSelection(0, 3);
    QApplication::clipboard()->setText("12345");
    edit.paste();
    EXPECT_EQ(edit.textLength(), 10);
    EXPECT_EQ(documentText(*edit.document(), "|"), "123defgh|X");

    // A drop goes the same way as a paste.
    QMimeData dropped;
    dropped.setText("uvw");
    edit.setSelection(0, 1);
    edit.insertFromMimeData(&dropped);
    EXPECT_EQ(documentText(*edit.document(), "|"), "u23defgh|X");

    // An input method's commit is cut to the room left.
    edit.setSelection(10, 10);
    QInputMethodEvent commit;
    commit.setCommitString("much more");
    QApplication::sendEvent(&edit, &commit);
    EXPECT_EQ(edit.textLength(), 10);

    // The program's own loading is not cut: a stored body is never shortened.
    std::string error;
    ASSERT_TRUE(edit.streamIn(StreamFormat::Text, "a much longer text than ten", true, error));
    EXPECT_EQ(edit.textLength(), 27);
}

TEST(RichTextControl, CharFormatMaskSaysWhatTheSelectionShares) {
    RichTextControl edit;
    edit.replaceSelection("bold plain");
    edit.setSelection(0, 4);
    CharFormat bold;
    bold.mask = cfm::Bold;
    bold.effects = cfe::Bold;
    edit.setCharFormat(bold, RichTextControl::Scope::Selection);

    edit.setSelection(0, 4);
    CharFormat f = edit.charFormat(RichTextControl::Scope::Selection);
    EXPECT_TRUE(f.mask & cfm::Bold);
    EXPECT_TRUE(f.effects & cfe::Bold);

    edit.setSelection(2, 8); // partly bold
    f = edit.charFormat(RichTextControl::Scope::Selection);
    EXPECT_FALSE(f.mask & cfm::Bold);
    EXPECT_TRUE(f.mask & cfm::Size);

    // A size alone changes the size and nothing else.
    CharFormat size;
    size.mask = cfm::Size;
    size.height = 240;
    edit.setSelection(0, 10);
    edit.setCharFormat(size, RichTextControl::Scope::Selection);
    edit.setSelection(0, 4);
    f = edit.charFormat(RichTextControl::Scope::Selection);
    EXPECT_EQ(f.height, 240);
    EXPECT_TRUE(f.effects & cfe::Bold);
    edit.setSelection(5, 10);
    EXPECT_FALSE(edit.charFormat(RichTextControl::Scope::Selection).effects & cfe::Bold);

    // Colours: explicit, then automatic again.
    CharFormat red;
    red.mask = cfm::Color;
    red.color = 0x0000FF;
    edit.setCharFormat(red, RichTextControl::Scope::Selection);
    f = edit.charFormat(RichTextControl::Scope::Selection);
    EXPECT_EQ(f.color, 0x0000FF);
    EXPECT_FALSE(f.effects & cfe::AutoColor);
    red.effects = cfe::AutoColor;
    edit.setCharFormat(red, RichTextControl::Scope::Selection);
    EXPECT_TRUE(edit.charFormat(RichTextControl::Scope::Selection).effects & cfe::AutoColor);
}

TEST(RichTextControl, ParagraphFormatsKeepTabStopsAndIndentsToTheTwip) {
    RichTextControl edit;
    edit.replaceSelection("one\ttwo\nthree");
    edit.setSelection(0, 0);
    ParaFormat p;
    p.mask = pfm::TabStops | pfm::StartIndent | pfm::Offset | pfm::RightIndent | pfm::Alignment;
    // Odd twips that no pixel grid holds, of every kind.
    p.tabs = {{1441, tabkind::Left},
              {2887, tabkind::Center},
              {4001, tabkind::Right},
              {5000, tabkind::Decimal},
              {6007, tabkind::Bar, tableader::Dots}};
    p.startIndent = 367;
    p.offset = -181;
    p.rightIndent = 29;
    p.alignment = align::Justify;
    edit.setParaFormat(p);
    ParaFormat back = edit.paraFormat();
    EXPECT_EQ(back.tabs, p.tabs);
    EXPECT_EQ(back.startIndent, 367);
    EXPECT_EQ(back.offset, -181);
    EXPECT_EQ(back.rightIndent, 29);
    EXPECT_EQ(back.alignment, align::Justify);
    // The layout sees them in pixels.
    auto tabs = edit.document()->begin().blockFormat().tabPositions();
    ASSERT_EQ(tabs.size(), 5);
    EXPECT_NEAR(tabs[0].position, 1441 / 15.0, 0.01);
    EXPECT_EQ(tabs[1].type, QTextOption::CenterTab);

    // Over both paragraphs the tabs differ, so the mask drops them; alignment too.
    edit.setSelection(0, -1);
    ParaFormat both = edit.paraFormat();
    EXPECT_FALSE(both.mask & pfm::TabStops);
    EXPECT_FALSE(both.mask & pfm::Alignment);
    EXPECT_TRUE(both.mask & pfm::Numbering);
}

TEST(RichTextControl, NumberingJoinsOneListAndComesOffAgain) {
    RichTextControl edit;
    edit.replaceSelection("a\nb\nc");
    edit.setSelection(0, -1);
    ParaFormat p;
    p.mask = pfm::Numbering | pfm::Offset | pfm::NumberingStart;
    p.numbering = numbering::UpperRoman;
    p.offset = 180;
    p.numberingStart = 1;
    edit.setParaFormat(p);
    QTextBlock first = edit.document()->begin();
    ASSERT_NE(first.textList(), nullptr);
    EXPECT_EQ(first.textList()->count(), 3);
    EXPECT_EQ(first.textList()->itemText(first.next().next()), "III.");
    ParaFormat back = edit.paraFormat();
    EXPECT_EQ(back.numbering, numbering::UpperRoman);
    EXPECT_EQ(back.offset, 180);

    for (int style = numbering::Bullets; style <= numbering::UpperRoman; ++style) {
        p.numbering = style;
        edit.setParaFormat(p);
        EXPECT_EQ(edit.paraFormat().numbering, style);
    }
    ParaFormat off;
    off.mask = pfm::Numbering | pfm::Offset;
    edit.setParaFormat(off);
    EXPECT_EQ(edit.document()->begin().textList(), nullptr);
    EXPECT_EQ(edit.paraFormat().numbering, numbering::None);
    EXPECT_EQ(edit.paraFormat().offset, 0);
}

TEST(RichTextControl, FindGoesBothWaysWithWholeWordsAndCase) {
    RichTextControl edit;
    edit.replaceSelection("Cat cat concat\nCAT");
    // Down from the start, case-insensitive: the first "Cat".
    int end = 0;
    EXPECT_EQ(edit.find("cat", 0, -1, findflag::Down, &end), 0);
    EXPECT_EQ(end, 3);
    EXPECT_EQ(edit.find("cat", 3, -1, findflag::Down), 4);
    EXPECT_EQ(edit.find("cat", 7, -1, findflag::Down), 11);                       // inside "concat"
    EXPECT_EQ(edit.find("cat", 7, -1, findflag::Down | findflag::WholeWord), 15); // the next line
    EXPECT_EQ(edit.find("cat", 0, -1, findflag::Down | findflag::MatchCase), 4);
    EXPECT_EQ(edit.find("cat", 16, -1, findflag::Down | findflag::MatchCase), -1);
    // Up from the end and from the start.
    EXPECT_EQ(edit.find("cat", edit.textLength(), 0, 0), 15);
    EXPECT_EQ(edit.find("cat", 4, 0, 0), 0);
    EXPECT_EQ(edit.find("cat", 0, 0, 0), -1);
    // Down limited to a range.
    EXPECT_EQ(edit.find("cat", 5, 10, findflag::Down), -1);
}

TEST(RichTextControl, FormatRangeWalksThePagesToTheEnd) {
    RichTextControl edit;
    QString text;
    for (int i = 0; i < 60; ++i) text += QStringLiteral("Line %1 of the document\n").arg(i);
    edit.replaceSelection(text);
    const QSizeF page(1440 * 4, 1440 * 2); // 4 by 2 inches
    int from = 0, pages = 0;
    QImage image(400, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    while (from < edit.textLength() && pages < 100) {
        QPainter painter(&image);
        int next = edit.formatRange(&painter, page, from);
        ASSERT_GT(next, from);
        from = next;
        ++pages;
    }
    EXPECT_EQ(from, edit.textLength());
    EXPECT_GT(pages, 2);
    EXPECT_LT(pages, 60);
}

TEST(RichTextControl, PlainTextReadsUtf8OrWindows1252AndWritesCrLf) {
    EXPECT_EQ(decodePlainText("\xEF\xBB\xBFh\xC3\xA9\r\nx"), QString::fromUtf8("hé\nx"));
    EXPECT_EQ(decodePlainText("h\xC3\xA9\rx"), QString::fromUtf8("hé\nx"));
    EXPECT_EQ(decodePlainText("caf\xE9 \x80"), QString::fromUtf8("café €"));
    EXPECT_EQ(decodePlainText("\xF0\x9F\x98\x80"), QString::fromUtf8("😀"));
    EXPECT_EQ(decodePlainText("\xED\xA0\x80"),
              QString::fromUtf8("í\u00A0€")); // a lone surrogate is not UTF-8

    RichTextControl edit;
    std::string error, bytes;
    ASSERT_TRUE(edit.streamIn(StreamFormat::Text,
                              "\xEF\xBB\xBF\xD0\x9F\xD1\x80\xD0\xB8\n\xE2\x82\xAC\t\xF0\x9F\x98\x80", false,
                              error));
    EXPECT_EQ(edit.document()->blockCount(), 2);
    ASSERT_TRUE(edit.streamOut(StreamFormat::Text, bytes, error));
    EXPECT_EQ(bytes, "\xD0\x9F\xD1\x80\xD0\xB8\r\n\xE2\x82\xAC\t\xF0\x9F\x98\x80");
}

TEST(RichTextControl, FailedLoadLeavesTheDocumentAsItWas) {
    struct Failing : RichTextCodec {
        bool read(std::string_view, QTextDocument& d, std::string& error) override {
            QTextCursor(&d).insertText("half of it");
            error = "broken";
            return false;
        }
        std::string write(const QTextDocument&) override { return {}; }
    } failing;
    setRichTextCodec(&failing);
    RichTextControl edit;
    edit.replaceSelection("kept");
    edit.setModified(true);
    std::string error;
    EXPECT_FALSE(edit.streamIn(StreamFormat::Rtf, "{\\rtf1 x}", false, error));
    EXPECT_EQ(error, "broken");
    EXPECT_EQ(documentText(*edit.document()), "kept");
    EXPECT_TRUE(edit.modified());
    EXPECT_TRUE(edit.canUndo());
    setRichTextCodec(nullptr);
    EXPECT_FALSE(edit.streamIn(StreamFormat::Rtf, "{\\rtf1 x}", false, error));
    EXPECT_EQ(documentText(*edit.document()), "kept");
}

TEST(RichTextControl, ParagraphChangesUndoAndRedoAsOneStepEach) {
    RichTextControl edit;
    edit.replaceSelection("left\tright\nnext");
    edit.emptyUndoBuffer();
    edit.setSelection(0, 0);
    ParaFormat p;
    p.mask = pfm::TabStops;
    p.tabs = {{1800, tabkind::Left}};
    edit.setParaFormat(p);
    p.tabs = {{1800, tabkind::Left}, {3600, tabkind::Left}};
    edit.setParaFormat(p);
    p.tabs = {{1800, tabkind::Left}};
    edit.setParaFormat(p);
    EXPECT_EQ(edit.paraFormat().tabs.size(), 1u);
    edit.undo();
    // The caret stays in the paragraph whose format came back.
    EXPECT_EQ(edit.selectionStart(), 0);
    EXPECT_EQ(edit.paraFormat().tabs.size(), 2u);
    press(&edit, Qt::Key_Z, QString(), Qt::ControlModifier);
    EXPECT_EQ(edit.paraFormat().tabs.size(), 1u);
    edit.redo();
    EXPECT_EQ(edit.paraFormat().tabs.size(), 2u);
    // A text change undoes with its text.
    edit.setSelection(4, 4);
    edit.replaceSelection("!");
    edit.undo();
    EXPECT_EQ(documentText(*edit.document(), "|"), "left\tright|next");
}
