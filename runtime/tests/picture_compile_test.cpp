#include <gtest/gtest.h>

#include <string>

#include "runtime/picture/picture.h"

namespace docket::runtime {
namespace {

std::string codes(const Picture& p) {
    std::string out;
    for (const PictureCell& c : p.cells)
        out += std::to_string(c.code) + (c.fill ? std::string(1, c.fill) : "") + " ";
    return out;
}

TEST(PictureCompile, InvalidPicturesAreAllZero) {
    for (const char* text :
         {"s0",   "s256",   "s20x", "d19",     "d0",    "x12",  "n",       "B",     "nb", "n0",
          "n-5-", "n(10",   "n10v", "e6",      "e12.x", "p###", "p##p##p", "P###p", "t9", "t10",
          "t1x",  "d6<100", "d1.x", "n~abc10", "n$$10", "n3.3", "k\\k",    "kk"}) {
        const Picture p = compilePicture(text);
        EXPECT_EQ(p, Picture{}) << text;
        EXPECT_EQ(formatNumber(12, p), "") << text;
        EXPECT_EQ(formatText("x", p), "") << text;
    }
    EXPECT_FALSE(compilePicture(std::string(256, '#').insert(0, "p").append("p")).valid());
}

TEST(PictureCompile, StringPictures) {
    EXPECT_EQ(compilePicture("s20   ").width, 20);
    EXPECT_EQ(compilePicture("S255").width, 255);
    const Picture none = compilePicture("");
    EXPECT_EQ(none.kind, PictureKind::String);
    EXPECT_EQ(none.width, 255);
    EXPECT_EQ(none.groupFlags, 0);
}

TEST(PictureCompile, KindsAndGroupFlags) {
    const struct {
        const char* text;
        PictureKind kind;
        int flags;
    } cases[] = {{"n9", PictureKind::Numeric, 3},  {"e9", PictureKind::Scientific, 2},
                 {"d1", PictureKind::Date, 1},     {"t1", PictureKind::Time, 1},
                 {"p#p", PictureKind::Pattern, 3}, {"s1", PictureKind::String, 0},
                 {"k?k", PictureKind::KeyIn, 0}};
    for (const auto& c : cases) {
        const Picture p = compilePicture(c.text);
        EXPECT_EQ(p.kind, c.kind) << c.text;
        EXPECT_EQ(p.groupFlags, c.flags) << c.text;
    }
}

TEST(PictureCompile, BlankWhenZeroIsStrippedFirst) {
    EXPECT_TRUE(compilePicture("n6.2B").blankWhenZero);
    EXPECT_TRUE(compilePicture("n6.2b").blankWhenZero);
    EXPECT_EQ(compilePicture("n6.2b").width, 6);
    EXPECT_FALSE(compilePicture("n6.2").blankWhenZero);
    EXPECT_FALSE(compilePicture("sb").valid()); // one character left
}

TEST(PictureCompile, DateWindowFormatAndSeparator) {
    EXPECT_EQ(compilePicture("d6>10").yearWindow, 89);
    EXPECT_EQ(compilePicture("d6<").yearWindow, 80);
    EXPECT_EQ(compilePicture("d6<0").yearWindow, 80);
    EXPECT_EQ(compilePicture("d6<30").yearWindow, 30);
    EXPECT_EQ(compilePicture("d6>").yearWindow, 19);
    EXPECT_EQ(compilePicture("d6").yearWindow, 80);
    EXPECT_EQ(compilePicture("d*12>5-").formatNumber, 12);
    EXPECT_EQ(compilePicture("d4").width, 21);
    EXPECT_EQ(compilePicture("d3").width, 11);
    const Picture p = compilePicture("d01.");
    EXPECT_EQ(codes(p), "70 70 19. 80 80 19. 90 90 ");
    EXPECT_EQ(compilePicture("t6").width, 10);
    EXPECT_EQ(codes(compilePicture("t3-")), "11  110 19- 120 120 20  0M ");
}

TEST(PictureCompile, NumericCellLayout) {
    EXPECT_EQ(codes(compilePicture("n-9")), "5- 1, 4  4  4  1, 4  4  30 "); // a lone leading grouping cell
    EXPECT_EQ(codes(compilePicture("n$(7.1)")), "6$ 5( 4  30 2. 30 5) ");
    EXPECT_EQ(codes(compilePicture("n06v2")), "30 30 30 30 22. 30 30 ");
    EXPECT_EQ(codes(compilePicture("n6v2")), "1, 4  4  4  22. 30 30 ");
    EXPECT_EQ(compilePicture("n06v2").width, 6);
    EXPECT_EQ(compilePicture("n06v2").cells.size(), 7u);
    EXPECT_EQ(codes(compilePicture("n*5-~ kr~")), "30 5- 6  6k 6r ");
    EXPECT_EQ(codes(compilePicture("n5.`1")), "4  4  30 2, 30 ");
    EXPECT_EQ(codes(compilePicture("n7`1")), "4  1. 4  4  30 2, 30 "); // decimal comma groups with "."
    EXPECT_EQ(codes(compilePicture("n5_")), "4  1  4  4  30 ");        // written blank grouping
    EXPECT_EQ(codes(compilePicture("n_5")), "4  4  4  4  30 ");        // blank fill: no grouping
    EXPECT_FALSE(compilePicture("n3.3").valid());                      // width below the decimal cells
    EXPECT_EQ(codes(compilePicture("n3.2")), "2. 30 30 ");             // no integer cells at all
    EXPECT_EQ(formatNumber(0.25, compilePicture("n3.2")), ".25");
    EXPECT_EQ(formatNumber(1.25, compilePicture("n3.2")), "###");
    EXPECT_TRUE(compilePicture("n10.").valid()); // "." alone is the grouping character
}

TEST(PictureCompile, ScientificCells) {
    EXPECT_FALSE(compilePicture("e6").valid());
    EXPECT_EQ(codes(compilePicture("e7")), "5- 30 0E 21+ 30 30 30 ");
    EXPECT_EQ(codes(compilePicture("e10.2")), "5- 30 2. 30 30 0E 21+ 30 30 30 ");
}

TEST(PictureCompile, PatternAndKeyIn) {
    const Picture p = compilePicture("p###-##p");
    EXPECT_EQ(p.width, 6);
    EXPECT_EQ(codes(p), "30 30 30 0- 30 30 ");
    EXPECT_EQ(codes(compilePicture("P<#P")), "4  30 ");
    EXPECT_EQ(codes(compilePicture("k@^_?#<\\@x|k")), "14  15  16  17  30 4  0@ 0x 23| ");
    EXPECT_EQ(compilePicture("k@^_?#<\\@x|k").width, 8); // the marker takes no position
    EXPECT_FALSE(compilePicture("k#K").valid());         // closing letter in the other case
    EXPECT_TRUE(compilePicture("k\\kk").valid());        // an escaped closing letter is a literal
}

} // namespace
} // namespace docket::runtime
