#pragma once
// The scripted user of tests: queued actions are carried out through the real widgets, one at a
// time, whenever every program thread waits. Every box, menu and dialog shown, and every beep, is
// recorded: attach() installs it as the window system's observer.
#include "ui/observer.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace docket::ui {

class Window;

class ScriptedUser final : public UserObserver {
public:
    static ScriptedUser& instance();

    // Installs itself as the scheduler's idle action and as the observer, and turns scripted mode
    // on.
    void attach();
    void clear();

    // Actions on the newest window of the oldest program thread (or of `thread`).
    void click(int control, int thread = 0);
    void type(int control, const std::string& text, int thread = 0); // types and leaves the field
    void pressKey(int control, int keyCode, int thread = 0);
    void pickRow(int control, int row, int thread = 0); // lists and drop controls, 1-based
    void pickTab(int control, int tab, int thread = 0); // sheets, 1-based
    void resize(int widthPixels, int heightPixels, int thread = 0);
    void closeWindow(int thread = 0);
    void answerBox(unsigned buttonBit);
    void chooseMenu(int ordinal); // 0 dismisses the menu
    // Answers the open file, font or colour dialog.
    void pickFile(const std::string& path); // a name relative to the dialog's folder, or absolute
    void pickFont(const std::string& face, int size, long colour, int style);
    void pickColor(long colour); // 0x00BBGGRR
    void cancelDialog();
    void custom(std::function<void()> action);

    struct Shown {
        std::string kind; // "box", "menu", "open", "save", "font", "colour" or "beep"
        std::string caption;
        std::string text; // the box's text, menu text, file filter or starting face
        unsigned buttons = 0;
        int icon = 0; // boxes: the icon number
    };
    const std::vector<Shown>& shown() const { return shown_; }
    std::size_t pending() const { return actions_.size(); }
    // Failures of actions (no such control, no box open): kept for the test to check.
    const std::vector<std::string>& failures() const { return failures_; }

    void boxShown(const std::string& caption, const std::string& text, unsigned buttons, int icon) override;
    void menuShown(const std::string& text) override;
    void dialogShown(const std::string& kind, const std::string& caption, const std::string& text) override;
    void beeped() override;

private:
    bool act();
    Window* target(int thread);
    void fail(const std::string& what) { failures_.push_back(what); }

    std::deque<std::function<void()>> actions_;
    std::vector<Shown> shown_;
    std::vector<std::string> failures_;
};

} // namespace docket::ui
