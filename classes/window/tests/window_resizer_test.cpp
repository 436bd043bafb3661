// The window resizer on a real window resized by the scripted user: a form made wider moves its
// buttons by exactly the added width and stretches its entries inside their tab sheet; the window
// cannot shrink below its first size; any number of sizes and back restores every box exactly.
// Then the parent links: the tab chain, containment that can never make a loop, and a parent that
// had no size.
#include <gtest/gtest.h>

#include <QWidget>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "classes/window/window_resizer.h"
#include "ui/definition.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"
#include "ui/window.h"

namespace docket::classes {
namespace {

using ui::ControlType;
using ui::ScriptedUser;

// A form of the usual shape: a sheet with one tab holding two prompts and entries, OK and Cancel
// under the sheet at the right, and a panel holding a check box.
constexpr int cSheet = 1, cTab = 2, cPrompt1 = 3, cEntry1 = 4, cPrompt2 = 5, cEntry2 = 6, cOk = 7,
              cCancel = 8, cPanel = 9, cCheck = 10;

ui::WindowDefinition formDefinition() {
    ui::WindowDefinition w;
    w.caption = "Resizer";
    w.width = 208;
    w.height = 150;
    w.attributes |= ui::wattr::Resizable;
    w.controls = {
        {ControlType::Sheet, "?Sheet", "", 4, 4, 200, 80},
        {ControlType::Tab, "?Tab", "General", 0, 0, 0, 0, {}, {}, {}, {}, cSheet},
        {ControlType::Prompt, "?P1", "Name:", 10, 24, 40, 10, {}, {}, {}, {}, cTab},
        {ControlType::Entry, "?E1", "", 60, 22, 100, 12, {}, {}, {}, {}, cTab},
        {ControlType::Prompt, "?P2", "Code:", 10, 44, 40, 10, {}, {}, {}, {}, cTab},
        {ControlType::Entry, "?E2", "", 60, 42, 100, 12, {}, {}, {}, {}, cTab},
        {ControlType::Button, "?OK", "OK", 110, 90, 45, 14},
        {ControlType::Button, "?Cancel", "Cancel", 159, 90, 45, 14},
        {ControlType::Panel, "?Panel", "", 4, 110, 100, 36},
        {ControlType::Check, "?Check", "Check", 10, 120, 60, 12},
    };
    return w;
}

ResizerBox boxOf(const ui::Window& w, int c) {
    return {static_cast<std::int32_t>(w.getInt(c, "XPos")), static_cast<std::int32_t>(w.getInt(c, "YPos")),
            static_cast<std::int32_t>(w.getInt(c, "Width")),
            static_cast<std::int32_t>(w.getInt(c, "Height"))};
}

class WindowResizerTest : public ::testing::Test {
protected:
    void SetUp() override {
        user.clear();
        user.attach();
    }
    void TearDown() override { user.clear(); }

    // Opens the form on a program thread with a resizer of strategy 2 and the first size as the
    // minimum, and runs its loop until the scripted user closes it.
    void run(const ui::WindowDefinition& definition = formDefinition()) {
        ui::startThread([this, definition] {
            ui::Window w(definition);
            window = &w;
            resizer.Init(w, 2, true, false);
            while (w.takeEvent()) {}
            resizer.Shutdown();
            window = nullptr;
        });
        ASSERT_TRUE(ui::Scheduler::instance().run()) << "the window stalled";
        EXPECT_TRUE(user.failures().empty()) << user.failures().front();
    }

    // Resizes the window to `width` by `height` dialog units, as the user drags its frame.
    void resizeTo(int width, int height) {
        user.custom([this, width, height] {
            window->widget()->resize(static_cast<int>(std::lround(width * window->unitX())),
                                     static_cast<int>(std::lround(height * window->unitY())));
        });
    }
    void check(std::function<void()> body) { user.custom(std::move(body)); }

    ScriptedUser& user = ScriptedUser::instance();
    ui::Window* window = nullptr;
    WindowResizer resizer;
};

TEST_F(WindowResizerTest, WideningMovesButtonsByTheAddedWidthAndStretchesEntriesInTheirSheet) {
    std::vector<ResizerBox> seen;
    resizeTo(260, 150); // 52 units wider
    check([&] {
        for (int c : {cSheet, cPrompt1, cEntry1, cEntry2, cOk, cCancel}) seen.push_back(boxOf(*window, c));
    });
    user.closeWindow();
    run();
    ASSERT_EQ(seen.size(), 6u);
    // The sheet keeps its margins and grows by the added width: 200 -> 252, a ratio of 1.26 for
    // what lies on its tab.
    EXPECT_EQ(seen[0], (ResizerBox{4, 4, 252, 80}));
    // Prompts and entries keep their distance from the sheet's top and their height; their offset
    // inside the sheet and their width scale: prompt 4 + 6 * 1.26, entry 4 + 56 * 1.26.
    EXPECT_EQ(seen[1], (ResizerBox{12, 24, 50, 10}));
    EXPECT_EQ(seen[2], (ResizerBox{75, 22, 126, 12}));
    EXPECT_EQ(seen[3], (ResizerBox{75, 42, 126, 12}));
    // OK and Cancel lie nearer the right edge: they move by exactly the added width.
    EXPECT_EQ(seen[4], (ResizerBox{162, 90, 45, 14}));
    EXPECT_EQ(seen[5], (ResizerBox{211, 90, 45, 14}));
}

TEST_F(WindowResizerTest, TheWindowCannotShrinkBelowItsFirstSize) {
    long width = 0, height = 0;
    ResizerBox ok;
    resizeTo(120, 80);
    check([&] {
        width = window->getInt(0, "Width");
        height = window->getInt(0, "Height");
        ok = boxOf(*window, cOk);
    });
    user.closeWindow();
    run();
    EXPECT_EQ(width, 208);
    EXPECT_EQ(height, 150);
    EXPECT_EQ(ok, (ResizerBox{110, 90, 45, 14}));
}

TEST_F(WindowResizerTest, AnySizesAndBackRestoreEveryControlExactly) {
    std::vector<ResizerBox> before, after;
    std::vector<ResizerBox> duringCheck;
    check([&] {
        for (int c = 1; c <= window->controlCount(); ++c) before.push_back(boxOf(*window, c));
    });
    std::mt19937 random(15);
    for (int i = 0; i < 12; ++i) {
        resizeTo(208 + static_cast<int>(random() % 300), 150 + static_cast<int>(random() % 200));
        check([&] { duringCheck.push_back(boxOf(*window, cEntry1)); });
    }
    resizeTo(208, 150);
    check([&] {
        for (int c = 1; c <= window->controlCount(); ++c) after.push_back(boxOf(*window, c));
    });
    user.closeWindow();
    run();
    ASSERT_EQ(before.size(), 10u);
    EXPECT_EQ(after, before);
    // The sizes in between did move the entry.
    EXPECT_NE(duringCheck.front(), before[cEntry1 - 1]);
}

TEST_F(WindowResizerTest, RestorePutsTheWindowAndEveryControlBack) {
    std::vector<ResizerBox> before, after;
    ResizerBox windowBefore, windowAfter;
    check([&] {
        windowBefore = {0, 0, static_cast<std::int32_t>(window->getInt(0, "Width")),
                        static_cast<std::int32_t>(window->getInt(0, "Height"))};
        for (int c = 1; c <= window->controlCount(); ++c) before.push_back(boxOf(*window, c));
    });
    resizeTo(330, 240);
    check([&] {
        resizer.Restore();
        windowAfter = {0, 0, static_cast<std::int32_t>(window->getInt(0, "Width")),
                       static_cast<std::int32_t>(window->getInt(0, "Height"))};
        for (int c = 1; c <= window->controlCount(); ++c) after.push_back(boxOf(*window, c));
    });
    user.closeWindow();
    run();
    EXPECT_EQ(windowAfter, windowBefore);
    EXPECT_EQ(after, before);
}

TEST_F(WindowResizerTest, ParentsComeFromTheTabChainAndFromContainment) {
    std::vector<std::int32_t> parents;
    check([&] {
        for (int c : {cPrompt1, cEntry1, cOk, cCheck, cPanel, cSheet}) parents.push_back(resizer.ParentOf(c));
    });
    user.closeWindow();
    run();
    // On the tab: the sheet. Inside the panel's box: the panel. The rest: the window.
    EXPECT_EQ(parents, (std::vector<std::int32_t>{cSheet, cSheet, 0, cPanel, 0, 0}));
    EXPECT_EQ(resizer.CONTROLQUEUE, nullptr); // disposed of by Shutdown
}

TEST_F(WindowResizerTest, ContainmentNeverLinksTwoControlsBothWays) {
    // Two panels with the same box hold each other's corner, and a region lies inside both. The
    // earlier panel becomes the later one's parent, never the other way round; the region, equally
    // inside both, goes to the earlier; and the window still resizes (a loop would never end).
    ui::WindowDefinition w;
    w.caption = "Overlap";
    w.width = 120;
    w.height = 80;
    w.attributes |= ui::wattr::Resizable;
    w.controls = {
        {ControlType::Panel, "?A", "", 10, 10, 60, 40},
        {ControlType::Panel, "?B", "", 10, 10, 60, 40},
        {ControlType::Region, "?R", "", 20, 20, 20, 10},
        {ControlType::Button, "?OK", "OK", 70, 60, 45, 14},
    };
    std::vector<std::int32_t> parents;
    ResizerBox region;
    resizeTo(240, 160);
    check([&] {
        for (int c = 1; c <= 4; ++c) parents.push_back(resizer.ParentOf(c));
        region = boxOf(*window, 3);
    });
    user.closeWindow();
    run(w);
    EXPECT_EQ(parents, (std::vector<std::int32_t>{0, 1, 1, 0}));
    // Both panels keep their corner and margins: 60 -> 180 wide. The region keeps its corner
    // inside A and its margins to A's edges: 20 + 120 wide, 10 + 80 high.
    EXPECT_EQ(region, (ResizerBox{20, 20, 140, 90}));
}

TEST(WindowResizerBox, AParentWithoutSizeScalesByOneAndProportionalScalesTheOffset) {
    WindowResizer resizer;
    ResizerControl c;
    c.POSITIONALSTRATEGY = 0; // proportional on both axes
    c.RESIZESTRATEGY = 0;
    // A parent 0 wide and 0 high that now is 50 by 30: no division by zero, the offset stays.
    EXPECT_EQ(resizer.ComputeBox(c, {15, 12, 8, 6}, {10, 10, 0, 0}, {10, 10, 50, 30}),
              (ResizerBox{15, 12, 8, 6}));
    // A parent at (40, 20) doubling its size: the offset inside it doubles, not its position.
    EXPECT_EQ(resizer.ComputeBox(c, {50, 30, 10, 10}, {40, 20, 100, 50}, {40, 20, 200, 100}),
              (ResizerBox{60, 40, 20, 20}));
    // Centred (4) and half-change (16) rules.
    c.POSITIONALSTRATEGY = 0x0404;
    c.RESIZESTRATEGY = resize::LockWidth | resize::HalfHeight;
    EXPECT_EQ(resizer.ComputeBox(c, {45, 20, 10, 10}, {0, 0, 100, 50}, {0, 0, 200, 100}),
              (ResizerBox{95, 40, 10, 25}));
}

TEST(WindowResizerDefaults, ListsAndRegionsStretchCombosBehaveAsEntriesButtonsKeepTheirCorner) {
    WindowResizer resizer;
    resizer.APPSTRATEGY = 2;
    auto both = [&](ControlType t) {
        const auto n = static_cast<std::int32_t>(t);
        return std::pair<int, int>{resizer.DefaultPositional(n), resizer.DefaultResize(n)};
    };
    const std::pair<int, int> stretch{0x303, resize::KeepRight | resize::KeepBottom};
    const std::pair<int, int> entry{0x300, resize::LockHeight};
    EXPECT_EQ(both(ControlType::List), stretch);
    EXPECT_EQ(both(ControlType::Region), stretch); // the rich-text editor's place
    EXPECT_EQ(both(ControlType::Sheet), stretch);
    EXPECT_EQ(both(ControlType::Combo), entry);
    EXPECT_EQ(both(ControlType::DropList), entry);
    EXPECT_EQ(both(ControlType::Entry), entry);
    EXPECT_EQ(both(ControlType::Button),
              (std::pair<int, int>{0x505, resize::LockWidth | resize::LockHeight}));
    EXPECT_EQ(both(ControlType::Text), (std::pair<int, int>{0, 0}));
    resizer.APPSTRATEGY = 3;
    EXPECT_EQ(both(ControlType::List), (std::pair<int, int>{0x101, resize::LockWidth | resize::LockHeight}));
    resizer.APPSTRATEGY = 7; // no defaults
    EXPECT_EQ(both(ControlType::Button), (std::pair<int, int>{0, 0}));
}

} // namespace
} // namespace docket::classes
