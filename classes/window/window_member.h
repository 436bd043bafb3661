#pragma once
// The interfaces through which the parts of a window join its WindowFlow.
//
// WindowMember is what every component (record browser, file drop combo, resizer and the like)
// offers: the flow offers it every event, asks it after each event whether it needs a refresh,
// resets and redisplays it, lets it write its value into the record and shuts it down when the
// window ends. A component reads the event it is offered from the window itself.
//
// The navigation tool bar with its targets (navigation_toolbar.h) and the resizer
// (window_resizer.h) come with their own files; the translator is only an interface here. All of
// them run on the program thread of their window.
#include <cstdint>

#include "classes/data/severity.h"

namespace docket::classes {

class WindowFlow;

class WindowMember {
public:
    virtual ~WindowMember() = default;
    // In slot order.
    virtual void Shutdown() = 0;
    virtual void Reset(std::uint8_t force) = 0;
    virtual std::uint8_t NeedsRefresh() = 0;
    virtual void ArmAlerts() = 0;
    virtual Severity OnEvent() = 0;
    virtual void Update() = 0;    // writes the component's current value into the record
    virtual void Redisplay() = 0; // shows the component again
};

// The navigation tool bar with its targets, and the resizer, have their own headers (included at
// the end of this one); the flow holds them by reference.
class NavigationTarget;
class NavigationToolbar;
class WindowResizer;

class WindowTranslator {
public:
    virtual ~WindowTranslator() = default;
    // Translates the texts of the current window; `control` 0 means every control.
    virtual void TranslateWindow(std::int32_t control) = 0;
};

// A record browser as the flow sees it when the browser joins the window: its component, and the
// switch into selection mode for a window opened to select a record.
class BrowseMember {
public:
    virtual ~BrowseMember() = default;
    virtual WindowMember& WindowComponent() = 0;
    virtual void StartSelecting() = 0;
};

} // namespace docket::classes

#include "classes/window/navigation_toolbar.h"
#include "classes/window/window_resizer.h"
