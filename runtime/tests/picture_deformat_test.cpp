#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "platform/clock.h"
#include "runtime/core/dates.h"
#include "runtime/picture/picture.h"
#include "runtime/picture/picture_regional.h"

namespace docket::runtime {
namespace {

double read(const char* text, const char* picture) {
    return deformatNumber(text, compilePicture(picture));
}

TEST(PictureDeformat, Numbers) {
    EXPECT_EQ(read("        -1,234", "n-14"), -1234);
    EXPECT_EQ(read("1234-", "n10-"), -1234);
    EXPECT_EQ(read("(1,234.50)", "n(10.2)"), -1234.5);
    EXPECT_EQ(read("$ 1,234.50", "n$12.2"), 1234.5);
    EXPECT_EQ(read("-1.234,50 EUR", "n-12`2~ EUR~"), -1234.5);
    EXPECT_EQ(read("1 234.5", "n10_.2"), 1234.5);
    EXPECT_EQ(read("1500", "n6v2"), 15);
    EXPECT_EQ(read("15.5", "n6v2"), 15.5); // a typed point overrides the implied one
    EXPECT_EQ(read("*****1,234", "n*10"), 1234);
    EXPECT_EQ(read("12.5", "n6"), 12.5);
}

TEST(PictureDeformat, UnreadableTextGivesZero) {
    for (const char* text : {"", "   ", "abc", "12x", "1.2.3", "###", "--"})
        EXPECT_EQ(read(text, "n10.2"), 0) << text;
    for (const char* text : {"", "32/01/99", "2/30/99", "1/5", "1/5/99/7", "Foo 5 99", "ma 5 99"})
        EXPECT_EQ(read(text, "d1"), 0) << text;
    for (const char* text : {"", "25:00", "12:60", "1:05 XM", "am pm"})
        EXPECT_EQ(read(text, "t3"), 0) << text;
    EXPECT_EQ(read("1.2.3E", "e12.2"), 0);
    EXPECT_EQ(deformatText("x", compilePicture("s0")), "");
    EXPECT_EQ(read("5", "q5"), 0);
}

TEST(PictureDeformat, Scientific) {
    EXPECT_DOUBLE_EQ(read("   1.23E+003", "e12.2"), 1230);
    EXPECT_DOUBLE_EQ(read(" -1.230E-004", "e12.3"), -0.000123);
    EXPECT_DOUBLE_EQ(read("+2", "e12.3"), 2);
}

class PictureDateDeformat : public ::testing::Test {
protected:
    void SetUp() override {
        platform::LocalDateTime now;
        now.year = 2026, now.month = 3, now.day = 14;
        platform::setLocalNowOverride(&now);
    }
    void TearDown() override {
        platform::setLocalNowOverride(nullptr);
        setRegionalFormats(RegionalFormats{});
    }
};

TEST_F(PictureDateDeformat, OrderSeparatorsAndNames) {
    const std::int32_t jan5 = dayNumber(1999, 1, 5);
    EXPECT_EQ(read(" 1/05/99", "d1"), jan5);
    EXPECT_EQ(read("1-5-1999", "d1"), jan5);
    EXPECT_EQ(read("5.1.99", "d6"), jan5);
    EXPECT_EQ(read("99/1/5", "d9"), jan5);
    EXPECT_EQ(read("990105", "d11"), jan5);
    EXPECT_EQ(read("19990105", "d12"), jan5);
    EXPECT_EQ(read("JAN  5,1999", "d3"), jan5);
    EXPECT_EQ(read("january 5, 1999", "d4"), jan5);
    EXPECT_EQ(read("5 jan 99", "d7"), jan5);
    EXPECT_EQ(read("Jan 5 99", "d7"), jan5); // the name is the month wherever it stands
    EXPECT_EQ(read("5 sept 1999", "d8"), dayNumber(1999, 9, 5));
    EXPECT_EQ(read("1/5/99", "d3"), jan5); // digits for a month-name picture
    EXPECT_EQ(read("01/99", "d13"), dayNumber(1999, 1, 1));
    EXPECT_EQ(read("1999/01", "d16"), dayNumber(1999, 1, 1));
    EXPECT_EQ(read("2/29/2024", "d2"), dayNumber(2024, 2, 29));
    EXPECT_EQ(read("2/29/2023", "d2"), 0);
    EXPECT_EQ(read("2/29/1900", "d2"), 0); // not a leap year
    EXPECT_EQ(read("12/31/1800", "d2"), 0);
}

TEST_F(PictureDateDeformat, TwoDigitYearWindow) {
    // Current year 2026: the default window covers 1946..2045.
    EXPECT_EQ(read("1/5/45", "d1"), dayNumber(2045, 1, 5));
    EXPECT_EQ(read("1/5/46", "d1"), dayNumber(1946, 1, 5));
    EXPECT_EQ(read("1/5/0", "d1"), dayNumber(2000, 1, 5));
    // "<50" looks 50 years back: 1976..2075.
    EXPECT_EQ(read("1/5/75", "d1<50"), dayNumber(2075, 1, 5));
    EXPECT_EQ(read("1/5/76", "d1<50"), dayNumber(1976, 1, 5));
    // ">10" looks 10 years ahead: 1937..2036.
    EXPECT_EQ(read("1/5/36", "d1>10"), dayNumber(2036, 1, 5));
    EXPECT_EQ(read("1/5/37", "d1>10"), dayNumber(1937, 1, 5));
    EXPECT_EQ(read("1/5/1837", "d1>10"), dayNumber(1837, 1, 5));
}

TEST_F(PictureDateDeformat, Times) {
    EXPECT_EQ(read(" 1:05PM", "t3"), timeNumber(13, 5, 0, 0));
    EXPECT_EQ(read("1:05 pm", "t1"), timeNumber(13, 5, 0, 0));
    EXPECT_EQ(read("12:30am", "t3"), timeNumber(0, 30, 0, 0));
    EXPECT_EQ(read("12:30 P", "t3"), timeNumber(12, 30, 0, 0));
    EXPECT_EQ(read("13:05:09", "t4"), timeNumber(13, 5, 9, 0));
    EXPECT_EQ(read("130509", "t5"), timeNumber(13, 5, 9, 0));
    EXPECT_EQ(read("930", "t2"), timeNumber(9, 30, 0, 0));
    EXPECT_EQ(read("9", "t1"), timeNumber(9, 0, 0, 0));
    EXPECT_EQ(read("13:05:09.5", "t4"), timeNumber(13, 5, 9, 50));
    RegionalFormats f;
    f.longTime = "%r";
    f.am = "vorm";
    f.pm = "nachm";
    setRegionalFormats(f);
    EXPECT_EQ(read("01:05:09 NACHM", "t8"), timeNumber(13, 5, 9, 0));
}

TEST(PictureDeformat, KeyInAndString) {
    const Picture k = compilePicture("k@@-##k");
    EXPECT_EQ(deformatText("ab-12", k), "ab12");
    EXPECT_EQ(deformatText("a -  ", k), "a");
    EXPECT_EQ(deformatText("xy7", k), "xy7");
    EXPECT_EQ(deformatText("abcdefg", compilePicture("s5")), "abcde");
    EXPECT_EQ(deformatText("1,234.50", compilePicture("n10.2")), "1234.5");
    EXPECT_EQ(read("123-45", "p###-##p"), 12345);
    EXPECT_EQ(read(" 12-34", "p<<#-##p"), 1234);
    EXPECT_EQ(read("12345", "p###-##p"), 12345);
}

// Formatting and reading back gives the value as the picture shows it, for every kind.
TEST_F(PictureDateDeformat, RoundTrips) {
    std::mt19937 random(7);
    const char* numeric[] = {"n-14",    "n-14.2",  "n(12.3)", "n*12.2-",   "n$-15.2", "n-16`2~ EUR~",
                             "n-10_.1", "n-010v2", "n-10.v3", "n~kr ~-12", "n-_11.4", "n-12.`2"};
    std::uniform_real_distribution<double> amount(-99999.0, 99999.0);
    for (const char* text : numeric) {
        const Picture p = compilePicture(text);
        ASSERT_TRUE(p.valid()) << text;
        int places = 0;
        bool afterPoint = false;
        for (const PictureCell& c : p.cells) {
            afterPoint = afterPoint || c.code == cell::Decimal || c.code == cell::ImpliedDecimal;
            places += afterPoint && c.code == cell::Digit ? 1 : 0;
        }
        const double scale = std::pow(10.0, places);
        for (int i = 0; i < 300; ++i) {
            const double v = amount(random);
            const std::string shown = formatNumber(v, p);
            EXPECT_NEAR(deformatNumber(shown, p), std::round(v * scale) / scale, 1e-6)
                << text << " " << shown;
        }
    }
    std::uniform_real_distribution<double> magnitude(-300, 300);
    for (int i = 0; i < 300; ++i) {
        const double v = std::pow(10.0, magnitude(random)) * (i % 2 ? -1 : 1);
        const Picture p = compilePicture("e15.6");
        EXPECT_NEAR(deformatNumber(formatNumber(v, p), p) / v, 1.0, 1e-6);
    }
    std::uniform_int_distribution<int> days(dayNumber(1946, 1, 1), dayNumber(2045, 12, 31));
    std::uniform_int_distribution<int> allDays(kFirstDay, kLastDay);
    for (int format = 1; format <= 18; ++format) {
        const Picture p = compilePicture("d" + std::to_string(format));
        const bool twoDigitYears =
            p.cells.size() > 0 && std::count_if(p.cells.begin(), p.cells.end(), [](const PictureCell& c) {
                                      return c.code == cell::Year;
                                  }) == 2;
        const bool hasDay = format < 13 || format > 16;
        for (int i = 0; i < 200; ++i) {
            const int d = twoDigitYears ? days(random) : allDays(random);
            const CivilDate c = civilDate(d);
            const int expected = hasDay ? d : dayNumber(c.year, c.month, 1);
            EXPECT_EQ(deformatNumber(formatNumber(d, p), p), expected) << format << " " << formatNumber(d, p);
        }
    }
    std::uniform_int_distribution<int> times(1, kLastTime);
    for (int format = 1; format <= 8; ++format) {
        const Picture p = compilePicture("t" + std::to_string(format));
        const bool seconds = format == 4 || format == 5 || format == 6 || format == 8;
        for (int i = 0; i < 200; ++i) {
            const ClockTime t = clockTime(times(random));
            const int v = timeNumber(t.hour, t.minute, t.second, t.hundredths);
            const int expected = timeNumber(t.hour, t.minute, seconds ? t.second : 0, 0);
            EXPECT_EQ(deformatNumber(formatNumber(v, p), p), expected) << format << " " << formatNumber(v, p);
        }
    }
    std::uniform_int_distribution<int> digits(0, 99999);
    const Picture pattern = compilePicture("p<####-##p");
    for (int i = 0; i < 200; ++i) {
        const int v = digits(random) * 10;
        EXPECT_EQ(deformatNumber(formatNumber(v, pattern), pattern), v);
    }
    std::uniform_int_distribution<int> letter('a', 'z');
    const Picture key = compilePicture("k^^-@@\\#?k");
    const Picture string = compilePicture("s8");
    for (int i = 0; i < 200; ++i) {
        std::string typed;
        for (int k = 0; k < 5; ++k) typed += static_cast<char>(k < 2 ? letter(random) - 32 : letter(random));
        EXPECT_EQ(deformatText(formatText(typed, key), key), typed);
        EXPECT_EQ(deformatText(formatText(typed, string), string), typed + "   ");
    }
}

} // namespace
} // namespace docket::runtime
