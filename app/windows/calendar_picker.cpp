// The calendar: its window definition and the procedure CalendarPicker, which runs its own event
// loop (it needs no window flow). A month is shown as a grid of day cells, Monday first; the user
// steps months with Left/Right or Up/Down, years with Page Up/Page Down, or types them into the
// spin boxes, and picks a day by clicking its cell. Escape, the right mouse button or the close
// box return the date the calendar was opened with.
//
// The years shown are 1801 to 2099. Stepping out of them shows "Date Out Of Range" and keeps the
// calendar at the end of the range: a month step past January 1801 stays on January 1801 (and past
// December 2099 on December 2099) rather than wrapping to the other end of the year.
#include "app/windows/calendar_picker.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QWidget>

#include <array>
#include <string>

#include "runtime/core/dates.h"
#include "runtime/expression/binding_scopes.h"
#include "ui/definition.h"
#include "ui/events.h"
#include "ui/keys.h"
#include "ui/modal.h"
#include "ui/text.h"
#include "ui/window.h"

namespace docket::app {
namespace {

using ui::ControlType;

constexpr int cStringMonth = 1, cStringYear = 2, cFirstWeekday = 3, cMonthNumber = 10, cYearNumber = 11,
              cPanel1 = 12, cPanel2 = 13, cPanel3 = 14, cFirstRegion = 15, cFirstString = 52;
constexpr int kCells = 37;
constexpr int kFirstYear = 1801, kLastYear = 2099;

// The grid: cells of 10 by 10 units, seven to a row at steps of 12 across and 11 down.
constexpr int kGridX = 10, kGridY = 48, kStepX = 12, kStepY = 11, kCellSize = 10;

constexpr std::array<const char*, 12> kMonthCaptions = {
    "January ", "February ", "March ",     "April ",   "May ",      "June ",
    "July ",    "August ",   "September ", "October ", "November ", "December ",
};
constexpr std::array<const char*, 7> kWeekdays = {"Mo", "Tu", "We", "Th", "Fr", "Sa", "Su"};
constexpr std::array<const char*, 7> kWeekdayNames = {"?STRINGMO", "?STRINGTU", "?STRINGWE", "?STRINGTH",
                                                      "?STRINGFR", "?STRINGSA", "?STRINGSU"};

ui::WindowDefinition calendarWindow() {
    ui::WindowDefinition w{
        .caption = "Calendar",
        .font = "MS Sans Serif",
        .fontSize = 8,
        .width = 2 * kGridX + 6 * kStepX + kCellSize,
        .height = kGridY + 5 * kStepY + kCellSize + 8,
        .attributes = ui::wattr::System | ui::wattr::Gray | ui::wattr::Center,
    };
    const int right = w.width - kGridX;
    auto& c = w.controls;
    c.push_back({.type = ControlType::Text,
                 .name = "?STRINGMONTH",
                 .text = "Month",
                 .x = 10,
                 .y = 6,
                 .width = 40,
                 .height = 8});
    c.push_back({.type = ControlType::Text,
                 .name = "?STRINGYEAR",
                 .text = "Year",
                 .x = 56,
                 .y = 6,
                 .width = 40,
                 .height = 8});
    for (int day = 0; day < 7; ++day) {
        c.push_back({.type = ControlType::Text,
                     .name = kWeekdayNames[static_cast<std::size_t>(day)],
                     .text = kWeekdays[static_cast<std::size_t>(day)],
                     .x = kGridX + day * kStepX,
                     .y = kGridY - 11,
                     .width = kCellSize,
                     .height = 8});
    }
    c.push_back({.type = ControlType::Spin,
                 .name = "?MONTHNUMBER",
                 .x = 10,
                 .y = 16,
                 .width = 40,
                 .height = 13,
                 .use = "Month",
                 .picture = "@n-6",
                 .rangeLow = 0,
                 .rangeHigh = 13});
    c.push_back({.type = ControlType::Spin,
                 .name = "?YEARNUMBER",
                 .x = 56,
                 .y = 16,
                 .width = right - 56,
                 .height = 13,
                 .use = "Year",
                 .picture = "@n-6",
                 .rangeLow = kFirstYear - 1,
                 .rangeHigh = kLastYear + 1});
    // Decoration: a rule under the spin boxes, one under the weekday headings, and the grid's frame.
    c.push_back(
        {.type = ControlType::Line, .name = "?PANEL1", .x = 6, .y = 33, .width = right - 2, .height = 1});
    c.push_back({.type = ControlType::Line,
                 .name = "?PANEL2",
                 .x = 6,
                 .y = kGridY - 2,
                 .width = right - 2,
                 .height = 1});
    c.push_back({.type = ControlType::Panel,
                 .name = "?PANEL3",
                 .x = 6,
                 .y = kGridY - 2 - 11,
                 .width = right - 2,
                 .height = 6 * kStepY + 14});
    for (int cell = 0; cell < kCells; ++cell) {
        c.push_back({.type = ControlType::Region,
                     .name = "?REGION" + std::to_string(cell + 1),
                     .x = kGridX + (cell % 7) * kStepX,
                     .y = kGridY + (cell / 7) * kStepY,
                     .width = kCellSize,
                     .height = kCellSize});
    }
    for (int cell = 0; cell < kCells; ++cell) {
        c.push_back({.type = ControlType::Text,
                     .name = "?STRING" + std::to_string(cell + 1),
                     .x = kGridX + (cell % 7) * kStepX,
                     .y = kGridY + (cell / 7) * kStepY,
                     .width = kCellSize,
                     .height = kCellSize});
    }
    return w;
}

// 0 for Monday .. 6 for Sunday. Day 4 (1 January 1801) was a Thursday.
int weekday(std::int32_t day) {
    return static_cast<int>((day - 1) % 7);
}

class Calendar {
public:
    explicit Calendar(std::int32_t date) : given_(date != 0 ? date : runtime::today()) {
        runtime::CivilDate civil = runtime::civilDate(given_);
        // A number that is no date at all opens on today; the caller still gets it back on Escape.
        if (civil.year == 0) civil = runtime::civilDate(runtime::today());
        givenDay_ = civil.day;
        Month = static_cast<std::int16_t>(civil.month);
        Year = static_cast<std::int16_t>(civil.year);
    }

    std::int32_t run() {
        ui::Bindings bindings;
        bindings.variables["Month"] = ui::useNumber(Month);
        bindings.variables["Year"] = ui::useNumber(Year);
        ui::Window w(calendarWindow(), std::move(bindings));
        window_ = &w;
        prepare();
        draw(false);
        std::int32_t result = given_;
        while (w.takeEvent()) {
            const std::uint32_t event = w.event();
            const int control = w.control();
            if (event == ui::event::AlertKey) {
                const int key = w.keyCode();
                if (key == ui::key::Escape || key == ui::key::MouseRight) break;
                const int oldMonth = Month;
                if (key == ui::key::Left || key == ui::key::Up) --Month;
                if (key == ui::key::Right || key == ui::key::Down) ++Month;
                if (key == ui::key::PageUp) --Year;
                if (key == ui::key::PageDown) ++Year;
                const bool monthStep = Month != oldMonth;
                normalise();
                draw(monthStep);
            } else if (event == ui::event::NewSelection && control == cMonthNumber) {
                normalise();
                draw(true);
            } else if (event == ui::event::NewSelection && control == cYearNumber) {
                draw(false);
            } else if (event == ui::event::Accepted && control >= cFirstRegion &&
                       control < cFirstRegion + kCells) {
                const int cell = control - cFirstRegion;
                const std::string text = w.get(cFirstString + cell, "Text");
                // The day's own date; the cell shows a day of the displayed month.
                if (!text.empty()) {
                    result = runtime::dayNumber(Year, Month, std::stoi(text));
                    break;
                }
            }
        }
        window_ = nullptr;
        return result;
    }

    std::int16_t Month = 1;
    std::int16_t Year = kFirstYear;

private:
    // What the window definition cannot say: day numbers centred in their cells, and clicks on
    // them passing through to the region under them.
    void prepare() {
        ui::Window& w = *window_;
        for (int cell = 0; cell < kCells; ++cell) {
            if (auto* label = qobject_cast<QLabel*>(w.controlWidget(cFirstString + cell))) {
                label->setAlignment(Qt::AlignCenter);
                label->setAttribute(Qt::WA_TransparentForMouseEvents);
            }
        }
        for (int day = 0; day < 7; ++day)
            if (auto* label = qobject_cast<QLabel*>(w.controlWidget(cFirstWeekday + day)))
                label->setAlignment(Qt::AlignCenter);
        for (int key : {ui::key::Up, ui::key::Down, ui::key::PageUp, ui::key::PageDown, ui::key::Escape,
                        ui::key::Right, ui::key::Left, ui::key::MouseRight})
            w.alert(0, key);
        const QPalette palette = QApplication::palette();
        highlightBack_ = ui::fromColor(palette.color(QPalette::Highlight));
        highlightText_ = ui::fromColor(palette.color(QPalette::HighlightedText));
    }

    // Months past December go on in the next year, months before January in the year before.
    void normalise() {
        if (Month >= 13) {
            Month = 1;
            ++Year;
        } else if (Month <= 0) {
            Month = 12;
            --Year;
        }
    }

    void draw(bool monthStep) {
        ui::Window& w = *window_;
        if (Year < kFirstYear) {
            Year = kFirstYear;
            if (monthStep) Month = 1;
            ui::messageBox("You cannot use the calendar for|dates before the year 1801", "Date Out Of Range",
                           ui::icon::Asterisk, ui::button::Ok);
        } else if (Year > kLastYear) {
            Year = kLastYear;
            if (monthStep) Month = 12;
            ui::messageBox("You cannot use the calendar for|dates after the year 2099", "Date Out Of Range",
                           ui::icon::Asterisk, ui::button::Ok);
        }
        if (Month < 1 || Month > 12) Month = 1; // a typed month outside 0..13 cannot occur; kept safe
        w.set(0, "Text",
              std::string(kMonthCaptions[static_cast<std::size_t>(Month - 1)]) + std::to_string(Year));
        if (highlighted_ != 0) {
            w.setInt(highlighted_, "Background", -1);
            w.setInt(highlighted_, "FontColor", -1);
            highlighted_ = 0;
        }
        const int days = runtime::daysInMonth(Year, Month);
        const int first = weekday(runtime::dayNumber(Year, Month, 1));
        for (int cell = 0; cell < kCells; ++cell) {
            const int day = cell - first + 1;
            w.set(cFirstString + cell, "Text", day >= 1 && day <= days ? std::to_string(day) : std::string());
        }
        if (givenDay_ <= days) {
            highlighted_ = cFirstString + first + givenDay_ - 1;
            w.setInt(highlighted_, "Background", highlightBack_);
            w.setInt(highlighted_, "FontColor", highlightText_);
        }
        w.display();
    }

    std::int32_t given_;
    int givenDay_ = 1;
    ui::Window* window_ = nullptr;
    int highlighted_ = 0; // the day string shown highlighted, 0 none
    long highlightBack_ = -1, highlightText_ = -1;
};

} // namespace

std::int32_t CalendarPicker(std::int32_t date) {
    runtime::pushScope(true);
    Calendar calendar(date);
    const std::int32_t picked = calendar.run();
    runtime::popScope();
    return picked;
}

} // namespace docket::app
