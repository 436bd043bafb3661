#pragma once
// What the document rtf/tests/corpus/sources/libreoffice_formats.fodt holds, checked on the RTF that
// LibreOffice makes of it: the stored copy in the corpus and a fresh conversion alike.
#include <gtest/gtest.h>

#include "rtf/codec/rich_document.h"

namespace docket::rtf::testing {

inline void expectLibreOfficeFormats(const RichDocument& document) {
    const auto& p = document.paragraphs();
    ASSERT_EQ(p.size(), 15u);
    EXPECT_EQ(p[0].format.alignment, Alignment::Center);
    EXPECT_EQ(p[2].format.alignment, Alignment::Right);
    EXPECT_EQ(p[3].format.alignment, Alignment::Justify);
    EXPECT_EQ(p[3].format.leftIndent, 1440);
    EXPECT_EQ(p[3].format.rightIndent, 720);
    EXPECT_EQ(p[3].format.firstLineIndent, -360);

    // "Plain bold italic underlined struck red highlighted large sans", one word per format.
    const auto& runs = p[1].runs;
    auto formatOf = [&](std::string_view word) {
        for (const auto& run : runs)
            if (run.text == word) return run.format;
        ADD_FAILURE() << "no run " << word;
        return CharFormat{};
    };
    const CharFormat plain = formatOf("Plain ");
    EXPECT_FALSE(plain.bold || plain.italic || plain.underline || plain.strike);
    EXPECT_EQ(plain.halfPoints, 24);
    EXPECT_TRUE(formatOf("bold").bold);
    EXPECT_TRUE(formatOf("italic").italic);
    EXPECT_TRUE(formatOf("underlined").underline);
    EXPECT_TRUE(formatOf("struck").strike);
    EXPECT_EQ(formatOf("red").color, Color::fromRgb(0xFF0000));
    EXPECT_EQ(formatOf("highlighted").background, Color::fromRgb(0xFFFF00));
    EXPECT_EQ(formatOf("large sans").halfPoints, 32);
    EXPECT_EQ(formatOf("large sans").font, "Liberation Sans");
    EXPECT_EQ(plain.font, "Liberation Serif");

    const std::vector<TabStop> tabs = {{1440, TabKind::Left, TabLeader::None},
                                       {3600, TabKind::Center, TabLeader::None},
                                       {5760, TabKind::Right, TabLeader::Dots},
                                       {7200, TabKind::Decimal, TabLeader::None}};
    EXPECT_EQ(p[4].format.tabs, tabs);

    const ListStyle styles[] = {ListStyle::Bullet,      ListStyle::Bullet,     ListStyle::None,
                                ListStyle::Arabic,      ListStyle::Arabic,     ListStyle::LowerLetter,
                                ListStyle::UpperLetter, ListStyle::LowerRoman, ListStyle::UpperRoman};
    for (std::size_t i = 0; i < std::size(styles); ++i) EXPECT_EQ(p[5 + i].format.list.style, styles[i]) << i;
    EXPECT_EQ(p[13].format.list.start, 3);
    EXPECT_EQ(p[10].format.list.textAfter, ")");
    EXPECT_EQ(p[5].format.leftIndent, 720);
    EXPECT_EQ(p[5].format.firstLineIndent, -360);
}

} // namespace docket::rtf::testing
