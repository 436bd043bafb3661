// Window and control events beyond the basic loop: timers, moves and sizes, window states, focus,
// handlers, regions, drop controls, sheets, program-filled lists, and the properties that act.
#include "ui/control.h"
#include "ui/events.h"
#include "ui/keys.h"
#include "ui/modal.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QApplication>
#include <QComboBox>
#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
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

// Controls: 1 entry, 2 button, 3 region, 4 drop list, 5 drop combo, 6 sheet, 7 tab, 8 tab,
// 9 entry on the first tab, 10 list the program fills, 11 text box, 12 image.
WindowDefinition panel() {
    WindowDefinition w;
    w.caption = "Events";
    w.width = 260;
    w.height = 200;
    w.attributes |= wattr::Resizable | wattr::Maximize | wattr::Iconize;
    w.controls = {
        {ControlType::Entry, "?E", "", 4, 4, 60, 12, "E"},
        {ControlType::Button, "?B", "Button", 70, 4, 45, 14},
        {ControlType::Region, "?R", "", 120, 4, 30, 20, "", "", "", "", 0, attr::Immediate},
        {ControlType::DropList, "?DL", "", 4, 24, 60, 12, "KIND", "", "40L(2)#1#"},
        {ControlType::Combo, "?DC", "", 70, 24, 60, 12, "NAME", "", "40L(2)#1#"},
        {ControlType::Sheet, "?S", "", 4, 40, 150, 60},
        {ControlType::Tab, "?T1", "&First", 0, 0, 0, 0, "", "", "", "", 6},
        {ControlType::Tab, "?T2", "&Second", 0, 0, 0, 0, "", "", "", "", 6},
        {ControlType::Entry, "?E2", "", 10, 60, 50, 12, "", "", "", "", 7},
        {ControlType::List, "?L", "", 4, 104, 150, 50, "Q", "", "40L(2)~Name~#1#", "", 0, attr::Immediate},
        {ControlType::TextBox, "?TB", "", 160, 40, 90, 50},
        {ControlType::Image, "?I", "docket.ico", 160, 100, 20, 20},
    };
    return w;
}

// Events the platform raises by itself whenever a window is shown or activated.
bool incidental(std::uint32_t e) {
    return e == event::OpenWindow || e == event::GainFocus || e == event::LoseFocus || e == event::Selected;
}

} // namespace

TEST(WindowEvents, TimerTicksUntilStopped) {
    Harness h;
    int ticks = 0;
    startThread([&] {
        Window window(panel());
        window.setTimer(1);
        while (window.takeEvent()) {
            if (window.event() == event::Timer && ++ticks == 3) {
                window.setTimer(0);
                window.close();
            }
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_EQ(ticks, 3);
}

TEST(WindowEvents, DeferredMovesTakeEffectTogether) {
    Harness h;
    startThread([&] {
        Window window(panel());
        QRect button = window.controlWidget(2)->geometry();
        QRect entry = window.controlWidget(1)->geometry();
        window.beginDeferredMoves();
        window.setInt(2, "XPos", 150);
        window.setInt(1, "Width", 100);
        // The new boxes read back at once, but nothing has moved on the screen yet.
        EXPECT_EQ(window.getInt(2, "XPos"), 150);
        EXPECT_EQ(window.controlWidget(2)->geometry(), button);
        EXPECT_EQ(window.controlWidget(1)->geometry(), entry);
        window.endDeferredMoves();
        EXPECT_GT(window.controlWidget(2)->x(), button.x());
        EXPECT_GT(window.controlWidget(1)->width(), entry.width());
        EXPECT_EQ(window.controlWidget(2)->y(), button.y());
    });
    ASSERT_TRUE(Scheduler::instance().run());
}

TEST(WindowEvents, SizedWhileDraggingAndSizeLimits) {
    Harness h;
    int sized = 0;
    long width = 0, height = 0;
    startThread([&] {
        Window window(panel());
        window.setInt(0, "Pixels", 1);
        window.setInt(0, "MinWidth", 300);
        window.setInt(0, "MaxHeight", 500);
        EXPECT_EQ(window.getInt(0, "MinWidth"), 300);
        EXPECT_EQ(window.getInt(0, "MaxHeight"), 500);
        // A drag is many resizes; the program finds one EVENT:Sized waiting, not a pile.
        h.user.custom([&] {
            for (int step = 0; step < 5; ++step) window.widget()->resize(400 + 10 * step, 300);
        });
        h.user.resize(100, 900); // past both limits
        h.user.closeWindow();
        while (window.takeEvent()) {
            if (window.event() == event::Sized) {
                ++sized;
                width = window.getInt(0, "Width");
                height = window.getInt(0, "Height");
            }
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_EQ(sized, 2);
    EXPECT_EQ(width, 300);
    EXPECT_EQ(height, 500);
}

TEST(WindowEvents, MovesAndStateChanges) {
    Harness h;
    std::vector<std::uint32_t> seen;
    startThread([&] {
        Window window(panel());
        h.user.custom([&] { window.setInt(0, "XPos", window.getInt(0, "XPos") + 20); });
        h.user.custom([&] { window.setInt(0, "Maximize", 1); });
        h.user.custom([&] { window.setInt(0, "Maximize", 0); });
        h.user.custom([&] { window.setInt(0, "Iconize", 1); });
        h.user.closeWindow();
        while (window.takeEvent()) {
            std::uint32_t e = window.event();
            if (e == event::Move || e == event::Moved || (e >= event::Restore && e <= event::Iconize) ||
                (e >= event::Restored && e <= event::Iconized))
                seen.push_back(e);
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    // Moves that come with a state change may add their own Move/Moved: look for the order of the
    // state events and for the first move.
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0], event::Move);
    EXPECT_EQ(seen[1], event::Moved);
    std::vector<std::uint32_t> states;
    std::copy_if(seen.begin(), seen.end(), std::back_inserter(states),
                 [](std::uint32_t e) { return e != event::Move && e != event::Moved; });
    std::vector<std::uint32_t> expected = {event::Maximize, event::Maximized, event::Restore,
                                           event::Restored, event::Iconize,   event::Iconized};
    EXPECT_EQ(states, expected);
}

TEST(WindowEvents, FocusMovesToANestedWindowAndBack) {
    Harness h;
    std::vector<std::uint32_t> outerSeen;
    bool innerGained = false;
    startThread([&] {
        Window outer(panel());
        h.user.click(2);
        while (outer.takeEvent()) {
            std::uint32_t e = outer.event();
            if (e == event::GainFocus || e == event::LoseFocus) outerSeen.push_back(e);
            if (e == event::Accepted && outer.control() == 2) {
                Window inner(panel());
                inner.placeRelativeTo(outer, 10, 20);
                EXPECT_EQ(inner.widget()->x(),
                          outer.widget()->x() + static_cast<int>(10 * outer.unitX() + 0.5));
                EXPECT_EQ(inner.widget()->y(),
                          outer.widget()->y() + static_cast<int>(20 * outer.unitY() + 0.5));
                h.user.custom([&] { inner.widget()->activateWindow(); });
                h.user.closeWindow();
                while (inner.takeEvent()) {
                    if (inner.event() == event::GainFocus) innerGained = true;
                }
                h.user.custom([&] { outer.close(); });
            }
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_TRUE(innerGained);
    // The outer window lost the focus to the inner one at some point and had it back after.
    auto lose = std::find(outerSeen.begin(), outerSeen.end(), event::LoseFocus);
    ASSERT_NE(lose, outerSeen.end());
    EXPECT_NE(std::find(lose, outerSeen.end(), event::GainFocus), outerSeen.end());
}

TEST(WindowEvents, HandlersSeeEventsBeforeTheLoop) {
    Harness h;
    int all = 0, buttonHandled = 0;
    std::vector<std::pair<std::uint32_t, int>> loop;
    startThread([&] {
        Window window(panel());
        window.addHandler(0, 0, [&] {
            ++all;
            return Action::Default;
        });
        int skip = window.addHandler(event::Accepted, 2, [&] {
            ++buttonHandled;
            return Action::Skip; // the loop never sees it
        });
        h.user.click(2);
        h.user.custom([&] { window.removeHandler(skip); });
        h.user.click(2);
        h.user.custom([&] { window.post(0x500); });
        while (window.takeEvent()) {
            if (!incidental(window.event())) loop.push_back({window.event(), window.control()});
            if (window.event() == 0x500) window.close();
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_EQ(buttonHandled, 1);
    std::vector<std::pair<std::uint32_t, int>> expected = {{event::Accepted, 2}, {0x500, 0}};
    EXPECT_EQ(loop, expected);
    EXPECT_GE(all, 3); // OpenWindow, both clicks and the user event at least
}

TEST(ControlEvents, RegionsReportClicksReleasesAndTheMouse) {
    Harness h;
    std::vector<std::pair<std::uint32_t, int>> seen; // event and key code
    startThread([&] {
        Window window(panel());
        QWidget* region = window.controlWidget(3);
        h.user.pressKey(3, key::MouseLeft);
        h.user.pressKey(3, key::MouseRight2);
        h.user.custom([region] {
            QPointF at(3, 3);
            QMouseEvent release(QEvent::MouseButtonRelease, at, region->mapToGlobal(at), Qt::LeftButton,
                                Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(region, &release);
            QEnterEvent enter(at, at, region->mapToGlobal(at));
            QApplication::sendEvent(region, &enter);
            QMouseEvent move(QEvent::MouseMove, at, region->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QApplication::sendEvent(region, &move);
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(region, &leave);
        });
        h.user.closeWindow();
        while (window.takeEvent()) {
            if (window.control() == 3) seen.push_back({window.event(), window.keyCode()});
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[0], (std::pair<std::uint32_t, int>{event::Accepted, key::MouseLeft}));
    EXPECT_EQ(seen[1], (std::pair<std::uint32_t, int>{event::Accepted, key::MouseRight2}));
    EXPECT_EQ(seen[2], (std::pair<std::uint32_t, int>{event::MouseUp, key::MouseLeftUp}));
    EXPECT_EQ(seen[3].first, event::MouseIn);
    EXPECT_EQ(seen[4].first, event::MouseMove);
    EXPECT_EQ(seen[5].first, event::MouseOut);
}

TEST(ControlEvents, DropListAndDropCombo) {
    Harness h;
    QueueSource kinds, names;
    kinds.rows = {{"Letter"}, {"Minute"}, {"Note"}};
    names.rows = {{"Ann"}, {"Bob"}};
    std::string kind = "Minute", name;
    std::vector<std::pair<std::uint32_t, int>> seen;
    long shownRow = 0;
    startThread([&] {
        Bindings b;
        b.variables["KIND"] = useText(kind);
        b.variables["NAME"] = useText(name);
        b.lists["KIND"] = &kinds;
        b.lists["NAME"] = &names;
        Window window(panel(), std::move(b));
        shownRow = window.getInt(4, "Choice");
        h.user.custom([&] { static_cast<QComboBox*>(window.controlWidget(4))->showPopup(); });
        h.user.custom([&] { static_cast<QComboBox*>(window.controlWidget(4))->hidePopup(); });
        h.user.pickRow(4, 3);
        h.user.type(5, "Carol"); // the entry part takes a name the list does not hold
        h.user.pickRow(5, 2);
        h.user.closeWindow();
        while (window.takeEvent()) {
            if (window.control() == 4 || window.control() == 5)
                seen.push_back({window.event(), window.control()});
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_EQ(shownRow, 2);
    EXPECT_EQ(kind, "Note");
    EXPECT_EQ(name, "Bob");
    std::vector<std::pair<std::uint32_t, int>> expected = {
        {event::DroppingDown, 4}, {event::DroppedDown, 4}, {event::NewSelection, 4}, {event::Accepted, 4},
        {event::Selected, 5}, // typing into the combo moved the focus there
        {event::Accepted, 5},     {event::NewSelection, 5}, {event::Accepted, 5}};
    EXPECT_EQ(seen, expected);
}

TEST(ControlEvents, SheetReportsUserTabChangesOnly) {
    Harness h;
    std::vector<std::uint32_t> seen;
    bool firstTabEntryHidden = false;
    long choice = 0;
    startThread([&] {
        Window window(panel());
        window.setInt(6, "Choice", 2); // the program's own change raises nothing
        window.setInt(6, "Choice", 1);
        h.user.pickTab(6, 2);
        h.user.closeWindow();
        while (window.takeEvent()) {
            if (window.control() == 6) seen.push_back(window.event());
            if (window.event() == event::NewSelection) {
                choice = window.getInt(6, "Choice");
                firstTabEntryHidden = !window.controlWidget(9)->isVisible();
            }
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{event::TabChanging, event::NewSelection}));
    EXPECT_EQ(choice, 2);
    EXPECT_TRUE(firstTabEntryHidden);
}

TEST(ControlEvents, ProgramFilledListTracksTheThumbAndTakesRowAndThumbTogether) {
    Harness h;
    QueueSource rows;
    rows.rows = {{"a"}, {"b"}, {"c"}};
    std::vector<std::uint32_t> seen;
    long trackPos = -1, dragPos = -1;
    startThread([&] {
        Bindings b;
        b.lists["Q"] = &rows;
        Window window(panel(), std::move(b));
        window.setListPosition(10, 3, 70);
        EXPECT_EQ(window.getInt(10, "Choice"), 3);
        EXPECT_EQ(window.getInt(10, "ScrollPos"), 70);
        h.user.custom([&] {
            QScrollBar* bar = window.controlData(10)->thumb;
            bar->setSliderDown(true);
            for (int pos : {60, 50, 40}) bar->setSliderPosition(pos); // one drag, three steps
            bar->setSliderDown(false);
        });
        h.user.closeWindow();
        while (window.takeEvent()) {
            if (window.control() != 10) continue;
            seen.push_back(window.event());
            if (window.event() == event::ScrollTrack) trackPos = window.getInt(10, "ScrollPos");
            if (window.event() == event::ScrollDrag) dragPos = window.getInt(10, "ScrollPos");
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    // No EVENT:NewSelection for the program's own positioning; one ScrollTrack for the drag.
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{event::ScrollTrack, event::ScrollDrag}));
    EXPECT_EQ(trackPos, 40);
    EXPECT_EQ(dragPos, 40);
}

TEST(Properties, FontNamesIconsAndScrollBarsAct) {
    Harness h;
    startThread([&] {
        Window window(panel());
        EXPECT_EQ(window.get(0, "FontName"), "MS Sans Serif");
        EXPECT_TRUE(window.set(1, "FontName", "Arial"));
        EXPECT_EQ(window.get(1, "FontName"), "Arial");
        // A Windows face shows in the desktop's font, whatever the program called it.
        EXPECT_EQ(window.controlWidget(1)->font().family(), QApplication::font().family());
        EXPECT_TRUE(window.setInt(1, "FontSize", 12));
        EXPECT_EQ(window.get(1, "FontName"), "Arial");
        EXPECT_EQ(window.getInt(1, "FontSize"), 12);

        EXPECT_TRUE(window.set(2, "Icon", "Open.ico"));
        EXPECT_EQ(window.get(2, "Icon"), "Open.ico");
        EXPECT_FALSE(static_cast<QPushButton*>(window.controlWidget(2))->icon().isNull());
        EXPECT_EQ(window.get(12, "Icon"), "docket.ico");
        EXPECT_TRUE(window.set(12, "Icon", "icon:question"));
        EXPECT_FALSE(static_cast<QLabel*>(window.controlWidget(12))->pixmap().isNull());
        EXPECT_FALSE(window.set(1, "Icon", "Open.ico")); // an entry shows no icon
        EXPECT_EQ(window.get(1, "Icon"), "");
        EXPECT_TRUE(window.set(0, "Icon", "docket.ico"));
        EXPECT_EQ(window.get(0, "Icon"), "docket.ico");

        auto* text = static_cast<QPlainTextEdit*>(window.controlWidget(11));
        EXPECT_EQ(text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        EXPECT_TRUE(window.setInt(11, "VScroll", 1));
        EXPECT_TRUE(window.setInt(11, "HScroll", 1));
        EXPECT_EQ(window.getInt(11, "VScroll"), 1);
        EXPECT_EQ(text->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
        EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::NoWrap);
        EXPECT_TRUE(window.setInt(11, "HScroll", 0));
        EXPECT_EQ(text->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    });
    ASSERT_TRUE(Scheduler::instance().run());
}

TEST(TextAndIcons, WindowsFacesStylesColoursIconsAndBeep) {
    QFont sans = makeFont("MS Sans Serif", 8, 700 | 0x1000 | 0x4000);
    EXPECT_EQ(sans.family(), QApplication::font().family());
    EXPECT_EQ(fontStyle(sans), 700 | 0x1000 | 0x4000);
    EXPECT_EQ(makeFont("ms shell dlg", 8, 0).family(), QApplication::font().family());
    EXPECT_GT(makeFont("Arial", 16, 400).pointSizeF(), makeFont("Arial", 8, 400).pointSizeF());
    EXPECT_EQ(fontStyle(makeFont("", 0, 400 | 0x2000)), 400 | 0x2000);
    for (const char* name :
         {"Open.ico", "ICON:Exclamation", "icon:hand", "docket.ico", "no-such-icon.ico", ""})
        EXPECT_FALSE(makeIcon(name).isNull()) << name;
    EXPECT_EQ(fromColor(toColor(0x00336699)), 0x00336699);
    EXPECT_EQ(toColor(0x0000FF), QColor(255, 0, 0));
    EXPECT_EQ(fromColor(toColor(-1)), -1);
    EXPECT_EQ(toQt("caf\xE9"), QString::fromUtf8("caf\xC3\xA9"));
    EXPECT_EQ(fromQt(QString::fromUtf8("\xE2\x82\xAC")), "\x80"); // the euro sign
    beep();                                                       // no sound device: must not fail
}
