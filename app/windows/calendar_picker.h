#pragma once
// CalendarPicker: a month calendar for picking a date. Given a day number (0: today) it shows that
// date's month, Monday first, with the date's day highlighted, and returns the day the user
// clicks, or the given date (today for 0) when the user backs out with Escape, the right mouse
// button or the close box. Years 1801 to 2099. Runs its own event loop on the program thread,
// nested in the window that calls it.
#include <cstdint>

namespace docket::app {

std::int32_t CalendarPicker(std::int32_t date);

} // namespace docket::app
