#pragma once
// What the window system shows the user, told to one observer: every message box, popup menu and
// dialog as it opens, and every beep. The window system itself never needs one; the scripted user
// of tests installs itself here to record what a test's program showed. Calls come on the GUI
// thread, from the program thread that shows the box, before it waits for the answer.
#include <string>

namespace docket::ui {

class UserObserver {
public:
    virtual ~UserObserver() = default;
    // A message box; `icon` is its icon number (see modal.h).
    virtual void boxShown(const std::string& caption, const std::string& text, unsigned buttons,
                          int icon) = 0;
    virtual void menuShown(const std::string& menuText) = 0;
    // `kind` is "open", "save", "font" or "colour"; `text` the file filter or the starting face.
    virtual void dialogShown(const std::string& kind, const std::string& caption,
                             const std::string& text) = 0;
    virtual void beeped() = 0;
};

// Installs the observer (null: none) and returns the one installed before.
UserObserver* setUserObserver(UserObserver* observer);
UserObserver* userObserver();

} // namespace docket::ui
