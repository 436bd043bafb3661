#pragma once
// The interfaces through which the parts of a window join its WindowFlow.
//
// WindowMember is what every component (record browser, file drop combo, resizer and the like)
// offers: the flow offers it every event, asks it after each event whether it needs a refresh,
// resets and redisplays it, lets it write its value into the record and shuts it down when the
// window ends. A component reads the event it is offered from the window itself.
//
// The navigation tool bar, its targets, the resizer and the translator come with their own files;
// the flow needs only the few operations below from them, so it is built and tested without them.
// All of them run on the program thread of their window.
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

// A tool-bar target: a form or a record list that owns the tool bar's buttons while it is current.
class NavigationTarget {
public:
    virtual ~NavigationTarget() = default;
    // Told before Init whether ditto is available and the request the form was opened for.
    virtual void SetFlowState(bool dittoAvailable, std::uint8_t originalRequest) = 0;
    virtual void Init() = 0;
};

class NavigationToolbar {
public:
    virtual ~NavigationToolbar() = default;
    virtual void Init() = 0;
    virtual void Shutdown() = 0;
    // Offered every accepted event first, with the pending-navigation variable (may be null).
    virtual void OnEvent(std::int32_t* vcrRequest) = 0;
    // -1 registers the target for every control.
    virtual void RegisterTarget(NavigationTarget& target, std::int32_t control) = 0;
    // 0 offers the tool bar to every target afresh.
    virtual void SetCurrentTarget(std::int32_t control) = 0;
};

class WindowResizer {
public:
    virtual ~WindowResizer() = default;
    virtual void Shutdown() = 0;
};

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
