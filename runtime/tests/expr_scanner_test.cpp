#include "runtime/expression/internal/expr_scanner.h"

#include <gtest/gtest.h>

#include <vector>

#include "expr_test_support.h"

namespace docket::runtime {
namespace {

struct NumberCase {
    const char* text;
    TokenType type;
    double value;
};

TEST(ExprScanner, Numbers) {
    const NumberCase cases[] = {
        {"0", TokenType::Integer, 0},
        {"007", TokenType::Integer, 7},
        {"01FH", TokenType::Integer, 31},
        {"0ffh", TokenType::Integer, 255},
        {"1BH", TokenType::Integer, 27}, // B is a hex digit before the H
        {"17O", TokenType::Integer, 15},
        {"101B", TokenType::Integer, 5},
        {"0H", TokenType::Integer, 0},
        {"2147483647", TokenType::Integer, 2147483647},
        {"2147483648", TokenType::Real, 2147483648.0},
        {"4294967295", TokenType::Real, 4294967295.0},
        {"3000000000", TokenType::Real, 3000000000.0},
        {"0002147483647", TokenType::Integer, 2147483647}, // leading zeros do not count
        {"7FFFFFFFH", TokenType::Integer, 2147483647},
        {"80000000H", TokenType::Real, 2147483648.0},
        {"FFFFFFFFFH", TokenType::Real, 68719476735.0},
        {"17777777777O", TokenType::Integer, 2147483647},
        {"37777777777O", TokenType::Real, 4294967295.0},
        {"1111111111111111111111111111111B", TokenType::Integer, 2147483647},
        {"11111111111111111111111111111111B", TokenType::Real, 4294967295.0},
        {"12345678901234567890", TokenType::Real, 12345678901234567890.0},
        {"1.5", TokenType::Real, 1.5},
        {".25", TokenType::Real, 0.25},
        {"5.", TokenType::Real, 5.0},
        {"0.1", TokenType::Real, 0.1},
        {"19B", TokenType::Error, 0},
        {"12A", TokenType::Error, 0},
        {"1E5", TokenType::Error, 0},
        {"0E", TokenType::Error, 0},
        {"8O", TokenType::Error, 0},
        {"1.5E3", TokenType::Error, 0},
        {".", TokenType::Error, 0},
        {"1.2.3", TokenType::Error, 0},
    };
    for (const NumberCase& c : cases) {
        const Token t = ExprScanner::scanNumberText(c.text);
        EXPECT_EQ(t.type, c.type) << c.text;
        if (t.type == TokenType::Integer) {
            EXPECT_EQ(t.integer, c.value) << c.text;
        }
        if (t.type == TokenType::Real) {
            EXPECT_DOUBLE_EQ(t.real, c.value) << c.text;
        }
    }
}

// Every token up to the end or the first error. Each token but the last takes at least one
// character, so a scanner that stops advancing fails here instead of looping.
std::vector<Token> scanAll(std::string_view text) {
    ExprScanner scanner(text);
    std::vector<Token> tokens;
    for (std::size_t n = 0; n <= text.size(); ++n) {
        tokens.push_back(scanner.next());
        if (tokens.back().type == TokenType::End || tokens.back().type == TokenType::Error) return tokens;
    }
    ADD_FAILURE() << "no end after " << tokens.size() << " tokens of \"" << text << "\"";
    return tokens;
}

TEST(ExprScanner, StringsDoubleTheirQuotes) {
    auto tokens = scanAll("'It''s' ''''");
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[0].text, "It's");
    EXPECT_EQ(tokens[0].text.size(), 4u);
    EXPECT_EQ(tokens[1].text, "'");
    EXPECT_EQ(scanAll("'open").back().type, TokenType::Error);
    EXPECT_EQ(scanAll("'ends with a doubled quote''").back().type, TokenType::Error);
}

TEST(ExprScanner, PictureConstantsEndWhereTheLanguageSays) {
    const std::pair<const char*, const char*> cases[] = {
        {"@n-14,x", "@n-14"},
        {"@s20)", "@s20"},
        {"@s20 ", "@s20"},
        {"@n6.2Bx", "@n6.2B"},
        {"@P###-##Px", "@P###-##P"},
        {"@p(###)p,", "@p(###"}, // ")" ends every picture but an N picture
        {"@p##-##p)", "@p##-##p"},
        {"@K@@-##K)", "@K@@-##K"},
        {"@n~kr ,~12.2)", "@n~kr ,~12.2"},
        {"@n(10.2))", "@n(10.2)"},
        {"@d17", "@d17"},
    };
    for (const auto& [text, picture] : cases) {
        auto tokens = scanAll(text);
        ASSERT_GE(tokens.size(), 1u);
        EXPECT_EQ(tokens[0].type, TokenType::Picture) << text;
        EXPECT_EQ(tokens[0].text, picture) << text;
    }
    EXPECT_EQ(scanAll("@").back().type, TokenType::Error);
    EXPECT_EQ(scanAll("@ s").front().type, TokenType::Error);
}

class ExprScannerNames : public testing::ExpressionTest {};

TEST_F(ExprScannerNames, NamesTakeColonsAndOneSuffix) {
    auto tokens = scanAll("MEM:MEMO_ID NAME$x ?BROWSE:1 _a# Q\"");
    ASSERT_EQ(tokens.size(), 7u);
    EXPECT_EQ(tokens[0].text, "MEM:MEMO_ID");
    EXPECT_EQ(tokens[1].text, "NAME$");
    EXPECT_EQ(tokens[2].text, "x");
    EXPECT_EQ(tokens[3].text, "?BROWSE:1");
    EXPECT_EQ(tokens[4].text, "_a#");
    EXPECT_EQ(tokens[5].text, "Q\"");
    EXPECT_FALSE(tokens[0].entry.has_value());
    auto keyword = scanAll("and Upper");
    ASSERT_TRUE(keyword[0].entry.has_value());
    EXPECT_EQ(keyword[0].entry->kind, BindingEntry::Kind::Keyword);
    ASSERT_TRUE(keyword[1].entry.has_value());
    EXPECT_EQ(keyword[1].entry->kind, BindingEntry::Kind::Function);
}

TEST_F(ExprScannerNames, LongNamesAreCutTo99) {
    const std::string name(150, 'N');
    auto tokens = scanAll(name + " + 1");
    EXPECT_EQ(tokens[0].text.size(), kMaxNameLength);
    EXPECT_EQ(tokens[1].symbol, '+');
}

TEST_F(ExprScannerNames, SymbolsAndStrangers) {
    auto tokens = scanAll("( ) [ ] ^ * / % + - & = < > ~ , :");
    EXPECT_EQ(tokens.size(), 18u);
    for (const char* bad : {"!", "#", "$", "\"", ";", "{", "?1", "?", "\t"})
        EXPECT_EQ(scanAll(bad).back().type, TokenType::Error) << bad;
}

} // namespace
} // namespace docket::runtime
