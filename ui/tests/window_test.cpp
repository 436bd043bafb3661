#include "runtime/core/thread_hook.h"
#include "ui/events.h"
#include "ui/modal.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"
#include "ui/window.h"

#include <QWidget>
#include <gtest/gtest.h>

#include <vector>

using namespace docket::ui;

namespace {

WindowDefinition form() {
    WindowDefinition w;
    w.caption = "Form";
    w.width = 200;
    w.height = 120;
    w.controls = {
        {ControlType::Prompt, "?P", "&Number:", 4, 4, 40, 10},
        {ControlType::Entry, "?N", "", 48, 4, 60, 12, "N", "@n-7"},
        {ControlType::Entry, "?S", "", 48, 20, 100, 12, "S", "@s10"},
        {ControlType::Button, "?OK", "OK", 100, 90, 45, 14},
        {ControlType::List, "?L", "", 4, 36, 190, 50, "Q", "", "40R(2)|M~No~@n5@#1#80L(2)~Name~#2#", "", 0,
         attr::Immediate},
    };
    return w;
}

struct Harness {
    Harness() {
        ScriptedUser::instance().clear();
        ScriptedUser::instance().attach();
    }
    ~Harness() { ScriptedUser::instance().clear(); }
    ScriptedUser& user = ScriptedUser::instance();
};

} // namespace

TEST(ProgramThreads, PostWithinAndAcrossThreadsAndThreadNumbers) {
    Harness h;
    std::vector<std::uint32_t> seen;
    int second = 0;
    int numberInFirst = 0, numberInSecond = 0, first = 0;
    startThread([&] {
        numberInFirst = docket::runtime::currentThreadNumber();
        first = currentThread();
        Window window(form());
        EXPECT_FALSE(post(0x500, 0, 99)); // a thread that does not exist has no window
        EXPECT_TRUE(post(event::Accepted, 4));
        second = startThread([&] {
            numberInSecond = docket::runtime::currentThreadNumber();
            Window other(form());
            post(0x5F7, 0, first); // tell the first thread this window is ready
            while (other.takeEvent()) {
                if (other.event() == 0x600) {
                    post(0x601, 0, first);
                    other.close();
                }
            }
        });
        while (window.takeEvent()) {
            seen.push_back(window.event());
            if (window.event() == event::Accepted) {
                EXPECT_EQ(window.control(), 4);
            }
            if (window.event() == 0x5F7) {
                EXPECT_TRUE(post(0x600, 0, second));
            }
            if (window.event() == 0x601) window.close();
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_NE(numberInFirst, 0);
    EXPECT_EQ(numberInSecond, second);
    EXPECT_NE(second, first);
    EXPECT_EQ(numberInFirst, first);
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(seen[0], event::OpenWindow);
    EXPECT_EQ(seen[1], event::Accepted);
    EXPECT_EQ(seen.back(), 0x601u);
}

TEST(ProcedureLoop, NestedWindowsDisableTheOneBelowAndCloseDefaults) {
    Harness h;
    bool belowDisabled = false, belowEnabledAgain = false, skipped = false;
    startThread([&] {
        Window outer(form());
        h.user.click(4);
        while (outer.takeEvent()) {
            if (outer.event() == event::Accepted && outer.control() == 4) {
                Window inner(form());
                belowDisabled = !outer.widget()->isEnabled();
                h.user.closeWindow(); // the first close request is refused by skipping the default
                h.user.closeWindow();
                int closes = 0;
                while (inner.takeEvent()) {
                    if (inner.event() == event::CloseWindow && ++closes == 1) {
                        inner.setAction(Action::Skip);
                        skipped = true;
                    }
                }
                EXPECT_EQ(closes, 2);
                belowEnabledAgain = outer.widget()->isEnabled();
                outer.post(event::CloseWindow);
            }
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_TRUE(belowDisabled);
    EXPECT_TRUE(skipped);
    EXPECT_TRUE(belowEnabledAgain);
    EXPECT_TRUE(h.user.failures().empty());
}

TEST(ProcedureLoop, EntriesAlertKeysAndAcceptAll) {
    Harness h;
    long n = 5;
    std::string s = "abc";
    std::vector<std::pair<std::uint32_t, int>> seen;
    int alertKey = 0, rejections = 0;
    startThread([&] {
        Bindings b;
        b.variables["N"] = useNumber(n);
        b.variables["S"] = useText(s);
        Window window(form(), std::move(b));
        EXPECT_EQ(window.get(2, "Text"), "5");
        window.alert(2, 734, 255);
        h.user.type(2, "42");
        h.user.type(2, "x1"); // the picture cannot take it
        h.user.pressKey(2, 734);
        h.user.custom([&] { window.post(0x500); });
        while (window.takeEvent()) {
            if (window.event() != event::OpenWindow && window.event() != event::Selected &&
                window.event() != event::GainFocus && window.event() != event::LoseFocus)
                seen.push_back({window.event(), window.control()});
            if (window.event() == event::AlertKey) alertKey = window.keyCode();
            if (window.event() == 0x500) window.acceptAll();
            if (window.event() == event::Completed) window.close();
            if (window.event() == event::Rejected) {
                EXPECT_EQ(window.getInt(0, "AcceptAll"), 0);
                if (++rejections == 2) window.close();
            }
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_EQ(n, 42);
    EXPECT_EQ(alertKey, 734);
    std::vector<std::pair<std::uint32_t, int>> expected = {
        {event::Accepted, 2}, {event::Rejected, 2}, {event::PreAlert, 2}, {event::AlertKey, 2},
        {0x500, 0},           {event::Rejected, 2}, // the pass stops at the entry still holding "x1"
    };
    ASSERT_GE(seen.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(seen[i], expected[i]) << i;
}

TEST(ProcedureLoop, AcceptAllPassCompletes) {
    Harness h;
    long n = 3;
    std::string s = "abc";
    std::vector<std::pair<std::uint32_t, int>> seen;
    startThread([&] {
        Bindings b;
        b.variables["N"] = useNumber(n);
        b.variables["S"] = useText(s);
        Window window(form(), std::move(b));
        window.acceptAll();
        while (window.takeEvent()) {
            if (window.event() == event::OpenWindow || window.event() == event::GainFocus ||
                window.event() == event::LoseFocus)
                continue;
            seen.push_back({window.event(), window.control()});
            if (window.event() == event::Accepted) {
                EXPECT_EQ(window.getInt(0, "AcceptAll"), 1);
            }
            if (window.event() == event::Completed) window.close();
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    std::vector<std::pair<std::uint32_t, int>> expected = {
        {event::Accepted, 2}, {event::Accepted, 3}, {event::Completed, 0}};
    EXPECT_EQ(seen, expected);
}

TEST(ProcedureLoop, ProgramFilledListReportsScrolling) {
    Harness h;
    QueueSource rows;
    rows.rows = {{"1", "one"}, {"2", "two"}};
    std::vector<std::uint32_t> scrolls;
    long items = -1;
    startThread([&] {
        Bindings b;
        b.lists["Q"] = &rows;
        Window window(form(), std::move(b));
        items = window.getInt(5, "Items");
        window.setInt(5, "Choice", 2);
        h.user.pressKey(5, 40);       // Down on the last row asks for a scroll
        h.user.pressKey(5, 34);       // Page Down
        h.user.pressKey(5, 512 + 36); // Ctrl+Home
        h.user.pickRow(5, 1);
        h.user.pressKey(5, 38); // Up on the first row
        h.user.closeWindow();
        while (window.takeEvent()) {
            std::uint32_t e = window.event();
            if (e >= event::ScrollUp && e <= event::ScrollBottom) scrolls.push_back(e);
            if (e == event::NewSelection) scrolls.push_back(e);
        }
        EXPECT_EQ(window.getInt(5, "Choice"), 1);
        EXPECT_TRUE(window.setInt(5, "ScrollPos", 40));
        EXPECT_EQ(window.getInt(5, "ScrollPos"), 40);
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_GT(items, 0);
    std::vector<std::uint32_t> expected = {event::ScrollDown, event::PageDown, event::ScrollTop,
                                           event::NewSelection, event::ScrollUp};
    EXPECT_EQ(scrolls, expected);
}

TEST(Boxes, EveryButtonSetAnswersWithTheBitPressed) {
    Harness h;
    const unsigned sets[] = {button::Ok,
                             button::Yes | button::No,
                             button::Yes | button::No | button::Cancel,
                             button::Abort | button::Retry | button::Ignore,
                             button::Retry | button::Cancel,
                             button::Ok | button::Cancel | button::Help};
    std::vector<unsigned> answers, expected;
    for (unsigned set : sets) {
        for (unsigned bit = 1; bit <= 128; bit <<= 1) {
            if (set & bit) {
                h.user.answerBox(bit);
                expected.push_back(bit);
            }
        }
    }
    startThread([&] {
        for (unsigned set : sets) {
            for (unsigned bit = 1; bit <= 128; bit <<= 1) {
                if (set & bit) answers.push_back(messageBox("Line one|Line two", "Question", 2, set, bit));
            }
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_EQ(answers, expected);
    ASSERT_FALSE(h.user.shown().empty());
    EXPECT_EQ(h.user.shown()[0].caption, "Question");
}

TEST(Boxes, StopBoxAbortEndsThroughTheHandler) {
    Harness h;
    int stops = 0;
    setStopHandler([&] { ++stops; });
    h.user.answerBox(button::Ignore);
    h.user.answerBox(button::Abort);
    startThread([&] {
        stopBox("first");
        stopBox("second");
    });
    ASSERT_TRUE(Scheduler::instance().run());
    setStopHandler(nullptr);
    EXPECT_EQ(stops, 1);
}

TEST(Menus, PopupReturnsTheOrdinalOfTheChosenEntry) {
    Harness h;
    std::vector<int> results;
    h.user.chooseMenu(3);
    h.user.chooseMenu(2);
    h.user.chooseMenu(0);
    startThread([&] {
        for (int i = 0; i < 3; ++i) results.push_back(popupMenu("File{Open|Close}|-|Exit", 10, 10));
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_EQ(results, (std::vector<int>{3, 2, 0}));
    ASSERT_EQ(h.user.shown().size(), 3u);
    EXPECT_EQ(h.user.shown()[0].kind, "menu");
}

TEST(Properties, RoundTrips) {
    Harness h;
    startThread([&] {
        Window window(form());
        EXPECT_EQ(window.getInt(2, "Type"), 8);
        EXPECT_EQ(window.getInt(4, "Type"), 9);
        EXPECT_TRUE(window.set(0, "Text", "Caption \xE9"));
        EXPECT_EQ(window.get(0, "Text"), "Caption \xE9");
        EXPECT_TRUE(window.setInt(4, "XPos", 30));
        EXPECT_EQ(window.getInt(4, "XPos"), 30);
        EXPECT_TRUE(window.setInt(4, "Width", 50));
        EXPECT_EQ(window.getInt(4, "Width"), 50);
        EXPECT_TRUE(window.setInt(0, "Pixels", 1));
        long pixels = window.getInt(4, "Width");
        EXPECT_GT(pixels, 50);
        EXPECT_TRUE(window.setInt(4, "Width", pixels));
        EXPECT_TRUE(window.setInt(0, "Pixels", 0));
        EXPECT_EQ(window.getInt(4, "Width"), 50);
        EXPECT_TRUE(window.setInt(4, "Enabled", 0));
        EXPECT_EQ(window.getInt(4, "Enabled"), 0);
        EXPECT_TRUE(window.setInt(4, "Visible", 0));
        EXPECT_EQ(window.getInt(4, "Visible"), 0);
        EXPECT_TRUE(window.setInt(2, "ReadOnly", 1));
        EXPECT_EQ(window.getInt(2, "ReadOnly"), 1);
        EXPECT_TRUE(window.setInt(2, "FontStyle", 700 | 0x1000));
        EXPECT_EQ(window.getInt(2, "FontStyle"), 700 | 0x1000);
        EXPECT_TRUE(window.setInt(2, "FontColor", 0x0000FF));
        EXPECT_EQ(window.getInt(2, "FontColor"), 0x0000FF);
        EXPECT_TRUE(window.setInt(2, "Background", -1));
        EXPECT_EQ(window.getInt(2, "Background"), -1);
        EXPECT_TRUE(window.set(3, "Tip", "a tip"));
        EXPECT_EQ(window.get(3, "Tip"), "a tip");
        EXPECT_EQ(window.getInt(0, "Thread"), currentThread());
        EXPECT_FALSE(window.set(2, "NoSuchProperty", "1"));
        ControlDefinition extra{ControlType::Check, "?C", "Extra", 4, 100, 40, 10};
        int number = window.createControl(extra);
        EXPECT_EQ(number, 6);
        EXPECT_TRUE(window.setInt(number, "Checked", 1));
        EXPECT_EQ(window.getInt(number, "Checked"), 1);
        window.destroyControl(number);
        EXPECT_FALSE(window.exists(number));
        EXPECT_EQ(window.createControl(extra), 7);
    });
    ASSERT_TRUE(Scheduler::instance().run());
}
