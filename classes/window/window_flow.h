#pragma once
// WindowFlow: the procedure flow of one window. A procedure creates one object of a class derived
// from it, calls Execute, and leaves the result in LastResponse. Execute runs Init (which opens the
// window), the event loop, and Shutdown. The flow owns the event loop and the window; it offers each
// event to its own overridable handlers and then to every component (CL), refreshes the components
// after each event, and carries out the record request the window was opened for: insert, change,
// delete, select or view of one record of the primary table, with the save and cancel questions of
// the error reporter, "insert another" and the ditto key.
//
// What stays true:
// - Every component, saved buffer and ditto entry is released exactly once: by Shutdown, which a
//   dead or never initialised flow refuses (5). Execute always runs Shutdown, also when Init failed.
// - A window opened for an insert never leaves a reserved record behind: the record that priming
//   numbered (and added blank) is released when the window ends without inserting it, however it
//   ends (Cancel, a failing Init, a handler leaving the loop).
// - RESPONSE is Completed exactly when this window wrote what it was asked to write.
//
// A form's Init, in order: NoteProcedure on the reporter; REQUEST := PendingRequest; the base Init;
// FIRSTFIELD, VCRREQUEST (&PendingNavigation), ERRORS; clear PendingRequest and LastResponse;
// HISTORYKEY with AddDittoRecord/AddDittoField; AddSavedTable and AddButton(cancel, Cancelled);
// PRIMARY (set it before anything that can fail, so that a reserved record can be released) and
// its Open, FILESOPENED; in RequestView mode the view settings and OKCONTROL 0, else OKCONTROL and
// PrepareRequest (non-zero: return 5); openWindow; components; ArmAlerts. Its Shutdown calls the
// base first, then closes PRIMARY when FILESOPENED and removes the procedure name.
//
// Fields and operations keep the names their design fixes; the slot order of the virtual
// operations is the declaration order below. The flow runs on the program thread of its window;
// nested windows run on the same thread, inside a handler of the window that opened them.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classes/data/error_reporter.h"
#include "classes/data/severity.h"
#include "classes/data/table_access.h"
#include "classes/data/table_relations.h"
#include "classes/window/requests.h"
#include "classes/window/window_member.h"
#include "ui/definition.h"
#include "ui/window.h"

namespace docket::classes {

// Pressing the control ends the window with the response.
struct ButtonEntry {
    std::int32_t CONTROL = 0;
    std::uint8_t RESPONSE = 0;
};

// An update table and the record it held when the request began.
struct SavedTableEntry {
    TableAccess* FILE = nullptr;
    std::int32_t SAVED = 0;
};

// A ditto entry: a field of a live record buffer, its HistoryCopy, and the control that shows it.
struct DittoEntry {
    const drivers::FileDeclaration* RECORD = nullptr; // the live buffer (RECORD->record) and its fields
    std::uint8_t* COPY = nullptr;                     // the HistoryCopy, same layout
    std::uint32_t SIZE = 0;
    std::int32_t CONTROL = 0;
    std::int32_t FIELD = 0; // 1-based field number in the record
};

// Bits of INITED.
inline constexpr std::uint8_t kInitedFirstOpen = 1;
inline constexpr std::uint8_t kInitedFirstSize = 2;

// The tool bar's ditto button.
inline constexpr std::int32_t kToolbarDittoButton = 3012;
// The alert slot the flow arms its keys in.
inline constexpr int kFlowAlertSlot = 255;

class WindowFlow {
public:
    WindowFlow();
    virtual ~WindowFlow();
    WindowFlow(const WindowFlow&) = delete;
    WindowFlow& operator=(const WindowFlow&) = delete;

    // ---- Virtual operations, in slot order ----
    virtual void EventLoop();
    virtual Severity Init();
    virtual Severity Shutdown();
    virtual void FirstOpen();
    virtual void OnNewRecord();
    virtual Severity PrepareRequest();
    virtual void ResetWindow(std::uint8_t force);
    virtual void RecallHistory(std::int32_t control);
    virtual std::uint8_t Execute();
    virtual std::uint8_t CallProcedure(std::uint16_t number, std::uint8_t request);
    virtual void ArmAlerts();
    virtual void Finish(std::uint8_t response);
    virtual Severity OnAccepted();
    virtual Severity OnCompleted();
    virtual Severity OnCloseRequest();
    virtual Severity OnEvent();
    virtual Severity OnFieldEvent();
    virtual Severity OnNewSelection();
    virtual Severity OnRejected();
    virtual Severity OnSelected();
    virtual Severity OnWindowEvent();
    virtual void UpdateComponents();

    // ---- Other operations ----
    void AddComponent(WindowMember& component);
    void RemoveComponent(WindowMember& component);
    void AddButton(std::int32_t control, std::uint8_t response);
    void AddSavedTable(TableAccess& tableAccess);
    // Names a record buffer (the declaration's record and fields) and its HistoryCopy of
    // `copySize` bytes (a copy smaller than the record is refused); each AddDittoField after it
    // adds a ditto entry of that record for one control and field.
    void AddDittoRecord(const drivers::FileDeclaration& record, void* copy, std::uint32_t copySize);
    void AddDittoField(std::int32_t control, std::int32_t fieldNumber);
    void SetToolbar(NavigationToolbar& toolbar);
    void AddNavigationTarget(NavigationTarget& target);
    void SetResizer(WindowResizer& resizer);
    void AddBrowse(BrowseMember& browser);

    // ---- The window (not part of the flow's own design) ----
    // Opens the window from its definition, sets OPENED, and returns it. A derived Init calls this
    // once; the flow owns the window and closes it when Execute ends.
    ui::Window& openWindow(const ui::WindowDefinition& definition, ui::Bindings bindings = {});
    ui::Window* window() const { return window_.get(); }

    // ---- Fields ----
    std::uint8_t AUTOREFRESH = 1;
    std::uint8_t AUTOTOOLBAR = 1;
    std::unique_ptr<std::vector<ButtonEntry>> BUTTONS;
    std::unique_ptr<std::vector<WindowMember*>> CL;
    std::uint8_t CANCELACTION = 3;
    std::uint8_t CHANGEACTION = 1;
    std::uint8_t DEAD = 0;
    std::uint8_t DELETEACTION = 2;
    ErrorReporter* ERRORS = nullptr;
    std::unique_ptr<std::vector<SavedTableEntry>> FILES;
    std::uint8_t FILESOPENED = 0;
    std::int32_t FIRSTFIELD = 0;
    std::uint8_t FORCEDRESET = 0;
    std::unique_ptr<std::vector<DittoEntry>> HISTORY;
    std::int32_t HISTORYKEY = 0;
    std::uint8_t INITED = 0;
    std::uint8_t INSERTACTION = 2;
    std::string LASTINSERTEDPOSITION; // at most 1024 characters
    std::int32_t OKCONTROL = 0;
    std::uint8_t OPENED = 0;
    std::uint8_t ORIGINALREQUEST = 0;
    TableRelations* PRIMARY = nullptr;
    std::uint8_t REQUEST = 0;
    std::uint8_t RESETONGAINFOCUS = 0;
    WindowResizer* RESIZE = nullptr;
    std::uint8_t RESPONSE = 0;
    std::int32_t SAVED = 0; // a TableAccess snapshot id; 0 none
    NavigationToolbar* TOOLBAR = nullptr;
    WindowTranslator* TRANSLATOR = nullptr;
    std::int32_t* VCRREQUEST = nullptr;

protected:
    // The completion that OK starts: the accept-all pass for an insert or change, otherwise
    // EVENT:Completed at once.
    void startCompletion();
    // The record buffer of the primary table, null without one.
    TableAccess* primaryAccess() const { return PRIMARY ? PRIMARY->ME : nullptr; }
    void select(std::int32_t control);
    void redisplay();

private:
    void releaseSaved();
    void snapshotPrimary();
    void releaseReservedRecord();
    Severity insertAnother();
    void saveThroughOk();

    std::unique_ptr<ui::Window> window_;
    bool scopePushed_ = false;
    DittoEntry dittoRecord_; // the record of the fields added next
};

} // namespace docket::classes
