// What the window system gives the application classes beyond the basic loop: handlers that change
// the handler list while an event is dispatched, EVENT:Selected for the user's focus moves, the
// accept-all pass bringing the failing control into view, tabs' Visible, the busy cursor, the beep,
// the icon numbers of boxes and the fatal box without a way to carry on.
#include "runtime/core/fatal.h"
#include "ui/control.h"
#include "ui/events.h"
#include "ui/modal.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"
#include "ui/window.h"

#include <QApplication>
#include <QCursor>
#include <QLineEdit>
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// 1-3 entries (3 takes numbers), 4 sheet, 5 and 6 tabs, 7 entry on the first tab, 8 numeric entry
// on the second tab, 9 button.
WindowDefinition form() {
    WindowDefinition w;
    w.caption = "Form";
    w.width = 220;
    w.height = 150;
    w.controls = {
        {ControlType::Entry, "?A", "", 4, 4, 60, 12, "A"},
        {ControlType::Entry, "?B", "", 70, 4, 60, 12, "B"},
        {ControlType::Entry, "?C", "", 136, 4, 60, 12, "C", "@n5"},
        {ControlType::Sheet, "?S", "", 4, 22, 200, 80},
        {ControlType::Tab, "?T1", "One", 0, 0, 0, 0, "", "", "", "", 4},
        {ControlType::Tab, "?T2", "Two", 0, 0, 0, 0, "", "", "", "", 4},
        {ControlType::Entry, "?D", "", 10, 44, 60, 12, "D", "", "", "", 5},
        {ControlType::Entry, "?E", "", 10, 44, 60, 12, "E", "@n5", "", "", 6},
        {ControlType::Button, "?OK", "OK", 160, 120, 45, 14},
    };
    return w;
}

struct Values {
    std::string a = "a", b = "b", d = "d";
    long c = 1, e = 2;
    Bindings bindings() {
        Bindings all;
        all.variables["A"] = useText(a);
        all.variables["B"] = useText(b);
        all.variables["C"] = useNumber(c);
        all.variables["D"] = useText(d);
        all.variables["E"] = useNumber(e);
        return all;
    }
};

using Seen = std::vector<std::pair<std::uint32_t, int>>;

} // namespace

TEST(Handlers, MayAddAndRemoveHandlersWhileAnEventIsDispatched) {
    Harness h;
    int first = 0, second = 0, removed = 0, added = 0, many = 0;
    startThread([&] {
        Window window(form());
        int third = 0;
        int self = 0;
        self = window.addHandler(0x500, 0, [&] {
            ++first;
            window.removeHandler(self);  // itself, while it runs
            window.removeHandler(third); // one whose turn for this event is still to come
            window.addHandler(0x500, 0, [&] {
                ++added;
                return Action::Default;
            });
            // Enough new handlers that the list must move in memory while this one runs.
            for (int i = 0; i < 200; ++i) window.addHandler(0x501, 0, [&] {
                    ++many;
                    return Action::Default;
                });
            return Action::Default;
        });
        window.addHandler(0x500, 0, [&] {
            ++second;
            return Action::Default;
        });
        third = window.addHandler(0x500, 0, [&] {
            ++removed;
            return Action::Default;
        });
        window.post(0x500);
        window.post(0x500);
        window.post(0x501);
        while (window.takeEvent()) {
            if (window.event() == 0x501) window.close();
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(removed, 0);
    EXPECT_EQ(added, 1); // from the second event on
    EXPECT_EQ(many, 200);
}

TEST(Focus, TheUsersMoveToAnotherControlSelectsIt) {
    Harness h;
    Seen selected;
    startThread([&] {
        Window window(form());
        h.user.custom([&] { window.controlWidget(3)->setFocus(Qt::MouseFocusReason); });
        h.user.custom([&] { window.controlWidget(3)->setFocus(Qt::MouseFocusReason); }); // no move
        h.user.custom([&] { window.select(2); }); // the program's select: one event, not two
        h.user.custom([&] { window.controlWidget(1)->setFocus(Qt::TabFocusReason); });
        h.user.closeWindow();
        while (window.takeEvent()) {
            if (window.event() == event::Selected) selected.push_back({window.event(), window.control()});
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    // The entry the window opened with was not moved to: no event for it until the user comes back.
    EXPECT_EQ(selected, (Seen{{event::Selected, 3}, {event::Selected, 2}, {event::Selected, 1}}));
}

TEST(AcceptAll, TheFirstFailingControlIsSelectedWithItsTabBroughtForward) {
    Harness h;
    Values v;
    Seen seen;
    long choice = 0, firstTabVisible = -1, secondTabVisible = -1, failingVisible = -1;
    int focus = 0;
    startThread([&] {
        Window window(form(), v.bindings());
        EXPECT_EQ(window.getInt(5, "Visible"), 1);
        EXPECT_EQ(window.getInt(6, "Visible"), 0);
        EXPECT_EQ(window.getInt(8, "Visible"), 0);
        // Text the picture cannot read waits on the tab the user does not see.
        static_cast<QLineEdit*>(window.controlWidget(8))->setText("x1");
        window.acceptAll();
        while (window.takeEvent()) {
            std::uint32_t e = window.event();
            if (e == event::OpenWindow || e == event::GainFocus || e == event::LoseFocus) continue;
            seen.push_back({e, window.control()});
            if (e == event::Rejected) {
                choice = window.getInt(4, "Choice");
                firstTabVisible = window.getInt(5, "Visible");
                secondTabVisible = window.getInt(6, "Visible");
                failingVisible = window.getInt(8, "Visible");
                focus = window.focusControl();
                window.close();
            }
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    Seen expected = {{event::Accepted, 1}, {event::Accepted, 2}, {event::Accepted, 3}, {event::Accepted, 7},
                     {event::Rejected, 8}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(choice, 2);
    EXPECT_EQ(firstTabVisible, 0);
    EXPECT_EQ(secondTabVisible, 1);
    EXPECT_EQ(failingVisible, 1);
    EXPECT_EQ(focus, 8);
    EXPECT_EQ(v.e, 2); // the variable keeps its value
}

TEST(AcceptAll, SelectingAControlOnAnotherTabTellsTheSheet) {
    Harness h;
    Seen seen;
    startThread([&] {
        Window window(form());
        window.select(8);
        window.post(0x500);
        while (window.takeEvent()) {
            std::uint32_t e = window.event();
            if (e == 0x500) window.close();
            if (e == event::Selected || e == event::TabChanging || e == event::NewSelection)
                seen.push_back({e, window.control()});
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_EQ(seen, (Seen{{event::TabChanging, 4}, {event::NewSelection, 4}, {event::Selected, 8}}));
}

TEST(Tabs, VisibleOnlyWhileTheirPageShows) {
    Harness h;
    startThread([&] {
        Window window(form());
        EXPECT_EQ(window.getInt(5, "Visible"), 1);
        EXPECT_EQ(window.getInt(6, "Visible"), 0);
        EXPECT_TRUE(window.setInt(4, "Choice", 2));
        EXPECT_EQ(window.getInt(5, "Visible"), 0);
        EXPECT_EQ(window.getInt(6, "Visible"), 1);
        EXPECT_EQ(window.getInt(7, "Visible"), 0);
        EXPECT_EQ(window.getInt(8, "Visible"), 1);
        EXPECT_TRUE(window.setInt(4, "Visible", 0)); // the sheet hidden hides its tabs
        EXPECT_EQ(window.getInt(6, "Visible"), 0);
        EXPECT_EQ(window.getInt(8, "Visible"), 0);
        EXPECT_TRUE(window.setInt(4, "Visible", 1));
        EXPECT_TRUE(window.setInt(6, "Visible", 0)); // a hidden tab, even when it was the chosen one
        EXPECT_EQ(window.getInt(6, "Visible"), 0);
        EXPECT_EQ(window.getInt(8, "Visible"), 0);
        EXPECT_TRUE(window.set(6, "Text", "Second"));
        EXPECT_EQ(window.get(6, "Text"), "Second");
    });
    ASSERT_TRUE(Scheduler::instance().run());
}

TEST(Feedback, BusyCursorNestsAndTheBeepIsHeard) {
    Harness h;
    EXPECT_FALSE(busyCursorShown());
    showBusyCursor();
    {
        BusyCursor inner;
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_TRUE(busyCursorShown());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    restoreCursor();
    EXPECT_FALSE(busyCursorShown());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    restoreCursor(); // one too many does nothing
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    beep();
    ASSERT_EQ(h.user.shown().size(), 1u);
    EXPECT_EQ(h.user.shown()[0].kind, "beep");
}

TEST(Boxes, IconNumbersAreRecordedAndTheFatalBoxOnlyAborts) {
    Harness h;
    int stops = 0;
    setStopHandler([&] { ++stops; });
    installFatalHook();
    h.user.answerBox(button::Yes);
    h.user.answerBox(button::Abort);
    startThread([&] {
        messageBox("Are you sure?", "Question", icon::Question, button::Yes | button::No, button::Yes);
        docket::runtime::fatal("The file is damaged.");
    });
    ASSERT_TRUE(Scheduler::instance().run());
    docket::runtime::setFatalHook(nullptr);
    setStopHandler(nullptr);
    EXPECT_TRUE(h.user.failures().empty());
    ASSERT_EQ(h.user.shown().size(), 2u);
    EXPECT_EQ(h.user.shown()[0].icon, icon::Question);
    EXPECT_EQ(h.user.shown()[1].buttons, button::Abort);
    EXPECT_EQ(h.user.shown()[1].icon, icon::Hand);
    EXPECT_EQ(stops, 1);
}
