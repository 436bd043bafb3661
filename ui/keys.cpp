#include "ui/keys.h"

namespace docket::ui {
namespace {

struct KeyPair {
    int qt;
    int vk;
};

constexpr KeyPair kKeys[] = {
    {Qt::Key_Backspace, 8},     {Qt::Key_Tab, 9},         {Qt::Key_Backtab, 9},
    {Qt::Key_Return, 13},       {Qt::Key_Enter, 13},      {Qt::Key_Pause, 19},
    {Qt::Key_Escape, 27},       {Qt::Key_Space, 32},      {Qt::Key_PageUp, 33},
    {Qt::Key_PageDown, 34},     {Qt::Key_End, 35},        {Qt::Key_Home, 36},
    {Qt::Key_Left, 37},         {Qt::Key_Up, 38},         {Qt::Key_Right, 39},
    {Qt::Key_Down, 40},         {Qt::Key_Insert, 45},     {Qt::Key_Delete, 46},
    {Qt::Key_Asterisk, 106},    {Qt::Key_Plus, 107},      {Qt::Key_Semicolon, 186},
    {Qt::Key_Equal, 187},       {Qt::Key_Comma, 188},     {Qt::Key_Minus, 189},
    {Qt::Key_Period, 190},      {Qt::Key_Slash, 191},     {Qt::Key_QuoteLeft, 192},
    {Qt::Key_BracketLeft, 219}, {Qt::Key_Backslash, 220}, {Qt::Key_BracketRight, 221},
    {Qt::Key_Apostrophe, 222},
};

} // namespace

int virtualKey(int qt) {
    if (qt >= Qt::Key_A && qt <= Qt::Key_Z) return 65 + (qt - Qt::Key_A);
    if (qt >= Qt::Key_0 && qt <= Qt::Key_9) return 48 + (qt - Qt::Key_0);
    if (qt >= Qt::Key_F1 && qt <= Qt::Key_F24) return 112 + (qt - Qt::Key_F1);
    for (const KeyPair& pair : kKeys) {
        if (pair.qt == qt) return pair.vk;
    }
    return 0;
}

int qtKey(int vk) {
    if (vk >= 65 && vk <= 90) return Qt::Key_A + (vk - 65);
    if (vk >= 48 && vk <= 57) return Qt::Key_0 + (vk - 48);
    if (vk >= 112 && vk <= 135) return Qt::Key_F1 + (vk - 112);
    for (const KeyPair& pair : kKeys) {
        if (pair.vk == vk) return pair.qt;
    }
    return 0;
}

int keyCode(int qt, Qt::KeyboardModifiers modifiers) {
    int vk = virtualKey(qt);
    if (vk == 0) return 0;
    if (modifiers & Qt::ShiftModifier) vk += key::Shift;
    if (modifiers & Qt::ControlModifier) vk += key::Ctrl;
    if (modifiers & Qt::AltModifier) vk += key::Alt;
    return vk;
}

int mouseCode(Qt::MouseButton button, bool doubleClick, bool release) {
    int base = button == Qt::LeftButton     ? 1
               : button == Qt::RightButton  ? 2
               : button == Qt::MiddleButton ? 3
                                            : 0;
    if (base == 0) return 0;
    if (release) return 128 + base;
    return doubleClick ? base + 4 : base;
}

} // namespace docket::ui
