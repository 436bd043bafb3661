// qvn rtf text / write and qvn memo show, run as the built tool: the words of RTF files on standard
// output, RTF written back as docket writes it, one memo's body, and exit code 2 with a message for
// every input that cannot be shown.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <string>

#include "drivers/qvn/tests/qvn_test_util.h"
#include "rtf/codec/plain_text.h"
#include "tools/qvn/tests/run_tool.h"

namespace docket::qvn_tool {
namespace {

using drivers::qvn::testing::ScratchDir;
using testing::run;

const std::string kQvn = QVN_BINARY;

// A list, a tab, accents, Cyrillic through a font's code page, and an emoji.
const std::string kDocument =
    "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fnil Arial;}{\\f1\\fnil\\fcharset204 Times;}}"
    "\\pard\\qc\\b Title\\b0\\par"
    "\\pard{\\pntext 1.\\tab}{\\*\\pn\\pnlvlbody\\pndec\\pnstart1{\\pntxta.}}\\fi-360\\li360 caf\\'e9\\par"
    "{\\pntext 2.\\tab}\\f1\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2\\par"
    "\\pard\\f0 a\\tab b \\u-10179?\\u-8704?\\par}";
const std::string kText = "Title\n1.\tcaf\xC3\xA9\n2.\t\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\n"
                          "a\tb \xF0\x9F\x98\x80\n";

std::string save(ScratchDir& dir, const std::string& name, const std::string& bytes) {
    const std::string path = dir.file(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

TEST(QvnRtfTest, TextAndWriteOfAFileAndOfStandardInput) {
    ScratchDir dir;
    const std::string file = save(dir, "memo.rtf", kDocument);
    int status = 0;
    EXPECT_EQ(run(kQvn + " rtf text '" + file + "'", &status), kText);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(run(kQvn + " rtf text - < '" + file + "'", &status), kText);
    EXPECT_EQ(WEXITSTATUS(status), 0);

    const std::string written = run(kQvn + " rtf write '" + file + "'", &status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(written.rfind("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1", 0), 0u) << written;
    EXPECT_LT(written.size(), kDocument.size() + 200);
    // Written again it reads to the same words, and writing is stable.
    EXPECT_EQ(run(kQvn + " rtf write '" + file + "' | " + kQvn + " rtf text -", &status), kText);
    EXPECT_EQ(run(kQvn + " rtf write '" + file + "' | " + kQvn + " rtf write -", &status), written);
}

TEST(QvnRtfTest, UnreadableInputExitsWithTwoAndSaysWhy) {
    ScratchDir dir;
    int status = 0;
    std::string out = run(kQvn + " rtf text '" + dir.file("missing.rtf") + "' 2>&1", &status);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(out.find("missing.rtf: No such file or directory"), std::string::npos) << out;

    const std::string plain = save(dir, "plain.txt", "just words");
    out = run(kQvn + " rtf write '" + plain + "' 2>&1", &status);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(out.find("not an RTF document"), std::string::npos) << out;

    out = run(kQvn + " rtf 2>&1", &status);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(out.find("usage: qvn rtf text FILE"), std::string::npos) << out;

    // A file cut short still shows what it holds, with a warning.
    const std::string cut = save(dir, "cut.rtf", kDocument.substr(0, kDocument.find("\\pard\\f0")));
    std::string warning;
    out = run(kQvn + " rtf text '" + cut + "' 2>'" + dir.file("err") + "'", &status);
    std::getline(std::ifstream(dir.file("err")), warning);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(out, kText.substr(0, kText.find("a\tb")));
    EXPECT_NE(warning.find("warning: the document ends before its last closing brace"), std::string::npos)
        << warning;
}

TEST(QvnRtfTest, MemoShowPrintsOneBodyAsTextOrAsStored) {
    ScratchDir dir;
    const std::string folder = dir.file("register");
    int status = 0;
    run(kQvn + " memo seed '" + folder + "' --count 3 --seed 5 2>/dev/null", &status);
    ASSERT_EQ(WEXITSTATUS(status), 0);

    const std::string stored = run(kQvn + " memo show '" + folder + "' 2 --rtf", &status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ASSERT_EQ(stored.rfind("{\\rtf1", 0), 0u) << stored;
    std::string expected = rtf::rtfToPlainText(stored);
    ASSERT_FALSE(expected.empty());
    expected += '\n';
    EXPECT_EQ(run(kQvn + " memo show '" + folder + "' 2", &status), expected);
    EXPECT_EQ(run(kQvn + " memo show '" + folder + "' 2 --text", &status), expected);
    EXPECT_EQ(WEXITSTATUS(status), 0);

    std::string out = run(kQvn + " memo show '" + folder + "' 99 2>&1", &status);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(out.find("no memo with entry number 99"), std::string::npos) << out;
    out = run(kQvn + " memo show '" + folder + "' two 2>&1", &status);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(out.find("usage: qvn memo show DIR ID [--text|--rtf]"), std::string::npos) << out;
    out = run(kQvn + " memo show '" + dir.file("nowhere") + "' 1 2>&1", &status);
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

} // namespace
} // namespace docket::qvn_tool
