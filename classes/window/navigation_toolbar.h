#pragma once
// NavigationToolbar: the window's navigation buttons (first, last, page, record, insert, change,
// delete, select, locate, ditto, help) driven on behalf of whichever part of the window owns them
// now: a form (FormNavTarget) or a record list (ListNavTarget). The flow offers every accepted
// event to the tool bar first; the tool bar hands it to its current target, which turns a button
// press into the target's action.
//
// The buttons have the fixed control numbers 3000-3019. A window that has no control of such a
// number sees nothing change (enabling an absent control does nothing), so the tool bar keeps its
// own copy of what each button shows: enabled or not and its tool tip. That copy is what the
// window's buttons would show, and what tests read.
//
// What stays true:
// - LIST is ordered by control number; the current target is one of its entries or none.
// - An accepted event with no current target, or a target button naming control 0, does nothing.
// - Only the buttons 3000-3019 are ever touched in the window.
//
// Runs on the program thread of its window, like the flow that owns it.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classes/window/window_member.h"

namespace docket::classes {

class WindowFlow;
class NavigationToolbar;

// The tool bar's control numbers.
namespace toolbar_button {
inline constexpr std::int32_t First = 3000; // start of the range
inline constexpr std::int32_t Insert = 3001;
inline constexpr std::int32_t Change = 3002;
inline constexpr std::int32_t Delete = 3003;
inline constexpr std::int32_t Select = 3004;
inline constexpr std::int32_t Bottom = 3005; // last record or page
inline constexpr std::int32_t Top = 3006;    // first record or page
inline constexpr std::int32_t PageDown = 3007;
inline constexpr std::int32_t PageUp = 3008;
inline constexpr std::int32_t Down = 3009; // next record
inline constexpr std::int32_t Up = 3010;   // previous record
inline constexpr std::int32_t Locate = 3011;
inline constexpr std::int32_t History = 3012; // ditto
inline constexpr std::int32_t Help = 3013;
inline constexpr std::int32_t Last = 3019; // end of the range redisplayed
} // namespace toolbar_button

// A tool-tip table: pairs of button and text, applied in order (a later pair for the same button
// wins).
struct ToolTip {
    std::int32_t button;
    const char* text;
};

// A part of the window that can own the tool bar. The fields name the window's own buttons of each
// role (0 = the window has none).
class NavigationTarget {
public:
    NavigationTarget() = default;
    // A target destroyed while registered leaves its tool bar's list.
    virtual ~NavigationTarget();
    NavigationTarget(const NavigationTarget&) = delete;
    NavigationTarget& operator=(const NavigationTarget&) = delete;

    // ---- Virtual operations, in slot order ----
    virtual void ShowButtons() = 0;
    virtual void GrabFocus() = 0;
    virtual std::uint8_t TryGrabFocus() = 0;
    // `vcrRequest` is the pending-navigation variable (may be null); `window` the flow.
    virtual void HandleAction(std::int32_t* vcrRequest, WindowFlow* window) = 0;

    // Told by the flow whether ditto is available and the request the window was opened for.
    virtual void SetFlowState(bool dittoAvailable, std::uint8_t originalRequest);
    virtual void Init();

    // ---- Fields ----
    std::int32_t CONTROL = 0;
    std::int32_t HELPBUTTON = 0;
    std::int32_t INSERTBUTTON = 0;
    std::int32_t CHANGEBUTTON = 0;
    std::int32_t DELETEBUTTON = 0;
    std::int32_t SELECTBUTTON = 0;
    std::int32_t LOCATEBUTTON = 0;

    NavigationToolbar* toolbar() const { return toolbar_; }

protected:
    // The actions both kinds of target share: 3001-3003 press the window's own insert, change and
    // delete buttons. Help has no help system to open here and does nothing.
    void commonAction(std::int32_t button, WindowFlow* window);
    // Whether the window's own button `control` is there and enabled.
    bool windowButtonEnabled(std::int32_t control) const;
    void enable(std::int32_t first, std::int32_t last, bool on);

private:
    friend class NavigationToolbar;
    NavigationToolbar* toolbar_ = nullptr; // set when the target is registered
};

// The target of a form: its navigation buttons save the record and ask the list that called the
// form to move on (PendingNavigation).
class FormNavTarget : public NavigationTarget {
public:
    void ShowButtons() override;
    void GrabFocus() override;
    std::uint8_t TryGrabFocus() override;
    void HandleAction(std::int32_t* vcrRequest, WindowFlow* window) override;
    void SetFlowState(bool dittoAvailable, std::uint8_t originalRequest) override;

    std::uint8_t REQUEST = 0; // the form's ORIGINALREQUEST
    std::uint8_t HISTORY = 0; // ditto available
};

// The target of a record list: its navigation buttons scroll the list control (CONTROL), to which
// they post the scroll events.
class ListNavTarget : public NavigationTarget {
public:
    void ShowButtons() override;
    void GrabFocus() override;
    std::uint8_t TryGrabFocus() override;
    void HandleAction(std::int32_t* vcrRequest, WindowFlow* window) override;

    BrowseMember* BROWSE = nullptr; // the record browser that fills the list
};

// The tool-tip tables.
const std::vector<ToolTip>& formChangeToolTips();
const std::vector<ToolTip>& formInsertToolTips();
const std::vector<ToolTip>& listToolTips();

class NavigationToolbar {
public:
    // `window` is the flow the tool bar belongs to; its window need not be open yet.
    explicit NavigationToolbar(WindowFlow* window = nullptr) : window_(window) {}
    // Lets go of its targets, and of its flow when the flow still names it as its tool bar.
    virtual ~NavigationToolbar();
    NavigationToolbar(const NavigationToolbar&) = delete;
    NavigationToolbar& operator=(const NavigationToolbar&) = delete;

    // ---- Virtual operations, in slot order ----
    virtual void ShowButtons();
    virtual void Shutdown();
    virtual void OnEvent(std::int32_t* vcrRequest);

    // ---- Other operations (virtual so that a window may stand in its own) ----
    virtual void Init();
    // Files `target` under `control` (-1: every control) and makes `target` belong to this tool bar.
    virtual void RegisterTarget(NavigationTarget& target, std::int32_t control);
    // A control's target becomes current and takes the tool bar; 0 offers the tool bar to every
    // target in order, and the last that takes it becomes current.
    virtual void SetCurrentTarget(std::int32_t control);

    struct Entry {
        std::int32_t CONTROL = 0;
        NavigationTarget* TARGET = nullptr;
    };
    std::unique_ptr<std::vector<Entry>> LIST;

    // ---- What the buttons show ----
    NavigationTarget* current() const;
    // Enables or disables the buttons first..last (within 3000-3019), in the copy and in the window.
    void enable(std::int32_t first, std::int32_t last, bool on);
    void applyToolTips(const std::vector<ToolTip>& table);
    // Redisplays the range 3000-3019 of the window.
    void redisplay();
    bool enabled(std::int32_t button) const;
    std::string toolTip(std::int32_t button) const;
    WindowFlow* window() const { return window_; }
    void setWindow(WindowFlow* window) { window_ = window; }

private:
    friend class NavigationTarget;
    void forget(NavigationTarget& target);
    static constexpr std::size_t kButtons =
        static_cast<std::size_t>(toolbar_button::Last - toolbar_button::First + 1);
    static bool inRange(std::int32_t button) {
        return button >= toolbar_button::First && button <= toolbar_button::Last;
    }
    WindowFlow* window_;
    std::ptrdiff_t current_ = -1; // index into LIST
    std::array<bool, kButtons> enabled_{};
    std::array<std::string, kButtons> tips_{};
};

} // namespace docket::classes
