// The calendar and the About window driven by the scripted user: the month grid Monday first with
// the given day highlighted, month steps wrapping into the next and previous years, the range box
// at both ends of the years it shows (and the month held there), Gregorian February, a picked day,
// a blank cell, Escape, and About closed with its button.
#include <gtest/gtest.h>

#include <QSpinBox>

#include <functional>
#include <string>
#include <vector>

#include "app/windows/about.h"
#include "app/windows/calendar_picker.h"
#include "classes/window/requests.h"
#include "runtime/core/dates.h"
#include "ui/keys.h"
#include "ui/modal.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"
#include "ui/window.h"

namespace docket::app {
namespace {

using ui::ScriptedUser;
namespace key = ui::key;

constexpr int cMonthNumber = 10, cYearNumber = 11, cFirstRegion = 15, cFirstString = 52, kCells = 37;

ui::Window* top() {
    const auto threads = ui::Scheduler::instance().threads();
    return threads.empty() ? nullptr : ui::Scheduler::instance().topWindow(threads.front());
}

// What the calendar shows: its caption, the texts of the 37 cells joined by ",", and the day shown
// highlighted ("" for none).
struct Shown {
    std::string caption;
    std::string cells;
    std::string highlighted;
};

Shown shown() {
    Shown s;
    ui::Window* w = top();
    if (w == nullptr) return s;
    s.caption = w->get(0, "Text");
    for (int cell = 0; cell < kCells; ++cell) {
        if (cell) s.cells += ",";
        s.cells += w->get(cFirstString + cell, "Text");
        if (w->getInt(cFirstString + cell, "Background") != -1)
            s.highlighted = w->get(cFirstString + cell, "Text");
    }
    return s;
}

// The cells of a month whose first day falls in column `first` (0 Monday) with `days` days.
std::string grid(int first, int days) {
    std::string cells;
    for (int cell = 0; cell < kCells; ++cell) {
        if (cell) cells += ",";
        const int day = cell - first + 1;
        if (day >= 1 && day <= days) cells += std::to_string(day);
    }
    return cells;
}

class CalendarTest : public ::testing::Test {
protected:
    void SetUp() override {
        user.clear();
        user.attach();
    }
    void TearDown() override { user.clear(); }

    // Runs the calendar on `date` and returns what it returned.
    std::int32_t pick(std::int32_t date) {
        std::int32_t result = -1;
        ui::startThread([&] { result = CalendarPicker(date); });
        EXPECT_TRUE(ui::Scheduler::instance().run()) << "the calendar stalled";
        EXPECT_TRUE(user.failures().empty()) << user.failures().front();
        return result;
    }
    void see(std::vector<Shown>& into) {
        user.custom([&into] { into.push_back(shown()); });
    }
    void press(int code) { user.pressKey(cMonthNumber, code); }
    std::vector<std::string> boxes() const {
        std::vector<std::string> titles;
        for (const auto& s : user.shown())
            if (s.kind == "box") titles.push_back(s.caption + ": " + s.text);
        return titles;
    }

    ScriptedUser& user = ScriptedUser::instance();
};

TEST_F(CalendarTest, ShowsTheMonthMondayFirstWithTheDayHighlightedAndReturnsAPickedDay) {
    std::vector<Shown> seen;
    see(seen);
    user.pressKey(cFirstRegion + 0, key::MouseLeft);      // 1 March 2024 is a Friday: cell 1 is blank
    user.pressKey(cFirstRegion + 4 + 19, key::MouseLeft); // the 20th
    const std::int32_t picked = pick(runtime::dayNumber(2024, 3, 15));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, "March 2024");
    EXPECT_EQ(seen[0].cells, grid(4, 31));
    EXPECT_EQ(seen[0].highlighted, "15");
    EXPECT_EQ(picked, runtime::dayNumber(2024, 3, 20));
}

TEST_F(CalendarTest, MonthStepsWrapIntoTheNextAndPreviousYearAndKeepTheDayHighlighted) {
    std::vector<Shown> seen;
    press(key::Right); // December 2023 -> January 2024
    see(seen);
    press(key::Left); // back to December 2023
    press(key::Up);   // November 2023: 30 days, the 31st is not highlighted
    see(seen);
    press(key::PageDown); // November 2024
    see(seen);
    user.custom([] { // the month typed past December: January of the next year
        static_cast<QSpinBox*>(top()->controlWidget(cMonthNumber))->setValue(13);
    });
    see(seen);
    press(key::Escape);
    const std::int32_t given = runtime::dayNumber(2023, 12, 31);
    EXPECT_EQ(pick(given), given);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].caption, "January 2024");
    EXPECT_EQ(seen[0].cells, grid(0, 31)); // 1 January 2024 is a Monday
    EXPECT_EQ(seen[0].highlighted, "31");
    EXPECT_EQ(seen[1].caption, "November 2023");
    EXPECT_EQ(seen[1].highlighted, "");
    EXPECT_EQ(seen[2].caption, "November 2024");
    EXPECT_EQ(seen[3].caption, "January 2025");
    EXPECT_TRUE(boxes().empty());
}

TEST_F(CalendarTest, TheRangeEndsShowTheBoxAndHoldTheMonth) {
    std::vector<Shown> seen;
    press(key::PageUp); // 1800: refused, still 1801
    user.answerBox(ui::button::Ok);
    see(seen);
    press(key::Left); // before January 1801: refused, still January 1801
    user.answerBox(ui::button::Ok);
    see(seen);
    press(key::Escape);
    pick(runtime::dayNumber(1801, 1, 10));

    press(key::Right); // past December 2099
    user.answerBox(ui::button::Ok);
    see(seen);
    press(key::Escape);
    pick(runtime::dayNumber(2099, 12, 1));

    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].caption, "January 1801");
    EXPECT_EQ(seen[0].cells, grid(3, 31)); // 1 January 1801 was a Thursday
    EXPECT_EQ(seen[1].caption, "January 1801");
    EXPECT_EQ(seen[2].caption, "December 2099");
    EXPECT_EQ(boxes(), (std::vector<std::string>{
                           "Date Out Of Range: You cannot use the calendar for|dates before the year 1801",
                           "Date Out Of Range: You cannot use the calendar for|dates before the year 1801",
                           "Date Out Of Range: You cannot use the calendar for|dates after the year 2099"}));
}

TEST_F(CalendarTest, FebruaryFollowsTheGregorianLeapYears) {
    std::vector<Shown> seen;
    see(seen);
    press(key::PageDown); // February 1901
    see(seen);
    press(key::Escape);
    pick(runtime::dayNumber(1900, 2, 28));
    see(seen);
    press(key::Escape);
    pick(runtime::dayNumber(2000, 2, 29));
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].cells, grid(3, 28)); // 1 February 1900: Thursday; 1900 is no leap year
    EXPECT_EQ(seen[1].cells, grid(4, 28));
    EXPECT_EQ(seen[2].cells, grid(1, 29)); // 1 February 2000: Tuesday; 2000 is one
    EXPECT_EQ(seen[2].highlighted, "29");
}

TEST_F(CalendarTest, ZeroOpensOnTodayAndEscapeOrTheRightButtonGiveItBack) {
    std::vector<Shown> seen;
    see(seen);
    press(key::Escape);
    const std::int32_t today = runtime::today();
    EXPECT_EQ(pick(0), today);
    user.pressKey(cFirstRegion + 10, key::MouseRight);
    EXPECT_EQ(pick(today), today);
    const runtime::CivilDate civil = runtime::civilDate(today);
    static const char* const months[] = {"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, std::string(months[civil.month - 1]) + " " + std::to_string(civil.year));
    EXPECT_EQ(seen[0].highlighted, std::to_string(civil.day));
}

TEST_F(CalendarTest, AboutClosesWithItsButton) {
    std::string caption, first;
    user.custom([&] {
        caption = top()->get(0, "Text");
        first = top()->get(1, "Text");
    });
    user.click(7);
    ui::startThread([] { About(); });
    ASSERT_TRUE(ui::Scheduler::instance().run());
    EXPECT_TRUE(user.failures().empty());
    EXPECT_EQ(caption, "About");
    EXPECT_EQ(first, "docket");
}

} // namespace
} // namespace docket::app
