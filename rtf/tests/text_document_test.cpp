// The QTextDocument adapter: a document of every format the codec knows goes into a
// QTextDocument and comes back out unchanged, the QTextDocument shows it with Qt's own formats
// (tab positions, lists, alignment, colours), and RTF passes through the installed codec.
#include "rtf/codec/plain_text.h"
#include "rtf/codec/rich_document.h"
#include "rtf/codec/rtf_reader.h"
#include "rtf/codec/rtf_writer.h"
#include "rtf/text_document.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace docket;
using namespace docket::rtf;

namespace {

CharFormat font(const char* face, int halfPoints) {
    CharFormat f;
    f.font = face;
    f.halfPoints = halfPoints;
    return f;
}

// One paragraph of each kind the editor makes or reads.
RichDocument sample() {
    RichDocument d;
    d.format().defaultTabWidth = 567;
    ParagraphFormat tabs;
    tabs.tabs = {{1441, TabKind::Left, TabLeader::None},
                 {2887, TabKind::Center, TabLeader::Dots},
                 {4001, TabKind::Right, TabLeader::Hyphens},
                 {5003, TabKind::Decimal, TabLeader::None},
                 {6007, TabKind::Bar, TabLeader::None}};
    tabs.leftIndent = 720;
    tabs.firstLineIndent = -360;
    tabs.rightIndent = 113;
    tabs.spaceBefore = 60;
    tabs.spaceAfter = 120;
    d.addParagraph(tabs);
    CharFormat plain = font("Arial", 20);
    d.addText("Name\tCentre\tRight\t12.50\tbar", plain);

    ParagraphFormat centred;
    centred.alignment = Alignment::Center;
    d.addParagraph(centred);
    CharFormat bold = font("Times New Roman", 28);
    bold.bold = true;
    bold.color = Color::fromRgb(0x123456);
    d.addText("Bold ", bold);
    CharFormat rest = font("Arial", 20);
    rest.italic = rest.underline = rest.strike = true;
    rest.background = Color::fromRgb(0xFFFF00);
    rest.charset = 204;
    d.addText("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE2\x82\xAC caf\xC3\xA9 "
              "\xF0\x9F\x98\x80\nnext line",
              rest);

    ParagraphFormat justified;
    justified.alignment = Alignment::Justify;
    justified.alignment = Alignment::Right;
    d.addParagraph(justified);
    d.addText("right", plain);

    for (ListStyle style : {ListStyle::Bullet, ListStyle::Arabic, ListStyle::LowerLetter,
                            ListStyle::UpperLetter, ListStyle::LowerRoman, ListStyle::UpperRoman}) {
        for (int item = 0; item < 2; ++item) {
            ParagraphFormat list;
            list.list = ListFormat::of(style);
            list.leftIndent = 360;
            list.firstLineIndent = -180;
            d.addParagraph(list);
            d.addText("item", plain);
        }
        d.addParagraph();
        d.addText("between", plain);
    }
    ParagraphFormat started;
    started.list = ListFormat::of(ListStyle::Arabic);
    started.list.start = 4;
    started.list.textBefore = "(";
    started.list.textAfter = ")";
    d.addParagraph(started);
    d.addText("fourth", plain);
    d.addParagraph(); // the user pressed Enter at the end
    return d;
}

} // namespace

TEST(TextDocument, EveryFormatGoesInAndComesBackOut) {
    const RichDocument original = sample();
    QTextDocument document;
    TextDocumentSink sink(document);
    original.walk(sink);
    RichDocument back;
    TextDocumentSource(document).walk(back);
    ASSERT_EQ(back.paragraphs().size(), original.paragraphs().size());
    for (std::size_t i = 0; i < original.paragraphs().size(); ++i) {
        EXPECT_EQ(back.paragraphs()[i].format, original.paragraphs()[i].format) << "paragraph " << i;
        EXPECT_EQ(back.paragraphs()[i].runs, original.paragraphs()[i].runs) << "paragraph " << i;
    }
    EXPECT_EQ(back.format(), original.format());
}

TEST(TextDocument, QtShowsTheFormatsWithItsOwnMeans) {
    QTextDocument document;
    TextDocumentSink sink(document);
    sample().walk(sink);
    QTextBlock first = document.begin();
    const auto tabs = first.blockFormat().tabPositions();
    ASSERT_EQ(tabs.size(), 5);
    EXPECT_NEAR(tabs[0].position, 1441 / 15.0, 0.01);
    EXPECT_EQ(tabs[1].type, QTextOption::CenterTab);
    EXPECT_EQ(tabs[2].type, QTextOption::RightTab);
    EXPECT_EQ(tabs[3].type, QTextOption::DelimiterTab);
    EXPECT_NEAR(first.blockFormat().leftMargin(), 720 / 15.0, 0.01);
    EXPECT_NEAR(first.blockFormat().textIndent(), -360 / 15.0, 0.01);
    EXPECT_NEAR(document.defaultTextOption().tabStopDistance(), 567 / 15.0, 0.01);

    QTextBlock centred = first.next();
    EXPECT_TRUE(centred.blockFormat().alignment() & Qt::AlignHCenter);
    QTextFragment bold = centred.begin().fragment();
    EXPECT_TRUE(bold.charFormat().fontWeight() >= QFont::Bold);
    EXPECT_EQ(bold.charFormat().foreground().color(), QColor(0x12, 0x34, 0x56));
    EXPECT_DOUBLE_EQ(bold.charFormat().fontPointSize(), 14.0);
    EXPECT_EQ(bold.charFormat().fontFamilies().toStringList().value(0), "Times New Roman");

    // The lists: two items each, one QTextList per run of items.
    const int styles[] = {QTextListFormat::ListDisc,       QTextListFormat::ListDecimal,
                          QTextListFormat::ListLowerAlpha, QTextListFormat::ListUpperAlpha,
                          QTextListFormat::ListLowerRoman, QTextListFormat::ListUpperRoman};
    QTextBlock block = centred.next().next();
    for (int style : styles) {
        ASSERT_NE(block.textList(), nullptr);
        EXPECT_EQ(block.textList()->format().style(), style);
        EXPECT_EQ(block.textList()->count(), 2);
        block = block.next().next();
        EXPECT_EQ(block.textList(), nullptr);
        block = block.next();
    }
    EXPECT_EQ(block.textList()->itemText(block), "(1)"); // Qt itself numbers from 1
}

TEST(TextDocument, RtfThroughTheCodecKeepsTabStopsAndText) {
    QtRichTextCodec codec;
    QTextDocument document;
    TextDocumentSink sink(document);
    sample().walk(sink);
    const std::string rtf = codec.write(document);
    EXPECT_EQ(rtf.compare(0, 5, "{\\rtf"), 0);
    EXPECT_NE(rtf.find("\\tx1441"), std::string::npos);
    for (unsigned char c : rtf) EXPECT_LT(c, 0x80); // 7-bit

    QTextDocument again;
    std::string error;
    ASSERT_TRUE(codec.read(rtf, again, error)) << error;
    EXPECT_EQ(again.toPlainText(), document.toPlainText());
    RichDocument a, b;
    TextDocumentSource(document).walk(a);
    TextDocumentSource(again).walk(b);
    EXPECT_EQ(a, b);

    EXPECT_FALSE(codec.read("plain words", again, error));
    EXPECT_FALSE(error.empty());
}

TEST(TextDocument, AnEmptyDocumentWalksAsNoParagraphs) {
    QTextDocument document;
    RichDocument walked;
    TextDocumentSource(document).walk(walked);
    EXPECT_TRUE(walked.empty());
    RichDocument none;
    TextDocumentSink sink(document);
    none.walk(sink);
    EXPECT_EQ(document.blockCount(), 1);
    EXPECT_TRUE(document.toPlainText().isEmpty());
}

TEST(TextDocument, OutlandishNumbersFromAFileAreHeldToARange) {
    QtRichTextCodec codec;
    QTextDocument document;
    std::string error;
    const std::string rtf = "{\\rtf1\\ansi\\pard\\li2000000000\\fi-2000000000\\ri-2000000000\\sb2147483647"
                            "\\tx2147483000\\tqr\\tx-5\\fs2147483647 x\\par"
                            "\\pard\\li-2147483648\\fs0 y\\par}";
    ASSERT_TRUE(codec.read(rtf, document, error)) << error;
    EXPECT_EQ(document.toPlainText(), "x\ny");
    RichDocument back;
    TextDocumentSource(document).walk(back);
    ASSERT_EQ(back.paragraphs().size(), 2u);
    for (const Paragraph& p : back.paragraphs()) {
        EXPECT_LE(std::abs(p.format.leftIndent), 2 << 20);
        EXPECT_LE(std::abs(p.format.firstLineIndent), 1 << 20);
        EXPECT_LE(std::abs(p.format.rightIndent), 1 << 20);
        for (const TabStop& t : p.format.tabs) {
            EXPECT_GE(t.position, 0);
            EXPECT_LE(t.position, 1 << 20);
        }
        for (const TextRun& r : p.runs) EXPECT_LE(r.format.halfPoints, 3276);
    }
    // And it writes out again as RTF that reads.
    QTextDocument again;
    EXPECT_TRUE(codec.read(codec.write(document), again, error)) << error;
}

#ifdef RTF_CORPUS_DIR
// Every document of the corpus passes through a QTextDocument with its words, list markers and
// paragraphs as the codec alone reads them, and again after our writer had it.
TEST(TextDocument, TheCorpusPassesThroughAQTextDocumentWhole) {
    namespace fs = std::filesystem;
    QtRichTextCodec codec;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(RTF_CORPUS_DIR)) {
        if (entry.path().extension() != ".rtf") continue;
        fs::path expected = entry.path();
        expected.replace_extension(".txt");
        if (!fs::exists(expected)) continue;
        ++files;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string rtf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string direct = rtfToPlainText(rtf);

        QTextDocument document;
        std::string error;
        ASSERT_TRUE(codec.read(rtf, document, error)) << entry.path() << ": " << error;
        PlainTextSink through;
        TextDocumentSource(document).walk(through);
        EXPECT_EQ(through.result(), direct) << entry.path();

        QTextDocument again;
        ASSERT_TRUE(codec.read(codec.write(document), again, error)) << entry.path() << ": " << error;
        PlainTextSink back;
        TextDocumentSource(again).walk(back);
        EXPECT_EQ(back.result(), direct) << entry.path();
    }
    EXPECT_GE(files, 3);
}
#endif
