// Document streaming: the memo field's boundary (8191 bytes stored, 8192 refused with the field
// unchanged), shorter and cleared bodies, RTF and text files with accents, the euro sign,
// Cyrillic and an emoji, the extension taken from the file's name, failing loads and saves, and
// the save prompt.
#include "rtf/tests/editor_harness.h"

#include "rtf/text_document.h"
#include "runtime/core/error_codes.h"
#include "runtime/core/error_state.h"
#include "ui/modal.h"

#include <QTextDocument>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

using namespace docket;
using namespace docket::rtf;
using namespace docket::rtf::testing;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBody = 8192;
const QString kWorld =
    QString::fromUtf8("Caf\u00e9 cr\u00e8me \u20ac 12\tna\u00efve\n\u041f\u0440\u0438\u0432\u0435\u0442, "
                      "\u043c\u0438\u0440 \U0001F600");

// Runs `body` on a host procedure with an opened editor.
void withEditor(const std::function<void(ui::Window&, kwRTF&)>& body) {
    ui::startThread([&] {
        ui::Window host(hostWindow(true));
        kwRTF editor;
        ASSERT_TRUE(editor.Init(&host, kText, true, true, true));
        drain(host);
        body(host, editor);
        editor.Close(false);
    });
    const bool finished = ui::Scheduler::instance().run();
    for (const auto& shown : ui::ScriptedUser::instance().shown())
        if (!finished)
            std::fprintf(stderr, "shown: %s %s %s\n", shown.kind.c_str(), shown.caption.c_str(),
                         shown.text.c_str());
    ASSERT_TRUE(finished);
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

fs::path scratchDir(const char* name) {
    fs::path dir = fs::temp_directory_path() / ("docket-rtf-" + std::to_string(::getpid())) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string rtfOf(kwRTF& e) {
    std::string bytes, error;
    EXPECT_TRUE(e.HRTFWINDOW->streamOut(ui::StreamFormat::Rtf, bytes, error));
    return bytes;
}

} // namespace

TEST(RtfStreaming, TheFieldTakes8191BytesAndRefuses8192LeavingItUnchanged) {
    Harness h;
    withEditor([&](ui::Window&, kwRTF& e) {
        // Find the number of letters whose RTF is exactly 8191 bytes.
        e.HRTFWINDOW->setPlainText(QString(100, QLatin1Char('a')));
        const std::size_t base = rtfOf(e).size() - 100;
        const int fits = static_cast<int>(8191 - base);
        e.HRTFWINDOW->setPlainText(QString(fits, QLatin1Char('a')));
        const std::string exact = rtfOf(e);
        ASSERT_EQ(exact.size(), 8191u);

        std::vector<char> field(kBody, 'x');
        e.HRTFWINDOW->setModified(true);
        ASSERT_TRUE(e.SaveToField(kBody, field.data()));
        EXPECT_EQ(std::string(field.data(), 8191), exact);
        EXPECT_EQ(field[8191], ' ');
        EXPECT_EQ(e.CheckModified(false), 0);

        // One letter more is 8192 bytes: refused, the field and the modified flag stay.
        e.HRTFWINDOW->setPlainText(QString(fits + 1, QLatin1Char('a')));
        e.HRTFWINDOW->setModified(true); // as typing would
        ASSERT_EQ(rtfOf(e).size(), 8192u);
        const std::vector<char> before = field;
        h.user.answerBox(ui::button::Ok);
        runtime::clearError();
        EXPECT_FALSE(e.SaveToField(kBody, field.data()));
        EXPECT_EQ(field, before);
        EXPECT_EQ(e.CheckModified(false), 1);
        EXPECT_EQ(e.ERRORCODE, 1);
        EXPECT_EQ(runtime::errorCode(), runtime::error::kServerNotFound);
    });
    ASSERT_FALSE(h.user.shown().empty());
    EXPECT_EQ(h.user.shown().back().caption, "Stream Error");
    EXPECT_EQ(h.user.shown().back().text, "The variable is to small to hold the data.");
}

TEST(RtfStreaming, ShorterAndClearedBodiesLeaveNothingOfTheOldOne) {
    Harness h;
    withEditor([&](ui::Window&, kwRTF& e) {
        std::vector<char> field(kBody, ' ');
        e.HRTFWINDOW->setPlainText(QString(3000, QLatin1Char('L')));
        ASSERT_TRUE(e.SaveToField(kBody, field.data()));
        e.HRTFWINDOW->setPlainText(kWorld);
        ASSERT_TRUE(e.SaveToField(kBody, field.data()));
        const std::string stored(field.data(), field.size());
        const std::string rtf = rtfOf(e);
        EXPECT_EQ(stored.substr(0, rtf.size()), rtf);
        EXPECT_EQ(stored.find_first_not_of(' ', rtf.size()), std::string::npos);

        // Loaded back from the field, the text is the same.
        e.HRTFWINDOW->setPlainText("something else");
        e.HRTFWINDOW->setModified(false);
        ASSERT_TRUE(e.LoadFromField(kBody, field.data()));
        EXPECT_EQ(e.HRTFWINDOW->toPlainText(), kWorld);
        EXPECT_EQ(e.CheckModified(false), 0);
        EXPECT_EQ(e.RFIELD.address, field.data());

        // Clearing the body stores an empty body.
        e.HRTFWINDOW->clear();
        ASSERT_TRUE(e.SaveToField(kBody, field.data()));
        EXPECT_EQ(std::string(field.data(), field.size()), std::string(kBody, ' '));
        // And an empty field loads as an empty document.
        e.HRTFWINDOW->setPlainText("x");
        e.HRTFWINDOW->setModified(false);
        ASSERT_TRUE(e.LoadFromField(kBody, field.data()));
        EXPECT_EQ(e.HRTFWINDOW->textLength(), 0);

        // A CSTRING field is zero-filled behind its text.
        std::vector<char> cstring(256, 'z');
        e.HRTFWINDOW->setPlainText("hi");
        ASSERT_TRUE(e.SaveToField(cstring.size(), cstring.data(), runtime::TypeCode::CString));
        EXPECT_EQ(cstring.back(), '\0');
        EXPECT_EQ(std::string(cstring.data()), rtfOf(e));
    });
}

TEST(RtfStreaming, FieldTextLoadsAsRtfByItsHeaderInAnyCaseAndAsWindows1252Otherwise) {
    Harness h;
    withEditor([&](ui::Window&, kwRTF& e) {
        std::string body = "plain caf\xE9 \x80";
        body.resize(kBody, ' ');
        ASSERT_TRUE(e.LoadFromField(kBody, body.data()));
        EXPECT_EQ(e.HRTFWINDOW->toPlainText(), QString::fromUtf8("plain café €"));

        std::string rtf = "{\\rtf1\\ansi {\\b bold} words\\par}";
        rtf.resize(kBody, ' ');
        ASSERT_TRUE(e.LoadFromField(kBody, rtf.data()));
        EXPECT_EQ(e.HRTFWINDOW->toPlainText(), "bold words");

        // The field's test ignores case.
        std::string upper = "{\\RTF1 shouting}";
        upper.resize(kBody, ' ');
        ASSERT_TRUE(e.LoadFromField(kBody, upper.data()));
        EXPECT_EQ(e.HRTFWINDOW->toPlainText(), "shouting");

        // A body the reader gives up on leaves the document as it was.
        struct Refusing : ui::RichTextCodec {
            bool read(std::string_view, QTextDocument& d, std::string& error) override {
                d.setPlainText("half");
                error = "damaged";
                return false;
            }
            std::string write(const QTextDocument&) override { return {}; }
        } refusing;
        ui::setRichTextCodec(&refusing);
        runtime::clearError();
        EXPECT_FALSE(e.LoadFromField(kBody, rtf.data()));
        EXPECT_EQ(runtime::errorCode(), runtime::error::kServerNotFound);
        EXPECT_EQ(e.ERROR, "damaged");
        EXPECT_EQ(e.HRTFWINDOW->toPlainText(), "shouting");
        installRichTextCodec();
    });
}

TEST(RtfStreaming, RtfAndTextFilesRoundTripEveryScript) {
    Harness h;
    const fs::path dir = scratchDir("roundtrip");
    withEditor([&](ui::Window&, kwRTF& e) {
        for (const char* name : {"memo.rtf", "memo.txt"}) {
            const std::string path = (dir / name).string();
            e.HRTFWINDOW->setPlainText(kWorld);
            ASSERT_TRUE(e.SaveToFile(path)) << e.ERROR;
            EXPECT_EQ(e.SFILENAME, path);
            EXPECT_EQ(e.CheckModified(false), 0);
            e.NewDocument();
            EXPECT_EQ(e.HRTFWINDOW->textLength(), 0);
            ASSERT_TRUE(e.LoadFromFile(path)) << e.ERROR;
            EXPECT_EQ(e.HRTFWINDOW->toPlainText(), kWorld) << name;
            EXPECT_FALSE(e.RFIELD.set());
        }
        const std::string rtf = slurp(dir / "memo.rtf");
        EXPECT_EQ(rtf.compare(0, 5, "{\\rtf"), 0);
        const std::string text = slurp(dir / "memo.txt");
        EXPECT_EQ(text, kWorld.toUtf8().replace("\n", "\r\n").toStdString());

        // Text files in Windows-1252 and with a byte-order mark read as the user wrote them.
        std::ofstream(dir / "ansi.txt", std::ios::binary) << "caf\xE9 \x80\r\nzwei";
        ASSERT_TRUE(e.LoadFromFile((dir / "ansi.txt").string()));
        EXPECT_EQ(e.HRTFWINDOW->toPlainText(), QString::fromUtf8("café €\nzwei"));
        std::ofstream(dir / "bom.txt", std::ios::binary) << "\xEF\xBB\xBF\xD0\x9F\xF0\x9F\x98\x80";
        ASSERT_TRUE(e.LoadFromFile((dir / "bom.txt").string()));
        EXPECT_EQ(e.HRTFWINDOW->toPlainText(), QString::fromUtf8("П😀"));
        // The file's own first bytes decide: "{\RTF" is text to a file.
        std::ofstream(dir / "upper.rtf", std::ios::binary) << "{\\RTF1 x}";
        ASSERT_TRUE(e.LoadFromFile((dir / "upper.rtf").string()));
        EXPECT_EQ(e.HRTFWINDOW->toPlainText(), "{\\RTF1 x}");
    });
}

TEST(RtfStreaming, TheExtensionComesFromTheFileNameNotTheFolder) {
    Harness h;
    const fs::path dir = scratchDir("j.doe");
    withEditor([&](ui::Window&, kwRTF& e) {
        e.HRTFWINDOW->setPlainText("body");
        ASSERT_TRUE(e.SaveToFile((dir / "letter").string()));
        EXPECT_TRUE(fs::exists(dir / "letter.RTF"));
        EXPECT_EQ(slurp(dir / "letter.RTF").compare(0, 5, "{\\rtf"), 0);
        ASSERT_TRUE(e.SaveToFile((dir / "note.txt").string()));
        EXPECT_EQ(slurp(dir / "note.txt"), "body");
        h.user.answerBox(ui::button::Ok);
        EXPECT_FALSE(e.SaveToFile((dir / "a.b.rtf").string()));
        EXPECT_FALSE(fs::exists(dir / "a.b.rtf"));
    });
    ASSERT_FALSE(h.user.shown().empty());
    EXPECT_EQ(h.user.shown().back().caption, "Format Error");
    EXPECT_EQ(h.user.shown().back().text, "Unknown file format: \".B.R\"|Extension must be .RTF or .TXT.");
}

TEST(RtfStreaming, FailingLoadsAndSavesKeepDocumentAndFiles) {
    Harness h;
    const fs::path dir = scratchDir("failing");
    withEditor([&](ui::Window&, kwRTF& e) {
        e.HRTFWINDOW->setPlainText("kept");
        e.HRTFWINDOW->setModified(false);
        runtime::clearError();
        EXPECT_FALSE(e.LoadFromFile((dir / "missing.rtf").string()));
        EXPECT_EQ(e.ERRORCODE, 2);
        EXPECT_FALSE(e.ERROR.empty());
        EXPECT_EQ(runtime::errorCode(), runtime::error::kServerNotFound);
        EXPECT_EQ(e.HRTFWINDOW->toPlainText(), "kept");

        // A save whose target cannot be replaced leaves it and no temporary file behind.
        fs::create_directories(dir / "taken.rtf");
        runtime::clearError();
        EXPECT_FALSE(e.SaveToFile((dir / "taken.rtf").string()));
        EXPECT_NE(e.ERRORCODE, 0);
        EXPECT_EQ(runtime::errorCode(), runtime::error::kServerNotFound);
        EXPECT_TRUE(fs::is_directory(dir / "taken.rtf"));
        EXPECT_FALSE(e.SaveToFile((dir / "no-such-folder" / "a.rtf").string()));
        EXPECT_EQ(e.ERRORCODE, 2);
        int files = 0;
        for (const auto& entry : fs::directory_iterator(dir)) files += entry.is_regular_file() ? 1 : 0;
        EXPECT_EQ(files, 0);

        // An old file survives a save into a folder that has become read-only.
        const fs::path old = dir / "old.rtf";
        ASSERT_TRUE(e.SaveToFile(old.string()));
        const std::string before = slurp(old);
        ::chmod(dir.c_str(), 0555);
        const bool enforced = ::access(dir.c_str(), W_OK) != 0; // not for root
        e.HRTFWINDOW->setPlainText("changed");
        e.HRTFWINDOW->setModified(true);
        const bool saved = e.SaveToFile(old.string());
        ::chmod(dir.c_str(), 0755);
        if (enforced) {
            EXPECT_FALSE(saved);
            EXPECT_EQ(e.ERRORCODE, 5);
            EXPECT_EQ(slurp(old), before);
        } else {
            std::fprintf(stderr, "read-only folders are not enforced for this user; that part is skipped\n");
        }

        // The prompt: Yes with a save that fails answers "cancelled", so nothing is dropped.
        e.HRTFWINDOW->setPlainText("unsaved");
        e.HRTFWINDOW->setModified(true);
        e.SFILENAME = (dir / "taken.rtf").string();
        h.user.answerBox(ui::button::Yes);
        EXPECT_EQ(e.CheckModified(true), 2);
        EXPECT_EQ(e.HRTFWINDOW->toPlainText(), "unsaved");
        // Yes with a save that works answers "saved"; No answers "not saved".
        e.SFILENAME = (dir / "saved.rtf").string();
        h.user.answerBox(ui::button::Yes);
        EXPECT_EQ(e.CheckModified(true), 1);
        EXPECT_TRUE(fs::exists(dir / "saved.rtf"));
        e.HRTFWINDOW->setPlainText("again");
        e.HRTFWINDOW->setModified(true);
        h.user.answerBox(ui::button::No);
        EXPECT_EQ(e.CheckModified(true), 0);
        h.user.answerBox(ui::button::Cancel);
        EXPECT_EQ(e.Close(true), 2);
    });
    bool documentPrompt = false;
    for (const auto& shown : h.user.shown())
        documentPrompt = documentPrompt || (shown.caption == "Save Document" &&
                                            shown.text == "Do you want to save modified document?");
    EXPECT_TRUE(documentPrompt);
}
