// The grammar: precedence, associativity, the edge cases of the language, and texts that must not
// compile.
#include "runtime/expression/expr_parser.h"

#include <cstdint>

#include "expr_test_support.h"

namespace docket::runtime {
namespace {

class ExprGrammar : public testing::ExpressionTest {
protected:
    std::int32_t a = 0, b = 0, c = 0;
    void bindAbc(std::int32_t av, std::int32_t bv, std::int32_t cv) {
        a = av;
        b = bv;
        c = cv;
        ASSERT_TRUE(bindVariable("A", bindLong(&a)));
        ASSERT_TRUE(bindVariable("B", bindLong(&b)));
        ASSERT_TRUE(bindVariable("C", bindLong(&c)));
    }
};

TEST_F(ExprGrammar, PrecedenceTable) {
    // Each text tells its grouping apart from the neighbouring levels' grouping.
    const std::pair<const char*, const char*> cases[] = {
        {"1 + 2 * 3", "7"},
        {"(1 + 2) * 3", "9"},
        {"2 * 3 ^ 2", "18"},
        {"-2 ^ 2", "4"}, // signs bind tighter than powers
        {"2 ^ -1", "0.5"},
        {"17 % 5 * 2", "4"},
        {"2 + 3 * 4 ^ 2 / 8", "8"},
        {"1 + 2 & 3 + 4", "37"}, // sums before concatenation
        {"1 & 2 = '12'", "1"},   // concatenation before comparison
        {"1 < 2 = 1", "1"},      // comparisons chain from the left
        {"NOT 0 AND 0", "0"},    // NOT takes a comparison, not a term
        {"1 = 1 OR 1 = 2 AND 0 = 1", "1"},
        {"NOT NOT 1", "1"},
        {"~~~0", "1"},
        {"1 - -1", "2"},
        {"3 - + - 2", "5"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(ev(text), expected) << text;
}

TEST_F(ExprGrammar, LeftAssociativity) {
    const std::pair<const char*, const char*> cases[] = {
        {"10 - 4 - 3", "3"},  {"100 / 10 / 5", "2"}, {"2 ^ 3 ^ 2", "64"},        {"3 - 2 + 1", "2"},
        {"100 % 7 % 3", "2"}, {"1 OR 1 XOR 1", "0"}, {"'a' & 'b' & 'c'", "abc"}, {"0 AND 1 OR 1", "1"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(ev(text), expected) << text;
}

TEST_F(ExprGrammar, AndBindsTighterThanOr) {
    bindAbc(1, 0, 0);
    EXPECT_EQ(ev("A = 1 OR B = 2 AND C = 3"), "1"); // A = 1 OR (B = 2 AND C = 3)
    bindAbc(0, 2, 0);
    EXPECT_EQ(ev("A = 1 OR B = 2 AND C = 3"), "0");
}

TEST_F(ExprGrammar, NotAppliesToTheWholeComparison) {
    bindAbc(1, 2, 0);
    EXPECT_EQ(ev("NOT A = B"), "1"); // (NOT A) = B would be 0
    EXPECT_EQ(ev("~ A = B"), "1");
    EXPECT_EQ(ev("~A = 1"), "0");
    EXPECT_EQ(ev("NOT NOT A = B"), "0");
}

TEST_F(ExprGrammar, SignsBeforeOperands) {
    EXPECT_EQ(ev("--5"), "5");
    EXPECT_EQ(ev("- -5"), "5");
    EXPECT_EQ(ev("+-5"), "-5");
    EXPECT_EQ(ev("---5"), "-5");
    EXPECT_EQ(ev("-'3'"), "-3");
}

TEST_F(ExprGrammar, ComparisonOperatorsOfOneAndTwoTokens) {
    const std::pair<const char*, const char*> cases[] = {
        {"1 = 1", "1"},  {"1 < 2", "1"},  {"2 > 1", "1"},  {"1 <> 2", "1"},  {"1 ~= 1", "0"},
        {"1 <= 1", "1"}, {"2 =< 1", "0"}, {"1 ~> 1", "1"}, {"2 ~> 1", "0"},  {"1 >= 2", "0"},
        {"2 => 2", "1"}, {"1 ~< 2", "0"}, {"2 ~< 2", "1"}, {"1 < = 2", "1"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(ev(text), expected) << text;
    EXPECT_FALSE(compiles("1 ~ 2"));
    EXPECT_FALSE(compiles("1 == 2"));
}

TEST_F(ExprGrammar, ConversionAndComparisonRules) {
    const std::pair<const char*, const char*> cases[] = {
        {"'ABC' = 'ABC   '", "1"}, // trailing blanks never count
        {"'  ABC' = 'ABC'", "0"},  // leading ones do
        {"'B' < 'a'", "1"},        // the collating order keeps ASCII order
        {"'abc' < 'abd'", "1"},
        {"'10' = 10", "1"}, // numeric text against a number: numerically
        {"' 10 ' = 10.0", "1"},
        {"9 < '10'", "1"},
        {"'abc' > 5", "1"},  // other text: the number's text in collating order
        {"'10' < '9'", "1"}, // two texts compare as texts
        {"'12abc' + 1", "13"},
        {"'abc' + 1", "1"},
        {"'3.5' * 2", "7"},
        {"7 / 2", "3.5"},
        {"2.50", "2.5"},
        {"1 / 3", "0.333333333333333"},
        {"7 % 0", "0"},
        {"7 / 0", "0"},
        {"7.5 % 2", "1.5"},
        {"-7 % 3", "-1"},
        {"2147483647 + 1", "2147483648"},
        {"1 = 1.0", "1"},
        {"'1' & 2.5", "12.5"},
        {"(-8) ^ 0.5", "0"},
        {"SQRT(-1) = 0", "1"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(ev(text), expected) << text;
    // Integer arithmetic overflowing 64 bits continues as a real, it does not wrap or saturate.
    EXPECT_EQ(ev("2147483647 * 2147483647 * 2147483647").substr(0, 14), "99035203004479");
    EXPECT_EQ(ev("2147483647 * 2147483647 * 2147483647").size(), 28u);
}

TEST_F(ExprGrammar, LogicalResultsPrintAsOneAndZero) {
    EXPECT_EQ(ev("1 = 1"), "1");
    EXPECT_EQ(ev("5 AND 'x'"), "0");
    EXPECT_EQ(ev("0.5 OR 0"), "1");
    EXPECT_EQ(ev("'2' AND 3"), "1");
}

TEST_F(ExprGrammar, NumbersAndNames) {
    EXPECT_EQ(ev("01FH"), "31");
    EXPECT_EQ(ev("17O"), "15");
    EXPECT_EQ(ev("101B"), "5");
    EXPECT_FALSE(compiles("19B"));
    EXPECT_FALSE(compiles("12A"));
    EXPECT_FALSE(compiles("FFH")); // a name, and not a bound one
    std::int32_t ffh = 7;
    ASSERT_TRUE(bindVariable("FFH", bindLong(&ffh)));
    EXPECT_EQ(ev("FFH"), "7");
    EXPECT_EQ(ev("0FFH + FFH"), "262");
    EXPECT_EQ(ev("4294967295"), "4294967295");
    EXPECT_EQ(ev("2147483647"), "2147483647");
    EXPECT_EQ(compileExpression("4294967295")->kind(), ValueKind::Real);
    EXPECT_EQ(compileExpression("2147483647")->kind(), ValueKind::Integer);
    EXPECT_EQ(ev("LEN('It''s')"), "4");
    EXPECT_EQ(ev("'It''s'"), "It's");
}

TEST_F(ExprGrammar, FunctionCallsNeedTheirParentheses) {
    EXPECT_FALSE(compiles("TODAY"));
    EXPECT_TRUE(compiles("TODAY()"));
    EXPECT_FALSE(compiles("TODAY(1)"));
    EXPECT_FALSE(compiles("ABS(1,2)"));
    EXPECT_FALSE(compiles("UPPER('a'"));
    EXPECT_TRUE(compiles("UPPER()"));
    EXPECT_EQ(ev("UPPER()"), "");
    std::string choose = "CHOOSE(1";
    for (int i = 0; i < 24; ++i) choose += ",'x'";
    EXPECT_TRUE(compiles(choose + ")"));
    EXPECT_FALSE(compiles(choose + ",'y')"));
}

TEST_F(ExprGrammar, TextsThatDoNotCompile) {
    const char* bad[] = {
        "",     "1 +",   "(1",        "1)",  "1 2",     "AND",   "1 AND",     "NOT",
        "'abc", "1 : 2", "1, 2",      "[1]", "UNKNOWN", "1 # 2", "UPPER 'a'", "SUB('a',1,2,3)",
        "A[1]", "(1))",  "1 OR OR 1", "+",   "NOT = 1",
    };
    for (const char* text : bad) {
        EXPECT_FALSE(compiles(text)) << text;
        clearError();
        EXPECT_EQ(ev(text), "") << text;
        EXPECT_EQ(errorCode(), 800) << text;
        EXPECT_EQ(errorText(), "Invalid expression for EVALUATE");
    }
    std::size_t position = 0;
    EXPECT_EQ(parseExpression("1 + (2 * ) ", &position), nullptr);
    EXPECT_EQ(position, 9u);
}

TEST_F(ExprGrammar, DeepTextsFailInsteadOfExhaustingTheStack) {
    const auto nested = [](int depth) {
        return std::string(static_cast<std::size_t>(depth), '(') + "1" +
               std::string(static_cast<std::size_t>(depth), ')');
    };
    EXPECT_EQ(ev(nested(kMaxNesting - 1)), "1");
    EXPECT_FALSE(compiles(nested(kMaxNesting + 1)));
    EXPECT_FALSE(compiles(nested(100000)));

    std::string sum = "1";
    for (int i = 1; i < 200; ++i) sum += "+1";
    EXPECT_EQ(ev(sum), "200");
    for (int i = 0; i < 100000; ++i) sum += "+1";
    EXPECT_FALSE(compiles(sum)); // a left-deep chain beyond the depth limit

    // Overflowing products and nested comparisons evaluate each operand once, not once per retry.
    std::string product = "3";
    for (int i = 0; i < 200; ++i) product += "*10";
    EXPECT_GT(ev(product).size(), 150u);
    std::string ranges = "1";
    for (int i = 0; i < 60; ++i) ranges = "INRANGE(" + ranges + ", 0, 1)";
    EXPECT_EQ(ev(ranges), "1");

    std::string nots;
    for (int i = 0; i < 100000; ++i) nots += "NOT ";
    EXPECT_EQ(ev(nots + "0"), "0"); // prefixes are counted, not nested
}

TEST_F(ExprGrammar, SubscriptsTakeCharacters) {
    char text[6] = {'A', 'B', 'C', 'D', 'E', 'F'};
    std::int32_t number = 12345;
    ASSERT_TRUE(bindVariable("S", bindString(text, sizeof text)));
    ASSERT_TRUE(bindVariable("N", bindLong(&number)));
    EXPECT_EQ(ev("S[2]"), "B");
    EXPECT_EQ(ev("S[2:4]"), "BCD");
    EXPECT_EQ(ev("S[ 1 + 1 : 2 * 2 ]"), "BCD");
    EXPECT_EQ(ev("S[5:6]"), "EF");
    EXPECT_EQ(ev("S[5:9]"), "EF");
    EXPECT_EQ(ev("S[4:4]"), "D");
    EXPECT_EQ(ev("S[4:3]"), "");
    EXPECT_EQ(ev("S[4:2]"), ""); // not "the rest", as a negative SUB length would give
    EXPECT_EQ(ev("S[9]"), "");
    EXPECT_EQ(ev("S[-1]"), "F");
    EXPECT_EQ(ev("N[2:3]"), "23");
    EXPECT_EQ(ev("S[2] & S[3]"), "BC");
    EXPECT_FALSE(compiles("S[1,2]"));
    EXPECT_FALSE(compiles("S[1"));
    EXPECT_FALSE(compiles("S[1:]"));
    EXPECT_FALSE(compiles("S[]"));
}

TEST_F(ExprGrammar, SqlTermsStayUnparsed) {
    auto e = compileExpression("SQL(name = 'a)' AND (x > 1)) AND 1 = 1");
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->isTrue()); // the native driver ignores the term
    const ExprNode& root = e->root();
    ASSERT_EQ(root.op, ExprOp::And);
    EXPECT_EQ(root.left->op, ExprOp::Sql);
    EXPECT_EQ(root.left->text, "name = 'a)' AND (x > 1)");
    EXPECT_FALSE(compiles("SQL(abc"));
    EXPECT_FALSE(compiles("SQL abc"));
    EXPECT_FALSE(compiles("SQL('a)"));
}

TEST_F(ExprGrammar, PictureConstantsAreTexts) {
    EXPECT_EQ(ev("@s3"), "@s3");
    EXPECT_EQ(ev("FORMAT('abcdef',@s3)"), "abc");
    EXPECT_EQ(ev("FORMAT('ab',@S4) & '|'"), "ab  |");
}

} // namespace
} // namespace docket::runtime
