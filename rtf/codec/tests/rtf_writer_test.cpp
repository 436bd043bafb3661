// The writer's bytes for small documents, written out in full: they are what a memo field stores.
#include <gtest/gtest.h>

#include "rtf/codec/rich_document.h"
#include "rtf/codec/rtf_writer.h"

namespace docket::rtf {
namespace {

CharFormat arial(int halfPoints = 20) {
    CharFormat format;
    format.font = "Arial";
    format.halfPoints = halfPoints;
    return format;
}

TEST(RtfWriter, OneLineMemoIsSmallAndExact) {
    RichDocument document;
    document.addParagraph();
    document.addText("Rapat hari Senin pukul 09.00", arial());
    const std::string rtf = writeRtf(document);
    EXPECT_EQ(rtf, "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fnil Arial;}}\n"
                   "\\fs20 Rapat hari Senin pukul 09.00\\par\n}");
    EXPECT_LT(rtf.size(), 300u);
}

TEST(RtfWriter, EmptyDocumentIsTheHeaderOnly) {
    RichDocument document;
    EXPECT_EQ(writeRtf(document), "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n}");
}

TEST(RtfWriter, CharacterWordsOnlyWhereTheFormatChanges) {
    RichDocument document;
    document.addParagraph();
    CharFormat bold = arial();
    bold.bold = true;
    CharFormat red = arial();
    red.color = Color::fromRgb(0xFF0000);
    red.underline = true;
    document.addText("a ", arial());
    document.addText("b", bold);
    document.addText("c", bold); // merged with "b"
    document.addText("d", red);
    document.addParagraph();
    document.addText("e", red); // same format in the next paragraph: no words
    EXPECT_EQ(writeRtf(document), "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fnil Arial;}}"
                                  "{\\colortbl;\\red255\\green0\\blue0;}\n"
                                  "\\fs20 a \\b bc\\b0\\ul\\cf1 d\\par\ne\\par\n}");
}

TEST(RtfWriter, ParagraphWordsTabsAndAlignment) {
    RichDocument document;
    ParagraphFormat format;
    format.alignment = Alignment::Center;
    format.leftIndent = 720;
    format.firstLineIndent = -360;
    format.tabs = {{1440, TabKind::Left, TabLeader::None},
                   {2880, TabKind::Center, TabLeader::None},
                   {4320, TabKind::Right, TabLeader::Dots},
                   {5760, TabKind::Decimal, TabLeader::None},
                   {7200, TabKind::Bar, TabLeader::None}};
    document.addParagraph(format);
    document.addText("x\ty");
    document.addParagraph(format); // same format: no \pard again
    document.addText("z");
    document.addParagraph(); // back to the defaults
    document.addText("w");
    EXPECT_EQ(writeRtf(document), "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n"
                                  "\\pard\\qc\\li720\\fi-360\\tx1440\\tqc\\tx2880\\tldot\\tqr\\tx4320"
                                  "\\tqdec\\tx5760\\tb7200 x\\tab y\\par\nz\\par\n\\pard w\\par\n}");
}

TEST(RtfWriter, TextIsSevenBitWithCodePageBytesAndUnicode) {
    RichDocument document;
    document.addParagraph();
    // é and € are in Windows-1252; Д is not; the emoji needs a surrogate pair; braces and
    // backslashes are escaped.
    document.addText("caf\xC3\xA9 \xE2\x82\xAC \xD0\x94 \xF0\x9F\x98\x80 {\\}");
    const std::string rtf = writeRtf(document);
    EXPECT_EQ(rtf, "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\ncaf\\'e9 \\'80 \\u1044? \\u-10179?\\u-8704? "
                   "\\{\\\\\\}\\par\n}");
    for (char c : rtf) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
}

TEST(RtfWriter, CyrillicFontUsesItsCodePage) {
    RichDocument document;
    document.addParagraph();
    CharFormat cyrillic;
    cyrillic.font = "Times New Roman";
    cyrillic.charset = 204;
    document.addText("\xD0\x94\xD0\xB0 \xE2\x82\xAC", cyrillic); // "Да €": the euro is in 1251 too
    EXPECT_EQ(writeRtf(document), "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fnil\\fcharset204 "
                                  "Times New Roman;}}\n\\'c4\\'e0 \\'88\\par\n}");
}

TEST(RtfWriter, ListsUseTheListTableOneListPerRun) {
    RichDocument document;
    ParagraphFormat bullets;
    bullets.leftIndent = 360;
    bullets.firstLineIndent = -360;
    bullets.list = ListFormat::of(ListStyle::Bullet);
    document.addParagraph(bullets);
    document.addText("one");
    ParagraphFormat numbers = bullets;
    numbers.list = ListFormat::of(ListStyle::UpperRoman);
    numbers.list.start = 3;
    document.addParagraph(numbers);
    document.addText("two");
    document.addParagraph(numbers);
    document.addText("three");
    document.addParagraph();
    document.addText("out");
    document.addParagraph(numbers); // after a paragraph outside: a new list, counting from 3 again
    document.addText("four");
    EXPECT_EQ(writeRtf(document),
              "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\*\\listtable"
              "{\\list{\\listlevel\\levelnfc23\\levelstartat1{\\leveltext\\'01\\'95;}}\\listid1}"
              "{\\list{\\listlevel\\levelnfc1\\levelstartat3{\\leveltext\\'02\\'00.;}{\\levelnumbers\\'01;}}"
              "\\listid2}"
              "{\\list{\\listlevel\\levelnfc1\\levelstartat3{\\leveltext\\'02\\'00.;}{\\levelnumbers\\'01;}}"
              "\\listid3}}"
              "{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}{\\listoverride\\listid2\\ls2}"
              "{\\listoverride\\listid3\\ls3}}\n"
              "\\pard\\li360\\fi-360\\ls1{\\listtext\\'95\\tab}one\\par\n"
              "\\pard\\li360\\fi-360\\ls2{\\listtext III.\\tab}two\\par\n"
              "{\\listtext IV.\\tab}three\\par\n"
              "\\pard out\\par\n"
              "\\pard\\li360\\fi-360\\ls3{\\listtext III.\\tab}four\\par\n}");
}

TEST(RtfWriter, SameDocumentSameBytes) {
    RichDocument document;
    document.addParagraph();
    CharFormat a = arial();
    a.background = Color::fromRgb(0x00FF00);
    document.addText("x", a);
    document.addText("y", arial(28));
    EXPECT_EQ(writeRtf(document), writeRtf(document));
    RichDocument copy = document;
    EXPECT_EQ(writeRtf(copy), writeRtf(document));
}

} // namespace
} // namespace docket::rtf
