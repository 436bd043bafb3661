// The reader, construct by construct: each test reads a small RTF text written by hand and checks
// the document it gives against values written out in the test.
#include <gtest/gtest.h>

#include "rtf/codec/plain_text.h"
#include "rtf/codec/rich_document.h"
#include "rtf/codec/rtf_reader.h"

namespace docket::rtf {
namespace {

RichDocument read(std::string_view rtf, ReadResult* result = nullptr) {
    RichDocument document;
    const ReadResult r = readRtf(rtf, document);
    EXPECT_TRUE(r.ok) << r.message;
    if (result) *result = r;
    return document;
}

std::string text(std::string_view rtf) {
    return rtfToPlainText(rtf);
}

TEST(RtfReader, RefusesWhatIsNotRtfAndGivesTheSinkNothing) {
    RichDocument document;
    document.addParagraph();
    document.addText("old");
    const ReadResult r = readRtf("plain words", document);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "not an RTF document");
    EXPECT_EQ(document.plainText(), "old");
    EXPECT_TRUE(looksLikeRtf("{\\rtf1 x}"));
    EXPECT_FALSE(looksLikeRtf("{\\RTF1 x}"));
    EXPECT_TRUE(looksLikeRtf("{\\RTF1 x}", true));
}

TEST(RtfReader, ParagraphsLinesTabsAndTheLastParagraph) {
    EXPECT_EQ(text("{\\rtf1 one\\par two\\line three\\tab four\\par}"), "one\ntwo\nthree\tfour");
    // Text after the last \par is a paragraph; an empty tail is not, but an empty paragraph
    // ended by \par is.
    EXPECT_EQ(read("{\\rtf1 a\\par b}").paragraphs().size(), 2u);
    EXPECT_EQ(read("{\\rtf1 a\\par }").paragraphs().size(), 1u);
    EXPECT_EQ(read("{\\rtf1 a\\par\\par}").paragraphs().size(), 2u);
    EXPECT_EQ(read("{\\rtf1 }").paragraphs().size(), 0u);
    // Line ends in the file are nothing; a backslash before one is a \par.
    EXPECT_EQ(text("{\\rtf1 a\r\nb\\\nc}"), "ab\nc");
}

TEST(RtfReader, FontAndColourTablesAndCharacterFormats) {
    const RichDocument document =
        read("{\\rtf1\\ansi\\deff1{\\fonttbl{\\f0\\froman\\fcharset0 Times New Roman;}{\\f1\\fswiss "
             "Arial{\\*\\panose 0}"
             ";}}{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
             "plain \\f0\\fs28\\b bold\\i0\\i italic\\ul under\\ul0\\strike strike\\strike0\\b0\\i0 "
             "\\cf1 red\\cf0\\highlight2 mark\\highlight0\\chcbpat1 back\\plain\\cb2 cb\\plain  end}");
    ASSERT_EQ(document.paragraphs().size(), 1u);
    const auto& runs = document.paragraphs()[0].runs;
    ASSERT_EQ(runs.size(), 10u);
    EXPECT_EQ(runs[0].text, "plain ");
    EXPECT_EQ(runs[0].format, CharFormat{.font = "Arial"});
    CharFormat bold{.font = "Times New Roman", .halfPoints = 28, .bold = true};
    EXPECT_EQ(runs[1].format, bold);
    bold.italic = true;
    EXPECT_EQ(runs[2].format, bold);
    bold.underline = true;
    EXPECT_EQ(runs[3].format, bold);
    bold.underline = false;
    bold.strike = true;
    EXPECT_EQ(runs[4].text, "strike");
    EXPECT_EQ(runs[4].format, bold);
    EXPECT_EQ(runs[5].text, "red");
    EXPECT_EQ(runs[5].format.color, Color::fromRgb(0xFF0000));
    EXPECT_TRUE(runs[6].format.color.automatic);
    EXPECT_EQ(runs[6].format.background, Color::fromRgb(0x0000FF));
    EXPECT_EQ(runs[7].format.background, Color::fromRgb(0xFF0000));
    EXPECT_EQ(runs[8].text, "cb");
    EXPECT_EQ(runs[8].format.background, Color::fromRgb(0x0000FF));
    EXPECT_EQ(runs[8].format.font, "Arial"); // \plain goes back to \deff
    EXPECT_EQ(runs[9].format, CharFormat{.font = "Arial"});
}

TEST(RtfReader, UnderlineKindsAndUlnone) {
    const RichDocument document = read("{\\rtf1 \\uldb a\\ulnone b\\ulwave c\\ul0 d}");
    const auto& runs = document.paragraphs()[0].runs;
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_TRUE(runs[0].format.underline);
    EXPECT_FALSE(runs[1].format.underline);
    EXPECT_TRUE(runs[2].format.underline);
    EXPECT_FALSE(runs[3].format.underline);
}

TEST(RtfReader, GroupsRestoreCharacterAndParagraphFormats) {
    const RichDocument document = read("{\\rtf1 a{\\b b{\\i c}d}e\\par{\\pard\\qc x\\par}y\\par}");
    const auto& runs = document.paragraphs()[0].runs;
    ASSERT_EQ(runs.size(), 5u);
    EXPECT_FALSE(runs[0].format.bold);
    EXPECT_TRUE(runs[2].format.bold && runs[2].format.italic);
    EXPECT_TRUE(runs[3].format.bold && !runs[3].format.italic);
    EXPECT_FALSE(runs[4].format.bold);
    EXPECT_EQ(document.paragraphs()[1].format.alignment, Alignment::Center);
    EXPECT_EQ(document.paragraphs()[2].format.alignment, Alignment::Left);
}

TEST(RtfReader, ParagraphFormatAppliesToTheParagraphItEnds) {
    const RichDocument document =
        read("{\\rtf1\\pard\\qj\\li720\\ri360\\fi-240\\sb120\\sa60 a\\par b\\qr\\par\\pard c\\par}");
    ASSERT_EQ(document.paragraphs().size(), 3u);
    const ParagraphFormat& a = document.paragraphs()[0].format;
    EXPECT_EQ(a.alignment, Alignment::Justify);
    EXPECT_EQ(a.leftIndent, 720);
    EXPECT_EQ(a.rightIndent, 360);
    EXPECT_EQ(a.firstLineIndent, -240);
    EXPECT_EQ(a.spaceBefore, 120);
    EXPECT_EQ(a.spaceAfter, 60);
    // Properties persist over \par; one given after the text still counts for its paragraph.
    EXPECT_EQ(document.paragraphs()[1].format.alignment, Alignment::Right);
    EXPECT_EQ(document.paragraphs()[1].format.leftIndent, 720);
    EXPECT_EQ(document.paragraphs()[2].format, ParagraphFormat{});
}

TEST(RtfReader, TabStopsWithKindsAndLeadersSortedAndCapped) {
    const RichDocument document =
        read("{\\rtf1\\pard\\tqr\\tldot\\tx4320\\tx1440\\tqc\\tx2880\\tqdec\\tx5760\\tb7200\\tx1440 a}");
    const std::vector<TabStop> expected = {{1440, TabKind::Left, TabLeader::None},
                                           {2880, TabKind::Center, TabLeader::None},
                                           {4320, TabKind::Right, TabLeader::Dots},
                                           {5760, TabKind::Decimal, TabLeader::None},
                                           {7200, TabKind::Bar, TabLeader::None}};
    EXPECT_EQ(document.paragraphs()[0].format.tabs, expected);

    std::string many = "{\\rtf1\\pard";
    for (int i = 40; i > 0; --i) many += "\\tx" + std::to_string(i * 100);
    many += " a}";
    const RichDocument capped = read(many);
    const auto& tabs = capped.paragraphs()[0].format.tabs;
    EXPECT_EQ(tabs.size(), kMaxTabStops);
    EXPECT_TRUE(std::is_sorted(tabs.begin(), tabs.end(),
                               [](const TabStop& a, const TabStop& b) { return a.position < b.position; }));
}

TEST(RtfReader, LegacyPnListsInEveryStyle) {
    // As a simple word processor writes them: the literal marker in \pntext is skipped, the
    // marker comes from the list format.
    const RichDocument document =
        read("{\\rtf1\\ansi{\\fonttbl{\\f0\\fnil Arial;}{\\f1\\fnil\\fcharset2 Symbol;}}"
             "\\pard{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'B7}}\\fi-"
             "720\\li720 dot\\par"
             "\\pard{\\pntext\\f0 "
             "1.\\tab}{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pndec{\\pntxta.}}\\fi-720\\li720 "
             "one\\par{\\pntext\\f0 2.\\tab}two\\par"
             "\\pard{\\*\\pn\\pnlvlbody\\pnlcltr\\pnstart1{\\pntxta)}}la\\par"
             "\\pard{\\*\\pn\\pnlvlbody\\pnucltr\\pnstart2{\\pntxtb(}{\\pntxta)}}ua\\par"
             "\\pard{\\*\\pn\\pnlvlbody\\pnlcrm\\pnstart4{\\pntxta.}}lr\\par"
             "\\pard{\\*\\pn\\pnlvlbody\\pnucrm\\pnstart9{\\pntxta.}}ur\\par"
             "\\pard plain\\par}");
    ASSERT_EQ(document.paragraphs().size(), 8u);
    const ParagraphFormat& dot = document.paragraphs()[0].format;
    EXPECT_EQ(dot.list.style, ListStyle::Bullet);
    EXPECT_EQ(dot.leftIndent, 720);
    EXPECT_EQ(dot.firstLineIndent, -720);
    EXPECT_EQ(document.paragraphs()[0].plainText(), "dot");
    EXPECT_EQ(document.plainText(),
              "\xE2\x80\xA2\tdot\n1.\tone\n2.\ttwo\na)\tla\n(B)\tua\niv.\tlr\nIX.\tur\nplain");
}

TEST(RtfReader, ListTableListsWithListTextSkipped) {
    // As LibreOffice and other word processors write them.
    const RichDocument document =
        read("{\\rtf1\\ansi{\\fonttbl{\\f0\\fnil Arial;}}"
             "{\\*\\listtable{\\list\\listtemplateid1\\listhybrid"
             "{\\listlevel\\levelnfc23\\levelnfcn23\\leveljc0\\levelstartat1{\\leveltext\\leveltemplateid2\\'"
             "01\\u8226 ?;}"
             "{\\levelnumbers;}\\f3\\fi-360\\li720}"
             "{\\listlevel\\levelnfc2\\levelstartat3{\\leveltext\\'02\\'01);}{\\levelnumbers\\'01;}\\fi-"
             "360\\li1440}"
             "{\\listname ;}\\listid7}"
             "{\\list{\\listlevel\\levelnfc4\\levelstartat1{\\leveltext\\'03(\\'00);}{\\levelnumbers\\'02;}}"
             "\\listid8}}"
             "{\\*\\listoverridetable{\\listoverride\\listid7\\listoverridecount0\\ls1}"
             "{\\listoverride\\listid8\\listoverridecount0\\ls2}}"
             "\\pard\\ls1\\ilvl0{\\listtext\\pard\\plain \\u8226\\'3f\\tab}first\\par"
             "\\pard\\ls1\\ilvl1{\\listtext iii)\\tab}nested\\par"
             "\\pard\\ls2\\li200\\fi-100{\\listtext (a)\\tab}letter\\par}");
    ASSERT_EQ(document.paragraphs().size(), 3u);
    const ParagraphFormat& first = document.paragraphs()[0].format;
    EXPECT_EQ(first.list.style, ListStyle::Bullet);
    EXPECT_EQ(first.leftIndent, 720); // from the list level: the paragraph gives none
    EXPECT_EQ(first.firstLineIndent, -360);
    const ParagraphFormat& nested = document.paragraphs()[1].format;
    EXPECT_EQ(nested.list.style, ListStyle::LowerRoman);
    EXPECT_EQ(nested.list.level, 1);
    EXPECT_EQ(nested.list.start, 3);
    EXPECT_EQ(nested.list.textAfter, ")");
    EXPECT_EQ(nested.leftIndent, 1440);
    const ParagraphFormat& letter = document.paragraphs()[2].format;
    EXPECT_EQ(letter.list.style, ListStyle::LowerLetter);
    EXPECT_EQ(letter.leftIndent, 200); // the paragraph's own indents win
    EXPECT_EQ(document.plainText(), "\xE2\x80\xA2\tfirst\niii)\tnested\n(a)\tletter");
}

TEST(RtfReader, HexBytesThroughFontCharsetThenAnsiCodePageThenWindows1252) {
    // Font charset 204 (Cyrillic) wins over \ansicpg; without a charset, \ansicpg1250 decodes;
    // without either, 1252.
    EXPECT_EQ(text("{\\rtf1\\ansi\\ansicpg1250{\\fonttbl{\\f0\\fcharset204 A;}{\\f1 B;}}\\f0\\'c4\\'e0 "
                   "\\f1\\'8a\\'e8}"),
              "\xD0\x94\xD0\xB0 \xC5\xA0\xC4\x8D");                                             // "Да Šč"
    EXPECT_EQ(text("{\\rtf1\\ansi \\'e9\\'80\\'93}"), "\xC3\xA9\xE2\x82\xAC\xE2\x80\x9C");      // é € “
    EXPECT_EQ(text("{\\rtf1\\ansi\\ansicpg1251 \\'c0\\'e1\\'e2}"), "\xD0\x90\xD0\xB1\xD0\xB2"); // Абв
    EXPECT_EQ(text("{\\rtf1\\ansi\\ansicpg1253 \\'e1}"), "\xCE\xB1");                           // α
    EXPECT_EQ(text("{\\rtf1\\ansi\\ansicpg1254 \\'fe}"), "\xC5\x9F");                           // ş
    EXPECT_EQ(text("{\\rtf1\\ansi\\ansicpg1257 \\'e0}"), "\xC4\x85");                           // ą
    EXPECT_EQ(text("{\\rtf1\\pc \\'82}"), "\xC3\xA9");                                          // 437 é
    EXPECT_EQ(text("{\\rtf1\\ansi\\ansicpg65001 \\'d0\\'94}"), "\xD0\x94");                     // UTF-8 Д
    // Raw 8-bit bytes in the text decode the same way.
    EXPECT_EQ(text("{\\rtf1\\ansi\\ansicpg1251 \xC0}"), "\xD0\x90");
}

TEST(RtfReader, UnicodeWithFallbackSkipAndSurrogates) {
    EXPECT_EQ(text("{\\rtf1\\uc1 \\u1044?\\u-10179?\\u-8704?}"), "\xD0\x94\xF0\x9F\x98\x80");
    // \uc2 skips two fallback characters, a \'hh counting as one; groups keep their own \uc.
    EXPECT_EQ(text("{\\rtf1\\uc2 \\u1044\\'3f?x{\\uc0\\u1044 y}\\u1044 ab}"), "\xD0\x94x\xD0\x94y\xD0\x94");
    // A lone surrogate is a replacement character; \u-32768 is U+8000.
    EXPECT_EQ(text("{\\rtf1\\uc0\\u-10179 a\\u-32768}"), "\xEF\xBF\xBD"
                                                         "a\xE8\x80\x80");
}

TEST(RtfReader, SpecialCharactersAndEscapes) {
    EXPECT_EQ(
        text("{\\rtf1 \\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote\\~\\-\\_\\\\\\{\\}}"),
        "\xE2\x80\x94\xE2\x80\x93\xE2\x80\xA2\xE2\x80\x98\xE2\x80\x99\xE2\x80\x9C\xE2\x80\x9D\xC2\xA0"
        "\xC2\xAD\xE2\x80\x91\\{}");
}

TEST(RtfReader, SkipsDestinationsButKeepsFieldResults) {
    EXPECT_EQ(text("{\\rtf1{\\stylesheet{\\s0 Normal;}}{\\info{\\title T}{\\author A}}{\\*\\generator G;}"
                   "{\\header H}{\\footer F}{\\pict\\wmetafile8 0123abcd}{\\object{\\*\\objdata 00}}"
                   "{\\*\\unknowndest secret}{\\*\\pnseclvl1\\pnucrm{\\pntxta .}}"
                   "a{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}b{\\v hidden}c"
                   "\\bin3 {}}\\par d}"),
              "alinkbc\nd");
    // An unknown destination without \* keeps its text, as the format asks.
    EXPECT_EQ(text("{\\rtf1{\\madeup kept}}"), "kept");
}

TEST(RtfReader, TablesReadAsTabSeparatedRows) {
    EXPECT_EQ(text("{\\rtf1\\trowd\\cellx1000\\cellx2000\\intbl a\\cell b\\cell\\row\\trowd\\intbl c\\cell "
                   "d\\cell\\row"
                   "\\pard after\\par}"),
              "a\tb\nc\td\nafter");
}

TEST(RtfReader, TruncatedInputKeepsWhatWasReadAndWarns) {
    ReadResult result;
    const RichDocument document =
        read("{\\rtf1{\\fonttbl{\\f0 Arial;}}\\pard\\qc\\b first\\par second {\\i third", &result);
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.truncated);
    EXPECT_FALSE(result.message.empty());
    EXPECT_EQ(document.plainText(), "first\nsecond third");
    EXPECT_EQ(document.paragraphs()[1].format.alignment, Alignment::Center);

    ReadResult clean;
    read("{\\rtf1 a}", &clean);
    EXPECT_FALSE(clean.truncated);
    EXPECT_TRUE(clean.message.empty());
}

TEST(RtfReader, DefaultTabWidth) {
    EXPECT_EQ(read("{\\rtf1\\deftab360 a}").format().defaultTabWidth, 360);
    EXPECT_EQ(read("{\\rtf1 a}").format().defaultTabWidth, 720);
}

} // namespace
} // namespace docket::rtf
