// Documents written and read back come back equal, feature by feature: what the editor stores in
// a memo body is what it shows the next time.
#include <gtest/gtest.h>

#include "rtf/codec/rich_document.h"
#include "rtf/codec/rtf_reader.h"
#include "rtf/codec/rtf_writer.h"

namespace docket::rtf {
namespace {

RichDocument roundTrip(const RichDocument& document) {
    const std::string rtf = writeRtf(document);
    RichDocument back;
    const ReadResult result = readRtf(rtf, back);
    EXPECT_TRUE(result.ok && result.message.empty()) << result.message;
    // Writing what was read gives the same bytes again.
    EXPECT_EQ(writeRtf(back), rtf);
    return back;
}

CharFormat face(std::string name, int halfPoints = 20) {
    CharFormat format;
    format.font = std::move(name);
    format.halfPoints = halfPoints;
    return format;
}

TEST(RtfRoundTrip, EveryCharacterFormat) {
    RichDocument document;
    document.addParagraph();
    CharFormat f = face("Arial");
    document.addText("plain ", f);
    f.bold = true;
    document.addText("bold ", f);
    f.italic = true;
    document.addText("bold italic ", f);
    f.bold = false;
    f.underline = true;
    document.addText("italic underline ", f);
    f = face("Courier New", 32);
    f.strike = true;
    document.addText("struck ", f);
    f.strike = false;
    f.color = Color::fromRgb(0x123456);
    document.addText("coloured ", f);
    f.background = Color::fromRgb(0xFFFF00);
    document.addText("highlighted", f);
    f = face("Times New Roman", 48);
    f.color = Color::fromRgb(0x000000); // black, which is not "automatic"
    document.addText(" black", f);
    EXPECT_EQ(roundTrip(document), document);
}

TEST(RtfRoundTrip, EveryParagraphFormat) {
    RichDocument document;
    for (Alignment alignment : {Alignment::Left, Alignment::Right, Alignment::Center, Alignment::Justify}) {
        ParagraphFormat format;
        format.alignment = alignment;
        format.leftIndent = 1440;
        format.rightIndent = 720;
        format.firstLineIndent = -360;
        format.spaceBefore = 240;
        format.spaceAfter = 120;
        document.addParagraph(format);
        document.addText("aligned");
    }
    document.addParagraph(); // an empty paragraph in the middle
    ParagraphFormat tabs;
    tabs.tabs = {{720, TabKind::Left, TabLeader::None},   {2160, TabKind::Center, TabLeader::Hyphens},
                 {3600, TabKind::Right, TabLeader::Dots}, {5040, TabKind::Decimal, TabLeader::Underline},
                 {6480, TabKind::Bar, TabLeader::None},   {7920, TabKind::Left, TabLeader::ThickLine},
                 {9000, TabKind::Left, TabLeader::Equals}};
    document.addParagraph(tabs);
    document.addText("a\tb\tc\t1.5\td\te\tf");
    document.addParagraph(); // the user pressed Enter at the end
    EXPECT_EQ(roundTrip(document), document);
}

TEST(RtfRoundTrip, AllSixListStylesWithTheirNumbers) {
    RichDocument document;
    const ListStyle styles[] = {ListStyle::Bullet,      ListStyle::Arabic,     ListStyle::LowerLetter,
                                ListStyle::UpperLetter, ListStyle::LowerRoman, ListStyle::UpperRoman};
    for (ListStyle style : styles) {
        ParagraphFormat format;
        format.leftIndent = 360;
        format.firstLineIndent = -360;
        format.list = ListFormat::of(style);
        for (int item = 0; item < 2; ++item) {
            document.addParagraph(format);
            document.addText("item");
        }
        document.addParagraph(); // ends the list
        document.addText("between");
    }
    ParagraphFormat custom;
    custom.list = ListFormat::of(ListStyle::LowerLetter);
    custom.list.start = 5;
    custom.list.textBefore = "(";
    custom.list.textAfter = ")";
    document.addParagraph(custom);
    document.addText("fifth");
    EXPECT_EQ(roundTrip(document), document);
    EXPECT_EQ(document.plainText(), "\xE2\x80\xA2\titem\n\xE2\x80\xA2\titem\nbetween\n"
                                    "1.\titem\n2.\titem\nbetween\na.\titem\nb.\titem\nbetween\n"
                                    "A.\titem\nB.\titem\nbetween\ni.\titem\nii.\titem\nbetween\n"
                                    "I.\titem\nII.\titem\nbetween\n(e)\tfifth");
}

TEST(RtfRoundTrip, TextInEveryScript) {
    RichDocument document;
    document.addParagraph();
    // Accents, the euro sign, Cyrillic, Greek, CJK, an emoji, the characters RTF escapes, and
    // the non-breaking and soft hyphens and space.
    document.addText("Caf\xC3\xA9 \xC3\xB1 \xE2\x82\xAC 5 \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "
                     "\xCE\xB1\xCE\xB2 \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80\xF0\x9F\x91\x8D {x} \\ "
                     "a\xC2\xA0"
                     "b\xC2\xAD"
                     "c\xE2\x80\x91"
                     "d\nline two",
                     face("Arial"));
    CharFormat cyrillic = face("Arial Cyr");
    cyrillic.charset = 204;
    document.addText(" \xD0\x94\xD0\xB0 \xC3\xA9", cyrillic); // é is not in 1251: \u
    EXPECT_EQ(roundTrip(document), document);
}

TEST(RtfRoundTrip, FontNamesOutsideAscii) {
    RichDocument document;
    document.addParagraph();
    document.addText("x", face("\xD0\x90rial \xC3\xA9"));
    EXPECT_EQ(roundTrip(document), document);
}

TEST(RtfRoundTrip, DefaultTabWidthAndEmptyDocument) {
    RichDocument document;
    document.format().defaultTabWidth = 360;
    document.addParagraph();
    document.addText("a\tb");
    EXPECT_EQ(roundTrip(document), document);
    EXPECT_EQ(roundTrip(RichDocument{}), RichDocument{});
}

} // namespace
} // namespace docket::rtf
