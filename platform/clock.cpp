#include "platform/clock.h"

#include <ctime>
#include <mutex>
#include <optional>

namespace docket::platform {
namespace {

std::mutex overrideMutex;
std::optional<LocalDateTime> nowOverride;

LocalDateTime realLocalNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm parts{};
    localtime_r(&now.tv_sec, &parts);
    LocalDateTime result;
    result.year = parts.tm_year + 1900;
    result.month = parts.tm_mon + 1;
    result.day = parts.tm_mday;
    result.hour = parts.tm_hour;
    result.minute = parts.tm_min;
    // A leap second is folded into the second before it, so the clock stays below one day.
    result.second = parts.tm_sec > 59 ? 59 : parts.tm_sec;
    result.hundredths = static_cast<int>(now.tv_nsec / 10'000'000);
    result.weekday = parts.tm_wday;
    return result;
}

} // namespace

LocalDateTime localNow() {
    {
        std::lock_guard lock(overrideMutex);
        if (nowOverride) return *nowOverride;
    }
    return realLocalNow();
}

std::int32_t clockHundredths() {
    const LocalDateTime now = localNow();
    return ((now.hour * 60 + now.minute) * 60 + now.second) * 100 + now.hundredths;
}

std::int64_t monotonicHundredths() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 100 + now.tv_nsec / 10'000'000;
}

void setLocalNowOverride(const LocalDateTime* fixed) {
    std::lock_guard lock(overrideMutex);
    if (fixed != nullptr) {
        nowOverride = *fixed;
    } else {
        nowOverride.reset();
    }
}

} // namespace docket::platform
