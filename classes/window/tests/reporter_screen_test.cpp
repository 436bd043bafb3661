// The error reporter on the screen, driven through real boxes and the history window by the
// scripted user: the icons questions and messages show, the fatal stop with the program's shut-down
// run once, a stop nobody announced, and the history window with its list and buttons.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>

#include "classes/data/error_reporter.h"
#include "classes/data/table_access.h"
#include "classes/window/message_window.h"
#include "classes/window/reporter_screen.h"
#include "runtime/core/error_codes.h"
#include "runtime/core/error_state.h"
#include "runtime/core/fatal.h"
#include "ui/control.h"
#include "ui/modal.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"
#include "ui/window.h"

namespace docket::classes {
namespace {

using ui::ScriptedUser;

// Installs the reporter screen with a shut-down and a halt that only count, and takes all of it
// down again at the end.
struct Screen {
    explicit Screen(ErrorReporter* reporter = nullptr) {
        ScriptedUser::instance().clear();
        ScriptedUser::instance().attach();
        installReporterScreen(reporter);
        setShutdownHook([this] { ++shutdowns; });
        setHaltHandler([this](int code) { halts.push_back(code); });
    }
    ~Screen() {
        setMessageHook(nullptr);
        runtime::setFatalHook(nullptr);
        setRebuildProgress({});
        setShutdownHook(nullptr);
        setHaltHandler(nullptr);
        ScriptedUser::instance().clear();
    }
    ScriptedUser& user = ScriptedUser::instance();
    int shutdowns = 0;
    std::vector<int> halts;
};

// The Qt icon of the open box, noted when the scripted user gets to it.
void noteIcon(ScriptedUser& user, std::vector<QMessageBox::Icon>& icons) {
    user.custom([&icons] {
        if (QMessageBox* box = ui::openBox()) icons.push_back(box->icon());
    });
}

// The newest window of the program thread, for looking at the history window.
ui::Window* topWindow() {
    auto threads = ui::Scheduler::instance().threads();
    return threads.empty() ? nullptr : ui::Scheduler::instance().topWindow(threads.front());
}

} // namespace

TEST(ReporterScreen, QuestionsAskWithTheQuestionIconAndMessagesWarn) {
    ErrorReporter reporter;
    Screen screen(&reporter);
    std::vector<QMessageBox::Icon> icons;
    noteIcon(screen.user, icons);
    screen.user.answerBox(button::kNo);
    noteIcon(screen.user, icons);
    screen.user.answerBox(button::kOk);
    noteIcon(screen.user, icons);
    screen.user.answerBox(button::kYes);
    Severity question = Severity::Proceed, inform = Severity::Proceed;
    ButtonSet confirmed = 0;
    ui::startThread([&] {
        question = reporter.Raise(8); // "Changes will be lost!"
        inform = reporter.Raise(22);  // "No Records"
        confirmed = reporter.Confirm(35, button::kYes | button::kNo | button::kCancel, button::kCancel);
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
    EXPECT_TRUE(screen.user.failures().empty());
    EXPECT_EQ(question, Severity::Declined);
    EXPECT_EQ(inform, Severity::Inform);
    EXPECT_EQ(confirmed, button::kYes);
    ASSERT_EQ(screen.user.shown().size(), 3u);
    EXPECT_EQ(screen.user.shown()[0].caption, "Changes will be lost!");
    EXPECT_EQ(screen.user.shown()[0].icon, ui::icon::Question);
    EXPECT_EQ(screen.user.shown()[0].buttons, button::kYes | button::kNo);
    EXPECT_EQ(screen.user.shown()[1].icon, ui::icon::Exclamation);
    EXPECT_EQ(screen.user.shown()[2].icon, ui::icon::Question);
    // Not one stop sign among them.
    EXPECT_EQ(icons, (std::vector<QMessageBox::Icon>{QMessageBox::Question, QMessageBox::Warning,
                                                     QMessageBox::Question}));
    EXPECT_EQ(screen.shutdowns, 0);
}

TEST(ReporterScreen, AFatalMessageRunsTheShutDownOnceAndHalts) {
    ErrorReporter reporter;
    Screen screen(&reporter);
    screen.user.answerBox(button::kOk);
    screen.user.answerBox(button::kOk);
    Severity first = Severity::Proceed, second = Severity::Proceed;
    ui::startThread([&] {
        runtime::setError(runtime::error::kFileNotFound);
        reporter.SetFileName("MEMO.DB");
        first = reporter.Raise(23); // "File Access Error"
        second = reporter.Raise(10);
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
    EXPECT_TRUE(screen.user.failures().empty());
    // The message itself is the only box: OK is all it offers, and no "Stop" box follows.
    ASSERT_EQ(screen.user.shown().size(), 2u);
    const auto& box = screen.user.shown()[0];
    EXPECT_EQ(box.caption, "File Access Error");
    EXPECT_EQ(box.text,
              "File (MEMO.DB) could not be opened.  Error: File Not Found (2).  Press OK to end this "
              "application");
    EXPECT_EQ(box.buttons, button::kOk);
    EXPECT_EQ(box.icon, ui::icon::Exclamation);
    EXPECT_EQ(screen.shutdowns, 1); // the second stop does not shut down again
    EXPECT_EQ(screen.halts, (std::vector<int>{1, 1}));
    EXPECT_EQ(first, Severity::Fatal);
    EXPECT_EQ(second, Severity::Fatal);
}

TEST(ReporterScreen, AStopNobodyAnnouncedIsShownWithAbortOnly) {
    Screen screen;
    screen.user.answerBox(button::kAbort);
    ui::startThread([&] { runtime::fatal("The file's pages do not add up.", "Integrity Check"); });
    ASSERT_TRUE(ui::Scheduler::instance().run());
    EXPECT_TRUE(screen.user.failures().empty());
    ASSERT_EQ(screen.user.shown().size(), 1u);
    EXPECT_EQ(screen.user.shown()[0].caption, "Integrity Check");
    EXPECT_EQ(screen.user.shown()[0].buttons, button::kAbort);
    EXPECT_EQ(screen.user.shown()[0].icon, ui::icon::Hand);
    EXPECT_EQ(screen.shutdowns, 1);
    EXPECT_EQ(screen.halts, (std::vector<int>{1}));
}

// The real halt, in a process of its own: the shut-down steps run, then the program ends with 1.
TEST(ReporterScreenDeathTest, AFatalMessageEndsTheProgramAfterItsShutDown) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ErrorReporter reporter;
            Screen screen(&reporter);
            setHaltHandler(nullptr);
            setShutdownHook([] { std::fprintf(stderr, "shut down\n"); });
            screen.user.answerBox(button::kOk);
            ui::startThread([&] { reporter.Raise(23); });
            ui::Scheduler::instance().run();
            std::fprintf(stderr, "carried on\n");
            std::exit(0);
        },
        ::testing::ExitedWithCode(1), "shut down");
}

TEST(ReporterScreen, TheShutDownRunsOnceEvenWhenAStepStops) {
    Screen screen;
    int steps = 0;
    setShutdownHook([&] {
        ++steps;
        runShutdownOnce(); // a step that ends up in the fatal path again
    });
    EXPECT_TRUE(runShutdownOnce());
    EXPECT_FALSE(runShutdownOnce());
    EXPECT_EQ(steps, 1);
}

TEST(HistoryWindow, ListsTheHistoryWithItsButtonsFromTheRight) {
    ErrorReporter reporter;
    reporter.HISTORYTHRESHOLD = 3;
    Screen screen(&reporter);
    std::vector<std::string> texts, shownButtons, hiddenButtons;
    int rows = -1;
    long imageVisible = -1;
    std::string caption;
    screen.user.custom([&] {
        ui::Window* w = topWindow();
        if (w == nullptr) return;
        caption = w->get(0, "Text");
        rows = w->controlData(kMessageList)->table->rowCount();
        for (int r = 0; r < rows; ++r)
            texts.push_back(w->controlData(kMessageList)->table->item(r, 0)->text().toStdString() + " | " +
                            w->controlData(kMessageList)->table->item(r, 1)->text().toStdString());
        for (int n = 1; n <= 8; ++n) {
            const int control = kMessageButton1 + n - 1;
            if (w->getInt(control, "Visible"))
                shownButtons.push_back(std::to_string(n) + w->get(control, "Text"));
            else
                hiddenButtons.push_back(std::to_string(n));
        }
        imageVisible = w->getInt(kMessageImage, "Visible");
        QDir().mkpath(QStringLiteral(DOCKET_SCREENSHOT_DIR));
        w->widget()->grab().save(QStringLiteral(DOCKET_SCREENSHOT_DIR "/history-window.png"));
    });
    screen.user.click(kMessageButton1 + 7); // Help, the rightmost
    ButtonSet answer = 0;
    ui::startThread([&] {
        reporter.AssignCategory(22, "Lists");
        for (std::uint16_t id : {22, 2, 22, 12}) reporter.Raise(id); // kept, not shown
        answer = reporter.ShowHistory();
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
    EXPECT_TRUE(screen.user.failures().empty());
    EXPECT_EQ(answer, button::kHelp);
    EXPECT_EQ(caption, "Errors History");
    // The newest three, oldest first.
    ASSERT_EQ(rows, 3);
    EXPECT_EQ(texts[0], "Could not get write access to  so trying read-only. | QRB");
    EXPECT_EQ(texts[1], "There are no records available to process. | Lists");
    EXPECT_EQ(texts[2], "This form cannot be used to delete a record | QRB");
    EXPECT_EQ(shownButtons, (std::vector<std::string>{"7O&k", "8&Help"}));
    EXPECT_EQ(hiddenButtons.size(), 6u);
    EXPECT_EQ(imageVisible, 0);                // no icon
    EXPECT_EQ(screen.user.shown().size(), 0u); // no box besides the window
}

TEST(HistoryWindow, AFatalMessageOpensItWithEveryEntryAndThenHalts) {
    ErrorReporter reporter;
    reporter.HISTORYTHRESHOLD = -1;
    Screen screen(&reporter);
    int rows = -1;
    std::string fatalTip;
    long imageVisible = -1, okDefault = -1;
    screen.user.custom([&] {
        ui::Window* w = topWindow();
        rows = w->controlData(kMessageList)->table->rowCount();
        // The fatal message is longer than its column: its tip shows the whole text.
        fatalTip = w->controlData(kMessageList)->table->item(2, 0)->toolTip().toStdString();
        imageVisible = w->getInt(kMessageImage, "Visible");
        okDefault = w->getInt(kMessageButton1 + 7, "Default");
        QDir().mkpath(QStringLiteral(DOCKET_SCREENSHOT_DIR));
        w->widget()->grab().save(QStringLiteral(DOCKET_SCREENSHOT_DIR "/history-window-fatal.png"));
    });
    screen.user.closeWindow(); // closing answers with the default, Ok
    Severity result = Severity::Proceed;
    ui::startThread([&] {
        reporter.Raise(22);
        reporter.Raise(12);
        result = reporter.Raise(23);
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
    EXPECT_TRUE(screen.user.failures().empty());
    EXPECT_EQ(rows, 3);
    EXPECT_TRUE(fatalTip.ends_with("Press OK to end this application")) << fatalTip;
    EXPECT_EQ(imageVisible, 1);
    EXPECT_EQ(okDefault, 1);
    EXPECT_EQ(result, Severity::Fatal);
    EXPECT_EQ(screen.shutdowns, 1);
    EXPECT_EQ(screen.halts, (std::vector<int>{1}));
    EXPECT_TRUE(screen.user.shown().empty()); // the window told it: no "Stop" box after it
}

TEST(HistoryWindow, EveryButtonAnswersWithItsOwnBit) {
    ErrorReporter reporter;
    Screen screen(&reporter);
    std::vector<ButtonSet> answers;
    const ButtonSet all = 0xFF;
    // Slot n from the right holds the n-th highest bit: ?BUTTON1 (leftmost) is Ok.
    for (int n = 1; n <= 8; ++n) screen.user.click(kMessageButton1 + n - 1);
    ui::startThread([&] {
        for (int n = 1; n <= 8; ++n)
            answers.push_back(reporter.ShowWithHistory("All", 0, all, button::kCancel));
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
    EXPECT_TRUE(screen.user.failures().empty());
    EXPECT_EQ(answers, (std::vector<ButtonSet>{1, 2, 4, 8, 16, 32, 64, 128}));
}

} // namespace docket::classes
