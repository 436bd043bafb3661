#include "platform/settings.h"

#include <mutex>
#include <optional>

#include "platform/profile.h"

namespace docket::platform {
namespace {

constexpr const char* kFile = "settings.ini";
constexpr const char* kSection = "Desktop";
constexpr const char* kDragFullWindows = "DragFullWindows";

std::mutex settingsMutex;
std::optional<bool> dragFullWindowsValue;

} // namespace

bool dragFullWindows() {
    std::lock_guard lock(settingsMutex);
    if (!dragFullWindowsValue)
        dragFullWindowsValue = readProfileInt(kSection, kDragFullWindows, 1, kFile) != 0;
    return *dragFullWindowsValue;
}

void setDragFullWindows(bool on, bool persist) {
    std::lock_guard lock(settingsMutex);
    dragFullWindowsValue = on;
    // Like the platform's update flag, a failed write leaves the in-process value changed.
    if (persist) writeProfileString(kSection, kDragFullWindows, std::string(on ? "1" : "0"), kFile);
}

void resetSystemSettings() {
    std::lock_guard lock(settingsMutex);
    dragFullWindowsValue.reset();
}

} // namespace docket::platform
