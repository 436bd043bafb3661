// The navigation tool bar on a real window run by the scripted user: which buttons each form mode
// and the list mode enable and what their tips say, a form's buttons saving and leaving the move
// in PendingNavigation, a list's buttons scrolling the list, and the events that find nobody to
// act on them.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "classes/window/navigation_toolbar.h"
#include "classes/window/requests.h"
#include "classes/window/window_flow.h"
#include "ui/events.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"
#include "ui/window.h"

namespace docket::classes {
namespace {

using ui::ScriptedUser;
namespace tb = toolbar_button;

// The test window's controls.
constexpr int cInsert = 1, cChange = 2, cDelete = 3, cList = 4, cOk = 5, cHelp = 6, cList2 = 7;

// A window with a list and its buttons, or a form; no table. Completing a form only records it.
class ToolbarWindow : public WindowFlow {
public:
    explicit ToolbarWindow(std::uint8_t request) : toolbar(this) { REQUEST = request; }

    Severity Init() override {
        const Severity base = WindowFlow::Init();
        VCRREQUEST = &PendingNavigation;
        SetToolbar(toolbar);
        ui::WindowDefinition w;
        w.caption = "Tool bar";
        w.width = 200;
        w.height = 120;
        using T = ui::ControlType;
        w.controls = {
            {T::Button, "?Insert", "&Insert", 10, 90, 40, 14},
            {T::Button, "?Change", "&Change", 55, 90, 40, 14},
            {T::Button, "?Delete", "&Delete", 100, 90, 40, 14, {}, {}, {}, {}, 0, deleteAttributes},
            {T::List, "?List", "", 10, 10, 180, 70, {}, {}, "80L|M~Name~", {}, 0, 0},
            {T::Button, "?OK", "OK", 145, 90, 45, 14},
            {T::Button, "?Help", "Help", 145, 70, 45, 14},
            {T::List, "?List2", "", 10, 10, 80, 30, {}, {}, "80L|M~Name~", {}, 0, ui::attr::Hidden},
        };
        openWindow(w);
        if (REQUEST != RequestView) OKCONTROL = cOk;
        if (configure) configure(*this);
        return base;
    }

    Severity OnAccepted() override {
        accepted.push_back(window()->control());
        return WindowFlow::OnAccepted();
    }

    Severity OnCompleted() override {
        ++completed;
        Finish(Completed);
        return Severity::Proceed;
    }

    NavigationToolbar toolbar;
    std::function<void(ToolbarWindow&)> configure;
    std::uint32_t deleteAttributes = 0;
    std::vector<int> accepted;
    int completed = 0;
};

class NavigationToolbarTest : public ::testing::Test {
protected:
    void SetUp() override {
        user.clear();
        user.attach();
        PendingNavigation = 0;
    }
    void TearDown() override { user.clear(); }

    void run(ToolbarWindow& w) {
        ui::startThread([&w] { w.Execute(); });
        ASSERT_TRUE(ui::Scheduler::instance().run()) << "the window stalled";
        EXPECT_TRUE(user.failures().empty()) << user.failures().front();
    }

    // The buttons 3000-3013 the tool bar shows enabled.
    static std::vector<int> enabledButtons(const NavigationToolbar& t) {
        std::vector<int> on;
        for (int b = tb::First; b <= tb::Help; ++b)
            if (t.enabled(b)) on.push_back(b);
        return on;
    }
    static std::map<int, std::string> tips(const NavigationToolbar& t) {
        std::map<int, std::string> all;
        for (int b = tb::First; b <= tb::Last; ++b)
            if (!t.toolTip(b).empty()) all[b] = t.toolTip(b);
        return all;
    }

    // Runs a form in `request` mode and returns what the tool bar showed once it was open.
    void formState(std::uint8_t request, bool ditto, std::vector<int>& on,
                   std::map<int, std::string>& shown) {
        ToolbarWindow w(request);
        FormNavTarget target;
        w.configure = [&](ToolbarWindow& f) {
            f.HISTORYKEY = ditto ? 734 : 0;
            target.HELPBUTTON = cHelp;
            f.ORIGINALREQUEST = request;
            f.AddNavigationTarget(target);
        };
        user.custom([&] {
            on = enabledButtons(w.toolbar);
            shown = tips(w.toolbar);
        });
        user.closeWindow();
        run(w);
    }

    ScriptedUser& user = ScriptedUser::instance();
};

TEST_F(NavigationToolbarTest, FormButtonsAndTipsFollowTheRequest) {
    std::vector<int> on;
    std::map<int, std::string> shown;

    formState(RequestInsert, true, on, shown);
    EXPECT_EQ(on, (std::vector<int>{tb::Insert, tb::Down, tb::History, tb::Help}));
    EXPECT_EQ(shown, (std::map<int, std::string>{{tb::Insert, "Save record and add another"},
                                                 {tb::Down, "Save record and add another"}}));

    formState(RequestChange, false, on, shown);
    EXPECT_EQ(on, (std::vector<int>{tb::Insert, tb::Bottom, tb::Top, tb::PageDown, tb::PageUp, tb::Down,
                                    tb::Up, tb::Help}));
    EXPECT_EQ(shown, (std::map<int, std::string>{{tb::Insert, "Save this record and add a new one"},
                                                 {tb::Bottom, "Save changes and go to last record"},
                                                 {tb::Top, "Save changes and go to first record"},
                                                 {tb::PageDown, "Save changes and page down to record"},
                                                 {tb::PageUp, "Save changes and page up to record"},
                                                 {tb::Down, "Save changes and go to next record"},
                                                 {tb::Up, "Save changes and go to previous record"}}));

    formState(RequestView, true, on, shown);
    EXPECT_TRUE(on.empty());
    EXPECT_TRUE(shown.empty());
}

TEST_F(NavigationToolbarTest, ListButtonsFollowTheWindowsOwnButtons) {
    ToolbarWindow w(0);
    w.deleteAttributes = ui::attr::Disabled; // the list's window offers no delete
    ListNavTarget target;
    std::vector<int> on;
    std::map<int, std::string> shown;
    w.configure = [&](ToolbarWindow& f) {
        target.INSERTBUTTON = cInsert;
        target.CHANGEBUTTON = cChange;
        target.DELETEBUTTON = cDelete;
        f.toolbar.RegisterTarget(target, cList);
        f.toolbar.SetCurrentTarget(cList);
    };
    user.custom([&] {
        on = enabledButtons(w.toolbar);
        shown = tips(w.toolbar);
    });
    user.closeWindow();
    run(w);
    EXPECT_EQ(on, (std::vector<int>{tb::Insert, tb::Change, tb::Bottom, tb::Top, tb::PageDown, tb::PageUp,
                                    tb::Down, tb::Up}));
    EXPECT_EQ(shown, (std::map<int, std::string>{{tb::Insert, "Insert a new Record"},
                                                 {tb::Bottom, "Go to the Last Page"},
                                                 {tb::Top, "Go to the First Page"},
                                                 {tb::PageDown, "Go to the Next Page"},
                                                 {tb::PageUp, "Go to the Prior Page"},
                                                 {tb::Down, "Go to the Next Record"},
                                                 {tb::Up, "Go to the Prior Record"}}));
}

TEST_F(NavigationToolbarTest, ListButtonsPostScrollEventsToTheList) {
    ToolbarWindow w(0);
    ListNavTarget target;
    std::vector<std::uint32_t> scrolls;
    w.configure = [&](ToolbarWindow& f) {
        target.INSERTBUTTON = cInsert;
        f.toolbar.RegisterTarget(target, cList);
        f.toolbar.SetCurrentTarget(cList);
        f.window()->addHandler(0, cList, [&f, &scrolls] {
            if (f.window()->event() != ui::event::Accepted) scrolls.push_back(f.window()->event());
            return ui::Action::Default;
        });
    };
    const int presses[] = {tb::Bottom, tb::Top, tb::PageDown, tb::PageUp,
                           tb::Down,   tb::Up,  tb::Locate,   tb::Insert};
    for (int b : presses) user.custom([&w, b] { w.window()->post(ui::event::Accepted, b); });
    user.closeWindow();
    run(w);
    EXPECT_EQ(scrolls,
              (std::vector<std::uint32_t>{ui::event::ScrollBottom, ui::event::ScrollTop, ui::event::PageDown,
                                          ui::event::PageUp, ui::event::ScrollDown, ui::event::ScrollUp,
                                          ui::event::Locate}));
    // The insert button pressed the window's own Insert button.
    EXPECT_EQ(std::count(w.accepted.begin(), w.accepted.end(), cInsert), 1);
    EXPECT_EQ(PendingNavigation, 0);
}

TEST_F(NavigationToolbarTest, FormNavigationSavesAndLeavesTheMoveInPendingNavigation) {
    ToolbarWindow w(RequestChange);
    FormNavTarget target;
    w.configure = [&](ToolbarWindow& f) {
        f.ORIGINALREQUEST = RequestChange;
        f.AddNavigationTarget(target);
    };
    user.custom([&w] { w.window()->post(ui::event::Accepted, tb::PageDown); });
    run(w);
    EXPECT_EQ(PendingNavigation, tb::PageDown);
    EXPECT_EQ(w.completed, 1); // the record was saved through the window's OK
    EXPECT_EQ(w.RESPONSE, Completed);
}

TEST_F(NavigationToolbarTest, EventsWithNobodyToActDoNothing) {
    // No target at all, then a list target whose window has no insert button.
    ToolbarWindow bare(RequestChange);
    user.custom([&bare] { bare.window()->post(ui::event::Accepted, tb::Down); });
    user.closeWindow();
    run(bare);
    EXPECT_EQ(PendingNavigation, 0);
    EXPECT_EQ(bare.completed, 0);

    ToolbarWindow list(0);
    ListNavTarget target; // INSERTBUTTON stays 0
    list.configure = [&](ToolbarWindow& f) {
        f.toolbar.RegisterTarget(target, cList);
        f.toolbar.SetCurrentTarget(cList);
    };
    user.custom([&list] { list.window()->post(ui::event::Accepted, tb::Insert); });
    user.closeWindow();
    run(list);
    EXPECT_EQ(list.accepted, std::vector<int>{tb::Insert}); // nothing pressed on its behalf
}

TEST_F(NavigationToolbarTest, OfferingTheToolbarKeepsTheLastTargetWhoseListShows) {
    ToolbarWindow w(0);
    ListNavTarget shown, hidden;
    NavigationTarget* current = nullptr;
    w.configure = [&](ToolbarWindow& f) {
        f.toolbar.RegisterTarget(hidden, cList2); // registered first, filed after cList
        f.toolbar.RegisterTarget(shown, cList);
        f.toolbar.SetCurrentTarget(0);
        current = f.toolbar.current();
    };
    user.closeWindow();
    run(w);
    EXPECT_EQ(current, &shown);
    ASSERT_TRUE(w.toolbar.LIST == nullptr); // disposed of by the window's shut-down
}

} // namespace
} // namespace docket::classes
