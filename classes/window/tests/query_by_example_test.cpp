// Query-by-example: the filter texts it builds (compiled and evaluated by the expression language
// over bound fields, so a filter that does not compile or selects wrongly fails), the mended
// handling of user text, saved queries in an INI file, the popup's "View" submenu, and the settings
// window driven by the scripted user.
#include <gtest/gtest.h>

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "classes/data/tests/table_test_support.h"
#include "classes/window/ini_store.h"
#include "classes/window/popup_menu.h"
#include "classes/window/query_by_example.h"
#include "classes/window/requests.h"
#include "classes/window/window_flow.h"
#include "runtime/expression/binding_scopes.h"
#include "runtime/expression/expression.h"
#include "ui/events.h"
#include "ui/modal.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"
#include "ui/window.h"

namespace docket::classes {
namespace {
using testing::ScratchDir;

// A memo as the filter sees it: bound fields with the names the memo list uses.
struct Fields {
    std::int32_t id = 0;
    std::int32_t date = 0;
    char no[31] = {};
    char subject[81] = {};
    Fields() {
        runtime::bindVariable("MEM:MEMO_ID", runtime::bindLong(&id));
        runtime::bindVariable("MEM:TANGGAL_MEMO",
                              runtime::BoundVariable{runtime::TypeCode::Long, &date, 4, 0});
        runtime::bindVariable("MEM:MEMO_NO", runtime::bindCString(no, sizeof no));
        runtime::bindVariable("MEM:PERIHAL", runtime::bindCString(subject, sizeof subject));
    }
    void set(int memoId, const char* memoNo, const char* text) {
        id = memoId;
        std::snprintf(no, sizeof no, "%s", memoNo);
        std::snprintf(subject, sizeof subject, "%s", text);
    }
};

void addMemoFields(QueryByExample& q) {
    q.AddItem("MEM:MEMO_ID", "Memo ID", "@n-14");
    q.AddItem("MEM:TANGGAL_MEMO", "Date", "@d17");
    q.AddItem("MEM:MEMO_NO", "Memo No", "@s30");
    q.AddItem("MEM:PERIHAL", "Subject", "@s80");
}

// True when `filter` compiles and passes for the bound record.
bool passes(const std::string& filter) {
    auto compiled = runtime::compileExpression(filter);
    if (!compiled) {
        ADD_FAILURE() << "does not compile: " << filter;
        return false;
    }
    return compiled->isTrue();
}

TEST(QueryFilter, TemplatesOfTheOperators) {
    QueryByExample q;
    addMemoFields(q);
    q.SetValues("MEM:PERIHAL", {}, {}, "*rapat", true, true, false);
    EXPECT_EQ(q.BuildQueryFilter(), "INSTRING('rapat',MEM:PERIHAL,1,1) <> 0");
    q.SetValues("MEM:MEMO_NO", {}, {}, "017*", true, true, false);
    EXPECT_EQ(q.BuildQueryFilter(),
              "SUB(MEM:MEMO_NO,1,3) = '017' AND INSTRING('rapat',MEM:PERIHAL,1,1) <> 0");
    q.Clear();
    EXPECT_EQ(q.BuildQueryFilter(), "");
    q.SetValues("MEM:PERIHAL", {}, {}, "^rapat", true, true, false);
    EXPECT_EQ(q.BuildQueryFilter(), "(UPPER(MEM:PERIHAL) = 'RAPAT')");
    q.SetValues("MEM:PERIHAL", {}, {}, combineCondition("O'Brien", "NOT ="), true, true, false);
    EXPECT_EQ(q.BuildQueryFilter(), "(MEM:PERIHAL <> 'O''Brien')");
    q.Clear();
    q.SetValues("MEM:MEMO_ID", ">=10", "<=20", {}, false, false, true);
    EXPECT_EQ(q.BuildQueryFilter(), "(MEM:MEMO_ID >= 10) AND (MEM:MEMO_ID <= 20)");
    q.SetValues("MEM:MEMO_ID", "10", "20", {}, false, false, true);
    EXPECT_EQ(q.BuildQueryFilter(), "(MEM:MEMO_ID > 10) AND (MEM:MEMO_ID < 20)");
    q.SetValues("MEM:MEMO_ID", "10", "20", "x", false, false, false);
    EXPECT_EQ(q.BuildQueryFilter(), "(MEM:MEMO_ID >= 10) AND (MEM:MEMO_ID <= 20)");
}

TEST(QueryFilter, CombiningFoldsOperatorCharacters) {
    EXPECT_EQ(combineCondition("abc", "Contains"), "*abc");
    EXPECT_EQ(combineCondition("abc", "Begins"), "abc*");
    EXPECT_EQ(combineCondition("abc", "NOT ="), "<>abc");
    EXPECT_EQ(combineCondition("=<5", ""), "<=5");
    EXPECT_EQ(combineCondition("=>5", ""), ">=5");
    EXPECT_EQ(combineCondition(">5", "NOT ="), "<>5");
    EXPECT_EQ(combineCondition(">=5", ">="), ">=5");
}

// Whatever the user types, the filter compiles and selects what was asked for.
TEST(QueryFilter, UserTextNeverEscapesItsLiteral) {
    Fields f;
    QueryByExample q;
    addMemoFields(q);
    for (const char* evil : {"x') OR (1=1", "'", "a''b", "1 OR 1", "\"quoted\"", "it's", "@n5", ")"}) {
        q.Clear();
        q.SetValues("MEM:PERIHAL", {}, {}, evil, true, true, false);
        f.set(1, "A", "nothing alike");
        EXPECT_FALSE(passes(q.BuildQueryFilter())) << evil;
        f.set(1, "A", evil);
        EXPECT_TRUE(passes(q.BuildQueryFilter())) << evil;
        // On a numeric field the text is read as a number, never written into the filter.
        q.Clear();
        q.SetValues("MEM:MEMO_ID", {}, {}, evil, true, true, false);
        const std::string filter = q.BuildQueryFilter();
        EXPECT_EQ(filter.find("OR"), std::string::npos) << filter;
        passes(filter);
    }
}

TEST(QueryFilter, BlankValueOnANumericFieldComparesWithZero) {
    Fields f;
    QueryByExample q;
    addMemoFields(q);
    q.SetValues("MEM:MEMO_ID", {}, {}, "<>", true, true, false);
    EXPECT_EQ(q.BuildQueryFilter(), "(MEM:MEMO_ID <> 0)");
    q.SetValues("MEM:MEMO_ID", {}, {}, ">=", true, true, false);
    EXPECT_EQ(q.BuildQueryFilter(), "(MEM:MEMO_ID >= 0)");
    f.set(5, "A", "s");
    EXPECT_TRUE(passes(q.BuildQueryFilter()));
    q.SetValues("MEM:MEMO_ID", {}, {}, "=1,234", true, true, false);
    EXPECT_EQ(q.BuildQueryFilter(), "(MEM:MEMO_ID = 1234)") << "deformatted through @n-14";
}

TEST(QueryFilter, BeginsOnARightAlignedNumberMatchesFromItsFirstDigit) {
    Fields f;
    QueryByExample q;
    addMemoFields(q);
    q.SetValues("MEM:MEMO_ID", {}, {}, "12*", true, true, false);
    const std::string filter = q.BuildQueryFilter();
    EXPECT_EQ(filter, "SUB(UPPER(LEFT(FORMAT(MEM:MEMO_ID,@n-14))),1,2) = '12'");
    f.set(125, "A", "s");
    EXPECT_TRUE(passes(filter)) << "the picture shows it as '           125'";
    f.set(312, "A", "s");
    EXPECT_FALSE(passes(filter));
    f.set(1234, "A", "s");
    q.SetValues("MEM:MEMO_ID", {}, {}, "1,2*", true, true, false);
    EXPECT_TRUE(passes(q.BuildQueryFilter())) << "compared as shown, with its grouping";
    q.SetValues("MEM:MEMO_ID", {}, {}, "*,23", true, true, false);
    EXPECT_TRUE(passes(q.BuildQueryFilter()));
}

TEST(QueryFilter, TextFieldsAreTestedByMatchesNotByTheFilter) {
    std::string body;
    QueryByExample q;
    addMemoFields(q);
    q.AddTextItem("MEM:ISI_MEMO", "Memo Body", [&] { return body; });
    q.SetValues("MEM:ISI_MEMO", {}, {}, "*Rapat Anggaran", true, true, false);
    EXPECT_EQ(q.BuildQueryFilter(), "");
    EXPECT_TRUE(q.HasConditions());
    body = "Undangan rapat anggaran tahun depan";
    EXPECT_TRUE(q.Matches());
    body = "Undangan rapat tahun depan";
    EXPECT_FALSE(q.Matches());
    q.SetValues("MEM:ISI_MEMO", {}, {}, "undangan*", true, true, false);
    EXPECT_TRUE(q.Matches());
}

// ---- Saved queries ------------------------------------------------------------------------------

class SavedQueries : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("DOCKET_CONFIG_DIR", dir.file("").c_str(), 1);
        ini.Init("docket.INI");
        q.Init(nullptr, &ini, "Main");
        addMemoFields(q);
    }
    void TearDown() override {
        ini.Shutdown();
        ::unsetenv("DOCKET_CONFIG_DIR");
    }
    ScratchDir dir;
    IniStore ini;
    QueryByExample q;
};

TEST_F(SavedQueries, SaveLoadListDeleteAndSurviveARestart) {
    q.SetValues("MEM:PERIHAL", {}, {}, "*a|b\\c", true, true, false);
    q.SetValues("MEM:MEMO_ID", ">=10", "<=20", {}, false, false, true);
    const std::string filter = q.BuildQueryFilter();
    std::string refusal;
    ASSERT_TRUE(q.SaveQuery("Rapat", refusal)) << refusal;
    ASSERT_TRUE(q.SaveQuery("Other $ name", refusal)) << refusal;
    ASSERT_TRUE(q.SaveRecent());
    EXPECT_EQ(q.SavedQueries(), (std::vector<std::string>{"Other $ name", "Rapat"}));
    q.Clear();
    ini.Shutdown();

    IniStore again;
    again.Init("docket.INI");
    QueryByExample restarted;
    restarted.Init(nullptr, &again, "Main");
    addMemoFields(restarted);
    ASSERT_TRUE(restarted.LoadQuery("Rapat"));
    EXPECT_EQ(restarted.BuildQueryFilter(), filter);
    EXPECT_EQ(restarted.QKCURRENTQUERY, "Rapat");
    restarted.DeleteQuery("Rapat");
    EXPECT_EQ(restarted.SavedQueries(), (std::vector<std::string>{"Other $ name"}));
    EXPECT_FALSE(restarted.LoadQuery("Rapat"));
    EXPECT_TRUE(restarted.QKCURRENTQUERY.empty());
    // Another list's queries are not this one's.
    QueryByExample other;
    other.Init(nullptr, &again, "MemoTypes");
    EXPECT_TRUE(other.SavedQueries().empty());
    again.Shutdown();
    ini.Init("docket.INI");
}

TEST_F(SavedQueries, NamesThatWouldCorruptTheCatalogueAreRefused) {
    q.SetValues("MEM:PERIHAL", {}, {}, "*x", true, true, false);
    for (const char* bad :
         {"", "   ", "tsMRU", "a,b", "[x", "y]", "two\nlines", "cr\r", "a|b", "{", "-sep"}) {
        std::string refusal;
        EXPECT_FALSE(q.SaveQuery(bad, refusal)) << bad;
        EXPECT_FALSE(refusal.empty()) << bad;
    }
    std::string refusal;
    EXPECT_FALSE(q.SaveQuery(std::string(100, 'n'), refusal));
    EXPECT_TRUE(q.SavedQueries().empty());
    EXPECT_TRUE(q.SaveQuery(std::string(99, 'n'), refusal));
    EXPECT_EQ(q.SavedQueries().size(), 1u);
}

TEST_F(SavedQueries, PopupViewSubmenuListsQueriesAndClearPostsTheirChoice) {
    ui::ScriptedUser::instance().attach();
    PopupMenu popup;
    popup.AddEntry("&Insert", "Insert");
    q.QKICON = "QkLoad.ico";
    q.AddToPopup(popup, 1);
    auto names = [&] {
        std::vector<std::string> out;
        for (const PopupItem& i : popup.Items()) out.push_back(std::to_string(i.DEPTH) + i.TEXT);
        return out;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"1&Insert", "1-", "1View", "2Empty", "2-", "2C&lear"}));
    q.SetValues("MEM:PERIHAL", {}, {}, "*x", true, true, false);
    ASSERT_TRUE(q.SaveQuery("Beta"));
    ASSERT_TRUE(q.SaveQuery("Alpha"));
    EXPECT_EQ(names(),
              (std::vector<std::string>{"1&Insert", "1-", "1View", "2Alpha", "2Beta", "2-", "2C&lear"}));
    const PopupItem* alpha = &popup.Items()[3];
    EXPECT_EQ(alpha->EVENT, ui::event::NewSelection);
    EXPECT_EQ(alpha->CONTROLID, 1);
    EXPECT_EQ(q.QueryOfPopupItem(alpha->NAME), "Alpha");
    q.Clear();
    ASSERT_TRUE(q.ApplyPopupChoice(alpha->NAME));
    EXPECT_EQ(q.BuildQueryFilter(), "INSTRING('x',MEM:PERIHAL,1,1) <> 0");
    EXPECT_EQ(popup.Items()[3].CHECK, 1) << "the current query is checked";
    EXPECT_EQ(popup.Items()[4].CHECK, 0);
    ASSERT_TRUE(q.ApplyPopupChoice(popup.Items()[6].NAME));
    EXPECT_EQ(q.BuildQueryFilter(), "");
    EXPECT_TRUE(q.QKCURRENTQUERY.empty());
    EXPECT_FALSE(q.ApplyPopupChoice("Insert"));
    ui::ScriptedUser::instance().clear();
}

// ---- The settings window ------------------------------------------------------------------------

class QuerySettingsTest : public SavedQueries {
protected:
    ui::ScriptedUser& user = ui::ScriptedUser::instance();
    void SetUp() override {
        SavedQueries::SetUp();
        user.clear();
        user.attach();
    }
    void TearDown() override {
        user.clear();
        SavedQueries::TearDown();
    }
    bool run() {
        bool applied = false;
        ui::startThread([&] { applied = q.Ask(); });
        EXPECT_TRUE(ui::Scheduler::instance().run()) << "the window stalled";
        EXPECT_TRUE(user.failures().empty()) << user.failures().front();
        return applied;
    }
};

// Control numbers of the settings window.
constexpr int cSheet = 1, cSavedList = 4, cName = 6, cSave = 7, cLoad = 9, cRows = 10, cField = 12,
              cOperator = 13 + 1, cValue = 16, cInsert = 17, cOk = 20, cCancel = 21;

TEST_F(QuerySettingsTest, RowsTypedInTheEditorsBecomeTheQueryOnOk) {
    user.pickRow(cField, 4);    // titles sorted: Date, Memo ID, Memo No, Subject
    user.pickRow(cOperator, 1); // Contains
    user.type(cValue, "rapat");
    user.click(cInsert);
    user.pickRow(cField, 2);
    user.pickRow(cOperator, 6); // >=
    user.type(cValue, "1,000");
    user.click(cInsert);
    // A picture for a reviewer when asked for (DOCKET_SHOT_DIR; QT_SCALE_FACTOR=2 doubles it).
    user.custom([] {
        const char* folder = std::getenv("DOCKET_SHOT_DIR");
        if (folder == nullptr || *folder == 0) return;
        ui::Window* w = ui::Scheduler::instance().topWindow(ui::Scheduler::instance().threads().front());
        w->widget()->grab().save(QString::fromStdString(std::string(folder) + "/query-settings.png"));
    });
    user.click(cOk);
    EXPECT_TRUE(run());
    EXPECT_EQ(q.BuildQueryFilter(), "(MEM:MEMO_ID >= 1000) AND INSTRING('rapat',MEM:PERIHAL,1,1) <> 0");
    // Closing saved the query as the most recent one.
    QueryByExample recent;
    recent.Init(nullptr, &ini, "Main");
    addMemoFields(recent);
    ASSERT_TRUE(recent.LoadQuery(kRecentQuery));
    EXPECT_EQ(recent.BuildQueryFilter(), q.BuildQueryFilter());
}

TEST_F(QuerySettingsTest, CancelKeepsTheQueryAndSaveRefusesABadNameWithAMessage) {
    q.SetValues("MEM:PERIHAL", {}, {}, "*rapat", true, true, false);
    const std::string before = q.BuildQueryFilter();
    user.pickTab(cSheet, 1);
    user.type(cName, "a,b");
    user.click(cSave);
    user.answerBox(ui::button::Ok);
    user.type(cName, "Good");
    user.click(cSave);
    user.click(cCancel);
    EXPECT_FALSE(run());
    EXPECT_EQ(q.BuildQueryFilter(), before);
    EXPECT_EQ(q.SavedQueries(), (std::vector<std::string>{"Good"}));
    bool refusedShown = false;
    for (const auto& s : user.shown())
        refusedShown = refusedShown || s.text.find("comma") != std::string::npos;
    EXPECT_TRUE(refusedShown);
}

TEST_F(QuerySettingsTest, LoadPutsASavedQueryIntoTheRows) {
    q.SetValues("MEM:MEMO_NO", {}, {}, "017*", true, true, false);
    ASSERT_TRUE(q.SaveQuery("Numbers"));
    q.Clear();
    user.pickTab(cSheet, 1);
    user.pickRow(cSavedList, 1);
    user.click(cLoad);
    user.custom([&] {
        ui::Window* w = ui::Scheduler::instance().topWindow(ui::Scheduler::instance().threads().front());
        EXPECT_EQ(w->getInt(cRows, "Choice") >= 0, true);
        EXPECT_EQ(w->get(cName, "Text"), "Numbers");
    });
    user.click(cOk);
    EXPECT_TRUE(run());
    EXPECT_EQ(q.BuildQueryFilter(), "SUB(MEM:MEMO_NO,1,3) = '017'");
    EXPECT_EQ(q.QKCURRENTQUERY, "Numbers");
}

} // namespace
} // namespace docket::classes
