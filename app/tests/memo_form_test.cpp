// The memo form driven by the scripted user on the program's real tables: a new memo with a
// formatted body and a type typed into the drop combo (added through the memo type form); a date
// picked in the calendar; the body's 8192-byte boundary (OK refuses, nothing is written, the
// body stays); editing only the body asks "Save Record"; view writes nothing; Cancel leaves no
// blank memo; a stale editor error does not stop a new form.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
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
#include "app/windows/update_memo_db.h"
#include "classes/data/tests/table_test_support.h"
#include "classes/window/requests.h"
#include "files/file_statements.h"
#include "rtf/rtf_editor.h"
#include "runtime/core/dates.h"
#include "runtime/core/error_state.h"
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

constexpr int cJenisMemo = 6, cDate = 8, cPopCalendar = 9, cDateLong = 10, cMemoNo = 12, cPerihal = 14,
              cOk = 16, cCancel = 17;

// The thread the forms run on. The editor's container runs on a thread of its own, so the
// scripted user is pointed at this one.
int hostThread = 0;

ui::Window* top() {
    return ui::Scheduler::instance().topWindow(hostThread);
}

struct StoredMemo {
    std::int32_t date = 0;
    std::string number, subject, body;
    std::int32_t type = 0;
};

class MemoFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        user.clear();
        user.attach();
        ::setenv("DOCKET_CONFIG_DIR", dir.file("config").c_str(), 1);
        ProgramOptions options;
        options.dataFolder = dir.file("data");
        ASSERT_TRUE(startup(options));
        PendingRequest = 0;
        LastResponse = 0;
        PendingNavigation = 0;
    }
    void TearDown() override {
        shutdown();
        ::unsetenv("DOCKET_CONFIG_DIR");
        user.clear();
    }

    void run(std::function<void()> body) {
        hostThread = ui::startThread([body] {
            ASSERT_EQ(MemoRelations->Open(), Severity::Proceed);
            body();
            MemoRelations->Close();
        });
        const bool finished = ui::Scheduler::instance().run();
        for (const std::string& f : user.failures()) ADD_FAILURE() << f;
        if (!finished)
            for (const auto& shown : user.shown())
                ADD_FAILURE() << "shown: " << shown.caption << ": " << shown.text;
        ASSERT_TRUE(finished) << "the windows stalled";
    }

    // What the memo list does for Insert: prime a new memo, then open the form.
    static std::uint8_t insertMemo() {
        EXPECT_EQ(MemoTableAccess->PrepareNewRecord(false), Severity::Proceed);
        PendingRequest = RequestInsert;
        UpdateMEMO_DB();
        return LastResponse;
    }
    // What it does for Change and View: read the memo, then open the form.
    static std::uint8_t openMemo(std::int32_t id, std::uint8_t request) {
        MEM.MEMO_ID = id;
        runtime::watch(memoFile()); // as the list reads it: a change by another station is noticed
        EXPECT_EQ(MemoTableAccess->ReadByKey(memoDeclaration().keys[mem_key::kPrimaryKey]),
                  Severity::Proceed);
        PendingRequest = request;
        UpdateMEMO_DB();
        return LastResponse;
    }
    static std::map<std::int32_t, StoredMemo> storedMemos() {
        std::map<std::int32_t, StoredMemo> all;
        EXPECT_EQ(MemoTableAccess->RequireOpen(), Severity::Proceed);
        runtime::set(memoFile());
        while (runtime::next(memoFile()) == 0) {
            StoredMemo m{MEM.TANGGAL_MEMO, MEM.MEMO_NO, MEM.PERIHAL,
                         std::string(MEM_ISI_MEMO, strnlen(MEM_ISI_MEMO, sizeof MEM_ISI_MEMO)), MEM.JENIS_ID};
            while (!m.body.empty() && m.body.back() == ' ') m.body.pop_back();
            all[MEM.MEMO_ID] = m;
        }
        return all;
    }
    static std::map<std::int32_t, std::string> storedTypes() {
        std::map<std::int32_t, std::string> all;
        EXPECT_EQ(JenisTableAccess->RequireOpen(), Severity::Proceed);
        runtime::set(jenisFile());
        while (runtime::next(jenisFile()) == 0) all[JEN.JENIS_ID] = JEN.JENIS_MEMO;
        return all;
    }
    static void addType(const char* name) {
        EXPECT_EQ(JenisRelations->Open(), Severity::Proceed);
        EXPECT_EQ(JenisTableAccess->PrepareNewRecord(false), Severity::Proceed);
        std::snprintf(JEN.JENIS_MEMO, sizeof JEN.JENIS_MEMO, "%s", name);
        EXPECT_EQ(JenisTableAccess->Insert(true), Severity::Proceed);
        JenisRelations->Close();
    }
    // Types into the editor as the user would: at the end of the text.
    void typeBody(const std::string& text) {
        user.custom([text] {
            ASSERT_NE(MemoEditor, nullptr);
            ui::RichTextControl* edit = MemoEditor->HRTFWINDOW;
            ASSERT_NE(edit, nullptr);
            const int end = edit->textLength();
            edit->setSelection(end, end);
            edit->replaceSelection(QString::fromLatin1(text.c_str()));
        });
    }
    // The scripted user's actions, on the newest window of the forms' thread.
    void click(int control) {
        user.custom([this, control] {
            auto* button =
                top() != nullptr ? qobject_cast<QAbstractButton*>(top()->controlWidget(control)) : nullptr;
            if (button == nullptr || !button->isEnabled()) return ADD_FAILURE() << "click " << control;
            button->click();
        });
    }
    void type(int control, const std::string& text) {
        user.custom([this, control, text] {
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
    void closeTop() {
        user.custom([] { top()->post(ui::event::CloseWindow); });
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

TEST_F(MemoFormTest, ANewMemoWithABoldBodyAndANewTypeTypedIntoTheCombo) {
    std::string caption, date, longDate, body;
    user.custom([&] {
        caption = top()->get(0, "Text");
        date = top()->get(cDate, "Text");
        auto* label = qobject_cast<QLabel*>(top()->controlWidget(cDateLong));
        longDate = label != nullptr ? label->text().toStdString() : "";
        body = MemoEditor != nullptr && MemoEditor->HRTFWINDOW
                   ? MemoEditor->HRTFWINDOW->toPlainText().toStdString()
                   : "?";
    });
    type(cMemoNo, "001/DIR/2026");
    type(cPerihal, "Rapat anggaran");
    typeBody("Harap hadir tepat waktu.");
    user.custom([] {
        MemoEditor->HRTFWINDOW->setSelection(0, 5);
        MemoEditor->ToggleEffect(700);
    });
    type(cJenisMemo, "Undangan"); // not a type yet: the memo type form opens to add it
    std::string typeCaption, typeName;
    user.custom([&] {
        typeCaption = top()->get(0, "Text");
        typeName = top()->get(6, "Text");
    });
    click(7); // its OK
    click(cOk);
    std::uint8_t response = 0;
    std::map<std::int32_t, StoredMemo> memos;
    std::map<std::int32_t, std::string> types;
    run([&] {
        addType("Surat");
        response = insertMemo();
        memos = storedMemos();
        types = storedTypes();
    });
    EXPECT_EQ(caption, "Adding a MEMO_DB Record");
    EXPECT_FALSE(date.empty());
    EXPECT_NE(longDate.find("20"), std::string::npos) << longDate;
    EXPECT_EQ(body, "");
    EXPECT_EQ(typeCaption, "Adding a MEMO_JENIS Record");
    EXPECT_EQ(typeName, "Undangan");
    EXPECT_EQ(response, Completed);
    EXPECT_EQ(types, (std::map<std::int32_t, std::string>{{1, "Surat"}, {2, "Undangan"}}));
    ASSERT_EQ(memos.size(), 1u);
    const StoredMemo& m = memos.begin()->second;
    EXPECT_EQ(m.date, runtime::today());
    EXPECT_EQ(m.number, "001/DIR/2026");
    EXPECT_EQ(m.subject, "Rapat anggaran");
    EXPECT_EQ(m.type, 2);
    EXPECT_EQ(m.body.rfind("{\\rtf", 0), 0u) << m.body;
    EXPECT_NE(m.body.find("\\b"), std::string::npos);
    EXPECT_NE(m.body.find("tepat waktu."), std::string::npos);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(MemoFormTest, APrefixOfAnExistingTypeIsAddedNotTakenForIt) {
    type(cJenisMemo, "Sura");
    click(7); // the memo type form's OK: "Sura" is added
    click(cOk);
    std::map<std::int32_t, StoredMemo> memos;
    std::map<std::int32_t, std::string> types;
    run([&] {
        addType("Surat");
        insertMemo();
        memos = storedMemos();
        types = storedTypes();
    });
    EXPECT_EQ(types, (std::map<std::int32_t, std::string>{{1, "Surat"}, {2, "Sura"}}));
    ASSERT_EQ(memos.size(), 1u);
    EXPECT_EQ(memos.begin()->second.type, 2);
}

TEST_F(MemoFormTest, TheCalendarButtonSetsTheDate) {
    std::string shown;
    click(cPopCalendar);
    user.custom([&] { shown = top()->get(0, "Text"); });
    closeTop(); // the calendar closed: the date stays
    click(cOk);
    std::map<std::int32_t, StoredMemo> memos;
    run([&] {
        addType("Surat");
        insertMemo();
        memos = storedMemos();
    });
    EXPECT_NE(shown, "Adding a MEMO_DB Record"); // the calendar was on top
    ASSERT_EQ(memos.size(), 1u);
    EXPECT_EQ(memos.begin()->second.date, runtime::today());
}

TEST_F(MemoFormTest, ABodyTooLargeForItsFieldIsRefusedAndTheFormStaysWithTheBody) {
    // Plain text of 8000 characters fits the editor's limit, but its rich-text form does not fit
    // the 8192-byte field.
    std::string big;
    for (int i = 0; big.size() < 8000; ++i) big += "kata{}\\ ";
    big.resize(8000);
    typeBody(big);
    click(cOk);
    user.answerBox(ui::button::Ok); // "Stream Error"
    std::string caption;
    int length = 0;
    user.custom([&] {
        caption = top()->get(0, "Text");
        length = MemoEditor->HRTFWINDOW->textLength();
    });
    click(cCancel);
    user.answerBox(ui::button::No); // "Save Record": no
    std::uint8_t response = 0;
    std::map<std::int32_t, StoredMemo> memos;
    run([&] {
        addType("Surat");
        response = insertMemo();
        memos = storedMemos();
    });
    EXPECT_EQ(caption, "Adding a MEMO_DB Record");
    EXPECT_EQ(length, 8000);
    EXPECT_EQ(response, Cancelled);
    EXPECT_TRUE(memos.empty());
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Stream Error", "Save Record"}));
}

TEST_F(MemoFormTest, EditingOnlyTheBodyAsksSaveRecordAndCancelKeepsTheEditorWorking) {
    // Setup: one memo saved through the form.
    type(cPerihal, "Pertama");
    typeBody("isi lama");
    click(cOk);
    // Change it: only the body.
    typeBody(" dan baru");
    click(cCancel);
    user.answerBox(ui::button::Cancel); // "Save Record": stay
    bool editorWorking = false;
    typeBody(" lagi");
    user.custom([&] {
        editorWorking = MemoEditor != nullptr && MemoEditor->HRTFWINDOW != nullptr &&
                        MemoEditor->HRTFWINDOW->toPlainText().endsWith(QStringLiteral("lagi"));
    });
    click(cCancel);
    user.answerBox(ui::button::Yes); // "Save Record": yes
    std::uint8_t changed = 0;
    std::map<std::int32_t, StoredMemo> memos;
    run([&] {
        addType("Surat");
        insertMemo();
        const std::int32_t id = storedMemos().begin()->first;
        changed = openMemo(id, RequestChange);
        memos = storedMemos();
    });
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Save Record", "Save Record"}));
    EXPECT_TRUE(editorWorking);
    EXPECT_EQ(changed, Completed);
    ASSERT_EQ(memos.size(), 1u);
    EXPECT_NE(memos.begin()->second.body.find("isi lama dan baru lagi"), std::string::npos);
}

TEST_F(MemoFormTest, ViewingShowsTheBodyAndOkWritesNothing) {
    type(cPerihal, "Dilihat");
    typeBody("isi");
    click(cOk);
    std::string caption, body;
    user.custom([&] {
        caption = top()->get(0, "Text");
        body = MemoEditor->HRTFWINDOW->toPlainText().toStdString();
    });
    typeBody(" diubah");
    click(cOk);
    std::uint8_t viewed = 0;
    std::map<std::int32_t, StoredMemo> before, after;
    run([&] {
        addType("Surat");
        insertMemo();
        before = storedMemos();
        viewed = openMemo(before.begin()->first, RequestView);
        after = storedMemos();
    });
    EXPECT_EQ(caption, "View Record");
    EXPECT_EQ(body, "isi");
    EXPECT_EQ(viewed, Cancelled);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after.begin()->second.body, before.begin()->second.body);
}

TEST_F(MemoFormTest, CancelledInsertLeavesNoBlankMemoAndAStaleEditorErrorStopsNothing) {
    std::string caption;
    user.custom([&] { caption = top()->get(0, "Text"); });
    click(cCancel);
    std::uint8_t response = 0;
    std::map<std::int32_t, StoredMemo> memos;
    run([&] {
        runtime::setError(95); // left behind by some earlier editor
        response = insertMemo();
        memos = storedMemos();
    });
    EXPECT_EQ(caption, "Adding a MEMO_DB Record");
    EXPECT_EQ(response, Cancelled);
    EXPECT_TRUE(memos.empty());
    EXPECT_TRUE(boxes().empty());
}

TEST_F(MemoFormTest, ADeleteRequestDeletesWithoutShowingTheForm) {
    type(cPerihal, "Dihapus");
    click(cOk);
    user.answerBox(ui::button::Yes); // "Confirm Delete"
    std::uint8_t response = 0;
    std::map<std::int32_t, StoredMemo> memos;
    run([&] {
        insertMemo();
        response = openMemo(storedMemos().begin()->first, RequestDelete);
        memos = storedMemos();
    });
    EXPECT_EQ(response, Completed);
    EXPECT_TRUE(memos.empty());
    EXPECT_EQ(boxes(), std::vector<std::string>{"Confirm Delete"});
}

} // namespace
} // namespace docket::app

namespace docket::app {
namespace {

TEST_F(MemoFormTest, TypeAheadCompletesTheTypeAndLeavingTakesItOver) {
    // Keys as the user presses them in the combo's entry: "s", "u" complete to "Surat" (the first
    // type beginning so); Tab leaves the entry and takes "Surat" over.
    std::string shown, selected;
    user.custom([&] {
        auto* combo = qobject_cast<QComboBox*>(top()->controlWidget(cJenisMemo));
        ASSERT_NE(combo, nullptr);
        QLineEdit* edit = combo->lineEdit();
        edit->setFocus();
        edit->clear();
        for (const char* key : {"s", "u"}) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_S + (key[0] - 's'), Qt::NoModifier,
                            QString::fromLatin1(key));
            QApplication::sendEvent(edit, &press);
        }
        shown = edit->text().toStdString();
        selected = edit->selectedText().toStdString();
        emit edit->editingFinished();
    });
    if (const char* shots = std::getenv("DOCKET_SHOT_DIR")) {
        // A picture of the form for a reviewer (run under a display).
        type(cMemoNo, "017/DIR/2026");
        type(cPerihal, "Rapat koordinasi anggaran tahun 2027");
        typeBody("Kepada seluruh kepala bagian: rapat koordinasi anggaran diadakan Senin pagi.");
        user.custom([shots] {
            MemoEditor->HRTFWINDOW->setSelection(0, 6);
            MemoEditor->ToggleEffect(700);
            top()->widget()->grab().save(QString::fromLatin1(shots) + QStringLiteral("/memo_form.png"));
        });
    }
    click(cOk);
    std::map<std::int32_t, StoredMemo> memos;
    run([&] {
        addType("Nota Dinas");
        addType("Surat");
        addType("Surat Edaran");
        insertMemo();
        memos = storedMemos();
    });
    EXPECT_EQ(shown, "surat");
    EXPECT_EQ(selected, "rat");
    ASSERT_EQ(memos.size(), 1u);
    EXPECT_EQ(memos.begin()->second.type, 2);
}

} // namespace
} // namespace docket::app

namespace docket::app {
namespace {

TEST_F(MemoFormTest, AnInsertAfterACancelledInsertIsStored) {
    click(cCancel);
    type(cPerihal, "Sesudah batal");
    click(cOk);
    std::uint8_t second = 0;
    std::map<std::int32_t, StoredMemo> memos;
    run([&] {
        addType("Surat");
        insertMemo();
        second = insertMemo();
        memos = storedMemos();
    });
    EXPECT_EQ(second, Completed);
    ASSERT_EQ(memos.size(), 1u);
    EXPECT_EQ(memos.begin()->second.subject, "Sesudah batal");
    EXPECT_TRUE(boxes().empty()) << boxes().front();
}

} // namespace
} // namespace docket::app

namespace docket::app {
namespace {

TEST_F(MemoFormTest, InsertsAfterAnInsertAndAChangeWithBodiesAreStored) {
    type(cPerihal, "Pertama");
    typeBody("isi");
    click(cOk);
    typeBody(" tambahan");
    click(cOk);
    type(cPerihal, "Kedua");
    click(cOk);
    type(cPerihal, "Ketiga");
    click(cOk);
    std::map<std::int32_t, StoredMemo> memos;
    run([&] {
        insertMemo();
        openMemo(storedMemos().begin()->first, RequestChange);
        insertMemo();
        insertMemo();
        memos = storedMemos();
    });
    EXPECT_EQ(memos.size(), 3u);
    EXPECT_TRUE(boxes().empty()) << boxes().front();
}

} // namespace
} // namespace docket::app

namespace docket::app {
namespace {

// The second station: a process of its own (this test program run again with
// DOCKET_SECOND_STATION naming the data folder) that gives memo 1 another subject.
TEST(MemoSecondStation, ChangesTheSubjectOfMemoOne) {
    const char* data = std::getenv("DOCKET_SECOND_STATION");
    if (data == nullptr) GTEST_SKIP() << "run by the two-station test only";
    ProgramOptions options;
    options.dataFolder = data;
    ASSERT_TRUE(startup(options));
    Severity result = Severity::Fatal;
    ui::startThread([&] {
        ASSERT_EQ(MemoRelations->Open(), Severity::Proceed);
        MEM.MEMO_ID = 1;
        ASSERT_EQ(MemoTableAccess->ReadByKey(memoDeclaration().keys[mem_key::kPrimaryKey]),
                  Severity::Proceed);
        std::snprintf(MEM.PERIHAL, sizeof MEM.PERIHAL, "%s", "Dari stasiun lain");
        result = MemoRelations->Update(false);
        MemoRelations->Close();
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
    shutdown();
    EXPECT_EQ(result, Severity::Proceed);
}

TEST_F(MemoFormTest, AnotherStationsChangeIsReportedAndTheOwnSubjectComesBackThroughDitto) {
    type(cPerihal, "Asli");
    click(cOk); // memo 1
    type(cPerihal, "Punya saya");
    int second = -1;
    const std::string data = dir.file("data");
    const std::string config = dir.file("config2");
    user.custom([&second, data, config] {
        const auto self = std::filesystem::read_symlink("/proc/self/exe").string();
        const std::string command = "QT_QPA_PLATFORM=offscreen DOCKET_SECOND_STATION='" + data +
                                    "' DOCKET_CONFIG_DIR='" + config + "' '" + self +
                                    "' --gtest_filter=MemoSecondStation.* >/dev/null 2>&1";
        second = std::system(command.c_str()); // returns once the other station has written
    });
    click(cOk);
    user.answerBox(ui::button::Ok); // the other station's change is reported
    std::string shownAfterConflict, recalled;
    user.custom([&] { shownAfterConflict = top()->get(cPerihal, "Text"); });
    user.custom([] {
        QWidget* entry = top()->controlWidget(cPerihal);
        entry->setFocus();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Apostrophe, Qt::ControlModifier);
        QApplication::sendEvent(entry, &press);
    });
    user.custom([&] { recalled = top()->get(cPerihal, "Text"); });
    click(cOk);
    std::map<std::int32_t, StoredMemo> memos;
    run([&] {
        addType("Surat");
        insertMemo();
        openMemo(1, RequestChange);
        memos = storedMemos();
    });
    EXPECT_EQ(second, 0);
    bool reported = false;
    for (const auto& s : user.shown())
        if (s.kind == "box" && s.caption == "Record Was Not Updated" &&
            s.text.find("changed by another station") != std::string::npos)
            reported = true;
    EXPECT_TRUE(reported) << (user.shown().empty()
                                  ? std::string("no box")
                                  : user.shown().front().caption + ": " + user.shown().front().text);
    EXPECT_EQ(shownAfterConflict, "Dari stasiun lain");
    EXPECT_EQ(recalled, "Punya saya");
    ASSERT_EQ(memos.size(), 1u);
    EXPECT_EQ(memos.begin()->second.subject, "Punya saya");
}

} // namespace
} // namespace docket::app
