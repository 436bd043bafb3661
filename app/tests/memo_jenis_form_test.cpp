// The memo type form driven by the scripted user on the program's real tables: adding a type the
// way the memo form's combo asks for it, changing one, refusing a duplicate name and staying open,
// leaving no blank row when cancelled, refusing to delete a type that memos use, and a window that
// stretches its entries and keeps its buttons at the right edge.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "app/dictionary.h"
#include "app/memo_tables.h"
#include "app/program.h"
#include "app/windows/update_memo_jenis.h"
#include "classes/data/tests/table_test_support.h"
#include "classes/window/requests.h"
#include "files/file_statements.h"
#include "ui/keys.h"
#include "ui/modal.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"
#include "ui/window.h"

namespace docket::app {
namespace {

using namespace classes;
using classes::testing::ScratchDir;
using ui::ScriptedUser;

constexpr int cJenisId = 4, cJenisMemo = 6, cOk = 7, cCancel = 8;

// The window the user sees: the newest of the program thread.
ui::Window* top() {
    const auto threads = ui::Scheduler::instance().threads();
    return threads.empty() ? nullptr : ui::Scheduler::instance().topWindow(threads.front());
}

class MemoJenisFormTest : public ::testing::Test {
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

    // Runs `body` on a program thread with MEMO_JENIS open, as the memo form would have it.
    void run(std::function<void()> body) {
        ui::startThread([body] {
            ASSERT_EQ(JenisRelations->Open(), Severity::Proceed);
            body();
            JenisRelations->Close();
        });
        ASSERT_TRUE(ui::Scheduler::instance().run()) << "the windows stalled";
        EXPECT_TRUE(user.failures().empty()) << user.failures().front();
    }

    // What the memo form's combo does for a name it does not know: prime a new row with the typed
    // name and open the form to insert it.
    static std::uint8_t insertType(const std::string& name) {
        EXPECT_EQ(JenisTableAccess->PrepareNewRecord(false), Severity::Proceed);
        std::snprintf(JEN.JENIS_MEMO, sizeof JEN.JENIS_MEMO, "%s", name.c_str());
        PendingRequest = RequestInsert;
        UpdateMEMO_JENIS();
        return LastResponse;
    }

    // Every stored type, by number.
    static std::map<std::int32_t, std::string> storedTypes() {
        std::map<std::int32_t, std::string> all;
        EXPECT_EQ(JenisTableAccess->RequireOpen(), Severity::Proceed);
        runtime::set(jenisFile());
        while (runtime::next(jenisFile()) == 0) all[JEN.JENIS_ID] = JEN.JENIS_MEMO;
        return all;
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

TEST_F(MemoJenisFormTest, AddsTheTypedNameAndAnswersCompleted) {
    std::string caption, shownName;
    user.custom([&] {
        caption = top() ? top()->get(0, "Text") : "";
        shownName = top() ? top()->get(cJenisMemo, "Text") : "";
    });
    user.click(cOk);
    std::uint8_t response = 0;
    std::map<std::int32_t, std::string> types;
    run([&] {
        response = insertType("Nota Dinas");
        types = storedTypes();
    });
    EXPECT_EQ(caption, "Adding a MEMO_JENIS Record");
    EXPECT_EQ(shownName, "Nota Dinas");
    EXPECT_EQ(response, Completed);
    EXPECT_EQ(types, (std::map<std::int32_t, std::string>{{1, "Nota Dinas"}}));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(MemoJenisFormTest, ChangesATypesName) {
    user.click(cOk); // the insert
    std::string caption;
    user.custom([&] { caption = top()->get(0, "Text"); });
    user.type(cJenisMemo, "Surat Edaran");
    user.click(cOk);
    std::uint8_t response = 0;
    std::map<std::int32_t, std::string> types;
    run([&] {
        insertType("Surat");
        JEN.JENIS_ID = 1;
        ASSERT_EQ(JenisTableAccess->ReadByKey(jenisDeclaration().keys[jen_key::kPrimaryKey]),
                  Severity::Proceed);
        PendingRequest = RequestChange;
        UpdateMEMO_JENIS();
        response = LastResponse;
        types = storedTypes();
    });
    EXPECT_EQ(caption, "Changing a MEMO_JENIS Record");
    EXPECT_EQ(response, Completed);
    EXPECT_EQ(types, (std::map<std::int32_t, std::string>{{1, "Surat Edaran"}}));
}

TEST_F(MemoJenisFormTest, ADuplicateNameIsRefusedAndTheFormStaysOpenUntilCancelledWithoutABlankRow) {
    user.click(cOk);                // "Undangan" is added
    user.click(cOk);                // the second "Undangan" is refused ...
    user.answerBox(ui::button::Ok); // ... with the duplicate-key message
    int focus = 0;
    bool stillOpen = false;
    user.custom([&] {
        stillOpen = top() != nullptr && top()->get(0, "Text") == "Adding a MEMO_JENIS Record";
        focus = top() ? top()->focusControl() : 0;
    });
    user.click(cCancel);
    std::uint8_t second = 0;
    std::map<std::int32_t, std::string> types;
    run([&] {
        insertType("Undangan");
        second = insertType("Undangan");
        types = storedTypes();
    });
    EXPECT_EQ(boxes(), std::vector<std::string>{"Duplicate Key Error"});
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(focus, cJenisId); // the first field: its prompt passes the selection on to the entry
    EXPECT_EQ(second, Cancelled);
    // The row the second form reserved is gone again: one type, no blank one.
    EXPECT_EQ(types, (std::map<std::int32_t, std::string>{{1, "Undangan"}}));
}

TEST_F(MemoJenisFormTest, CancelWithoutEditingLeavesNoBlankRow) {
    user.click(cCancel);
    std::uint8_t response = 0;
    std::map<std::int32_t, std::string> types;
    run([&] {
        EXPECT_EQ(JenisTableAccess->PrepareNewRecord(false), Severity::Proceed);
        PendingRequest = RequestInsert;
        UpdateMEMO_JENIS();
        response = LastResponse;
        types = storedTypes();
    });
    EXPECT_EQ(response, Cancelled);
    EXPECT_TRUE(types.empty());
    EXPECT_TRUE(boxes().empty());
}

TEST_F(MemoJenisFormTest, ATypeThatMemosUseIsNotDeleted) {
    user.click(cOk);                 // "Laporan" is added
    user.answerBox(ui::button::Yes); // Confirm Delete
    user.answerBox(ui::button::Ok);  // the type is still referenced
    user.answerBox(ui::button::No);  // do not try again
    std::uint8_t response = 0;
    std::map<std::int32_t, std::string> types;
    run([&] {
        insertType("Laporan");
        ASSERT_EQ(MemoRelations->Open(), Severity::Proceed);
        ASSERT_EQ(MemoTableAccess->PrepareNewRecord(false), Severity::Proceed);
        MEM.JENIS_ID = 1;
        std::snprintf(MEM.PERIHAL, sizeof MEM.PERIHAL, "%s", "uses Laporan");
        ASSERT_EQ(MemoTableAccess->Insert(true), Severity::Proceed);
        JEN.JENIS_ID = 1;
        ASSERT_EQ(JenisTableAccess->ReadByKey(jenisDeclaration().keys[jen_key::kPrimaryKey]),
                  Severity::Proceed);
        PendingRequest = RequestDelete;
        UpdateMEMO_JENIS();
        response = LastResponse;
        MemoRelations->Close();
        types = storedTypes();
    });
    EXPECT_EQ(response, Cancelled);
    EXPECT_EQ(types, (std::map<std::int32_t, std::string>{{1, "Laporan"}}));
    const std::vector<std::string> seen = boxes();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), "Confirm Delete");
    EXPECT_NE(std::find(seen.begin(), seen.end(), "Referential Integrity Delete Error"), seen.end());
}

TEST_F(MemoJenisFormTest, TheDittoKeyRecallsTheNameLastSaved) {
    user.click(cOk); // "Nota Dinas" is saved
    std::string recalled;
    user.pressKey(cJenisMemo, ui::key::Ditto);
    user.custom([&] { recalled = top()->get(cJenisMemo, "Text"); });
    user.click(cCancel);
    user.answerBox(ui::button::No); // "Save Record": no
    std::map<std::int32_t, std::string> types;
    run([&] {
        insertType("Nota Dinas");
        insertType("");
        types = storedTypes();
    });
    EXPECT_EQ(recalled, "Nota Dinas");
    EXPECT_EQ(boxes(), std::vector<std::string>{"Save Record"});
    EXPECT_EQ(types, (std::map<std::int32_t, std::string>{{1, "Nota Dinas"}}));
}

TEST_F(MemoJenisFormTest, AFormWhoseThreadIsUnwoundShutsDownWithoutABlankRow) {
    // Nobody answers the form: the run stalls and the program thread is unwound through the form,
    // which shuts down while its tool bar and resizer still exist and releases the reserved row.
    bool finished = true;
    ui::startThread([] {
        ASSERT_EQ(JenisRelations->Open(), Severity::Proceed);
        insertType("Memo");
        JenisRelations->Close();
    });
    finished = ui::Scheduler::instance().run();
    EXPECT_FALSE(finished);
    std::map<std::int32_t, std::string> types;
    run([&] { types = storedTypes(); });
    EXPECT_TRUE(types.empty());
}

TEST_F(MemoJenisFormTest, WideningStretchesTheEntriesAndKeepsTheButtonsAtTheRight) {
    std::map<int, long> before, after;
    long minWidth = 0, width = 0;
    auto boxes = [](std::map<int, long>& into) {
        ui::Window* w = top();
        for (int c : {cJenisMemo, cOk, cCancel}) {
            into[c * 10] = w->getInt(c, "XPos");
            into[c * 10 + 1] = w->getInt(c, "Width");
        }
    };
    user.custom([&] { boxes(before); });
    user.custom([] {
        ui::Window* w = top();
        w->widget()->resize(w->widget()->width() + static_cast<int>(std::lround(60 * w->unitX())),
                            w->widget()->height());
    });
    user.custom([&] {
        boxes(after);
        width = top()->getInt(0, "Width");
        minWidth = top()->getInt(0, "MinWidth");
    });
    user.click(cCancel);
    run([&] { insertType("Pengumuman"); });
    EXPECT_EQ(width, 260);
    EXPECT_EQ(minWidth, 200);
    EXPECT_EQ(after[cOk * 10], before[cOk * 10] + 60);
    EXPECT_EQ(after[cCancel * 10], before[cCancel * 10] + 60);
    EXPECT_EQ(after[cOk * 10 + 1], 45);
    EXPECT_GT(after[cJenisMemo * 10 + 1], before[cJenisMemo * 10 + 1]);
}

} // namespace
} // namespace docket::app
