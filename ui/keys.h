#pragma once
// Key codes as the program sees them: the key's virtual-key number plus 256 for Shift, 512 for
// Ctrl and 1024 for Alt. Mouse codes: 1 left, 2 right, 3 middle, 5/6/7 their double clicks,
// 129-131 the releases.
#include <QtCore/Qt>

namespace docket::ui {

namespace key {
inline constexpr int Shift = 256;
inline constexpr int Ctrl = 512;
inline constexpr int Alt = 1024;
inline constexpr int MouseLeft = 1, MouseRight = 2, MouseCenter = 3;
inline constexpr int MouseLeft2 = 5, MouseRight2 = 6, MouseCenter2 = 7;
inline constexpr int MouseLeftUp = 129, MouseRightUp = 130, MouseCenterUp = 131;
inline constexpr int Enter = 13, Escape = 27, PageUp = 33, PageDown = 34, End = 35, Home = 36;
inline constexpr int Left = 37, Up = 38, Right = 39, Down = 40, Insert = 45, Delete = 46, Tab = 9;
inline constexpr int Ditto = Ctrl + 222; // Ctrl+' (734)
} // namespace key

// The virtual-key number of a Qt key, 0 for keys without one.
int virtualKey(int qtKey);
// The Qt key of a virtual-key number (0 when unknown).
int qtKey(int virtualKey);
int keyCode(int qtKey, Qt::KeyboardModifiers modifiers);
int mouseCode(Qt::MouseButton button, bool doubleClick, bool release);

} // namespace docket::ui
