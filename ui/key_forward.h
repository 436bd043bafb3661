#pragma once
// Forwarding a key to another control: the control gets the focus and then the key press, as if
// the user had typed it there (a list passes a typed letter on to its locator's entry). Runs on
// the GUI thread, inside the program thread that owns the window.
#include <string>

namespace docket::ui {

class Window;

// `keyCode` is the program's key code (virtual key plus 256 Shift, 512 Ctrl, 1024 Alt);
// `character` the text the key typed (Windows-1252), empty for none. False when the control does
// not exist or has no widget.
bool forwardKey(Window& window, int control, int keyCode, const std::string& character);

} // namespace docket::ui
