// WindowFlow driven through real windows by the scripted user, over a small native table of its
// own: nested procedures passing requests and responses, the cancel and save questions, the
// record that priming reserves, insert-another, ditto, delete without a form, view mode, a change
// made meanwhile by another process, and the components' refresh.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QLineEdit>

#include "classes/data/tests/table_test_support.h"
#include "classes/window/window_flow.h"
#include "files/file_statements.h"
#include "files/record_fields.h"
#include "ui/events.h"
#include "ui/keys.h"
#include "ui/modal.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"

namespace docket::classes {
namespace {

using namespace testing;
using ui::ScriptedUser;

constexpr int kId = 1, kName = 2, kQty = 3, kNote = 4, kCode = 5, kPrice = 6;
// The form's controls, numbered in definition order.
constexpr int cPrompt = 1, cName = 2, cQty = 3, cNote = 4, cCode = 5, cPrice = 6, cOk = 7, cCancel = 8,
              cNested = 9;

struct Items {
    explicit Items(const std::string& path) : table("ITEMS", path) {
        table.field("ITM:ID", TypeCode::Long, 4);
        table.field("ITM:NAME", TypeCode::CString, 21);
        table.field("ITM:QTY", TypeCode::Long, 4);
        table.field("ITM:NOTE", TypeCode::CString, 21);
        table.field("ITM:CODE", TypeCode::CString, 11);
        table.field("ITM:PRICE", TypeCode::Long, 4);
        byId = &table.key("ITM:KEY_ID", drivers::key_flag::kPrimary, {kId});
        byName = &table.key("ITM:KEY_NAME", drivers::key_flag::kDup, {kName});
    }
    Table table;
    const KeyDeclaration* byId = nullptr;
    const KeyDeclaration* byName = nullptr;
};

// The window the scripted user acts on: the newest of the program's first thread.
ui::Window* top() {
    auto threads = ui::Scheduler::instance().threads();
    return threads.empty() ? nullptr : ui::Scheduler::instance().topWindow(threads.front());
}

ui::UseVariable textField(Table& t, int field) {
    ui::UseVariable use;
    use.getText = [&t, field] { return t.getText(field); };
    use.setText = [&t, field](const std::string& text) { t.setText(field, text); };
    return use;
}

ui::UseVariable longField(Table& t, int field) {
    ui::UseVariable use;
    use.numeric = true;
    use.getNumber = [&t, field] { return static_cast<double>(t.getLong(field)); };
    use.setNumber = [&t, field](double value) { t.setLong(field, static_cast<std::int32_t>(value)); };
    return use;
}

ui::WindowDefinition formDefinition() {
    ui::WindowDefinition w;
    w.caption = "Item";
    w.width = 220;
    w.height = 130;
    using ui::ControlType;
    w.controls = {
        {ControlType::Prompt, "?Prompt", "&Name:", 4, 4, 40, 10},
        {ControlType::Entry, "?ITM:NAME", "", 50, 4, 100, 12, "ITM:NAME", "@s20"},
        {ControlType::Entry, "?ITM:QTY", "", 50, 20, 40, 12, "ITM:QTY", "@n6"},
        {ControlType::Entry, "?ITM:NOTE", "", 50, 36, 100, 12, "ITM:NOTE", "@s20"},
        {ControlType::Entry, "?ITM:CODE", "", 50, 52, 60, 12, "ITM:CODE", "@s10"},
        {ControlType::Entry, "?ITM:PRICE", "", 50, 68, 50, 12, "ITM:PRICE", "@n8"},
        {ControlType::Button, "?OK", "OK", 120, 110, 45, 14},
        {ControlType::Button, "?Cancel", "Cancel", 170, 110, 45, 14},
        {ControlType::Button, "?More", "More", 4, 110, 45, 14},
    };
    return w;
}

// A component that records what the flow asks of it.
struct Recorder : WindowMember {
    std::vector<std::string> calls;
    bool wantRefresh = false;
    std::function<Severity()> onEvent;
    void Shutdown() override { calls.push_back("Shutdown"); }
    void Reset(std::uint8_t force) override { calls.push_back("Reset" + std::to_string(force)); }
    std::uint8_t NeedsRefresh() override {
        const bool want = wantRefresh;
        wantRefresh = false;
        return want;
    }
    void ArmAlerts() override { calls.push_back("ArmAlerts"); }
    Severity OnEvent() override { return onEvent ? onEvent() : Severity::Proceed; }
    void Update() override { calls.push_back("Update"); }
    void Redisplay() override { calls.push_back("Redisplay"); }
    int count(const std::string& call) const { return static_cast<int>(std::count(calls.begin(), calls.end(), call)); }
};

struct StubToolbar : NavigationToolbar {
    int shutdowns = 0;
    void Init() override {}
    void Shutdown() override { ++shutdowns; }
    void OnEvent(std::int32_t*) override {}
    void RegisterTarget(NavigationTarget&, std::int32_t) override {}
    void SetCurrentTarget(std::int32_t) override {}
};

class WindowFlowTest;

// The items table's access, with a switch that makes every record fail its validation.
struct ItemsAccess : TableAccess {
    bool refuse = false;
    Severity ValidateFieldServer(int field, bool report) override {
        return refuse ? Severity::Inform : TableAccess::ValidateFieldServer(field, report);
    }
};

// The form procedure of the tests, written as a program's form is: its Init and Shutdown follow
// the flow's conventions for a form over the ITEMS table.
class ItemForm : public WindowFlow {
public:
    explicit ItemForm(WindowFlowTest& test) : test_(test) {}
    Severity Init() override;
    Severity Shutdown() override;
    void OnNewRecord() override {
        if (newRecord) newRecord(*this);
    }
    Severity OnAccepted() override {
        const Severity result = WindowFlow::OnAccepted();
        const int control = window()->control();
        if (control == cOk && ORIGINALREQUEST == RequestView) window()->post(ui::event::CloseWindow);
        if (control == cNested && nested) nested(*this);
        return result;
    }
    Severity OnRejected() override {
        ++rejected;
        return WindowFlow::OnRejected();
    }

    std::function<void(ItemForm&)> newRecord, nested, configure;
    bool withoutOk = false;
    int rejected = 0;

private:
    WindowFlowTest& test_;
};

class WindowFlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        user.clear();
        user.attach();
        items = std::make_unique<Items>(dir.file("items.qvn"));
        access.Init(items->table.file, reporter);
        access.DeclareKey("Urut ID", *items->byId, true);
        access.DeclareKey("Urut Nama", *items->byName);
        relations.Init(access, true);
        historyCopy.assign(items->table.declaration.recordLength, 0);
        // The reporter's messages reach the screen as message boxes the scripted user answers.
        previousHook = setMessageHook([](const MessageRequest& r) {
            const int icon = r.icon == 3 ? 2 : r.icon == 4 ? 3 : 0;
            return ui::messageBox(r.text, r.title, icon, r.buttons, r.defaultButton);
        });
        PendingRequest = 0;
        LastResponse = 0;
        PendingNavigation = 0;
    }
    void TearDown() override {
        relations.Shutdown();
        setMessageHook(std::move(previousHook));
        user.clear();
    }

    Table& t() { return items->table; }

    // Records 1..count added with the raw statements; the table is left closed.
    void seed(int count) {
        ASSERT_EQ(access.Open(kReport), Severity::Proceed);
        ASSERT_EQ(access.RequireOpen(), Severity::Proceed);
        for (int i = 1; i <= count; ++i) {
            runtime::clearRecord(t().declaration);
            t().setLong(kId, i);
            t().setText(kName, "item" + std::to_string(i));
            t().setLong(kQty, i * 10);
            ASSERT_EQ(runtime::add(t().file), 0);
        }
        access.Close();
    }

    std::uint64_t count() {
        EXPECT_EQ(access.Open(kReport), Severity::Proceed);
        EXPECT_EQ(access.RequireOpen(), Severity::Proceed);
        std::uint64_t n = 0;
        EXPECT_EQ(runtime::records(t().file, n), 0);
        access.Close();
        return n;
    }

    // The stored record `id` as "name/qty/note/code/price", "" when there is none.
    std::string stored(std::int32_t id) {
        EXPECT_EQ(access.Open(kReport), Severity::Proceed);
        EXPECT_EQ(access.RequireOpen(), Severity::Proceed);
        t().setLong(kId, id);
        std::string row;
        if (runtime::get(t().file, *items->byId) == 0)
            row = t().getText(kName) + "/" + std::to_string(t().getLong(kQty)) + "/" + t().getText(kNote) + "/" +
                  t().getText(kCode) + "/" + std::to_string(t().getLong(kPrice));
        access.Close();
        return row;
    }

    // Runs `body` as the program's main procedure (a list would be here) until every window closed.
    void run(std::function<void()> body) {
        ui::startThread([this, body] {
            reporter.NoteProcedure("BrowseItems");
            ASSERT_EQ(relations.Open(), Severity::Proceed);
            body();
            relations.Close();
            reporter.RemoveProcedure();
        });
        ASSERT_TRUE(ui::Scheduler::instance().run()) << "the windows stalled";
        EXPECT_TRUE(user.failures().empty()) << user.failures().front();
    }

    // The caller's part of a change: the record read (and watched) into the buffer.
    void readForChange(std::int32_t id) {
        ASSERT_EQ(access.RequireOpen(), Severity::Proceed);
        runtime::watch(t().file);
        t().setLong(kId, id);
        ASSERT_EQ(access.ReadByKey(*items->byId), Severity::Proceed);
    }

    // The form procedure: the request through PendingRequest, the outcome into LastResponse.
    std::uint8_t form(std::uint8_t request, std::function<void(ItemForm&)> setup = {}) {
        PendingRequest = request;
        ItemForm f(*this);
        if (setup) setup(f);
        LastResponse = f.Execute();
        lastFormOpened = f.window() != nullptr;
        return LastResponse;
    }

    std::vector<std::string> boxes() const {
        std::vector<std::string> titles;
        for (const auto& s : user.shown())
            if (s.kind == "box") titles.push_back(s.caption);
        return titles;
    }

    ScriptedUser& user = ScriptedUser::instance();
    ScratchDir dir;
    Halts halts;
    ErrorReporter reporter;
    std::unique_ptr<Items> items;
    ItemsAccess access;
    TableRelations relations;
    std::vector<std::uint8_t> historyCopy; // process-wide, like the program's HistoryCopy buffers
    MessageHook previousHook;
    bool lastFormOpened = false;
    friend class ItemForm;
};

Severity ItemForm::Init() {
    test_.reporter.NoteProcedure("UpdateItem");
    REQUEST = PendingRequest;
    const Severity base = WindowFlow::Init();
    if (base != Severity::Proceed) return base;
    FIRSTFIELD = cName;
    VCRREQUEST = &PendingNavigation;
    ERRORS = &test_.reporter;
    PendingRequest = 0;
    LastResponse = 0;
    HISTORYKEY = ui::key::Ditto;
    AddDittoRecord(test_.t().declaration, test_.historyCopy.data(),
                   static_cast<std::uint32_t>(test_.historyCopy.size()));
    AddDittoField(cName, kName);
    AddDittoField(cQty, kQty);
    AddDittoField(cNote, kNote);
    AddDittoField(cCode, kCode);
    AddDittoField(cPrice, kPrice);
    AddSavedTable(test_.access);
    AddButton(cCancel, Cancelled);
    PRIMARY = &test_.relations;
    if (test_.relations.Open() != Severity::Proceed) return Severity::Fatal;
    FILESOPENED = 1;
    if (configure) configure(*this);
    if (REQUEST == RequestView) {
        INSERTACTION = 1;
        DELETEACTION = 1;
        CHANGEACTION = 0;
        CANCELACTION = 0;
        OKCONTROL = 0;
    } else {
        OKCONTROL = withoutOk ? 0 : cOk;
        if (PrepareRequest() != Severity::Proceed) return Severity::Inform;
    }
    Table& t = test_.t();
    ui::Bindings bindings;
    bindings.variables["ITM:NAME"] = textField(t, kName);
    bindings.variables["ITM:QTY"] = longField(t, kQty);
    bindings.variables["ITM:NOTE"] = textField(t, kNote);
    bindings.variables["ITM:CODE"] = textField(t, kCode);
    bindings.variables["ITM:PRICE"] = longField(t, kPrice);
    openWindow(formDefinition(), std::move(bindings));
    ArmAlerts();
    return Severity::Proceed;
}

Severity ItemForm::Shutdown() {
    const Severity base = WindowFlow::Shutdown();
    if (base != Severity::Proceed) return base;
    if (FILESOPENED) test_.relations.Close();
    test_.reporter.RemoveProcedure();
    return Severity::Proceed;
}

// A window without a table: the list-like outer procedure of the nesting test.
class Outer : public WindowFlow {
public:
    std::function<void()> onButton;
    Severity Init() override {
        REQUEST = PendingRequest;
        const Severity base = WindowFlow::Init();
        PendingRequest = 0;
        ui::WindowDefinition w;
        w.caption = "Outer";
        w.width = 120;
        w.height = 60;
        w.controls = {{ui::ControlType::Button, "?Open", "Open", 10, 10, 45, 14}};
        openWindow(w);
        return base;
    }
    Severity OnAccepted() override {
        if (window()->control() == 1 && onButton) onButton();
        return WindowFlow::OnAccepted();
    }
};

// ---- Requests between nested procedures -------------------------------------------------------------

TEST_F(WindowFlowTest, ThreeNestedWindowsPassRequestsAndResponses) {
    seed(1);
    std::vector<std::string> seen;
    user.click(1);                // Outer: open the change form
    user.type(cName, "nested");   // in the change form
    user.click(cNested);          // the change form opens a view of the same record
    user.type(cName, "ignored");  // typed in the view
    user.click(cOk);              // the view closes without writing
    user.click(cOk);              // the change form saves and closes
    user.closeWindow();           // Outer closes
    std::uint8_t outerResult = 0;
    run([&] {
        Outer outer;
        outer.onButton = [&] {
            readForChange(1);
            const std::uint8_t changed = form(RequestChange, [&](ItemForm& f) {
                f.nested = [&](ItemForm& change) {
                    seen.push_back("change request " + std::to_string(change.REQUEST));
                    const std::string before = t().getText(kName);
                    const std::uint8_t viewed = form(RequestView, [&](ItemForm& view) {
                        view.configure = [&](ItemForm& v) {
                            seen.push_back("view request " + std::to_string(v.REQUEST) + " pending " +
                                           std::to_string(PendingRequest));
                        };
                    });
                    seen.push_back("view response " + std::to_string(viewed));
                    // The view changed nothing the change form will save.
                    t().setText(kName, before);
                };
            });
            seen.push_back("change response " + std::to_string(changed) + " last " + std::to_string(LastResponse));
        };
        PendingRequest = 0;
        outerResult = outer.Execute();
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"change request 2", "view request 6 pending 0",
                                              "view response 2", "change response 1 last 1"}));
    EXPECT_EQ(outerResult, Cancelled) << "a window that completed nothing reports Cancelled";
    EXPECT_EQ(PendingRequest, 0);
    EXPECT_EQ(stored(1), "nested/10///0");
    EXPECT_TRUE(boxes().empty());
}

// ---- Closing a change form -------------------------------------------------------------------------

TEST_F(WindowFlowTest, CancelOnAnUnchangedRecordAsksNothing) {
    seed(1);
    user.click(cCancel);
    run([&] {
        readForChange(1);
        EXPECT_EQ(form(RequestChange), Cancelled);
    });
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(stored(1), "item1/10///0");
}

TEST_F(WindowFlowTest, SaveRecordQuestionYesRunsOkWithValidation) {
    seed(1);
    ItemForm* shown = nullptr;
    user.type(cName, "renamed");
    user.custom([&] {
        // Text in the quantity that is no number, the field not yet left: only the save's
        // validation pass sees it.
        auto* edit = qobject_cast<QLineEdit*>(top()->controlWidget(cQty));
        ASSERT_NE(edit, nullptr);
        edit->setText("abc");
    });
    user.click(cCancel);
    user.answerBox(ui::button::Yes);
    user.custom([&] {
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->rejected, 1) << "the save stopped at the quantity";
        EXPECT_EQ(shown->RESPONSE, Cancelled);
        EXPECT_EQ(top()->focusControl(), cQty);
    });
    user.type(cQty, "12");
    user.click(cOk);
    run([&] {
        readForChange(1);
        EXPECT_EQ(form(RequestChange, [&](ItemForm& f) { shown = &f; }), Completed);
    });
    EXPECT_EQ(boxes(), std::vector<std::string>{"Save Record"});
    EXPECT_EQ(stored(1), "renamed/12///0");
}

TEST_F(WindowFlowTest, SaveRecordQuestionNoDiscardsAndCancelStays) {
    seed(1);
    user.type(cName, "discarded");
    user.click(cCancel);
    user.answerBox(ui::button::Cancel); // back to the form
    user.custom([&] { EXPECT_EQ(top() == nullptr, false); });
    user.click(cCancel);
    user.answerBox(ui::button::No);
    run([&] {
        readForChange(1);
        EXPECT_EQ(form(RequestChange), Cancelled);
    });
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Save Record", "Save Record"}));
    EXPECT_EQ(stored(1), "item1/10///0");
}

TEST_F(WindowFlowTest, OtherCancelActionsDiscardAskOrSaveSilently) {
    seed(1);
    // 0: discard without a question; 2: "Changes will be lost!" (No stays, Yes discards);
    // 1: save without a question.
    user.type(cName, "zero");
    user.click(cCancel);
    user.type(cName, "two");
    user.click(cCancel);
    user.answerBox(ui::button::No);
    user.click(cCancel);
    user.answerBox(ui::button::Yes);
    user.type(cName, "one");
    user.click(cCancel);
    std::vector<std::uint8_t> responses;
    run([&] {
        for (std::uint8_t action : {0, 2, 1}) {
            readForChange(1);
            responses.push_back(form(RequestChange, [action](ItemForm& f) {
                f.configure = [action](ItemForm& g) { g.CANCELACTION = action; };
            }));
        }
    });
    EXPECT_EQ(responses, (std::vector<std::uint8_t>{Cancelled, Cancelled, Completed}));
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Changes will be lost!", "Changes will be lost!"}));
    EXPECT_EQ(stored(1), "one/10///0");
}

TEST_F(WindowFlowTest, AFailedUpdateOffersToTryAgainOrToStay) {
    seed(1);
    access.refuse = true;
    user.type(cName, "refused");
    user.click(cOk);
    user.answerBox(ui::button::Yes);    // try again: refused again
    user.answerBox(ui::button::Cancel); // back to the form
    user.custom([&] { access.refuse = false; });
    user.click(cOk);
    run([&] {
        readForChange(1);
        EXPECT_EQ(form(RequestChange), Completed);
    });
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Record Update Error", "Record Update Error"}));
    EXPECT_EQ(stored(1), "refused/10///0");
}

TEST_F(WindowFlowTest, ADeleteFormDeletesOnOkWithoutAQuestion) {
    seed(2);
    user.click(cOk);
    run([&] {
        readForChange(2);
        EXPECT_EQ(form(RequestDelete, [](ItemForm& f) { f.configure = [](ItemForm& g) { g.DELETEACTION = 1; }; }),
                  Completed);
        EXPECT_TRUE(lastFormOpened);
    });
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(count(), 1u);
    EXPECT_EQ(stored(2), "");
}

TEST_F(WindowFlowTest, AWindowWithoutOkControlSavesAndCloses) {
    seed(1);
    user.type(cName, "no ok");
    user.closeWindow();
    user.answerBox(ui::button::Yes);
    run([&] {
        readForChange(1);
        EXPECT_EQ(form(RequestChange, [](ItemForm& f) { f.withoutOk = true; }), Completed);
    });
    EXPECT_EQ(stored(1), "no ok/10///0");
}

// ---- Inserting -------------------------------------------------------------------------------------

TEST_F(WindowFlowTest, CancelledInsertReleasesTheReservedNumber) {
    seed(2);
    user.click(cCancel); // unchanged: no question
    user.type(cName, "typed");
    user.click(cCancel);
    user.answerBox(ui::button::No);
    std::vector<std::uint64_t> during;
    run([&] {
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(access.PrepareNewRecord(false), Severity::Proceed); // the caller primes
            std::uint64_t n = 0;
            runtime::records(t().file, n);
            during.push_back(n);
            EXPECT_EQ(form(RequestInsert), Cancelled);
        }
    });
    EXPECT_EQ(during, (std::vector<std::uint64_t>{3, 3})) << "priming adds the numbered record";
    EXPECT_EQ(count(), 2u);
    EXPECT_EQ(stored(3), "");
}

TEST_F(WindowFlowTest, InitFailingAfterPrimingReleasesTheReservedNumber) {
    seed(2);
    run([&] {
        ASSERT_EQ(access.PrepareNewRecord(false), Severity::Proceed);
        EXPECT_EQ(form(RequestInsert, [](ItemForm& f) { f.newRecord = [](ItemForm& g) { g.RESPONSE = Cancelled; }; }),
                  Cancelled);
        EXPECT_FALSE(lastFormOpened) << "the form is not shown";
    });
    EXPECT_EQ(count(), 2u);
}

TEST_F(WindowFlowTest, InsertCompletesAndInsertAnotherReportsCompletedAfterCancel) {
    seed(1);
    user.type(cName, "first");
    user.click(cOk);
    user.type(cName, "second");
    user.click(cOk);
    user.custom([&] {
        std::uint64_t n = 0;
        runtime::records(t().file, n);
        EXPECT_EQ(n, 4u) << "two inserted, one more reserved for the next";
    });
    user.click(cCancel);
    run([&] {
        ASSERT_EQ(access.PrepareNewRecord(false), Severity::Proceed);
        EXPECT_EQ(form(RequestInsert, [](ItemForm& f) { f.configure = [](ItemForm& g) { g.INSERTACTION = 3; }; }),
                  Completed);
    });
    EXPECT_TRUE(boxes().empty());
    EXPECT_TRUE(access.BUFFERS.empty()) << "every saved copy was released";
    EXPECT_EQ(count(), 3u);
    EXPECT_EQ(stored(2), "first/0///0");
    EXPECT_EQ(stored(3), "second/0///0");
}

TEST_F(WindowFlowTest, InsertAnotherStartsFromTheRecordAsTheRequestBegan) {
    seed(0);
    // Without the primary among the saved tables, its own saved copy brings the primed record back.
    user.type(cName, "first");
    user.type(cQty, "5");
    user.click(cOk);
    user.custom([&] { EXPECT_EQ(t().getText(kName), "") << "the next record starts afresh"; });
    user.type(cName, "second");
    user.click(cOk);
    user.click(cCancel);
    run([&] {
        ASSERT_EQ(access.PrepareNewRecord(false), Severity::Proceed);
        EXPECT_EQ(form(RequestInsert, [](ItemForm& f) {
                      f.configure = [](ItemForm& g) {
                          g.FILES.reset();
                          g.INSERTACTION = 3;
                      };
                  }),
                  Completed);
    });
    EXPECT_EQ(stored(1), "first/5///0");
    EXPECT_EQ(stored(2), "second/0///0");
    EXPECT_TRUE(access.BUFFERS.empty());
}

TEST_F(WindowFlowTest, AnInsertedRecordIsNeverOfferedForSavingAgain) {
    seed(1);
    // INSERTACTION 1: the window stays open after the insert. Closing it then must neither ask to
    // save nor insert the record a second time.
    user.type(cName, "once");
    user.click(cOk);
    user.click(cCancel);
    run([&] {
        ASSERT_EQ(access.PrepareNewRecord(false), Severity::Proceed);
        EXPECT_EQ(form(RequestInsert, [](ItemForm& f) { f.configure = [](ItemForm& g) { g.INSERTACTION = 1; }; }),
                  Completed);
    });
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(count(), 2u);
    EXPECT_EQ(stored(2), "once/0///0");
}

TEST_F(WindowFlowTest, RecordAddedQuestionChoosesAnotherOrClose) {
    seed(0);
    user.type(cName, "a");
    user.click(cOk);
    user.answerBox(ui::button::Yes); // another
    user.type(cName, "b");
    user.click(cOk);
    user.answerBox(ui::button::No); // close
    run([&] {
        ASSERT_EQ(access.PrepareNewRecord(false), Severity::Proceed);
        EXPECT_EQ(form(RequestInsert, [](ItemForm& f) { f.configure = [](ItemForm& g) { g.INSERTACTION = 4; }; }),
                  Completed);
    });
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Record Added", "Record Added"}));
    EXPECT_TRUE(access.BUFFERS.empty()) << "every saved copy was released";
    EXPECT_EQ(count(), 2u);
}

// ---- Ditto -----------------------------------------------------------------------------------------

TEST_F(WindowFlowTest, DittoRecallsFiveFieldsFromTheRecordSavedInAnEarlierWindow) {
    seed(0);
    user.type(cName, "widget");
    user.type(cQty, "7");
    user.type(cNote, "blue");
    user.type(cCode, "W-1");
    user.type(cPrice, "1250");
#ifdef DOCKET_SCREENSHOT_DIR
    user.custom([] {
        std::filesystem::create_directories(DOCKET_SCREENSHOT_DIR);
        top()->widget()->grab().save(DOCKET_SCREENSHOT_DIR "/window-flow-form.png");
    });
#endif
    user.click(cOk);
    // The second window: ditto on every field, then a changed note.
    for (int control : {cName, cQty, cNote, cCode, cPrice}) user.pressKey(control, ui::key::Ditto);
    user.click(cOk);
    run([&] {
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(access.PrepareNewRecord(false), Severity::Proceed);
            EXPECT_EQ(form(RequestInsert), Completed);
        }
    });
    EXPECT_EQ(stored(1), "widget/7/blue/W-1/1250");
    EXPECT_EQ(stored(2), "widget/7/blue/W-1/1250");
}

TEST_F(WindowFlowTest, DittoOnAFieldWithoutEntryOrBeforeAnySaveChangesNothing) {
    seed(1);
    user.type(cName, "kept");
    user.pressKey(cName, ui::key::Ditto); // nothing saved in any window yet: the copy is blank
    user.click(cOk);
    run([&] {
        readForChange(1);
        EXPECT_EQ(form(RequestChange, [](ItemForm& f) {
                      f.configure = [](ItemForm& g) { g.HISTORY->erase(g.HISTORY->begin()); };
                  }),
                  Completed);
    });
    EXPECT_EQ(stored(1), "kept/10///0");
}

// ---- Delete and view -------------------------------------------------------------------------------

TEST_F(WindowFlowTest, DeleteRequestNeverShowsTheForm) {
    seed(2);
    user.answerBox(ui::button::No);
    user.answerBox(ui::button::Yes);
    std::vector<std::uint8_t> responses;
    std::vector<bool> opened;
    run([&] {
        for (int i = 0; i < 2; ++i) {
            readForChange(1);
            responses.push_back(form(RequestDelete));
            opened.push_back(lastFormOpened);
        }
    });
    EXPECT_EQ(responses, (std::vector<std::uint8_t>{Cancelled, Completed}));
    EXPECT_EQ(opened, (std::vector<bool>{false, false}));
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Confirm Delete", "Confirm Delete"}));
    EXPECT_EQ(count(), 1u);
    EXPECT_EQ(stored(1), "");
}

TEST_F(WindowFlowTest, ViewModeWritesNothing) {
    seed(1);
    user.type(cName, "viewed");
    user.click(cOk);
    user.type(cName, "viewed again");
    user.click(cCancel);
    std::vector<std::uint8_t> responses;
    run([&] {
        for (int i = 0; i < 2; ++i) {
            readForChange(1);
            responses.push_back(form(RequestView));
        }
    });
    EXPECT_EQ(responses, (std::vector<std::uint8_t>{Cancelled, Cancelled}));
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(stored(1), "item1/10///0");
}

// ---- Another station ---------------------------------------------------------------------------------

TEST_F(WindowFlowTest, AChangeMadeByAnotherProcessIsShownAndDittoRecallsTheOwn) {
    seed(1);
    // The other station is forked before this process opens the file.
    const std::string path = dir.file("items.qvn");
    Station other([&](Station& self) {
        if (!self.awaitParent()) return 1;
        Items mine(path);
        if (runtime::open(mine.table.file, 0x42)) return 2;
        mine.table.setLong(kId, 1);
        if (runtime::get(mine.table.file, *mine.byId)) return 3;
        mine.table.setText(kName, "theirs");
        if (runtime::put(mine.table.file)) return 4;
        runtime::close(mine.table.file);
        self.tellParent();
        return 0;
    });
    user.type(cName, "mine");
    user.custom([&] {
        other.tellChild();
        EXPECT_TRUE(other.awaitChild());
    });
    user.click(cOk);
    user.answerBox(ui::button::Ok); // "Record Was Not Updated"
    user.custom([&] { EXPECT_EQ(t().getText(kName), "theirs") << "the form shows the other version"; });
    user.pressKey(cName, ui::key::Ditto);
    user.click(cOk);
    run([&] {
        readForChange(1);
        EXPECT_EQ(form(RequestChange), Completed);
    });
    EXPECT_EQ(other.finish(), 0);
    ASSERT_EQ(boxes(), std::vector<std::string>{"Record Was Not Updated"});
    EXPECT_NE(user.shown()[0].text.find("changed by another station"), std::string::npos);
    EXPECT_EQ(stored(1), "mine/10///0");
}

// ---- Components, refresh, tool bar -------------------------------------------------------------------

TEST_F(WindowFlowTest, ComponentsSeeEventsAndRefreshOnFocusAndSize) {
    seed(1);
    Recorder recorder, leaving;
    StubToolbar toolbar;
    user.custom([&] {
        recorder.calls.clear();
        ui::Window* w = top();
        w->post(ui::event::Sized);   // the first size event only marks
        w->post(ui::event::LoseFocus);
        w->post(ui::event::GainFocus); // focus had been lost: forced
        w->post(ui::event::GainFocus); // not lost in between
        w->post(ui::event::Sized);     // later size events refresh
    });
    user.custom([&] { recorder.wantRefresh = true; });
    user.type(cNote, "x"); // after this event the recorder asks for a refresh
    user.click(cCancel);
    user.answerBox(ui::button::No);
    run([&] {
        readForChange(1);
        form(RequestChange, [&](ItemForm& f) {
            f.configure = [&](ItemForm& g) {
                g.AddComponent(recorder);
                g.AddComponent(leaving);
                // A component that leaves the window while it handles an event.
                leaving.onEvent = [&g, &leaving] {
                    g.RemoveComponent(leaving);
                    return Severity::Proceed;
                };
                g.RESETONGAINFOCUS = 1;
                g.SetToolbar(toolbar);
                g.VCRREQUEST = nullptr; // finishing must not write through it
            };
        });
    });
    const std::vector<std::string> resets = [&] {
        std::vector<std::string> r;
        for (const auto& c : recorder.calls)
            if (c.rfind("Reset", 0) == 0) r.push_back(c);
        return r;
    }();
    ASSERT_GE(resets.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(resets.begin(), resets.begin() + 3),
              (std::vector<std::string>{"Reset1", "Reset0", "Reset0"}));
    EXPECT_EQ(recorder.count("Shutdown"), 1);
    EXPECT_EQ(leaving.count("Shutdown"), 0) << "it left the window before the end";
    EXPECT_EQ(toolbar.shutdowns, 1);
}

TEST_F(WindowFlowTest, FinishClearsThePendingNavigationOnlyWhenCancelled) {
    seed(1);
    StubToolbar toolbar;
    user.click(cCancel);
    run([&] {
        readForChange(1);
        PendingNavigation = 3009;
        form(RequestChange, [&](ItemForm& f) { f.configure = [&](ItemForm& g) { g.SetToolbar(toolbar); }; });
    });
    EXPECT_EQ(PendingNavigation, 0);
}

TEST_F(WindowFlowTest, ASelectWindowSwitchesItsBrowserAndForgetsTheRightClickThatOpenedIt) {
    struct Browser : BrowseMember {
        Recorder component;
        bool selecting = false;
        WindowMember& WindowComponent() override { return component; }
        void StartSelecting() override { selecting = true; }
    } select, change;
    run([&] {
        ui::Window opener(formDefinition());
        opener.setKeyCode(ui::key::MouseRight); // the popup menu's right click
        WindowFlow flow;
        flow.REQUEST = RequestSelect;
        ASSERT_EQ(flow.Init(), Severity::Proceed);
        EXPECT_EQ(opener.keyCode(), 0);
        flow.AddBrowse(select);
        ASSERT_EQ(flow.CL->size(), 1u);
        EXPECT_EQ(flow.CL->front(), &select.component);
        EXPECT_EQ(flow.Shutdown(), Severity::Proceed);

        WindowFlow other;
        other.REQUEST = RequestChange;
        ASSERT_EQ(other.Init(), Severity::Proceed);
        other.AddBrowse(change);
        other.Shutdown();
    });
    EXPECT_TRUE(select.selecting);
    EXPECT_FALSE(change.selecting);
    EXPECT_EQ(select.component.count("Shutdown"), 1);
}

TEST_F(WindowFlowTest, ShutdownRunsOnceAndRefusesANeverInitialisedFlow) {
    WindowFlow never;
    EXPECT_EQ(never.Shutdown(), Severity::Inform);
    Recorder recorder;
    WindowFlow flow;
    ASSERT_EQ(flow.Init(), Severity::Proceed);
    flow.AddComponent(recorder);
    EXPECT_EQ(flow.Shutdown(), Severity::Proceed);
    EXPECT_EQ(flow.Shutdown(), Severity::Inform);
    EXPECT_EQ(recorder.count("Shutdown"), 1);
    EXPECT_EQ(flow.DEAD, 1);
}

} // namespace
} // namespace docket::classes
