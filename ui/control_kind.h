#pragma once
// A control kind: everything the window system does differently for one type of control, behind
// one small interface. A kind creates the control's widgets, shows the control's use variable (or
// list source) in them, takes back what the user entered, answers the properties only it has, and
// sees the input on its widgets before the window's generic handling. The window does the rest the
// same way for every control: numbering, placement in dialog units, visibility by parents, tips,
// fonts and colours, focus, alert keys.
//
// Kinds are registered by control type. The window system's own kinds are registered on the first
// lookup (ui/controls/builtin.cpp, one line per kind); a layer above may register more, or replace
// one, before it opens a window that uses it. A kind is stateless: what it keeps per control lives
// in the Control (its `state` holds a kind's own data). All of it runs on the GUI thread, inside
// the program thread that owns the window.
#include "ui/definition.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QEvent;
class QWidget;

namespace docket::ui {

class Window;
struct Control;

// What a kind's set() did with a property.
enum class PropertyResult {
    NotMine, // the kind has no such property: the window's generic properties answer it
    Done,
    Refused, // the kind knows the property but cannot take the value (set() returns false)
};

class ControlKind {
public:
    virtual ~ControlKind() = default;

    // Creates the control's widget as a child of `parent` (the window's client area), stores it in
    // control.widget and connects its signals to the window's events. A kind may create no widget
    // (a tab lives in its sheet).
    virtual void create(Window& window, Control& control, QWidget* parent) const = 0;

    // Shows the use variable or list source in the widget. Changes made here are not the user's and
    // raise no events.
    virtual void show(Window& window, Control& control) const;

    // Writes what the user entered back into the use variable. With `all` (the accept-all pass) the
    // value is taken even when the user changed nothing since it was last shown. False when the
    // entered text cannot be read (through the control's picture); the variable is then unchanged.
    virtual bool take(Window& window, Control& control, bool all) const;

    // Whether the accept-all pass validates the control (entries do).
    virtual bool validated(const Control& control) const;

    // The properties only this kind has; nothing when the name is not one of them.
    virtual std::optional<std::string> get(const Window& window, const Control& control,
                                           std::string_view name) const;
    virtual PropertyResult set(Window& window, Control& control, std::string_view name,
                               const std::string& value) const;

    // Input on the control's watched widgets, after armed alert keys had their turn. `code` is the
    // key code of a key press or the mouse code of a press, double click or release (0 for other
    // input). True when the kind used the input up.
    virtual bool input(Window& window, Control& control, QEvent& event, int code) const;

    // The widget that takes the focus when the control is selected.
    virtual QWidget* focusWidget(const Control& control) const;

    // Called after the control's widget was placed or moved (lists lay out their parts here).
    virtual void placed(Window& window, Control& control) const;
};

// A kind's own data per control.
struct ControlState {
    virtual ~ControlState() = default;
};

// Registers `kind` for `type`, replacing the kind registered before; `kind` must outlive every
// window. Windows opened before keep the kind they were built with.
void registerControlKind(ControlType type, const ControlKind& kind);
// The kind of `type`; null when none is registered (such a control gets no widget).
const ControlKind* findControlKind(ControlType type);

// ---- Helpers for kinds ----

// Case-insensitive comparison of property names.
bool isProperty(std::string_view name, std::string_view wanted);
// A number as a property value.
std::string propertyNumber(long value);
// The use variable as the control shows it: through its picture when it has one, numbers in plain
// form otherwise. Empty when no variable is bound.
std::string shownValue(const Control& control);
// A list column's text of a raw queue value through the column's picture (without "@"); a text
// picture's trailing blanks are dropped.
std::string columnText(const std::string& raw, const std::string& picture);
// Whether typed text can be read through a picture.
bool readableThrough(const std::string& text, const Control& control);
// Sets or clears an attribute bit of the control's definition.
void setAttribute(Control& control, std::uint32_t bit, bool on);

} // namespace docket::ui
