#include "runtime/core/char_tables.h"

#include <gtest/gtest.h>

#include <set>

namespace docket::runtime {
namespace {

TEST(CharTables, CaseMapsPairAsciiAndWindows1252Letters) {
    EXPECT_EQ(upperChar('a'), 'A');
    EXPECT_EQ(lowerChar('Z'), 'z');
    EXPECT_EQ(upperChar(0xE9), 0xC9); // é -> É
    EXPECT_EQ(lowerChar(0xC0), 0xE0); // À -> à
    EXPECT_EQ(upperChar(0x9A), 0x8A); // š -> Š
    EXPECT_EQ(upperChar(0xFF), 0x9F); // ÿ -> Ÿ
    EXPECT_EQ(upperChar(0xF7), 0xF7); // ÷ is no letter
    EXPECT_EQ(lowerChar(0xD7), 0xD7); // × neither
    EXPECT_EQ(upperChar(0xDF), 0xDF); // ß has no capital here
    for (unsigned c = 0; c < 256; ++c) {
        const auto ch = static_cast<unsigned char>(c);
        if (upperChar(ch) != ch) {
            EXPECT_EQ(lowerChar(upperChar(ch)), ch) << c;
        }
        if (lowerChar(ch) != ch) {
            EXPECT_EQ(upperChar(lowerChar(ch)), ch) << c;
        }
    }
}

TEST(CharTables, Classes) {
    EXPECT_TRUE(isLetter('q'));
    EXPECT_TRUE(isLetter(0xC9));
    EXPECT_TRUE(isLetter(0xDF));
    EXPECT_FALSE(isLetter('_'));
    EXPECT_FALSE(isLetter(0xF7));
    EXPECT_FALSE(isLetter('5'));
    EXPECT_TRUE(isDigit('0'));
    EXPECT_FALSE(isDigit(0xB2)); // superscript two
    EXPECT_TRUE(isLetterOrDigit('9'));
    EXPECT_TRUE(isBlank(' '));
    EXPECT_FALSE(isBlank('\t'));
}

TEST(CharTables, CollationKeepsAsciiOrderAndPutsAccentsAfterTheirLetter) {
    std::set<std::uint16_t> weights;
    for (unsigned c = 0; c < 256; ++c) weights.insert(collationWeight(static_cast<unsigned char>(c)));
    EXPECT_EQ(weights.size(), 256u); // a total order: distinct bytes never tie

    EXPECT_LT(collateCompare("B", "a"), 0); // ASCII order: capitals first
    EXPECT_LT(collateCompare("E", "\xC9"), 0);
    EXPECT_LT(collateCompare("\xC9", "F"), 0);
    EXPECT_LT(collateCompare("e", "\xE9"), 0);
    EXPECT_LT(collateCompare("\xE9", "f"), 0);
    EXPECT_LT(collateCompare("z", "\xA9"), 0); // other high bytes after all ASCII
}

TEST(CharTables, ComparisonIgnoresTrailingBlanksOnly) {
    EXPECT_EQ(collateCompare("AB", "AB   "), 0);
    EXPECT_EQ(collateCompare("", "   "), 0);
    EXPECT_NE(collateCompare(" AB", "AB"), 0);
    EXPECT_GT(collateCompare("AB", "AB\x01"), 0); // the shorter one is padded with blanks
    EXPECT_LT(collateCompare("AB", "ABC"), 0);
    EXPECT_EQ(collateCompareNoCase("Mem:Perihal", "MEM:PERIHAL  "), 0);
    EXPECT_EQ(collateCompareNoCase("\xE9t\xE9", "\xC9T\xC9"), 0);
    EXPECT_NE(collateCompare("abc", "ABC"), 0);
}

} // namespace
} // namespace docket::runtime
