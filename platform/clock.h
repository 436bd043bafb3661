#pragma once
// The clock and the local date and time.
#include <cstdint>

namespace docket::platform {

struct LocalDateTime {
    int year = 0;   // e.g. 2026
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0; // 0..59
    int second = 0; // 0..59
    int hundredths = 0;
    int weekday = 0; // 0 Sunday .. 6 Saturday
};

LocalDateTime localNow();

// Hundredths of a second since local midnight (0..8639999): the runtime's clock.
std::int32_t clockHundredths();

// A steady count of hundredths of a second, for timing and timeouts; never goes back.
std::int64_t monotonicHundredths();

// Tests may pin the local date and time; a null argument returns to the real clock.
void setLocalNowOverride(const LocalDateTime* fixed);

} // namespace docket::platform
