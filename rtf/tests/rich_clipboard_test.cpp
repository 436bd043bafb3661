// The rich clipboard: a paste of LibreOffice's RTF and of a web page's HTML keeps the formatting,
// a copy offers RTF, HTML and text and comes back whole, a paste that would break the text limit
// or the field's RTF budget is refused whole, and Ctrl+Shift+V pastes plain text.
#include "rtf/rich_clipboard.h"
#include "rtf/tests/editor_harness.h"
#include "rtf/text_document.h"
#include "ui/modal.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace docket;
using namespace docket::rtf;
using Scope = ui::RichTextControl::Scope;

namespace {

QByteArray libreOfficeRtf() {
    QFile f(QStringLiteral(RTF_CORPUS_DIR "/libreoffice_formats.rtf"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

// The character format of the first occurrence of `word` as a whole word.
ui::CharFormat formatOf(ui::RichTextControl& text, const QString& word) {
    const QTextCursor found = text.document()->find(word, 0, QTextDocument::FindWholeWords);
    EXPECT_FALSE(found.isNull()) << word.toStdString();
    text.setSelection(found.selectionStart(), found.selectionEnd());
    return text.charFormat(Scope::Selection);
}

ui::ParaFormat paragraphOf(ui::RichTextControl& text, const QString& word) {
    const QTextCursor found = text.document()->find(word);
    EXPECT_FALSE(found.isNull()) << word.toStdString();
    return ui::paraFormatOf(found.block());
}

bool has(const ui::CharFormat& f, std::uint32_t effect) {
    return (f.mask & effect) && (f.effects & effect);
}

} // namespace

TEST(RichClipboard, LibreOfficeRtfPastesWithItsFormatsAndLists) {
    installRichTextCodec();
    RichClipboardControl text;
    text.replaceSelection(QStringLiteral("before  after"));
    text.setSelection(7, 7);
    QMimeData mime;
    mime.setData(QStringLiteral("text/rtf"), libreOfficeRtf());
    mime.setText(QStringLiteral("plain fallback"));
    ASSERT_EQ(pasteInto(text, mime, false, 0), PasteResult::Inserted);
    const QString all = text.document()->toPlainText();
    EXPECT_TRUE(all.startsWith(QStringLiteral("before Centred title")));
    EXPECT_TRUE(all.endsWith(QStringLiteral(" after")));
    EXPECT_FALSE(all.contains(QStringLiteral("plain fallback")));
    EXPECT_TRUE(has(formatOf(text, QStringLiteral("bold")), ui::cfe::Bold));
    EXPECT_FALSE(has(formatOf(text, QStringLiteral("Plain")), ui::cfe::Bold));
    EXPECT_TRUE(has(formatOf(text, QStringLiteral("italic")), ui::cfe::Italic));
    EXPECT_TRUE(has(formatOf(text, QStringLiteral("underlined")), ui::cfe::Underline));
    EXPECT_EQ(formatOf(text, QStringLiteral("red")).color, 0x0000FF);
    EXPECT_EQ(paragraphOf(text, QStringLiteral("Right aligned")).alignment, ui::align::Right);
    EXPECT_EQ(paragraphOf(text, QStringLiteral("first bullet")).numbering, ui::numbering::Bullets);
    EXPECT_EQ(paragraphOf(text, QStringLiteral("arabic two")).numbering, ui::numbering::Arabic);
    EXPECT_EQ(paragraphOf(text, QStringLiteral("lower letter")).numbering, ui::numbering::LowerLetters);
    EXPECT_EQ(paragraphOf(text, QStringLiteral("upper letter")).numbering, ui::numbering::UpperLetters);
    EXPECT_EQ(paragraphOf(text, QStringLiteral("lower roman")).numbering, ui::numbering::LowerRoman);
    EXPECT_EQ(paragraphOf(text, QStringLiteral("upper roman")).numbering, ui::numbering::UpperRoman);
    EXPECT_EQ(paragraphOf(text, QStringLiteral("between")).numbering, 0);
    // One undo takes the whole paste back.
    text.undo();
    EXPECT_EQ(text.document()->toPlainText(), QStringLiteral("before  after"));
}

TEST(RichClipboard, WebPageHtmlPastesWithItsFormatsAndLists) {
    installRichTextCodec();
    RichClipboardControl text;
    QMimeData mime;
    mime.setHtml(QStringLiteral(
        "<html><body><p style=\"text-align:center\">Title</p>"
        "<p>Some <b>strong</b> and <em>leaning</em> and <u>lined</u> and <span "
        "style=\"color:#00ff00\">green</span>"
        " words.</p><ul><li>apple</li><li>pear</li></ul><ol type=\"i\"><li>roman</li></ol></body></html>"));
    mime.setText(QStringLiteral("Title"));
    ASSERT_EQ(pasteInto(text, mime, false, 0), PasteResult::Inserted);
    EXPECT_EQ(paragraphOf(text, QStringLiteral("Title")).alignment, ui::align::Center);
    EXPECT_TRUE(has(formatOf(text, QStringLiteral("strong")), ui::cfe::Bold));
    EXPECT_TRUE(has(formatOf(text, QStringLiteral("leaning")), ui::cfe::Italic));
    EXPECT_TRUE(has(formatOf(text, QStringLiteral("lined")), ui::cfe::Underline));
    EXPECT_EQ(formatOf(text, QStringLiteral("green")).color, 0x00FF00);
    EXPECT_EQ(paragraphOf(text, QStringLiteral("apple")).numbering, ui::numbering::Bullets);
    EXPECT_EQ(paragraphOf(text, QStringLiteral("pear")).numbering, ui::numbering::Bullets);
    EXPECT_EQ(paragraphOf(text, QStringLiteral("roman")).numbering, ui::numbering::LowerRoman);
}

TEST(RichClipboard, ACopyOffersRtfHtmlAndTextAndPastesBackWhole) {
    installRichTextCodec();
    RichClipboardControl source;
    source.replaceSelection(QStringLiteral("bold word\nitem one\nitem two"));
    source.setSelection(0, 4);
    ui::CharFormat bold;
    bold.mask = ui::cfm::Bold;
    bold.effects = ui::cfe::Bold;
    source.setCharFormat(bold, Scope::Selection);
    source.setSelection(12, 20);
    ui::ParaFormat list;
    list.mask = ui::pfm::Numbering;
    list.numbering = ui::numbering::Arabic;
    source.setParaFormat(list);
    source.setSelection(0, -1);
    std::unique_ptr<QMimeData> mime(mimeFromSelection(source));
    ASSERT_NE(mime, nullptr);
    for (const char* type : kRtfMimeTypes) EXPECT_TRUE(mime->hasFormat(QString::fromLatin1(type))) << type;
    EXPECT_TRUE(mime->hasHtml());
    EXPECT_EQ(mime->text(), QStringLiteral("bold word\nitem one\nitem two"));
    const QByteArray rtf = mime->data(QStringLiteral("text/rtf"));
    EXPECT_TRUE(rtf.startsWith("{\\rtf1"));
    EXPECT_TRUE(rtf.contains("\\listtable")); // a real list for word processors
    EXPECT_TRUE(mime->html().contains(QStringLiteral("<ol")));

    RichClipboardControl target;
    ASSERT_EQ(pasteInto(target, *mime, false, 0), PasteResult::Inserted);
    EXPECT_EQ(target.document()->toPlainText(), QStringLiteral("bold word\nitem one\nitem two"));
    EXPECT_TRUE(has(formatOf(target, QStringLiteral("bold")), ui::cfe::Bold));
    EXPECT_FALSE(has(formatOf(target, QStringLiteral("word")), ui::cfe::Bold));
    EXPECT_EQ(paragraphOf(target, QStringLiteral("item two")).numbering, ui::numbering::Arabic);
    EXPECT_EQ(paragraphOf(target, QStringLiteral("bold word")).numbering, 0);
}

TEST(RichClipboard, APasteOverTheLimitOrTheBudgetIsRefusedWholeAndPlainPasteDropsFormats) {
    installRichTextCodec();
    RichClipboardControl text;
    std::vector<std::string> refusals;
    text.onPasteRefused = [&](const std::string& message) { refusals.push_back(message); };
    text.replaceSelection(QStringLiteral("abc"));
    text.setTextLimit(10);
    auto* mime = new QMimeData;
    mime->setText(QStringLiteral("0123456789"));
    QApplication::clipboard()->setMimeData(mime);
    text.setSelection(3, 3);
    text.paste();
    EXPECT_EQ(text.lastPaste(), PasteResult::TooLong);
    EXPECT_EQ(text.document()->toPlainText(), QStringLiteral("abc"));
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_NE(refusals[0].find("at most 10 characters"), std::string::npos);
    // Replacing the selection makes room.
    text.setSelection(0, 3);
    text.paste();
    EXPECT_EQ(text.lastPaste(), PasteResult::Inserted);
    EXPECT_EQ(text.document()->toPlainText(), QStringLiteral("0123456789"));

    // The RTF budget: LibreOffice's text is far larger than 500 bytes of RTF.
    text.setTextLimit(0);
    text.rtfBudget = [] { return std::size_t{500}; };
    mime = new QMimeData;
    mime->setData(QStringLiteral("text/rtf"), libreOfficeRtf());
    QApplication::clipboard()->setMimeData(mime);
    text.setSelection(0, 0);
    text.paste();
    EXPECT_EQ(text.lastPaste(), PasteResult::TooLarge);
    EXPECT_EQ(text.document()->toPlainText(), QStringLiteral("0123456789"));
    ASSERT_EQ(refusals.size(), 2u);
    EXPECT_NE(refusals[1].find("500 bytes"), std::string::npos);

    // Ctrl+Shift+V: the text only, in the caret's format.
    text.rtfBudget = nullptr;
    mime = new QMimeData;
    mime->setHtml(QStringLiteral("<b>heavy</b>"));
    mime->setText(QStringLiteral("heavy"));
    QApplication::clipboard()->setMimeData(mime);
    text.setSelection(10, 10);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier, QStringLiteral("V"));
    QApplication::sendEvent(&text, &key);
    EXPECT_EQ(text.document()->toPlainText(), QStringLiteral("0123456789heavy"));
    text.setSelection(10, 15);
    EXPECT_FALSE(has(text.charFormat(Scope::Selection), ui::cfe::Bold));
    // A plain Ctrl+V takes the rich form.
    text.setSelection(15, 15);
    QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier, QStringLiteral("v"));
    QApplication::sendEvent(&text, &paste);
    EXPECT_EQ(text.document()->toPlainText(), QStringLiteral("0123456789heavyheavy"));
    text.setSelection(15, 20);
    EXPECT_TRUE(has(text.charFormat(Scope::Selection), ui::cfe::Bold));
}

TEST(RichClipboard, TheEditorRefusesAPasteThatWouldNotFitItsField) {
    using namespace docket::rtf::testing;
    Harness h;
    std::string field(8192, ' ');
    ui::startThread([&] {
        ui::Window host(hostWindow(false));
        kwRTF editor;
        ASSERT_TRUE(editor.Init(&host, 1, true, true, true));
        drain(host);
        editor.SetTextLimit(8192);
        ASSERT_TRUE(editor.LoadFromField(field.size(), field.data()));
        // 3000 accented letters fit the text limit but take four bytes each in RTF.
        auto* mime = new QMimeData;
        mime->setText(QString(3000, QChar(0xE9)));
        QApplication::clipboard()->setMimeData(mime);
        h.user.answerBox(ui::button::Ok);
        editor.Paste();
        drain(host);
        EXPECT_EQ(editor.HRTFWINDOW->textLength(), 0);
        mime = new QMimeData;
        mime->setText(QString(1000, QChar(0xE9)));
        QApplication::clipboard()->setMimeData(mime);
        editor.Paste();
        EXPECT_EQ(editor.HRTFWINDOW->textLength(), 1000);
        EXPECT_TRUE(editor.SaveToField(field.size(), field.data()));
        editor.Close(false);
        drain(host);
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
    bool refused = false;
    for (const auto& s : h.user.shown()) {
        if (s.kind == "box" && s.caption == "Paste") refused = s.text.find("8191 bytes") != std::string::npos;
    }
    EXPECT_TRUE(refused);
}
