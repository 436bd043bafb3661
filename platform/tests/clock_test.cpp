#include "platform/clock.h"

#include <gtest/gtest.h>

namespace docket::platform {
namespace {

TEST(ClockTest, OverridePinsDateAndClock) {
    LocalDateTime fixed;
    fixed.year = 2024;
    fixed.month = 2;
    fixed.day = 29;
    fixed.hour = 23;
    fixed.minute = 59;
    fixed.second = 59;
    fixed.hundredths = 99;
    fixed.weekday = 4;
    setLocalNowOverride(&fixed);
    const LocalDateTime now = localNow();
    EXPECT_EQ(now.year, 2024);
    EXPECT_EQ(now.day, 29);
    EXPECT_EQ(clockHundredths(), 8639999);
    fixed.hour = 0;
    fixed.minute = 0;
    fixed.second = 1;
    fixed.hundredths = 5;
    setLocalNowOverride(&fixed);
    EXPECT_EQ(clockHundredths(), 105);
    setLocalNowOverride(nullptr);
    EXPECT_GE(localNow().year, 2024);
}

TEST(ClockTest, RealClockStaysInRange) {
    const LocalDateTime now = localNow();
    EXPECT_TRUE(now.month >= 1 && now.month <= 12);
    EXPECT_TRUE(now.day >= 1 && now.day <= 31);
    EXPECT_TRUE(now.weekday >= 0 && now.weekday <= 6);
    EXPECT_TRUE(now.hundredths >= 0 && now.hundredths <= 99);
    const std::int32_t hundredths = clockHundredths();
    EXPECT_TRUE(hundredths >= 0 && hundredths < 8640000);
}

TEST(ClockTest, MonotonicNeverGoesBack) {
    std::int64_t last = monotonicHundredths();
    for (int i = 0; i < 1000; ++i) {
        const std::int64_t next = monotonicHundredths();
        EXPECT_GE(next, last);
        last = next;
    }
}

} // namespace
} // namespace docket::platform
