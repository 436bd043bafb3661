#pragma once
// Message boxes, popup menus and the "Stop" box. Each shows its widget without a nested event loop
// and waits through the scheduler until the user (or the scripted user of tests) answers.
#include <QPoint>

#include <functional>
#include <string>

class QMessageBox;
class QMenu;

namespace docket::ui {

namespace button {
inline constexpr unsigned Ok = 1, Yes = 2, No = 4, Abort = 8, Retry = 16, Ignore = 32, Cancel = 64,
                          Help = 128;
} // namespace button

// The message icons by number. This is the one vocabulary of icons: the error reporter names its
// icons by the same numbers (3 for its questions, 4 for its messages), and its message hook passes
// them through unchanged. Other numbers show no icon.
namespace icon {
inline constexpr int None = 0;
inline constexpr int Application = 1; // the program's own icon
inline constexpr int Hand = 2;        // stop
inline constexpr int Question = 3;
inline constexpr int Exclamation = 4; // warning
inline constexpr int Asterisk = 5;    // information
} // namespace icon

// The icon resource name of an icon number, for image controls that show a message icon
// ("icon:question" for 3); empty for none.
std::string messageIconName(int icon);

// `text` breaks lines at "|". Returns the bit of the button pressed; closing the box answers with
// Cancel when the set holds it, else with the default button. An empty set means Ok.
unsigned messageBox(const std::string& text, const std::string& caption = {}, int icon = 0,
                    unsigned buttons = button::Ok, unsigned defaultButton = 0);

// The "Stop" box: Abort ends the program through the stop handler, Ignore returns.
void stopBox(const std::string& text);
// What Abort does; the default exits with code 1. Tests replace it.
void setStopHandler(std::function<void()> handler);

// Installs the runtime's fatal-error hook: the message in a box whose only button is Abort, then
// the stop handler. A fatal error offers no way to carry on.
void installFatalHook();

// Shows a popup menu from a menu text at (x, y) in screen pixels, or at the mouse when both are
// 0; returns the ordinal of the chosen selectable entry, 0 for none.
int popupMenu(const std::string& menuText, int x = 0, int y = 0);

// The box or menu now waiting for an answer (null when none): for the scripted user.
QMessageBox* openBox();
QMenu* openMenu();

// The system's default beep.
void beep();

// The busy cursor over every window of the program while long work runs. Calls nest: the normal
// cursor returns when every showBusyCursor has had its restoreCursor; a restore without a show
// does nothing.
void showBusyCursor();
void restoreCursor();
bool busyCursorShown();
class BusyCursor {
public:
    BusyCursor() { showBusyCursor(); }
    ~BusyCursor() { restoreCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace docket::ui
