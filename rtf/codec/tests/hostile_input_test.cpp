// Hostile and broken input: every read ends, within the limits, with what could be read.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "rtf/codec/plain_text.h"
#include "rtf/codec/rich_document.h"
#include "rtf/codec/rtf_reader.h"
#include "rtf/codec/rtf_writer.h"

namespace docket::rtf {
namespace {

// Counts what a sink is given, to check the limits without holding the document.
struct CountingSink : RtfSink {
    void beginParagraph(const ParagraphFormat&) override { ++paragraphs; }
    void text(std::string_view utf8, const CharFormat&) override { bytes += utf8.size(); }
    void endParagraph() override {}
    void endDocument() override { ++ends; }
    std::size_t paragraphs = 0;
    std::size_t bytes = 0;
    int ends = 0;
};

TEST(RtfHostile, DeepNestingIsSkippedBeyondTheLimit) {
    std::string rtf = "{\\rtf1 a";
    for (int i = 0; i < 100000; ++i) rtf += "{\\b x";
    rtf += "deep";
    for (int i = 0; i < 100000; ++i) rtf += "}";
    rtf += "b}";
    RichDocument document;
    const ReadResult result = readRtf(rtf, document);
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.limited);
    const std::string text = document.plainText();
    EXPECT_EQ(text.substr(0, 1), "a");
    EXPECT_EQ(text.back(), 'b');
    EXPECT_EQ(text.find("deep"), std::string::npos);
    EXPECT_LE(text.size(), 2u + 256u);
}

TEST(RtfHostile, HugeBinLengthEndsAtTheInput) {
    CountingSink sink;
    const ReadResult result = readRtf("{\\rtf1 a\\bin2147483647 xyz", sink);
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.truncated);
    EXPECT_EQ(sink.bytes, 1u);
    // A negative length is no data; a length past the end takes the rest.
    EXPECT_EQ(rtfToPlainText("{\\rtf1 a\\bin-5 b\\bin99999999999999999999 c}"), "ab");
}

TEST(RtfHostile, ExtremeNumbersAreClamped) {
    RichDocument document;
    const ReadResult result =
        readRtf("{\\rtf1\\uc99999 \\u-32768\\u99999999999 \\fs-5\\li-99999999999\\fi2147483647"
                "\\tx-5\\tx99999999\\ls-3\\ilvl99\\f-2147483648\\cf99999 a}",
                document);
    EXPECT_TRUE(result.ok);
    ASSERT_EQ(document.paragraphs().size(), 1u);
    const ParagraphFormat& format = document.paragraphs()[0].format;
    EXPECT_GE(format.leftIndent, -31680);
    EXPECT_LE(format.firstLineIndent, 31680);
}

TEST(RtfHostile, OutputIsCappedByTheLimits) {
    ReadLimits limits;
    limits.maxTextBytes = 1000;
    limits.maxParagraphs = 50;
    std::string words = "{\\rtf1 " + std::string(100000, 'x') + "}";
    CountingSink sink;
    ReadResult result = readRtf(words, sink, limits);
    EXPECT_TRUE(result.ok && result.limited);
    EXPECT_LE(sink.bytes, 1000u);
    EXPECT_EQ(sink.ends, 1);

    std::string pars = "{\\rtf1 ";
    for (int i = 0; i < 10000; ++i) pars += "\\par";
    pars += "}";
    CountingSink parSink;
    result = readRtf(pars, parSink, limits);
    EXPECT_TRUE(result.ok && result.limited);
    EXPECT_EQ(parSink.paragraphs, 50u);
}

TEST(RtfHostile, HugeTablesStayBounded) {
    std::string rtf = "{\\rtf1{\\fonttbl";
    for (int i = 0; i < 5000; ++i) rtf += "{\\f" + std::to_string(i) + " F" + std::string(1000, 'n') + ";}";
    rtf += "}{\\colortbl";
    for (int i = 0; i < 5000; ++i) rtf += "\\red1;";
    rtf += "}\\f4000 x}";
    RichDocument document;
    EXPECT_TRUE(readRtf(rtf, document).ok);
    EXPECT_EQ(document.plainText(), "x");
    EXPECT_LE(document.paragraphs()[0].runs[0].format.font.size(), 256u);
}

TEST(RtfHostile, RandomBytesAndMutationsNeverFailToEnd) {
    std::mt19937 random(18);
    const std::string alphabet = "{}\\'*abcdefgilnprstuvx0123456789- ;\xC3\x80\n";
    const std::string seed =
        "{\\rtf1\\ansi{\\fonttbl{\\f0 A;}}{\\colortbl;\\red1;}{\\*\\listtable{\\list{\\listlevel"
        "\\levelnfc0{\\leveltext\\'02\\'00.;}}\\listid1}}\\pard\\ls1\\tqc\\tx100 a\\u1044?\\'e9\\par}";
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < 3000; ++round) {
        std::string input = seed;
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = random() % (input.size() + 1);
            switch (random() % 3) {
            case 0:
                input.insert(at, 1, alphabet[random() % alphabet.size()]);
                break;
            case 1:
                if (at < input.size()) input.erase(at, 1);
                break;
            default:
                if (at < input.size()) input[at] = static_cast<char>(random() % 256);
                break;
            }
        }
        CountingSink sink;
        readRtf(input, sink);
        EXPECT_LE(sink.bytes, input.size() * 4 + 16);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

} // namespace
} // namespace docket::rtf

namespace docket::rtf {
namespace {

// Written, read and written again, a document gives the same bytes (what the fuzz target checks).
void expectFixedPoint(std::string_view rtf) {
    RichDocument first;
    ASSERT_TRUE(readRtf(rtf, first).ok);
    const std::string written = writeRtf(first);
    RichDocument second;
    ASSERT_TRUE(readRtf(written, second).ok);
    EXPECT_EQ(writeRtf(second), written);
    EXPECT_EQ(second, first);
}

TEST(RtfHostile, FuzzFindingsStayFixed) {
    // Control characters in a font name, in the text (\u1) and in list marker texts.
    expectFixedPoint("{\\rtf1{\\fonttbl{\\f0\\fnil A\x01\x1e"
                     "B;}}\\f0 x\\u1 y}");
    expectFixedPoint(
        "{\\rtf1{\\*\\listtable{\\list{\\listlevel\\levelnfc0{\\leveltext\\'04\\'00\\'0b.;}}\\listid1}}"
        "{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}\\ls1 a}");
    // A font with a charset but no name, whose text must stay in that charset's encoding.
    expectFixedPoint("{\\rtf1{\\fonttbl{\\f0\\fcharset128;}}\\f0 \\u228?}");
    // A marker text with a character beyond the first plane, which \leveltext counts twice.
    expectFixedPoint(
        "{\\rtf1{\\*\\listtable{\\list{\\listlevel\\levelnfc0{\\leveltext\\'04\\'00\\u-10179?\\u-8704?.;}}"
        "\\listid1}}{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}\\ls1 a}");
}

TEST(RtfHostile, TablesInsideAListLevelAreSkipped) {
    // A list table nested in a list level once left the level being read without a level.
    RichDocument document;
    EXPECT_TRUE(readRtf("{\\rtf1{\\*\\listtable{\\list{\\listlevel{\\listtable{\\list}}\\li5\\fi5\\levelnfc3"
                        "\\levelstartat2}\\listid1}}x}",
                        document)
                    .ok);
    EXPECT_EQ(document.plainText(), "x");
}

} // namespace
} // namespace docket::rtf
