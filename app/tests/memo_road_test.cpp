// The road of one memo, from the memo list through the memo form and back, driven by the scripted
// user over the program's real windows and files: a memo inserted with a formatted body, a memo
// type typed into the combo (added through the memo type form) and a date picked in the calendar
// appears at the top of the list, highlighted; its subject and body are changed; it is deleted
// after the confirmation; an insert cancelled leaves no blank row; afterwards every page and table
// of both files passes `qvn check`. The date picked in the calendar is stored.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/dictionary.h"
#include "app/memo_tables.h"
#include "app/program.h"
#include "app/windows/memo_list.h"
#include "app/windows/update_memo_db.h"
#include "classes/data/tests/table_test_support.h"
#include "classes/window/requests.h"
#include "files/file_statements.h"
#include "rtf/rtf_editor.h"
#include "runtime/core/dates.h"
#include "ui/control.h"
#include "ui/events.h"
#include "ui/keys.h"
#include "ui/modal.h"
#include "ui/rich_text_control.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"
#include "ui/window.h"

namespace docket::app {
namespace {

using namespace classes;
using classes::testing::ScratchDir;
using ui::ScriptedUser;

// The memo list.
constexpr int lBrowse = 2, lInsert = 4, lChange = 5, lDelete = 6, lClose = 17;
// The memo form.
constexpr int fJenisMemo = 6, fPopCalendar = 9, fMemoNo = 12, fPerihal = 14, fOk = 16, fCancel = 17;
// The memo type form's OK; the calendar's first day cell.
constexpr int tOk = 7, cFirstRegion = 15;

int hostThread = 0;
ui::Window* top() {
    return ui::Scheduler::instance().topWindow(hostThread);
}

class MemoRoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        user.clear();
        user.attach();
        ::setenv("DOCKET_CONFIG_DIR", dir.file("config").c_str(), 1);
        ProgramOptions options;
        options.dataFolder = dir.file("data");
        ASSERT_TRUE(startup(options));
        PendingRequest = LastResponse = 0;
        PendingNavigation = 0;
    }
    void TearDown() override {
        shutdown();
        ::unsetenv("DOCKET_CONFIG_DIR");
        user.clear();
    }
    void onThread(std::function<void()> body) {
        hostThread = ui::startThread(std::move(body));
        const bool finished = ui::Scheduler::instance().run();
        for (const std::string& f : user.failures()) ADD_FAILURE() << f;
        ASSERT_TRUE(finished) << "the windows stalled";
    }

    void click(int control) {
        user.custom([control] {
            auto* button =
                top() != nullptr ? qobject_cast<QAbstractButton*>(top()->controlWidget(control)) : nullptr;
            if (button == nullptr || !button->isEnabled()) return ADD_FAILURE() << "click " << control;
            button->click();
        });
    }
    void type(int control, const std::string& text) {
        user.custom([control, text] {
            QWidget* widget = top() != nullptr ? top()->controlWidget(control) : nullptr;
            auto* edit = qobject_cast<QLineEdit*>(widget);
            if (auto* combo = qobject_cast<QComboBox*>(widget)) edit = combo->lineEdit();
            if (edit == nullptr) return ADD_FAILURE() << "type " << control;
            edit->setFocus();
            edit->selectAll();
            edit->insert(QString::fromLatin1(text.c_str()));
            emit edit->editingFinished();
        });
    }
    void leftClick(int control) {
        user.custom([control] {
            ui::Control* c = top() != nullptr ? top()->controlData(control) : nullptr;
            if (c == nullptr || c->widget == nullptr) return ADD_FAILURE() << "mouse " << control;
            QPointF at(2, 2);
            QMouseEvent press(QEvent::MouseButtonPress, at, c->widget->mapToGlobal(at), Qt::LeftButton,
                              Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(c->widget, &press);
        });
    }
    void typeBody(const std::string& text) {
        user.custom([text] {
            ASSERT_NE(MemoEditor, nullptr);
            ui::RichTextControl* edit = MemoEditor->HRTFWINDOW;
            const int end = edit->textLength();
            edit->setSelection(end, end);
            edit->replaceSelection(QString::fromLatin1(text.c_str()));
        });
    }
    // The list's rows: subject (queue field 4) by row, and the highlighted row.
    static std::vector<std::string> subjects() {
        std::vector<std::string> out;
        const ui::ListSource* rows = top()->controlData(lBrowse)->source;
        for (int r = 0; rows != nullptr && r < rows->rowCount(); ++r) out.push_back(rows->field(r, 4));
        return out;
    }
    std::vector<std::string> boxes() const {
        std::vector<std::string> titles;
        for (const auto& s : user.shown())
            if (s.kind == "box") titles.push_back(s.caption);
        return titles;
    }

    ScratchDir dir;
    ScriptedUser& user = ScriptedUser::instance();
};

// With DOCKET_SHOT_DIR set (run under a display), a picture of the newest window for a reviewer.
void shot(const char* name) {
    if (const char* dir = std::getenv("DOCKET_SHOT_DIR"))
        top()->widget()->grab().save(QString::fromLatin1(dir) + QLatin1Char('/') + QString::fromLatin1(name));
}

// The path of the built qvn tool, beside this test's build folder.
std::string qvnTool() {
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    return (self.parent_path().parent_path() / "tools" / "qvn" / "qvn").string();
}

TEST_F(MemoRoadTest, InsertChangeDeleteAndCancelFromTheMemoList) {
    // The first of this month, as the calendar's grid places it (Monday first).
    const runtime::CivilDate now = runtime::civilDate(runtime::today());
    const std::int32_t first = runtime::normalizedDayNumber(now.year, now.month, 1);
    const int firstCell = (first + 6) % 7; // day 4 (1 January 1801) was a Thursday

    // Insert.
    click(lInsert);
    type(fMemoNo, "021/DIR/2026");
    type(fPerihal, "Undangan rapat anggaran");
    typeBody("Rapat diadakan Senin pagi.");
    user.custom([] {
        MemoEditor->HRTFWINDOW->setSelection(0, 5);
        MemoEditor->ToggleEffect(700);
    });
    click(fPopCalendar);
    leftClick(cFirstRegion + firstCell);
    type(fJenisMemo, "Undangan");
    click(tOk);
    click(fOk);
    std::vector<std::string> afterInsert;
    long highlighted = 0;
    user.custom([&] {
        afterInsert = subjects();
        highlighted = top()->getInt(lBrowse, "Choice");
        shot("memo_list.png");
    });
    // Change it: the subject and the body.
    click(lChange);
    std::string bodyShown, bodyHtml, typeShown;
    user.custom([&] {
        bodyShown = MemoEditor->HRTFWINDOW->toPlainText().toStdString();
        bodyHtml = MemoEditor->HRTFWINDOW->toHtml().toStdString();
        typeShown = top()->get(fJenisMemo, "Text");
        shot("memo_form_change.png");
    });
    type(fPerihal, "Undangan rapat anggaran (revisi)");
    typeBody(" Harap tepat waktu.");
    click(fOk);
    std::vector<std::string> afterChange;
    std::string bodyAfterChange;
    user.custom([&] { afterChange = subjects(); });
    click(lChange); // opened again: the changed body is what the file holds
    user.custom([&] { bodyAfterChange = MemoEditor->HRTFWINDOW->toPlainText().toStdString(); });
    click(fCancel);
    // Delete it after the confirmation.
    click(lDelete);
    user.answerBox(ui::button::Yes);
    std::vector<std::string> afterDelete;
    user.custom([&] { afterDelete = subjects(); });
    // Insert cancelled: no blank row.
    click(lInsert);
    click(fCancel);
    std::vector<std::string> afterCancel;
    user.custom([&] { afterCancel = subjects(); });
    click(lClose);

    onThread([] {
        ASSERT_EQ(JenisRelations->Open(), Severity::Proceed);
        ASSERT_EQ(JenisTableAccess->PrepareNewRecord(false), Severity::Proceed);
        std::snprintf(JEN.JENIS_MEMO, sizeof JEN.JENIS_MEMO, "%s", "Surat");
        ASSERT_EQ(JenisTableAccess->Insert(true), Severity::Proceed);
        JenisRelations->Close();
        MemoListProcedure();
    });

    ASSERT_EQ(afterInsert.size(), 1u);
    EXPECT_EQ(afterInsert[0], "Undangan rapat anggaran");
    EXPECT_EQ(highlighted, 1);
    EXPECT_EQ(bodyShown, "Rapat diadakan Senin pagi.");
    EXPECT_NE(bodyHtml.find("font-weight:700"), std::string::npos);
    EXPECT_EQ(typeShown, "Undangan");
    EXPECT_EQ(afterChange, std::vector<std::string>{"Undangan rapat anggaran (revisi)"});
    EXPECT_EQ(bodyAfterChange, "Rapat diadakan Senin pagi. Harap tepat waktu.");
    EXPECT_TRUE(afterDelete.empty());
    EXPECT_TRUE(afterCancel.empty());
    EXPECT_EQ(boxes(), std::vector<std::string>{"Confirm Delete"});

    // What stayed in the files: no memo, the two types.
    std::map<std::int32_t, std::string> memos, types;
    onThread([&] {
        ASSERT_EQ(MemoRelations->Open(), Severity::Proceed);
        runtime::set(memoFile());
        while (runtime::next(memoFile()) == 0) memos[MEM.MEMO_ID] = MEM.PERIHAL;
        runtime::set(jenisFile());
        while (runtime::next(jenisFile()) == 0) types[JEN.JENIS_ID] = JEN.JENIS_MEMO;
        MemoRelations->Close();
    });
    EXPECT_EQ(types, (std::map<std::int32_t, std::string>{{1, "Surat"}, {2, "Undangan"}}));
    EXPECT_TRUE(memos.empty());

    shutdown(); // the files closed before they are checked from outside
    for (const char* file : {"MEMO.DB", "JENIS.DB"}) {
        const std::string command =
            qvnTool() + " check '" + dir.file("data") + "/" + file + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }
}

TEST_F(MemoRoadTest, TheDatePickedInTheCalendarIsStored) {
    const runtime::CivilDate now = runtime::civilDate(runtime::today());
    const std::int32_t first = runtime::normalizedDayNumber(now.year, now.month, 1);
    click(lInsert);
    type(fPerihal, "Bertanggal");
    click(fPopCalendar);
    leftClick(cFirstRegion + (first + 6) % 7);
    click(fOk);
    click(lClose);
    onThread([] { MemoListProcedure(); });
    std::int32_t stored = 0;
    onThread([&] {
        ASSERT_EQ(MemoRelations->Open(), Severity::Proceed);
        runtime::set(memoFile());
        if (runtime::next(memoFile()) == 0) stored = MEM.TANGGAL_MEMO;
        MemoRelations->Close();
    });
    EXPECT_EQ(stored, first);
}

} // namespace
} // namespace docket::app

namespace docket::app {
namespace {

// The list reads the memo it shows with a watch; the next insert primes a new memo (an ADD) and
// stores it with a PUT, which compared the new memo's body with the watched one's and failed with
// "Record Changed By Another Station" (89) whenever that one had a body.
TEST_F(MemoRoadTest, AnInsertAfterAMemoWithABodyFromTheList) {
    click(lInsert);
    type(fPerihal, "Pertama diubah");
    typeBody("isi");
    click(fOk);
    click(lInsert);
    type(fPerihal, "Kedua");
    click(fOk);
    std::vector<std::string> shown;
    user.custom([&] { shown = subjects(); });
    click(lClose);
    onThread([] { MemoListProcedure(); });
    EXPECT_EQ(shown, (std::vector<std::string>{"Kedua", "Pertama diubah"}));
    EXPECT_TRUE(boxes().empty());
}

} // namespace
} // namespace docket::app
