// The record browser driven through a real list window by the scripted user, over a native memo
// file of the register's shape (memos joined to their types, a descending entry key, memo number
// and date keys): paging, scrolling past the screen, the ends of the order, locating by typing,
// thumb drags, actions on an empty list, a record deleted by another process, and the popup menu.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QTableWidget>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classes/data/tests/table_test_support.h"
#include "classes/window/record_browser.h"
#include "files/file_statements.h"
#include "files/record_fields.h"
#include "runtime/expression/binding_scopes.h"
#include "ui/control.h"
#include "ui/events.h"
#include "ui/keys.h"
#include "ui/modal.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"
#include "ui/text.h"

namespace docket::classes {
namespace {

using namespace testing;
using ui::ScriptedUser;

constexpr int kId = 1, kDate = 2, kNo = 3, kSubject = 4, kType = 5;
constexpr int cQuery = 1, cList = 2, cInsert = 3, cChange = 4, cDelete = 5, cNo = 6, cClose = 7;

struct MemoFiles {
    explicit MemoFiles(const ScratchDir& dir)
        : memo("MEMO_DB", dir.file("MEMO.DB")), type("MEMO_JENIS", dir.file("JENIS.DB")) {
        memo.field("MEM:MEMO_ID", TypeCode::Long, 4);
        memo.field("MEM:TANGGAL_MEMO", TypeCode::Long, 4);
        memo.field("MEM:MEMO_NO", TypeCode::CString, 31);
        memo.field("MEM:PERIHAL", TypeCode::CString, 81);
        memo.field("MEM:JENIS_ID", TypeCode::Long, 4);
        byId = &memo.key("MEM:PRIMARYKEY", drivers::key_flag::kPrimary, {-kId});
        byNo = &memo.key("MEM:KEYNOMORMEMO", drivers::key_flag::kDup, {kNo});
        byDate = &memo.key("MEM:KEYTANGGALMEMO", drivers::key_flag::kDup, {kDate});
        type.field("JEN:JENIS_ID", TypeCode::Long, 4);
        type.field("JEN:JENIS_MEMO", TypeCode::CString, 31);
        typeKey = &type.key("JEN:PRIMARYKEY", drivers::key_flag::kPrimary, {1});
    }
    Table memo, type;
    const KeyDeclaration *byId = nullptr, *byNo = nullptr, *byDate = nullptr, *typeKey = nullptr;
};

// Memo `id`: its number ("C1025") gives runs of ten equal first letters; memos 41 to 44 share
// the number E1041. Its date rises with the id.
std::string memoNo(int id) {
    if (id >= 41 && id <= 44) id = 41;
    return std::string(1, static_cast<char>('A' + (id - 1) / 10 % 26)) + std::to_string(1000 + id);
}

ui::Window* top() {
    auto threads = ui::Scheduler::instance().threads();
    return threads.empty() ? nullptr : ui::Scheduler::instance().topWindow(threads.front());
}

ui::WindowDefinition listDefinition() {
    ui::WindowDefinition w;
    w.caption = "Browse Memo";
    w.width = 420;
    w.height = 200;
    w.attributes |= ui::wattr::Resizable;
    using ui::ControlType;
    ui::ControlDefinition list{ControlType::List, "?BROWSE:1", "", 4, 4, 410, 150, "BROWSE"};
    list.format = "35R(2)|M~Memo ID~C(0)@n-14@#1#48L(2)|M~Date~C(0)@d17@#2#124L(2)|M~Memo No~@s30@#3#"
                  "320L(2)|M~Subject~@s80@#4#120L(2)|M~Memo Type~@s30@#5#";
    list.attributes = ui::attr::Immediate | ui::attr::VScroll;
    w.controls = {
        {ControlType::Button, "?QUERY", "&Query", 4, 180, 40, 14},
        list,
        {ControlType::Button, "?INSERT:2", "&Insert", 200, 160, 45, 14},
        {ControlType::Button, "?CHANGE:2", "&Change", 250, 160, 45, 14},
        {ControlType::Button, "?DELETE:2", "&Delete", 300, 160, 45, 14},
        {ControlType::Entry, "?MEM:MEMO_NO", "", 50, 160, 80, 12, "MEM:MEMO_NO", "@s30"},
        {ControlType::Button, "?CLOSE", "Close", 370, 180, 45, 14},
    };
    return w;
}

class BrowseTest;

// The list's browser: the order a reset asks for comes from the test.
class TestBrowser : public RecordBrowser {
public:
    std::uint16_t order = 3;
    std::uint16_t ChooseOrder() override { return order; }
};

// The list procedure as a program's list window is written.
class MemoList : public WindowFlow {
public:
    explicit MemoList(BrowseTest& test) : test_(test) {}
    Severity Init() override;
    Severity Shutdown() override;
    std::uint8_t CallProcedure(std::uint16_t number, std::uint8_t request) override;

    TestBrowser browser;
    std::unique_ptr<runtime::View> view;
    TextThumbStep noStep;
    RealThumbStep dateStep;
    IntegerThumbStep idStep;
    EntryFinder noEntry;
    StepFinder noSteps, idSteps;
    bool stepLocatorOnNumbers = false;

private:
    BrowseTest& test_;
};

class BrowseTest : public ::testing::Test {
protected:
    void SetUp() override {
        user.clear();
        user.attach();
        files = std::make_unique<MemoFiles>(dir);
        memoAccess.Init(files->memo.file, reporter);
        memoAccess.DeclareKey("Memo ID", *files->byId, true);
        memoAccess.DeclareKey("Nomor", *files->byNo);
        memoAccess.DeclareKey("Tanggal", *files->byDate);
        typeAccess.Init(files->type.file, reporter);
        typeAccess.DeclareKey("Jenis", *files->typeKey, true);
        relations.Init(memoAccess, true);
        previousHook = setMessageHook([this](const MessageRequest& r) {
            messages.push_back(r.title);
            return r.defaultButton;
        });
        PendingRequest = LastResponse = 0;
    }
    void TearDown() override {
        relations.Shutdown();
        typeAccess.Shutdown();
        setMessageHook(std::move(previousHook));
        user.clear();
    }

    // Memos 1..count and three memo types, added with the raw statements; the files are left closed.
    void seed(int count) {
        ASSERT_EQ(runtime::create(files->type.file), 0);
        ASSERT_EQ(runtime::open(files->type.file, 0x42), 0);
        for (int j = 1; j <= 3; ++j) {
            runtime::clearRecord(files->type.declaration);
            files->type.setLong(1, j);
            files->type.setText(2, j == 1 ? "Surat" : j == 2 ? "Nota" : "Edaran");
            ASSERT_EQ(runtime::add(files->type.file), 0);
        }
        runtime::close(files->type.file);
        ASSERT_EQ(runtime::create(files->memo.file), 0);
        ASSERT_EQ(runtime::open(files->memo.file, 0x42), 0);
        for (int id = 1; id <= count; ++id) {
            runtime::clearRecord(files->memo.declaration);
            Table& m = files->memo;
            m.setLong(kId, id);
            m.setLong(kDate, 80000 + id);
            m.setText(kNo, memoNo(id));
            m.setText(kSubject, "subject " + std::to_string(id));
            m.setLong(kType, id % 3 + 1);
            ASSERT_EQ(runtime::add(m.file), 0);
        }
        runtime::close(files->memo.file);
    }

    void run(std::function<void(MemoList&)> setup = {}) {
        ui::startThread([this, setup] {
            MemoList list(*this);
            if (setup) setup(list);
            current = &list;
            list.Execute();
            current = nullptr;
        });
        ASSERT_TRUE(ui::Scheduler::instance().run()) << "the windows stalled";
        EXPECT_TRUE(user.failures().empty()) << user.failures().front();
    }

    // ---- What the list shows ----
    TestBrowser& b() { return current->browser; }
    std::vector<int> ids() {
        std::vector<int> out;
        for (const auto& row : b().Queue().rows) out.push_back(std::stoi(row.fields[0]));
        return out;
    }
    int highlighted() {
        const auto& rows = b().Queue().rows;
        return b().CURRENTCHOICE >= 1 ? std::stoi(rows[std::size_t(b().CURRENTCHOICE - 1)].fields[0]) : 0;
    }
    std::vector<int> descending(int from, int count) {
        std::vector<int> out;
        for (int i = 0; i < count && from - i >= 1; ++i) out.push_back(from - i);
        return out;
    }

    // ---- The user's hand, for what the scripted user has no action for ----
    void typeChar(int control, char c) {
        user.custom([control, c] {
            ui::Control* ctl = top()->controlData(control);
            QWidget* target = ctl->table != nullptr ? static_cast<QWidget*>(ctl->table) : ctl->widget;
            const int vk = c >= 'a' && c <= 'z' ? c - 32 : c;
            QKeyEvent press(QEvent::KeyPress, ui::qtKey(vk), Qt::NoModifier, QString(QChar(c)));
            QApplication::sendEvent(target, &press);
        });
    }
    void rightClick(int control) {
        user.custom([control] {
            ui::Control* ctl = top()->controlData(control);
            QWidget* viewport = ctl->table->viewport();
            const QPointF at(4, 4);
            QMouseEvent release(QEvent::MouseButtonRelease, at, viewport->mapToGlobal(at), Qt::RightButton,
                                Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &release);
        });
    }
    void dragThumb(int position) {
        user.custom([position] {
            QScrollBar* bar = top()->controlData(cList)->thumb;
            bar->setValue(position);
            emit bar->sliderReleased();
        });
    }
    void check(std::function<void()> body) { user.custom(std::move(body)); }

    ScriptedUser& user = ScriptedUser::instance();
    ScratchDir dir;
    Halts halts;
    ErrorReporter reporter;
    std::unique_ptr<MemoFiles> files;
    TableAccess memoAccess, typeAccess;
    TableRelations relations;
    MessageHook previousHook;
    std::vector<std::string> messages;
    MemoList* current = nullptr;
    // The forms the list called: request and the memo in the buffer when it was called.
    std::vector<std::pair<std::uint8_t, int>> forms;
    std::function<std::uint8_t(std::uint8_t)> form = [](std::uint8_t) { return Cancelled; };
    friend class MemoList;
};

Severity MemoList::Init() {
    REQUEST = PendingRequest;
    const Severity base = WindowFlow::Init();
    if (base != Severity::Proceed) return base;
    ERRORS = &test_.reporter;
    PendingRequest = LastResponse = 0;
    AddButton(cClose, Cancelled);
    PRIMARY = &test_.relations;
    if (test_.relations.Open() != Severity::Proceed || test_.typeAccess.Open(kReport) != Severity::Proceed)
        return Severity::Fatal;
    FILESOPENED = 1;
    runtime::bindTableFields(test_.files->memo.declaration);
    runtime::bindTableFields(test_.files->type.declaration);
    runtime::ViewDeclaration d;
    d.primary = &test_.files->memo.file;
    runtime::ViewJoin join;
    join.file = &test_.files->type.file;
    join.key = 0;
    join.parentFields = {kType};
    d.joins.push_back(join);
    view = std::make_unique<runtime::View>(d);
    browser.Init(cList, *view, test_.relations, *this);
    browser.INSERTCONTROL = cInsert;
    browser.CHANGECONTROL = cChange;
    browser.DELETECONTROL = cDelete;
    browser.QUERYCONTROL = cQuery;
    browser.ASKPROCEDURE = 1;
    Table& m = test_.files->memo;
    ui::Bindings bindings;
    bindings.lists["BROWSE"] = &browser.Queue();
    ui::UseVariable no;
    no.getText = [&m] { return m.getText(kNo); };
    no.setText = [&m](const std::string& text) { m.setText(kNo, text); };
    bindings.variables["MEM:MEMO_NO"] = no;
    openWindow(listDefinition(), std::move(bindings));
    // The memo list's orders: by number, by date, by entry (newest first).
    noStep.Init(RuntimeTable, step_flag::kLetters | step_flag::kCaseSensitive);
    dateStep.CONTROLS = step_flag::kLetters | step_flag::kCaseSensitive;
    idStep.CONTROLS = step_flag::kLetters | step_flag::kCaseSensitive | step_flag::kDescending;
    FileDeclaration& record = m.declaration;
    browser.AddOrder(&noStep, *test_.files->byNo);
    if (stepLocatorOnNumbers) {
        noSteps.Init(FieldRef::of(record, kNo), 0, true, browser);
        browser.AttachLocator(noSteps);
    } else {
        noEntry.Init(FieldRef::of(record, kNo), cNo, false, browser);
        browser.AttachLocator(noEntry);
    }
    browser.AddOrder(&dateStep, *test_.files->byDate);
    browser.AddOrder(&idStep, *test_.files->byId);
    idSteps.Init(FieldRef::of(record, kId), 0, false, browser);
    browser.AttachLocator(idSteps);
    for (int f : {kId, kDate, kNo, kSubject}) browser.LinkColumn(FieldRef::of(record, f));
    browser.LinkColumn(FieldRef::of(test_.files->type.declaration, 2));
    ArmAlerts();
    return Severity::Proceed;
}

Severity MemoList::Shutdown() {
    const Severity base = WindowFlow::Shutdown();
    if (FILESOPENED) {
        test_.relations.Close();
        test_.typeAccess.Close();
    }
    return base;
}

std::uint8_t MemoList::CallProcedure(std::uint16_t, std::uint8_t request) {
    test_.forms.push_back({request, test_.files->memo.getLong(kId)});
    return test_.form(request);
}

// ---- Paging and scrolling ----------------------------------------------------------------------

TEST_F(BrowseTest, PagingKeepsAScreenfulAndTheScreenRow) {
    seed(300);
    int page = 0;
    check([&] {
        page = b().LASTITEMS;
        ASSERT_GE(page, 5) << "the list shows a few rows";
        EXPECT_EQ(ids(), descending(300, page)) << "newest first, one screenful";
        EXPECT_EQ(highlighted(), 300);
        EXPECT_EQ(top()->getInt(cList, "ScrollPos"), 0) << "at the start of the order";
    });
    user.pickRow(cList, 3);
    user.pressKey(cList, ui::key::PageDown);
    check([&] {
        EXPECT_EQ(ids(), descending(300 - page, page));
        EXPECT_EQ(b().CURRENTCHOICE, 3) << "the highlight keeps its screen row";
        EXPECT_EQ(highlighted(), 298 - page);
        EXPECT_EQ(files->memo.getLong(kId), 298 - page) << "the buffer holds the highlighted memo";
    });
    for (int i = 0; i < 5; ++i) user.pressKey(cList, ui::key::PageDown);
    user.pressKey(cList, ui::key::PageUp);
    check([&] {
        EXPECT_EQ(ids(), descending(300 - 5 * page, page));
        EXPECT_EQ(b().Queue().rows.size(), std::size_t(page)) << "never more than a screenful";
        EXPECT_EQ(top()->getInt(cList, "VScroll"), 1);
        const long thumb = top()->getInt(cList, "ScrollPos");
        EXPECT_GT(thumb, 1);
        EXPECT_LT(thumb, 100);
    });
    // Down past the screen's end reads one more row and keeps the highlight on the last row.
    user.custom([&] { top()->controlData(cList)->table->setCurrentCell(page - 1, 0); }); // the last row
    user.pressKey(cList, ui::key::Down);
    check([&] {
        EXPECT_EQ(ids(), descending(300 - 5 * page - 1, page));
        EXPECT_EQ(b().CURRENTCHOICE, page);
        EXPECT_EQ(highlighted(), 300 - 6 * page);
    });
    user.pressKey(cList, ui::key::Ctrl + ui::key::End);
    check([&] {
        EXPECT_EQ(ids(), descending(page, page)) << "the last page";
        EXPECT_EQ(highlighted(), 1);
        EXPECT_EQ(top()->getInt(cList, "ScrollPos"), 100);
    });
    user.pressKey(cList, ui::key::Down); // at the end: nothing moves
    user.pressKey(cList, ui::key::PageDown);
    check([&] {
        EXPECT_EQ(ids(), descending(page, page));
        EXPECT_EQ(highlighted(), 1);
    });
    user.pressKey(cList, ui::key::Ctrl + ui::key::Home);
    check([&] {
        EXPECT_EQ(ids(), descending(300, page));
        EXPECT_EQ(top()->getInt(cList, "ScrollPos"), 0);
        // Each step read about the rows it showed; the whole table was never read.
        EXPECT_LT(b().VIEW->primaryReads(), std::uint64_t(20 * page));
    });
    user.click(cClose);
    run();
}

TEST_F(BrowseTest, ThumbDragsJumpThroughTheStepAndToTheEnds) {
    seed(400);
    int page = 0;
    check([&] { page = b().LASTITEMS; });
    dragThumb(100);
    check([&] {
        EXPECT_EQ(ids(), descending(page, page)) << "a drag to the end shows the last page";
        EXPECT_EQ(top()->getInt(cList, "ScrollPos"), 100);
    });
    dragThumb(50);
    check([&] {
        // The descending entry step: 50% lies half way between 400 and 1.
        EXPECT_NEAR(highlighted(), 200, 5);
        EXPECT_EQ(ids().size(), std::size_t(page));
        EXPECT_NEAR(top()->getInt(cList, "ScrollPos"), 50, 2);
    });
    dragThumb(0);
    check([&] { EXPECT_EQ(ids(), descending(400, page)); });
    user.click(cClose);
    run();
}

// ---- Locating ----------------------------------------------------------------------------------

TEST_F(BrowseTest, TypingInTheListGoesToTheLocatorEntryAndLocatesOnTab) {
    seed(120);
    check([&] { b().order = 1; });
    user.custom([] { top()->post(ui::event::GainFocus); }); // a reset: the list takes order 1
    check(
        [&] { EXPECT_EQ(highlighted(), 120) << "the highlighted memo stays highlighted in the new order"; });
    typeChar(cList, 'C');
    check([&] {
        EXPECT_EQ(top()->focusControl(), cNo) << "the letter went to the locator's entry";
        EXPECT_EQ(highlighted(), 120) << "not located before the entry is accepted";
    });
    user.type(cNo, "C1025");
    check([&] {
        EXPECT_EQ(highlighted(), 25);
        EXPECT_EQ(files->memo.getText(kNo), "C1025");
        EXPECT_EQ(ids().size(), std::size_t(b().LASTITEMS));
    });
    user.type(cNo, "ZZ");
    check([&] {
        // Past the last number: the list shows the last page, not an empty one.
        EXPECT_EQ(ids().size(), std::size_t(b().LASTITEMS));
        EXPECT_EQ(highlighted(), 120);
    });
    user.click(cClose);
    run();
}

TEST_F(BrowseTest, StepLocatorJumpsToALetterAndStepsThroughItsRun) {
    seed(120);
    check([&] { b().order = 1; });
    user.custom([] { top()->post(ui::event::GainFocus); });
    typeChar(cList, 'c');
    check([&] { EXPECT_EQ(highlighted(), 21) << "the first memo starting with C"; });
    typeChar(cList, 'c');
    typeChar(cList, 'c');
    check([&] { EXPECT_EQ(highlighted(), 23) << "each C one row further, not back to the first"; });
    typeChar(cList, 'e');
    check([&] { EXPECT_EQ(highlighted(), 41); });
    // On a run of equal numbers the letter moves one row, never back to the run's first memo.
    typeChar(cList, 'e');
    check([&] { EXPECT_EQ(highlighted(), 42); });
    typeChar(cList, 'e');
    check([&] { EXPECT_EQ(highlighted(), 43); });
    user.click(cClose);
    run([](MemoList& list) { list.stepLocatorOnNumbers = true; });
}

// ---- Actions -----------------------------------------------------------------------------------

TEST_F(BrowseTest, ActionsOnAnEmptyListAreInert) {
    seed(0);
    check([&] {
        EXPECT_TRUE(b().Queue().rows.empty());
        EXPECT_EQ(top()->getInt(cChange, "Enabled"), 0);
        EXPECT_EQ(top()->getInt(cDelete, "Enabled"), 0);
        EXPECT_EQ(top()->getInt(cInsert, "Enabled"), 1);
        EXPECT_EQ(top()->getInt(cList, "VScroll"), 0) << "no thumb on a list that is not full";
    });
    user.pressKey(cList, ui::key::Delete);
    user.pressKey(cList, ui::key::Ctrl + ui::key::Enter);
    user.pressKey(cList, ui::key::MouseLeft2);
    user.pressKey(cList, ui::key::PageDown);
    user.pressKey(cList, ui::key::Ctrl + ui::key::End);
    // A press posted for the disabled button (a menu built before it was disabled) is dropped.
    user.custom([] { top()->post(ui::event::Accepted, cDelete); });
    rightClick(cList);
    check([&] { ASSERT_FALSE(user.shown().empty()); });
    user.chooseMenu(2); // "~&Change": disabled, chooses nothing
    user.click(cClose);
    run();
    EXPECT_TRUE(forms.empty());
    ASSERT_FALSE(user.shown().empty());
    EXPECT_EQ(user.shown().back().text, "|&Insert|~&Change|~&Delete|-|&Query");
}

TEST_F(BrowseTest, PopupMenuMirrorsTheButtonsAndItsOrdinalsPressThem) {
    seed(30);
    user.pickRow(cList, 2);
    rightClick(cList);
    user.chooseMenu(2); // Change
    rightClick(cList);
    user.chooseMenu(3); // Delete: the separator is skipped in the count
    user.pressKey(cList, ui::key::Insert);
    user.click(cClose);
    run();
    std::vector<std::string> menus;
    for (const auto& s : user.shown())
        if (s.kind == "menu") menus.push_back(s.text);
    EXPECT_EQ(menus, (std::vector<std::string>{"|&Insert|&Change|&Delete|-|&Query",
                                               "|&Insert|&Change|&Delete|-|&Query"}));
    ASSERT_EQ(forms.size(), 3u);
    EXPECT_EQ(forms[0], (std::pair<std::uint8_t, int>{RequestChange, 29}));
    EXPECT_EQ(forms[1], (std::pair<std::uint8_t, int>{RequestDelete, 29}));
    EXPECT_EQ(forms[2].first, RequestInsert);
}

TEST_F(BrowseTest, ARecordDeletedByAnotherProcessLeavesTheListOnItsNeighbours) {
    seed(60);
    const std::string memoPath = dir.file("MEMO.DB");
    // Forked before this process opens the file: deletes memo 58, then memos 1 to 25.
    Station other([&](Station& self) {
        MemoFiles mine(dir);
        for (int round = 0; round < 2; ++round) {
            if (!self.awaitParent()) return 1;
            if (runtime::open(mine.memo.file, 0x42)) return 2;
            for (int id : round == 0 ? std::vector<int>{58} : descending(25, 25)) {
                mine.memo.setLong(kId, id);
                if (runtime::get(mine.memo.file, *mine.byId)) return 3;
                if (runtime::deleteRecord(mine.memo.file)) return 4;
            }
            runtime::close(mine.memo.file);
            self.tellParent();
        }
        return 0;
    });
    int page = 0;
    user.pickRow(cList, 3); // memo 58
    check([&] {
        page = b().LASTITEMS;
        EXPECT_EQ(highlighted(), 58);
        other.tellChild();
        EXPECT_TRUE(other.awaitChild());
    });
    // Change asks for the highlighted record: it is gone, so no form opens and the list refreshes.
    user.pressKey(cList, ui::key::Ctrl + ui::key::Enter);
    check([&] {
        std::vector<int> want = {60, 59};
        for (int id = 57; static_cast<int>(want.size()) < page; --id) want.push_back(id);
        EXPECT_EQ(ids(), want) << "the rows above stay; the gone one is left out";
        EXPECT_EQ(highlighted(), 57) << "the neighbour that took its place";
        EXPECT_EQ(files->memo.getLong(kId), 57);
    });
    user.pressKey(cList, ui::key::Ctrl + ui::key::End);
    check([&] {
        EXPECT_EQ(highlighted(), 1);
        other.tellChild();
        EXPECT_TRUE(other.awaitChild());
    });
    // The whole last page is gone: the refresh after the focus returns fills from the end.
    user.custom([this] {
        current->RESETONGAINFOCUS = 1;
        top()->post(ui::event::LoseFocus);
        top()->post(ui::event::GainFocus);
    });
    check([&] {
        EXPECT_EQ(ids().size(), std::size_t(page)) << "never empty while memos remain";
        EXPECT_EQ(ids().back(), 26);
        EXPECT_EQ(highlighted(), 26);
        EXPECT_EQ(files->memo.getLong(kId), 26);
    });
    user.click(cClose);
    run();
    EXPECT_EQ(other.finish(), 0);
    EXPECT_TRUE(forms.empty()) << "no form for a record that is gone";
}

TEST_F(BrowseTest, ACompletedFormRepositionsOnTheRecordItWrote) {
    seed(50);
    form = [this](std::uint8_t request) {
        if (request != RequestDelete) return Cancelled;
        relations.Delete(false);
        return Completed;
    };
    user.pickRow(cList, 4); // memo 47
    user.pressKey(cList, ui::key::Delete);
    check([&] {
        EXPECT_EQ(highlighted(), 46) << "the row below takes the highlight";
        const auto shown = ids();
        EXPECT_EQ(std::count(shown.begin(), shown.end(), 47), 0);
        EXPECT_EQ(shown.front(), 50);
    });
    user.click(cClose);
    run();
    EXPECT_EQ(forms, (std::vector<std::pair<std::uint8_t, int>>{{RequestDelete, 47}}));
}

// A picture of the list for a reviewer: the memo list's columns, the highlight, the thumb.
TEST_F(BrowseTest, ScreenshotOfTheList) {
    seed(200);
    user.pickRow(cList, 4);
    user.pressKey(cList, ui::key::PageDown);
    check([&] {
        const QByteArray scale = qgetenv("QT_SCALE_FACTOR");
        const QString name =
            QStringLiteral("/record-browser%1.png").arg(scale.isEmpty() ? QString() : "-x" + QString(scale));
        QDir().mkpath(QStringLiteral(DOCKET_SCREENSHOT_DIR));
        EXPECT_TRUE(top()->widget()->grab().save(QStringLiteral(DOCKET_SCREENSHOT_DIR) + name));
    });
    user.click(cClose);
    run();
}

// ---- The view reader's texts ---------------------------------------------------------------------

TEST_F(BrowseTest, ReaderBuildsOrderAndFilterTextsAndRefusesAFilterTooLong) {
    seed(5);
    runtime::pushScope(false);
    runtime::bindTableFields(files->memo.declaration);
    runtime::bindTableFields(files->type.declaration);
    ASSERT_EQ(relations.Open(), Severity::Proceed);
    runtime::ViewDeclaration d;
    d.primary = &files->memo.file;
    runtime::View view(d);
    ViewReader reader;
    reader.Init(view, relations);
    EXPECT_EQ(reader.AddOrder(*files->byId), 1);
    EXPECT_EQ(reader.Current()->ORDER, "-MEM:MEMO_ID");
    reader.AddOrder(*files->byNo);
    EXPECT_EQ(reader.Current()->ORDER, "MEM:MEMO_NO");
    reader.ExtendOrder("-MEM:MEMO_ID");
    EXPECT_EQ(reader.Current()->ORDER, "MEM:MEMO_NO,-MEM:MEMO_ID");
    reader.ExtendOrder("*MEM:MEMO_NO");
    EXPECT_EQ(reader.Current()->ORDER, "MEM:MEMO_NO");
    // A range on the number with a quote in its value, and two named filters.
    char value[31] = "O'Brien";
    reader.Current()->LIMITTYPE = 1;
    reader.Current()->RANGELIST.AddPair(FieldRef::of(runtime::bindCString(value, sizeof value)),
                                        FieldRef::of(files->memo.declaration, kNo));
    EXPECT_EQ(reader.SetNamedFilter("MEM:JENIS_ID = 2", "QBE"), Severity::Proceed);
    EXPECT_EQ(reader.SetNamedFilter("MEM:MEMO_ID > 1", "Other"), Severity::Proceed);
    EXPECT_EQ(reader.FilterText(), "MEM:MEMO_NO = 'O''Brien' AND (MEM:JENIS_ID = 2) AND (MEM:MEMO_ID > 1)");
    EXPECT_EQ(reader.SetNamedFilter("", "Other"), Severity::Proceed);
    reader.Current()->RANGELIST.Kill();
    reader.Current()->LIMITTYPE = 0;
    ASSERT_EQ(reader.Open(), Severity::Proceed);
    EXPECT_EQ(view.filter(), "(MEM:JENIS_ID = 2)");
    // A filter past 5000 characters is refused whole: message 40, the old filter stays.
    std::string huge = "MEM:MEMO_ID > 0";
    while (huge.size() < 5100) huge += " AND MEM:MEMO_ID > 0";
    messages.clear();
    EXPECT_NE(reader.SetNamedFilter(huge, "Big"), Severity::Proceed);
    EXPECT_EQ(messages, std::vector<std::string>{"View Open Error"});
    EXPECT_EQ(reader.FilterText(), "(MEM:JENIS_ID = 2)");
    ASSERT_EQ(reader.BuildFilter(), Severity::Proceed);
    EXPECT_EQ(view.filter(), "(MEM:JENIS_ID = 2)");
    // A filter the view refuses is reported the same way and the view keeps its old one.
    messages.clear();
    reader.SetNamedFilter("MEM:JENIS_ID = ", "QBE");
    EXPECT_NE(reader.BuildFilter(), Severity::Proceed);
    EXPECT_EQ(messages, std::vector<std::string>{"View Open Error"});
    EXPECT_EQ(view.filter(), "(MEM:JENIS_ID = 2)");
    reader.SetNamedFilter("MEM:JENIS_ID = 2", "QBE");
    ASSERT_EQ(reader.Reset(), Severity::Proceed);
    std::vector<int> got;
    while (reader.Next() == Severity::Proceed) got.push_back(files->memo.getLong(kId));
    EXPECT_EQ(got, (std::vector<int>{1, 4})) << "memos of type 2, by number";
    reader.Shutdown();
    relations.Close();
    runtime::popScope();
}

} // namespace
} // namespace docket::classes
