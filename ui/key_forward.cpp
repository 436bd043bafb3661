#include "ui/key_forward.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

#include "ui/control.h"
#include "ui/keys.h"
#include "ui/text.h"
#include "ui/window.h"

namespace docket::ui {

bool forwardKey(Window& window, int control, int keyCode, const std::string& character) {
    Control* c = window.controlData(control);
    if (c == nullptr || c->destroyed || c->widget == nullptr) return false;
    window.select(control);
    QWidget* target = c->kind != nullptr ? c->kind->focusWidget(*c) : nullptr;
    if (target == nullptr) target = c->widget;
    target->setFocus(Qt::OtherFocusReason);
    Qt::KeyboardModifiers modifiers;
    if (keyCode & key::Shift) modifiers |= Qt::ShiftModifier;
    if (keyCode & key::Ctrl) modifiers |= Qt::ControlModifier;
    if (keyCode & key::Alt) modifiers |= Qt::AltModifier;
    const int qt = qtKey(keyCode & 255);
    const QString text = toQt(character);
    QKeyEvent press(QEvent::KeyPress, qt != 0 ? qt : Qt::Key_unknown, modifiers, text);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, qt != 0 ? qt : Qt::Key_unknown, modifiers, text);
    QCoreApplication::sendEvent(target, &release);
    return true;
}

} // namespace docket::ui
