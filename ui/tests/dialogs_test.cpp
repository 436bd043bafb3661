#include "ui/dialogs.h"
#include "ui/modal.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QPixmap>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

using namespace docket::ui;

namespace {

struct Harness {
    Harness() {
        ScriptedUser::instance().clear();
        ScriptedUser::instance().attach();
    }
    ~Harness() { ScriptedUser::instance().clear(); }
    ScriptedUser& user = ScriptedUser::instance();
};

// A folder of its own with a few files, removed again at the end.
struct Folder {
    Folder() {
        path = std::filesystem::temp_directory_path() / ("docket-dialogs-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        for (const char* name : {"memo.rtf", "NOTES.TXT"}) std::ofstream(path / name) << "x";
    }
    ~Folder() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name) const { return (path / name).string(); }
    std::filesystem::path path;
};

// Saves a picture of the open dialog for a reviewer.
void screenshot(ScriptedUser& user, const std::string& name) {
    user.custom([name] {
        QDialog* dialog = openDialog();
        if (dialog == nullptr) return;
        QDir().mkpath(QStringLiteral(DOCKET_SCREENSHOT_DIR));
        dialog->grab().save(QStringLiteral(DOCKET_SCREENSHOT_DIR "/") + QString::fromStdString(name));
    });
}

const char* const kOpenFilter =
    "Rich Text Format (*.rtf)|*.RTF|Text Documents (*.txt)|*.TXT|All Documents (*.*)|*.*";

} // namespace

TEST(FileDialogs, FilterTextsSplitIntoNamesAndPatterns) {
    auto pairs = parseFileFilter(kOpenFilter);
    ASSERT_EQ(pairs.size(), 3u);
    EXPECT_EQ(pairs[0], (std::pair<std::string, std::string>{"Rich Text Format (*.rtf)", "*.RTF"}));
    EXPECT_EQ(pairs[2].second, "*.*");
    // A trailing "|", a name without a pattern and an empty name (the pattern names itself).
    auto odd = parseFileFilter("Both|*.a;*.b||*.c|Dangling");
    ASSERT_EQ(odd.size(), 2u);
    EXPECT_EQ(odd[0].second, "*.a;*.b");
    EXPECT_EQ(odd[1].first, "*.c");
    EXPECT_TRUE(parseFileFilter("").empty());
    EXPECT_TRUE(parseFileFilter("|||").empty());
}

TEST(FileDialogs, OpenPicksCancelsAndInsistsOnExistingFiles) {
    Harness h;
    Folder folder;
    std::string first = folder.file("memo.rtf"), second, third = "unchanged";
    bool firstOk = false, secondOk = false, thirdOk = true;
    QStringList filters;
    screenshot(h.user, "open-dialog.png");
    h.user.custom([&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(openDialog())) filters = dialog->nameFilters();
    });
    h.user.pickFile(folder.file("memo.rtf"));
    // A name that does not exist is refused with a box, and the dialog comes back.
    h.user.pickFile(folder.file("missing.rtf"));
    h.user.answerBox(button::Ok);
    h.user.pickFile("NOTES.TXT"); // relative to the dialog's folder
    h.user.cancelDialog();
    startThread([&] {
        firstOk = fileDialog("", first, kOpenFilter, file::MustExist | file::PathMustExist);
        second = folder.path.string();
        secondOk = fileDialog("Load", second, kOpenFilter, file::MustExist);
        thirdOk = fileDialog("", third, kOpenFilter, file::MustExist);
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_TRUE(h.user.failures().empty());
    EXPECT_TRUE(firstOk);
    EXPECT_EQ(first, folder.file("memo.rtf"));
    EXPECT_TRUE(secondOk);
    EXPECT_EQ(second, folder.file("NOTES.TXT"));
    EXPECT_FALSE(thirdOk);
    // "*.*" must also name files without a dot, as it does where these filters come from.
    EXPECT_EQ(filters, (QStringList{"Rich Text Format (*.rtf) (*.RTF)", "Text Documents (*.txt) (*.TXT)",
                                    "All Documents (*.*) (*)"}));
    EXPECT_EQ(third, "unchanged");
    const auto& shown = h.user.shown();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].kind, "open");
    EXPECT_EQ(shown[0].text, kOpenFilter);
    EXPECT_EQ(shown[1].kind, "open");
    EXPECT_EQ(shown[1].caption, "Load");
    EXPECT_EQ(shown[2].kind, "box");
    EXPECT_NE(shown[2].text.find("missing.rtf|File not found."), std::string::npos);
}

TEST(FileDialogs, SaveAsksBeforeReplacingAFile) {
    Harness h;
    Folder folder;
    std::string name = folder.path.string(), fresh = folder.path.string(), quiet = folder.path.string();
    bool ok = false, freshOk = false, quietOk = false;
    screenshot(h.user, "save-dialog.png");
    h.user.pickFile("memo.rtf");
    h.user.answerBox(button::No); // keep it: the dialog comes back
    h.user.pickFile("memo.rtf");
    h.user.answerBox(button::Yes);
    h.user.pickFile("new.rtf");  // a new file needs no question
    h.user.pickFile("memo.rtf"); // without AskOverwrite nothing is asked
    startThread([&] {
        const char* filter = "Rich Text Format (*.rtf)|*.RTF|Text Documents (*.txt)|*.TXT";
        ok = fileDialog("", name, filter, file::Save | file::AskOverwrite);
        freshOk = fileDialog("", fresh, filter, file::Save | file::AskOverwrite);
        quietOk = fileDialog("", quiet, filter, file::Save);
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_TRUE(h.user.failures().empty());
    EXPECT_TRUE(ok);
    EXPECT_EQ(name, folder.file("memo.rtf"));
    EXPECT_TRUE(freshOk);
    EXPECT_EQ(fresh, folder.file("new.rtf"));
    EXPECT_TRUE(quietOk);
    int questions = 0;
    for (const auto& shown : h.user.shown()) {
        if (shown.kind == "box") {
            ++questions;
            EXPECT_EQ(shown.buttons, button::Yes | button::No);
            EXPECT_EQ(shown.caption, "Save As");
        }
    }
    EXPECT_EQ(questions, 2);
}

TEST(FontDialogs, ValuesGoInAndComeBackOnlyWhenConfirmed) {
    Harness h;
    std::string face = "MS Sans Serif";
    int size = 10, style = 700 | 0x2000;
    long colour = 0x0000FF;
    bool kept = false, cancelled = true, changed = false;
    screenshot(h.user, "font-dialog.png");
    h.user.pickFont("MS Sans Serif", 10, 0x0000FF, 700 | 0x2000); // as shown: nothing changes
    h.user.cancelDialog();
    h.user.pickFont("MS Sans Serif", 14, 0x123456, 400 | 0x1000 | 0x4000);
    startThread([&] {
        kept = fontDialog("", face, size, colour, style);
        EXPECT_EQ(face, "MS Sans Serif"); // the Windows face the program gave, not the desktop's
        EXPECT_EQ(size, 10);
        EXPECT_EQ(colour, 0x0000FF);
        EXPECT_EQ(style, 700 | 0x2000);
        cancelled = fontDialog("", face, size, colour, style);
        changed = fontDialog("Font", face, size, colour, style);
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_TRUE(h.user.failures().empty());
    EXPECT_TRUE(kept);
    EXPECT_FALSE(cancelled);
    EXPECT_TRUE(changed);
    EXPECT_EQ(size, 14);
    EXPECT_EQ(colour, 0x123456); // a colour outside the standard ones
    EXPECT_EQ(style, 400 | 0x1000 | 0x4000);
    ASSERT_EQ(h.user.shown().size(), 3u);
    EXPECT_EQ(h.user.shown()[0].kind, "font");
}

TEST(ColourDialogs, BgrValuesRoundTripAndCancelKeepsTheColour) {
    Harness h;
    long colour = 0x00FF8040, cancelledColour = 0x000080;
    bool ok = false, cancelled = true;
    screenshot(h.user, "colour-dialog.png");
    h.user.pickColor(0x00336699);
    h.user.cancelDialog();
    h.user.pickColor(0); // a message box is open, not a colour dialog: a failure is recorded
    h.user.answerBox(button::Ok);
    startThread([&] {
        ok = colorDialog("", colour);
        cancelled = colorDialog("", cancelledColour);
        messageBox("done");
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_TRUE(ok);
    EXPECT_EQ(colour, 0x00336699);
    EXPECT_FALSE(cancelled);
    EXPECT_EQ(cancelledColour, 0x000080);
    ASSERT_EQ(h.user.failures().size(), 1u);
    EXPECT_EQ(h.user.failures()[0], "no colour dialog open");
}
