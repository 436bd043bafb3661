// Interchange with LibreOffice: RTF that LibreOffice writes loads with its formats, and what docket
// writes, converted by LibreOffice, keeps its text, formats, tab stops and lists. Each test run
// uses a LibreOffice profile of its own (so runs may go in parallel) and every conversion has a
// time limit. Without soffice or libreoffice on the PATH the tests skip.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "rtf/codec/plain_text.h"
#include "rtf/codec/rich_document.h"
#include "rtf/codec/rtf_reader.h"
#include "rtf/codec/rtf_writer.h"
#include "rtf/codec/tests/libreoffice_formats_check.h"

namespace docket::rtf {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = RTF_CORPUS_DIR;
constexpr int kConversionSeconds = 180;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void spill(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string findOffice() {
    for (const char* name : {"soffice", "libreoffice"}) {
        const std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0) return name;
    }
    return {};
}

class LibreOffice : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        office_ = findOffice();
        char pattern[] = "/tmp/docket-libreoffice-XXXXXX";
        if (const char* made = ::mkdtemp(pattern)) work_ = made;
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        if (!work_.empty()) fs::remove_all(work_, ignored);
    }
    void SetUp() override {
        if (office_.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed: interchange not tested";
        ASSERT_FALSE(work_.empty());
    }

    // Converts input into the folder out with LibreOffice's filter ("rtf", "fodt",
    // "txt:Text (encoded):UTF8"); gives the converted file, or an empty path on failure.
    static fs::path convert(const fs::path& input, const std::string& filter, const std::string& out) {
        const fs::path folder = work_ / out;
        fs::create_directories(folder);
        const std::string command = "timeout " + std::to_string(kConversionSeconds) + " " + office_ +
                                    " -env:UserInstallation=file://" + (work_ / "profile").string() +
                                    " --headless --convert-to '" + filter + "' --outdir '" + folder.string() +
                                    "' '" + input.string() + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return {};
        const fs::path result = folder / (input.stem().string() + "." + filter.substr(0, filter.find(':')));
        return fs::exists(result) ? result : fs::path{};
    }

    static std::string office_;
    static fs::path work_;
};

std::string LibreOffice::office_;
fs::path LibreOffice::work_;

// Lines with their blanks reduced to one space and trimmed, so that "1.\titem" and LibreOffice's
// "    1. item" compare equal; a byte-order mark is dropped.
std::string normalised(std::string text) {
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    std::string out;
    bool blank = false;
    bool lineStart = true;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') {
            while (!out.empty() && out.back() == ' ') out.pop_back();
            out += '\n';
            blank = false;
            lineStart = true;
            continue;
        }
        if (c == ' ' || c == '\t') {
            blank = !lineStart;
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        lineStart = false;
        out += c;
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

// A document with every format the editor gives.
RichDocument everyFormat() {
    RichDocument document;
    CharFormat plain;
    plain.font = "Liberation Serif";
    ParagraphFormat centred;
    centred.alignment = Alignment::Center;
    document.addParagraph(centred);
    CharFormat title = plain;
    title.bold = true;
    title.halfPoints = 32;
    document.addText("Memo title", title);
    document.addParagraph();
    document.addText("plain ", plain);
    CharFormat f = plain;
    f.bold = true;
    document.addText("bold", f);
    document.addText(" ", plain);
    f = plain;
    f.italic = true;
    document.addText("italic", f);
    document.addText(" ", plain);
    f = plain;
    f.underline = true;
    document.addText("underlined", f);
    document.addText(" ", plain);
    f = plain;
    f.strike = true;
    document.addText("struck", f);
    document.addText(" ", plain);
    f = plain;
    f.color = Color::fromRgb(0xFF0000);
    document.addText("red", f);
    document.addText(" ", plain);
    f = plain;
    f.background = Color::fromRgb(0xFFFF00);
    document.addText("highlighted", f);
    ParagraphFormat right;
    right.alignment = Alignment::Right;
    document.addParagraph(right);
    document.addText("right", plain);
    ParagraphFormat justified;
    justified.alignment = Alignment::Justify;
    justified.leftIndent = 1440;
    justified.rightIndent = 720;
    justified.firstLineIndent = -360;
    document.addParagraph(justified);
    document.addText("justified and indented", plain);
    ParagraphFormat tabs;
    tabs.tabs = {{1440, TabKind::Left, TabLeader::None},
                 {2880, TabKind::Center, TabLeader::None},
                 {4320, TabKind::Right, TabLeader::Dots},
                 {5760, TabKind::Decimal, TabLeader::None}};
    document.addParagraph(tabs);
    document.addText("a\tb\tc\t1.5", plain);
    const ListStyle styles[] = {ListStyle::Bullet,      ListStyle::Arabic,     ListStyle::LowerLetter,
                                ListStyle::UpperLetter, ListStyle::LowerRoman, ListStyle::UpperRoman};
    for (ListStyle style : styles) {
        ParagraphFormat item;
        item.leftIndent = 360;
        item.firstLineIndent = -360;
        item.list = ListFormat::of(style);
        document.addParagraph(item);
        document.addText("item one", plain);
        document.addParagraph(item);
        document.addText("item two", plain);
        document.addParagraph();
        document.addText("between", plain);
    }
    document.addParagraph();
    document.addText(
        "Caf\xC3\xA9 \xE2\x82\xAC \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xCE\xB1\xCE\xB2 "
        "\xF0\x9F\x98\x80",
        plain);
    return document;
}

TEST_F(LibreOffice, ItsRtfLoadsWithFormatsTabStopsListsAndScripts) {
    const fs::path rtf = convert(kCorpus / "sources" / "libreoffice_formats.fodt", "rtf", "from-fodt");
    ASSERT_FALSE(rtf.empty()) << "LibreOffice could not convert the corpus source";
    RichDocument document;
    const ReadResult result = readRtf(slurp(rtf), document);
    ASSERT_TRUE(result.ok);
    EXPECT_FALSE(result.truncated);
    EXPECT_EQ(document.plainText(), slurp(kCorpus / "libreoffice_formats.txt"));
    testing::expectLibreOfficeFormats(document);
}

TEST_F(LibreOffice, WhatDocketWritesKeepsTextFormatsTabsAndLists) {
    const RichDocument original = everyFormat();
    const fs::path ours = work_ / "docket.rtf";
    spill(ours, writeRtf(original));

    // The words and the list markers, as LibreOffice shows them.
    const fs::path text = convert(ours, "txt:Text (encoded):UTF8", "as-text");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(normalised(slurp(text)), normalised(original.plainText()));

    // LibreOffice's own document: real lists with their number formats, tab stops with kinds.
    const fs::path flat = convert(ours, "fodt", "as-fodt");
    ASSERT_FALSE(flat.empty());
    const std::string xml = slurp(flat);
    EXPECT_NE(xml.find("text:bullet-char=\"\xE2\x80\xA2\""), std::string::npos);
    for (const char* format : {"1", "a", "A", "i", "I"})
        EXPECT_NE(xml.find(std::string("style:num-format=\"") + format + "\""), std::string::npos) << format;
    EXPECT_NE(xml.find("<text:list "), std::string::npos);
    EXPECT_NE(xml.find("style:type=\"center\""), std::string::npos);
    EXPECT_NE(xml.find("style:type=\"right\" style:leader-style=\"dotted\""), std::string::npos);
    EXPECT_NE(xml.find("style:type=\"char\" style:char=\".\""), std::string::npos);
    EXPECT_NE(xml.find("fo:font-weight=\"bold\""), std::string::npos);
    EXPECT_NE(xml.find("fo:color=\"#ff0000\""), std::string::npos);

    // And back: LibreOffice's RTF of our RTF reads as the document we wrote.
    const fs::path back = convert(flat, "rtf", "back-to-rtf");
    ASSERT_FALSE(back.empty());
    RichDocument again;
    ASSERT_TRUE(readRtf(slurp(back), again).ok);
    ASSERT_EQ(again.paragraphs().size(), original.paragraphs().size());
    EXPECT_EQ(again.plainText(), original.plainText());
    for (std::size_t i = 0; i < original.paragraphs().size(); ++i) {
        SCOPED_TRACE(i);
        const ParagraphFormat& want = original.paragraphs()[i].format;
        const ParagraphFormat& got = again.paragraphs()[i].format;
        EXPECT_EQ(got.alignment, want.alignment);
        EXPECT_EQ(got.tabs, want.tabs);
        EXPECT_EQ(got.list.style, want.list.style);
        EXPECT_EQ(got.leftIndent, want.leftIndent);
        EXPECT_EQ(got.firstLineIndent, want.firstLineIndent);
        const auto& wantRuns = original.paragraphs()[i].runs;
        const auto& gotRuns = again.paragraphs()[i].runs;
        // Formats by word: LibreOffice may split or join runs differently.
        std::size_t g = 0;
        for (const auto& run : wantRuns) {
            while (g < gotRuns.size() && gotRuns[g].text.find(run.text) == std::string::npos) ++g;
            if (g == gotRuns.size()) {
                ADD_FAILURE() << "no run holding " << run.text;
                break;
            }
            const CharFormat& a = run.format;
            const CharFormat& b = gotRuns[g].format;
            EXPECT_EQ(b.bold, a.bold) << run.text;
            EXPECT_EQ(b.italic, a.italic) << run.text;
            EXPECT_EQ(b.underline, a.underline) << run.text;
            EXPECT_EQ(b.strike, a.strike) << run.text;
            EXPECT_EQ(b.halfPoints, a.halfPoints) << run.text;
            EXPECT_EQ(b.font, a.font) << run.text;
            if (!a.color.automatic) {
                EXPECT_EQ(b.color, a.color) << run.text;
            }
            if (!a.background.automatic) {
                EXPECT_EQ(b.background, a.background) << run.text;
            }
        }
    }
}

TEST_F(LibreOffice, CorpusFilesOfOtherWritersConvertToTheSameText) {
    // LibreOffice and docket agree on the text of the hand-written files in every code page.
    for (const char* name :
         {"pn_lists", "cyrillic_1251", "central_european_1250", "greek_turkish_1253_1254"}) {
        SCOPED_TRACE(name);
        const fs::path text =
            convert(kCorpus / (std::string(name) + ".rtf"), "txt:Text (encoded):UTF8", name);
        ASSERT_FALSE(text.empty());
        std::string expected = normalised(slurp(kCorpus / (std::string(name) + ".txt")));
        // LibreOffice numbers every legacy \pn list in Arabic numbers, continuing the list
        // before it (which is why docket writes lists through the list table).
        if (expected.find("c) Third") != std::string::npos)
            expected.replace(expected.find("c) Third"), 8, "3. Third");
        EXPECT_EQ(normalised(slurp(text)), expected);
    }
}

} // namespace
} // namespace docket::rtf
