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

// Stock icons by number: 1 information, 2 question, 3 exclamation, 4 and 5 stop (hand); others none.
// `text` breaks lines at "|". Returns the bit of the button pressed; closing the box answers with
// Cancel when the set holds it, else with the default button. An empty set means Ok.
unsigned messageBox(const std::string& text, const std::string& caption = {}, int icon = 0,
                    unsigned buttons = button::Ok, unsigned defaultButton = 0);

// The "Stop" box: Abort ends the program through the stop handler, Ignore returns.
void stopBox(const std::string& text);
// What Abort does; the default exits with code 1. Tests replace it.
void setStopHandler(std::function<void()> handler);

// Installs the "Stop" box as the runtime's fatal-error hook.
void installFatalHook();

// Shows a popup menu from a menu text at (x, y) in screen pixels, or at the mouse when both are
// 0; returns the ordinal of the chosen selectable entry, 0 for none.
int popupMenu(const std::string& menuText, int x = 0, int y = 0);

// The box or menu now waiting for an answer (null when none): for the scripted user.
QMessageBox* openBox();
QMenu* openMenu();

void beep();

} // namespace docket::ui
