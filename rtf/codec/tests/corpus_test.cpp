// The RTF corpus in rtf/tests/corpus: files written by hand in the ways simple word processors
// and other programs write RTF (legacy \pn lists, code pages 1250, 1251, 1253, 1254, 1257 and
// 437), LibreOffice's own output, and files cut short. Each NAME.rtf with a NAME.txt beside it
// must read to exactly that text; truncated_NAME.rtf must keep a prefix of NAME.rtf's text.
#include <gtest/gtest.h>

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

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

const fs::path kCorpus = RTF_CORPUS_DIR;

TEST(RtfCorpus, EveryFileReadsToItsText) {
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(kCorpus)) {
        const fs::path text = fs::path(entry.path()).replace_extension(".txt");
        if (entry.path().extension() != ".rtf" || !fs::exists(text)) continue;
        SCOPED_TRACE(entry.path().filename().string());
        RichDocument document;
        const ReadResult result = readRtf(slurp(entry.path()), document);
        EXPECT_TRUE(result.ok);
        EXPECT_FALSE(result.truncated) << result.message;
        EXPECT_EQ(document.plainText(), slurp(text));
        // Written out by docket and read again, the document is the same.
        RichDocument again;
        EXPECT_TRUE(readRtf(writeRtf(document), again).ok);
        EXPECT_EQ(again, document);
        ++checked;
    }
    EXPECT_GE(checked, 6);
}

TEST(RtfCorpus, TruncatedFilesKeepTheTextBeforeTheCut) {
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(kCorpus)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("truncated_", 0) != 0) continue;
        SCOPED_TRACE(name);
        const std::string whole = rtfToPlainText(slurp(kCorpus / name.substr(10)));
        PlainTextSink sink;
        const ReadResult result = readRtf(slurp(entry.path()), sink);
        EXPECT_TRUE(result.ok);
        EXPECT_TRUE(result.truncated);
        EXPECT_FALSE(result.message.empty());
        const std::string part = sink.result();
        EXPECT_GT(part.size(), whole.size() / 4);
        EXPECT_EQ(whole.substr(0, part.size()), part);
        ++checked;
    }
    EXPECT_GE(checked, 2);
}

TEST(RtfCorpus, LegacyListsKeepTheirStylesAndIndents) {
    RichDocument document;
    ASSERT_TRUE(readRtf(slurp(kCorpus / "pn_lists.rtf"), document).ok);
    const auto& p = document.paragraphs();
    ASSERT_EQ(p.size(), 9u);
    EXPECT_EQ(p[0].format.alignment, Alignment::Center);
    EXPECT_TRUE(p[0].runs[0].format.bold);
    EXPECT_EQ(p[0].runs[0].format.halfPoints, 28);
    EXPECT_EQ(p[2].format.list.style, ListStyle::Bullet);
    EXPECT_EQ(p[3].format.list.style, ListStyle::Bullet); // carried over \par without \pard
    EXPECT_EQ(p[3].format.leftIndent, 720);
    EXPECT_EQ(p[3].format.firstLineIndent, -720);
    EXPECT_EQ(p[4].format.list.style, ListStyle::Arabic);
    EXPECT_EQ(p[6].format.list.style, ListStyle::LowerLetter);
    EXPECT_EQ(p[6].format.list.start, 3);
    EXPECT_EQ(p[7].format.tabs, (std::vector<TabStop>{{2880, TabKind::Left, TabLeader::None},
                                                      {5760, TabKind::Right, TabLeader::None}}));
    EXPECT_EQ(p[8].runs[0].format.color, Color::fromRgb(0x0000FF));
    EXPECT_TRUE(p[8].runs[0].format.underline);
}

TEST(RtfCorpus, CharsetsOfFontsReachTheDocument) {
    RichDocument document;
    ASSERT_TRUE(readRtf(slurp(kCorpus / "cyrillic_1251.rtf"), document).ok);
    EXPECT_EQ(document.paragraphs()[0].runs[0].format.font, "Times New Roman CYR");
    EXPECT_EQ(document.paragraphs()[0].runs[0].format.charset, 204);
}

TEST(RtfCorpus, LibreOfficeOutputKeepsItsFormats) {
    RichDocument document;
    ASSERT_TRUE(readRtf(slurp(kCorpus / "libreoffice_formats.rtf"), document).ok);
    testing::expectLibreOfficeFormats(document);
}

} // namespace
} // namespace docket::rtf
