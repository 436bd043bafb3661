#pragma once
// A procedure's window, created from its definition. The procedure loops on takeEvent(): each turn
// gives one event number (and, for control events and EVENT:Selected, the control); the handler
// may ask for the runtime's default action to be skipped or for the loop to end; the default action
// of a turn is carried out when the next turn is asked for. A thread's newest window gets its
// events; the windows under it are disabled until it closes.
#include "ui/definition.h"
#include "ui/use_variable.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QObject;
class QWidget;

namespace docket::ui {

enum class Action { Default, Skip, Leave };

struct Bindings {
    std::map<std::string, UseVariable> variables; // by use name
    std::map<std::string, ListSource*> lists;     // by use name of list and drop controls
};

struct Control;
class WindowWidget;

class Window {
public:
    // Opens the window on the running program thread (thread 1 outside program threads).
    explicit Window(const WindowDefinition& definition, Bindings bindings = {});
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // The event loop. Carries out the previous turn's default action unless it was skipped, then
    // waits for the next event; false once the window has closed or the loop was left.
    bool takeEvent();
    std::uint32_t event() const { return event_; }
    int control() const { return control_; } // 0 for window events
    int keyCode() const { return keyCode_; }
    // The character the key of the current event typed (Windows-1252), empty for keys without one
    // (arrows, function keys, mouse buttons).
    const std::string& keyChar() const { return keyChar_; }
    void setKeyCode(int code) { keyCode_ = code; }
    void setAction(Action action) { action_ = action; }
    bool closed() const { return closed_; }
    void close(); // closes at once; the loop's next turn ends it

    // Queues an event for this window (message code event + 0x1400).
    void post(std::uint32_t eventNumber, int control = 0);
    std::size_t pendingEvents() const { return queue_.size(); }

    // Handlers run before the loop sees an event: event 0 matches every event, control 0 every
    // control. A handler's Skip ends the event's processing there (the loop does not see it).
    int addHandler(std::uint32_t eventNumber, int control, std::function<Action()> handler);
    void removeHandler(int id);

    // Properties by name ("Text", "XPos", "Checked", ...); control 0 is the window. Unknown names
    // read as empty and are refused when set.
    std::string get(int control, std::string_view name) const;
    bool set(int control, std::string_view name, const std::string& value);
    long getInt(int control, std::string_view name) const;
    bool setInt(int control, std::string_view name, long value);

    int controlCount() const { return static_cast<int>(controls_.size()); }
    int firstControl() const { return controls_.empty() ? 0 : 1; }
    // Controls created at run time take the next numbers; destroyed numbers are not reused.
    int createControl(const ControlDefinition& definition);
    void destroyControl(int control);
    bool exists(int control) const;

    // Gives the control the focus (EVENT:Selected is posted); a control on a tab not chosen brings
    // its tab forward. The user moving the focus raises EVENT:Selected too.
    void select(int control);
    void display(int control = 0); // shows the use variables again (0: every control)
    void update(int control = 0);  // writes entries back into their use variables
    int focusControl() const;

    // Alert keys: a key code armed on a control (0: every control) in a slot; pressing it there
    // raises EVENT:PreAlert, whose default action raises EVENT:AlertKey.
    void alert(int control, int keyCode, int slot = 0);
    void clearAlert(int control, int slot = -1);

    // The accept-all pass: every entry control in order is validated as the program takes
    // EVENT:Accepted for it; the first that fails gets EVENT:Rejected and the pass stops; when all
    // pass EVENT:Completed follows.
    void acceptAll();
    bool acceptAllRunning() const { return acceptAll_ != 0; }

    // Shows the window with its top-left corner at (x, y) dialog units of `parent`, measured from
    // the parent's top-left corner: how a procedure places a window over the one that opened it.
    void placeRelativeTo(const Window& parent, int x, int y);

    // A program-filled list: the current row (1-based, 0 none) and the thumb (0-100) change in one
    // step, so no EVENT:NewSelection is raised and nothing is drawn in between.
    void setListPosition(int control, int row, int thumb);

    void setTimer(int hundredths); // 0 stops
    // Moves between begin and end of a deferred move take effect together at end.
    void beginDeferredMoves();
    void endDeferredMoves();

    QWidget* widget() const;
    QWidget* controlWidget(int control) const;
    Control* controlData(int control) const;
    int thread() const { return thread_; }

    // Used by the widgets and the control kinds.
    void raise(std::uint32_t eventNumber, int control, int keyCode = -1);
    // Whether the event waits in the queue for `control`.
    bool queued(std::uint32_t eventNumber, int control) const;
    // Sends the input on `target` (a widget of the control) through the control's alert keys and
    // kind; without a call the control's own widget is watched.
    void watchInput(int control, QObject* target);
    // Shows and hides the controls by their own Visible and their parents'.
    void refreshVisibility();
    bool visibleByParents(const Control& control) const;
    bool keyPressed(int control, int code); // true when an alert took the key
    // The character of the key press being handled; events raised meanwhile carry it.
    void setPressedChar(std::string character) { pressedChar_ = std::move(character); }
    void userResized();
    void moved();
    void stateChanged(int oldState); // Qt::WindowStates of before the change

    // The pixels of one dialog unit.
    double unitX() const { return unitX_; }
    double unitY() const { return unitY_; }

private:
    struct Posted {
        std::uint32_t code;
        int control;
        int keyCode;
        std::string keyChar{}; // of the key press that raised it
    };
    struct Handler {
        int id;
        std::uint32_t event;
        int control;
        std::function<Action()> run;
    };
    struct Alert {
        int control;
        int key;
        int slot;
    };

    void build(const ControlDefinition& definition, int number);
    void defaultAction();
    bool runHandlers(); // true when a handler skipped the event
    void focusMoved(QWidget* now);
    int controlOf(QWidget* focus) const;
    void bringForward(const Control& control);
    bool nextAcceptAll();
    void place(Control& control);
    void setEnabledAll(bool enabled);

    std::unique_ptr<WindowWidget> widget_;
    std::vector<std::unique_ptr<Control>> controls_;
    Bindings bindings_;
    std::deque<Posted> queue_;
    std::vector<Handler> handlers_;
    std::vector<Alert> alerts_;
    int nextHandler_ = 1;
    std::uint32_t event_ = 0;
    int control_ = 0;
    int keyCode_ = 0;
    std::string keyChar_;
    std::string pressedChar_; // the character of the key press being handled
    Action action_ = Action::Default;
    bool turnTaken_ = false;
    bool closed_ = false;
    bool left_ = false;
    int thread_ = 0;
    int acceptAll_ = 0; // next control of the pass, 0 when none runs
    int focusReported_ = 0; // the control last selected, by the program or the user
    bool pixels_ = false;
    double unitX_ = 1, unitY_ = 1;
    int timerId_ = 0;
    bool timerCounted_ = false;
    bool deferred_ = false;
    Window* under_ = nullptr;   // the window disabled by this one
    int lastX_ = 0, lastY_ = 0; // where the window was last seen, in pixels
    std::string face_;          // the face name the window's font was given
    std::string icon_;
    friend class WindowWidget;
};

// Posts an event to the newest window of `thread` (0: the running thread). False when that thread
// has no window (nothing is queued).
bool post(std::uint32_t eventNumber, int control = 0, int thread = 0);

// The newest window of the running thread.
Window* currentWindow();

} // namespace docket::ui
