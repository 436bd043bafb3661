// Every built-in function, with and without its optional arguments.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "expr_test_support.h"
#include "platform/profile.h"
#include "runtime/core/dates.h"

namespace docket::runtime {
namespace {

class ExprBuiltins : public testing::ExpressionTest {
protected:
    void expectAll(std::initializer_list<std::pair<const char*, const char*>> cases) {
        for (const auto& [text, expected] : cases) EXPECT_EQ(ev(text), expected) << text;
    }
};

TEST_F(ExprBuiltins, Arithmetic) {
    expectAll({
        {"ABS(-2.5)", "2.5"}, {"ABS(-3)", "3"},
        {"ABS()", "0"},       {"INT(3.9)", "3"},
        {"INT(-3.9)", "-3"},  {"INT(2147483647 * 4)", "8589934588"},
        {"SQRT(16)", "4"},    {"SQRT(-1)", "0"},
        {"LOG10(1000)", "3"}, {"LOG10(0)", "0"},
        {"LOGE(1)", "0"},     {"ROUND(LOGE(10), .001)", "2.303"},
        {"SIN(0)", "0"},      {"COS(0)", "1"},
        {"TAN(0)", "0"},      {"ASIN(1) * 2", "3.14159265358979"},
        {"ACOS(1)", "0"},     {"ATAN(1) * 4", "3.14159265358979"},
        {"ACOS(2)", "0"},
    });
}

TEST_F(ExprBuiltins, Round) {
    expectAll({
        {"ROUND(2.5)", "3"},
        {"ROUND(-2.5)", "-3"},
        {"ROUND(2.4)", "2"},
        {"ROUND(2.675, 0.01)", "2.68"},
        {"ROUND(1.005, .01)", "1.01"},
        {"ROUND(1234, 100)", "1200"},
        {"ROUND(1250, 100)", "1300"},
        {"ROUND(7, 0)", "7"},
        {"ROUND(0.125, 0.05)", "0.15"},
    });
}

TEST_F(ExprBuiltins, Bits) {
    expectAll({
        {"BAND(12, 10)", "8"},
        {"BOR(12, 10)", "14"},
        {"BXOR(12, 10)", "6"},
        {"BAND(12)", "0"},
        {"BOR(12)", "12"},
        {"BSHIFT(1, 4)", "16"},
        {"BSHIFT(16, -2)", "4"},
        {"BSHIFT(1, 31)", "-2147483648"},
        {"BSHIFT(1, 32)", "0"},
        {"BSHIFT(-1, -28)", "15"},
        {"BSHIFT(5)", "5"},
        {"BXOR(-1, 0)", "-1"},
    });
}

TEST_F(ExprBuiltins, TextFunctions) {
    expectAll({
        {"ALL('ab', 5)", "ababa"},
        {"LEN(ALL('-'))", "255"},
        {"ALL('', 5)", ""},
        {"ALL('x', -3)", ""},
        {"LEN(ALL('x', 99999999))", "65535"},
        {"CENTER('ab', 6) & '|'", "  ab  |"},
        {"CENTER('  ab') & '|'", " ab |"},
        {"CENTER('abc', 6) & '|'", " abc  |"},
        {"CENTER('abcdef', 3)", "abc"},
        {"LEFT('  ab', 5) & '|'", "ab   |"},
        {"LEFT('  ab') & '|'", "ab  |"},
        {"LEFT('abcdef', 2)", "ab"},
        {"RIGHT('ab  ', 5)", "   ab"},
        {"RIGHT('ab  ')", "  ab"},
        {"RIGHT('abcdef', 2)", "ef"},
        {"CHR(65)", "A"},
        {"CHR(321)", "A"},
        {"LEN(CHR(0))", "1"},
        {"CLIP('ab  ') & '|'", "ab|"},
        {"CLIP('  ') & '|'", "|"},
        {"LEN(CLIP(' a '))", "2"},
        {"LEN('abc')", "3"},
        {"LEN(12345)", "5"},
        {"LEN(2.5)", "3"},
        {"UPPER('abc\xE9')", "ABC\xC9"},
        {"LOWER('\xC0"
         "BC')",
         "\xE0"
         "bc"},
        {"VAL('A')", "65"},
        {"VAL('')", "0"},
        {"VAL('\xFF')", "255"},
        {"SUB('ABCDEF', 2, 3)", "BCD"},
        {"SUB('ABCDEF', 3)", "CDEF"},
        {"SUB('ABCDEF')", "ABCDEF"},
        {"SUB('ABCDEF', -2)", "EF"},
        {"SUB('ABCDEF', 0, 2)", "AB"},
        {"SUB('ABCDEF', 10)", ""},
        {"SUB('ABCDEF', 5, 10)", "EF"},
        {"SUB('ABCDEF', 2, 0)", ""},
        {"NUMERIC('12.5')", "1"},
        {"NUMERIC(' -3 ')", "1"},
        {"NUMERIC('12a')", "0"},
        {"NUMERIC('')", "0"},
        {"NUMERIC(7)", "1"},
    });
}

TEST_F(ExprBuiltins, InString) {
    expectAll({
        {"INSTRING('c', 'abcabc')", "3"},
        {"INSTRING('c', 'abcabc', 1, 4)", "6"},
        {"INSTRING('c', 'abcabc', , 4)", "6"},
        {"INSTRING('def', 'abcdefghi', 3)", "2"},
        {"INSTRING('efg', 'abcdefghi', 3)", "0"},
        {"INSTRING('ef', 'abcdefghi', 2)", "3"},
        {"INSTRING('x', 'abc')", "0"},
        {"INSTRING('', 'abc')", "0"},
        {"INSTRING('abcd', 'abc')", "0"},
        {"INSTRING('c', 'abcabc', -1, 99)", "6"},
        {"INSTRING('c', 'abcabc', -1, 5)", "3"},
        {"INSTRING('c', 'abc', 0)", "0"},
        {"INSTRING('a', 'abca', 2147483647)", "1"},
        {"INSTRING('a', 'abca', -2147483647, 4)", "4"},
        {"INSTRING('RAPAT', UPPER('Rapat minggu'), 1, 1) <> 0", "1"},
    });
}

TEST_F(ExprBuiltins, Match) {
    expectAll({
        {"MATCH('hello', 'h*o')", "1"},
        {"MATCH('Hello', 'h*o')", "0"},
        {"MATCH('Hello', 'h*o', 16)", "1"},
        {"MATCH('abc', 'a?c')", "1"},
        {"MATCH('abc   ', 'abc')", "1"},
        {"MATCH('abc', '*')", "1"},
        {"MATCH('', '*')", "1"},
        {"MATCH('abc', 'a*b*d')", "0"},
        {"MATCH('abc', '^a.c$', 1)", "1"},
        {"MATCH('xabcx', 'abc', 1)", "1"},
        {"MATCH('xabcx', '^abc', 1)", "0"},
        {"MATCH('abbbc', '^ab+c$', 1)", "1"},
        {"MATCH('ac', '^ab+c$', 1)", "0"},
        {"MATCH('ac', '^ab*c$', 1)", "1"},
        {"MATCH('a7', '^[a-c][0-9]$', 1)", "1"},
        {"MATCH('d7', '^[^a-c]7', 1)", "1"},
        {"MATCH('A.B', 'a\\.b', 17)", "1"},
        {"MATCH('a', '[', 1)", "0"},
        {"MATCH('Robert', 'Rupert', 2)", "1"},
        {"MATCH('Robert', 'Rubin', 2)", "0"},
        {"MATCH('Ashcraft', 'Ashcroft', 2)", "1"},
        {"MATCH('', '', 2)", "0"},
    });
    // Backtracking is bounded: a pathological pattern gives up instead of hanging.
    const std::string text = "MATCH('" + std::string(60, 'a') + "', '" + "a*a*a*a*a*a*a*a*a*a*b" + "', 1)";
    EXPECT_EQ(ev(text), "0");
    EXPECT_EQ(ev("MATCH('" + std::string(5000, 'a') + "', '" + std::string(300, '*') + "b')"), "0");
}

TEST_F(ExprBuiltins, ChooseInListInRange) {
    expectAll({
        {"CHOOSE(5, 'a', 'b', 'c')", "c"},
        {"CHOOSE(0, 'a', 'b')", "b"},
        {"CHOOSE(2, 'a', 'b', 'c')", "b"},
        {"CHOOSE(-1, 'a', 'b')", "b"},
        {"CHOOSE(1)", "1"},
        {"CHOOSE(0)", "0"},
        {"CHOOSE(7)", "1"},
        {"CHOOSE(2, 10, 20)", "20"},
        {"CHOOSE(2, 'a', , 'c')", ""},
        {"CHOOSE()", "0"},
        {"INLIST('b', 'a', 'b', 'c')", "2"},
        {"INLIST('x', 'a')", "0"},
        {"INLIST(3, 1, 2, 3)", "3"},
        {"INLIST('b')", "0"},
        {"INLIST('2', 1, 2)", "2"},
        {"INLIST('b  ', 'a', 'b')", "2"},
        {"INRANGE(5, 1, 10)", "1"},
        {"INRANGE(0, 1, 10)", "0"},
        {"INRANGE(10, 1, 10)", "1"},
        {"INRANGE('b', 'a', 'c')", "1"},
        {"INRANGE(5)", "0"},
        {"INRANGE(0)", "1"},
    });
}

TEST_F(ExprBuiltins, DatesAndTimes) {
    const std::string today = std::to_string(dayNumber(2026, 3, 15));
    expectAll({
        {"DATE(1, 1, 1801)", "4"},
        {"DATE(12, 31, 9999)", "2994626"},
        {"DATE(1, 1, 1800)", "0"},
        {"DATE(2, 30, 2000) = DATE(3, 1, 2000)", "1"},
        {"DATE(13, 1, 2000) = DATE(1, 1, 2001)", "1"},
        {"DATE(3, 0, 2000) = DATE(2, 29, 2000)", "1"},
        {"DATE(1, 1, 99) = DATE(1, 1, 1999)", "1"},
        {"DATE(1, 1, 30) = DATE(1, 1, 2030)", "1"},
        {"DATE(1, 1) = DATE(1, 1, 2000)", "1"}, // an omitted year is 0, the two-digit year 00
        {"DAY(DATE(7, 4, 1976))", "4"},
        {"MONTH(DATE(7, 4, 1976))", "7"},
        {"YEAR(DATE(7, 4, 1976))", "1976"},
        {"YEAR(3)", "0"},
        {"DAY()", "0"},
        {"YEAR(TODAY())", "2026"},
        {"MONTH(TODAY())", "3"},
        {"AGE(DATE(1, 1, 2000), DATE(1, 15, 2000))", "14 DAYS"},
        {"AGE(DATE(1, 1, 2000), DATE(3, 1, 2000))", "60 DAYS"},
        {"AGE(DATE(1, 1, 2000), DATE(3, 2, 2000))", "2 MOS"},
        {"AGE(DATE(1, 31, 2000), DATE(12, 30, 2001))", "22 MOS"},
        {"AGE(DATE(3, 16, 2000))", "25 YRS"}, // against today, 15 March 2026
        {"AGE(DATE(3, 15, 2000))", "26 YRS"},
        {"AGE(DATE(3, 15, 2000), 1)", ""},
        {"AGE(TODAY(), TODAY() - 1)", ""},
    });
    EXPECT_EQ(ev("TODAY()"), today);
    const std::int64_t clock = std::atoll(ev("CLOCK()").c_str());
    EXPECT_GE(clock, 1);
    EXPECT_LE(clock, kLastTime);
}

TEST_F(ExprBuiltins, FormatAndDeformatWithStringPictures) {
    expectAll({
        {"FORMAT('abc', @s5) & '|'", "abc  |"},
        {"FORMAT('abcdef', @s3)", "abc"},
        {"LEN(FORMAT(12))", "255"},
        {"FORMAT(12, 'S4') & '|'", "12  |"},
        {"FORMAT(2.5, @s4) & '|'", "2.5 |"},
        {"FORMAT('abc', @s0)", ""},
        {"DEFORMAT('abc  ', @s3)", "abc"},
        {"DEFORMAT('xyz')", "xyz"},
    });
}

TEST_F(ExprBuiltins, GetIni) {
    const std::string dir = ::testing::TempDir() + "/expr_getini";
    std::filesystem::create_directories(dir);
    setenv("DOCKET_CONFIG_DIR", dir.c_str(), 1);
    ASSERT_TRUE(platform::writeProfileString("Memo", "Font", std::string("Arial"), "test.ini"));
    ASSERT_TRUE(platform::writeProfileString("Memo", "Size", std::string("10"), "WIN.INI"));
    expectAll({
        {"GETINI('Memo', 'Font', 'x', 'test.ini')", "Arial"},
        {"GETINI('Memo', 'Missing', 'x', 'test.ini')", "x"},
        {"GETINI('Memo', 'Missing', , 'test.ini')", ""},
        {"GETINI('Memo', 'Size')", "10"},
        {"GETINI('Memo', 'Size') + 1", "11"},
    });
    unsetenv("DOCKET_CONFIG_DIR");
}

TEST_F(ExprBuiltins, OddOnes) {
    for (int i = 0; i < 50; ++i) {
        const int r = std::atoi(ev("RANDOM(1, 6)").c_str());
        EXPECT_GE(r, 1);
        EXPECT_LE(r, 6);
        const int s = std::atoi(ev("RANDOM(6, 1)").c_str());
        EXPECT_GE(s, 1);
        EXPECT_LE(s, 6);
    }
    EXPECT_EQ(ev("RANDOM(4, 4)"), "4");
    EXPECT_EQ(ev("RANDOM()"), "0");
    EXPECT_EQ(ev("NULL(1)"), "0");
    EXPECT_GE(std::atoll(ev("MEMORY()").c_str()), 0);
    EXPECT_EQ(ev("MEMORY() >= 0"), "1");
}

} // namespace
} // namespace docket::runtime
