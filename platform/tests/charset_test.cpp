#include "platform/charset.h"

#include <gtest/gtest.h>

#include <string>

namespace docket::platform {
namespace {

std::string toOem(std::string text) {
    ansiToOem(text.data(), text.size());
    return text;
}

std::string toAnsi(std::string text) {
    oemToAnsi(text.data(), text.size());
    return text;
}

TEST(CharsetTest, AsciiStaysAsItIs) {
    std::string ascii;
    for (int c = 0; c < 0x80; ++c) {
        // 0x14 and 0x15 are the pilcrow and section sign of OEM text.
        if (c != 0x14 && c != 0x15) ascii += static_cast<char>(c);
    }
    EXPECT_EQ(toOem(ascii), ascii);
    EXPECT_EQ(toAnsi(ascii), ascii);
    EXPECT_EQ(ansiToUtf8(ascii), ascii);
    EXPECT_EQ(utf8ToAnsi(ascii), ascii);
}

TEST(CharsetTest, SharedCharactersKeepTheirOemBytes) {
    // é ü £ ñ § ¶ Ç Ä ß ½ « · and no-break space, with their code page 437 bytes.
    const std::string ansi = "\xE9\xFC\xA3\xF1\xA7\xB6\xC7\xC4\xDF\xBD\xAB\xB7\xA0";
    const std::string oem = "\x82\x81\x9C\xA4\x15\x14\x80\x8E\xE1\xAB\xAE\xFA\xFF";
    EXPECT_EQ(toOem(ansi), oem);
    EXPECT_EQ(toAnsi(oem), ansi);
}

TEST(CharsetTest, EveryCharacterOfBothPagesRoundTrips) {
    // The only stand-ins outside ASCII: reversed not sign and bullet operator in OEM, bullet in ANSI.
    const auto lookAlike = [](bool fromOem, int byte) {
        return fromOem ? byte == 0xA9 || byte == 0xF9 : byte == 0x95;
    };
    for (int byte = 0x80; byte < 0x100; ++byte) {
        SCOPED_TRACE(byte);
        const std::string oem(1, static_cast<char>(byte));
        const std::string ansi = toAnsi(oem);
        if (static_cast<unsigned char>(ansi[0]) >= 0x80 && !lookAlike(true, byte)) {
            EXPECT_EQ(toOem(ansi), oem);
        }
        const std::string ansiByte(1, static_cast<char>(byte));
        const std::string there = toOem(ansiByte);
        if ((static_cast<unsigned char>(there[0]) >= 0x80 || there[0] == 0x14 || there[0] == 0x15) &&
            !lookAlike(false, byte)) {
            EXPECT_EQ(toAnsi(there), ansiByte);
        }
    }
    // How many characters the pages share, so that a wrong table entry cannot hide as a stand-in.
    int shared = 0;
    for (int byte = 0x80; byte < 0x100; ++byte) {
        const std::string oem(1, static_cast<char>(byte));
        shared += toOem(toAnsi(oem)) == oem;
    }
    EXPECT_EQ(shared, 54);
}

TEST(CharsetTest, MissingCharactersBecomeNearestOrQuestionMark) {
    EXPECT_EQ(toAnsi("\xDA\xC4\xBF\xB3\xC0\xCD\xD9\xBA"), "+-+|+-+|");
    EXPECT_EQ(toAnsi("\xDB\xB0\xE3\xF2\xF3\xF0\xF7"), "##?><=~");
    EXPECT_EQ(toAnsi("\xA9\xF9"), "\xAC\xB7");
    EXPECT_EQ(toOem("\x80\xC0\xC8\xD5\xD8\xFD\x93\x94\x96\x85\x99\xA4"), "?AEOOy\"\"-.T?");
    EXPECT_EQ(toOem("\x95"), "\xF9") << "bullet";
}

TEST(CharsetTest, Utf8ConversionsCoverEveryByte) {
    EXPECT_EQ(ansiToUtf8("caf\xE9 \x80 \x93x\x94"), "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D");
    std::string all;
    for (int byte = 0; byte < 0x100; ++byte) all += static_cast<char>(byte);
    EXPECT_EQ(utf8ToAnsi(ansiToUtf8(all)), all);
}

TEST(CharsetTest, Utf8OutsideTheCodePageOrMalformedBecomesQuestionMarks) {
    EXPECT_EQ(utf8ToAnsi("\xE4\xB8\xAD"), "?"); // CJK character
    EXPECT_EQ(utf8ToAnsi("a\xF0\x9F\x98\x80"
                         "b"),
              "a?b");                             // outside the basic plane
    EXPECT_EQ(utf8ToAnsi("\xC2\x80"), "?");       // control without a byte of its own
    EXPECT_EQ(utf8ToAnsi("\xC0\xAF"), "??");      // overlong
    EXPECT_EQ(utf8ToAnsi("\xED\xA0\x80"), "???"); // surrogate
    EXPECT_EQ(utf8ToAnsi("x\xC3"), "x?");         // cut short
    EXPECT_EQ(utf8ToAnsi("\xE2\x82"
                         "A"),
              "??A"); // broken sequence keeps what follows
}

} // namespace
} // namespace docket::platform
