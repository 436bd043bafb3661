#include "classes/window/window_flow.h"

#include <QApplication>
#include <QCursor>

#include <algorithm>
#include <cstring>

#include "runtime/expression/binding_scopes.h"
#include "ui/events.h"
#include "ui/keys.h"
#include "ui/modal.h"

namespace docket::classes {
namespace {

constexpr std::size_t kPositionLimit = 1024;
constexpr int kSheetControlType = 37;

// Message ids of the questions the flow asks.
constexpr std::uint16_t kRecordAdded = 3;
constexpr std::uint16_t kChangesWillBeLost = 8;
constexpr std::uint16_t kRecordUpdateError = 34;
constexpr std::uint16_t kSaveRecord = 35;
constexpr ButtonSet kYesNoCancel = button::kYes | button::kNo | button::kCancel;

// The wait cursor while a record is written.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~BusyCursor() { restore(); }
    void restore() {
        if (shown_) QApplication::restoreOverrideCursor();
        shown_ = false;
    }

private:
    bool shown_ = true;
};

} // namespace

WindowFlow::WindowFlow() = default;

WindowFlow::~WindowFlow() {
    // A flow destroyed without Execute (a procedure that bailed out) still releases what it holds.
    if (CL && !DEAD) WindowFlow::Shutdown();
}

ui::Window& WindowFlow::openWindow(const ui::WindowDefinition& definition, ui::Bindings bindings) {
    window_ = std::make_unique<ui::Window>(definition, std::move(bindings));
    OPENED = 1;
    return *window_;
}

void WindowFlow::select(std::int32_t control) {
    if (window_ && control != 0) window_->select(control);
}

void WindowFlow::redisplay() {
    if (window_) window_->display();
}

// ---- Start and end -------------------------------------------------------------------------------

Severity WindowFlow::Init() {
    ORIGINALREQUEST = REQUEST;
    CL = std::make_unique<std::vector<WindowMember*>>();
    BUTTONS = std::make_unique<std::vector<ButtonEntry>>();
    runtime::pushScope(true);
    scopePushed_ = true;
    // The right click that opened this window (through a popup menu) must not act on it.
    if (ui::Window* opener = ui::currentWindow()) {
        const int code = opener->keyCode();
        if (code == ui::key::MouseRight || code == ui::key::MouseRightUp) opener->setKeyCode(0);
    }
    INSERTACTION = 2;
    DELETEACTION = 2;
    CHANGEACTION = 1;
    CANCELACTION = 3;
    AUTOTOOLBAR = 1;
    AUTOREFRESH = 1;
    return Severity::Proceed;
}

std::uint8_t WindowFlow::Execute() {
    if (Init() == Severity::Proceed) EventLoop();
    Shutdown();
    if (window_) window_->close();
    return RESPONSE != 0 ? RESPONSE : Cancelled;
}

Severity WindowFlow::Shutdown() {
    if (DEAD || !CL) return Severity::Inform;
    // Mend: a window opened for an insert may end without the record that priming reserved being
    // inserted or released: Init failed after the caller primed it, or a handler left the loop.
    // Releasing it here, while the table is still open, leaves no blank row in the file.
    releaseReservedRecord();
    while (!CL->empty()) {
        WindowMember* component = CL->front();
        CL->erase(CL->begin());
        component->Shutdown();
    }
    CL.reset();
    BUTTONS.reset();
    HISTORY.reset();
    if (FILES) {
        for (const SavedTableEntry& entry : *FILES)
            if (entry.FILE && entry.SAVED) entry.FILE->RestoreSnapshot(entry.SAVED, false);
        FILES.reset();
    }
    releaseSaved();
    if (TOOLBAR) TOOLBAR->Shutdown();
    if (RESIZE) RESIZE->Shutdown();
    DEAD = 1;
    if (scopePushed_) runtime::popScope();
    scopePushed_ = false;
    return Severity::Proceed;
}

void WindowFlow::releaseReservedRecord() {
    if (ORIGINALREQUEST != RequestInsert || !PRIMARY) return;
    if (RESPONSE != Completed || !LASTINSERTEDPOSITION.empty()) {
        // Does nothing unless a number is still reserved for the buffer (an insert clears it).
        PRIMARY->ReleaseAutoNumber();
    }
    if (!LASTINSERTEDPOSITION.empty() && RESPONSE != Completed) {
        RESPONSE = Completed;
        if (TableAccess* access = primaryAccess()) access->Reget(LASTINSERTEDPOSITION);
    }
}

void WindowFlow::releaseSaved() {
    if (SAVED != 0)
        if (TableAccess* access = primaryAccess()) access->RestoreSnapshot(SAVED, false);
    SAVED = 0;
}

void WindowFlow::snapshotPrimary() {
    releaseSaved();
    if (TableAccess* access = primaryAccess()) SAVED = access->SnapshotRecord();
}

std::uint8_t WindowFlow::CallProcedure(std::uint16_t, std::uint8_t) {
    return Cancelled;
}

// ---- The event loop ------------------------------------------------------------------------------

void WindowFlow::EventLoop() {
    if (DEAD || !window_) return;
    LASTINSERTEDPOSITION.clear();
    while (window_->takeEvent()) {
        const Severity result = OnEvent();
        if (result == Severity::Fatal)
            window_->setAction(ui::Action::Leave);
        else if (result == Severity::Inform)
            window_->setAction(ui::Action::Skip);
    }
}

Severity WindowFlow::OnEvent() {
    ui::Window& w = *window_;
    const std::uint32_t event = w.event();
    Severity result = Severity::Proceed;
    if (w.control() == 0 && !ui::isFieldEvent(event)) {
        result = OnWindowEvent();
        if (result != Severity::Proceed) return result;
    }
    switch (event) {
    case ui::event::Accepted:
        result = OnAccepted();
        break;
    case ui::event::Rejected:
        result = OnRejected();
        break;
    case ui::event::Selected:
        result = OnSelected();
        break;
    case ui::event::NewSelection:
        result = OnNewSelection();
        break;
    case ui::event::AlertKey:
        // The alert names the control the key was pressed on, which is the one with the focus.
        if (HISTORYKEY != 0 && w.keyCode() == HISTORYKEY)
            RecallHistory(w.control() != 0 ? w.control() : w.focusControl());
        break;
    default:
        break;
    }
    if (result != Severity::Proceed) return result;
    if (w.control() != 0) {
        result = OnFieldEvent();
        if (result != Severity::Proceed) return result;
    }
    if (!CL) return Severity::Proceed;
    // A component may join or leave the window while it handles the event: walk a copy.
    const std::vector<WindowMember*> components = *CL;
    for (WindowMember* component : components) {
        result = component->OnEvent();
        if (result != Severity::Proceed) return result;
    }
    if (AUTOREFRESH && CL) {
        for (WindowMember* component : std::vector<WindowMember*>(*CL)) {
            if (component->NeedsRefresh()) {
                ResetWindow(0);
                break;
            }
        }
    }
    return Severity::Proceed;
}

Severity WindowFlow::OnWindowEvent() {
    switch (window_->event()) {
    case ui::event::OpenWindow:
        if (!(INITED & kInitedFirstOpen)) FirstOpen();
        select(FIRSTFIELD);
        return Severity::Proceed;
    case ui::event::LoseFocus:
        if (RESETONGAINFOCUS) FORCEDRESET = 1;
        return Severity::Proceed;
    case ui::event::GainFocus:
        if (INITED & kInitedFirstOpen)
            ResetWindow(0);
        else
            FirstOpen();
        return Severity::Proceed;
    case ui::event::Sized:
        if (!(INITED & kInitedFirstSize))
            INITED |= kInitedFirstSize;
        else
            ResetWindow(0);
        return Severity::Proceed;
    case ui::event::Completed:
        return OnCompleted();
    case ui::event::CloseWindow:
    case ui::event::CloseDown:
        return OnCloseRequest();
    default:
        return Severity::Proceed;
    }
}

void WindowFlow::FirstOpen() {
    if (TRANSLATOR) TRANSLATOR->TranslateWindow(0);
    ResetWindow(0);
    INITED |= kInitedFirstOpen;
}

void WindowFlow::ResetWindow(std::uint8_t force) {
    // The accept-all pass must see the values as the user left them.
    if (window_ && window_->acceptAllRunning()) return;
    force = static_cast<std::uint8_t>(force + FORCEDRESET);
    FORCEDRESET = 0;
    if (CL) {
        const std::vector<WindowMember*> components = *CL;
        for (WindowMember* component : components) component->Reset(force);
        for (WindowMember* component : components) component->Redisplay();
    }
    redisplay();
}

Severity WindowFlow::OnFieldEvent() {
    return Severity::Proceed;
}

Severity WindowFlow::OnSelected() {
    return Severity::Proceed;
}

Severity WindowFlow::OnNewSelection() {
    const std::int32_t control = window_->control();
    if (window_->getInt(control, "Type") == kSheetControlType) {
        ResetWindow(0);
        if (AUTOTOOLBAR && TOOLBAR) TOOLBAR->SetCurrentTarget(0);
    }
    return Severity::Proceed;
}

Severity WindowFlow::OnRejected() {
    const std::int32_t control = window_->control();
    ui::beep();
    window_->display(control);
    select(control);
    return Severity::Proceed;
}

// ---- Accepting, completing and closing --------------------------------------------------------------

Severity WindowFlow::OnAccepted() {
    const std::int32_t control = window_->control();
    if (TOOLBAR) {
        TOOLBAR->OnEvent(VCRREQUEST);
        if (control == kToolbarDittoButton) RecallHistory(window_->focusControl());
    }
    if (BUTTONS) {
        for (const ButtonEntry& button : *BUTTONS) {
            if (button.CONTROL == control) {
                Finish(button.RESPONSE);
                return Severity::Inform;
            }
        }
    }
    if (OKCONTROL != 0 && control == OKCONTROL) startCompletion();
    return Severity::Proceed;
}

void WindowFlow::startCompletion() {
    if (ORIGINALREQUEST == RequestInsert || ORIGINALREQUEST == RequestChange)
        window_->acceptAll();
    else
        window_->post(ui::event::Completed);
}

Severity WindowFlow::OnCompleted() {
    if (HISTORY) {
        const std::uint8_t* copied = nullptr;
        for (const DittoEntry& entry : *HISTORY) {
            if (entry.COPY == copied) continue; // consecutive entries share one copy
            std::memcpy(entry.COPY, entry.RECORD->record, entry.SIZE);
            copied = entry.COPY;
        }
    }
    TableAccess* access = primaryAccess();
    if (!access) return Severity::Proceed;
    switch (REQUEST) {
    case RequestInsert: {
        if (access->Insert(kReport) != Severity::Proceed) {
            select(FIRSTFIELD);
            return Severity::Inform;
        }
        // Mend: the record is in the file now, whatever INSERTACTION says next: the response is
        // Completed. A window that stays open on it also saves it afresh, so that a later Cancel
        // neither offers to save it again (which would insert it a second time) nor reports
        // Cancelled.
        RESPONSE = Completed;
        switch (INSERTACTION) {
        case 2:
            Finish(Completed);
            return Severity::Proceed;
        case 4:
            if (ERRORS && ERRORS->Raise(kRecordAdded) == Severity::Proceed) return insertAnother();
            Finish(Completed);
            return Severity::Proceed;
        case 3:
            return insertAnother();
        default:
            snapshotPrimary();
            return Severity::Proceed;
        }
    }
    case RequestChange:
        for (;;) {
            RESPONSE = Cancelled;
            BusyCursor busy;
            const bool changed = !access->SameAsSnapshot(SAVED);
            Severity error = Severity::Proceed;
            // With a ditto key the user can recall the own values when another station changed the
            // record meanwhile: the update then shows the other station's version.
            if (changed) error = PRIMARY->Update(HISTORYKEY != 0);
            busy.restore();
            if (error == Severity::Question) {
                const ButtonSet answer =
                    ERRORS ? ERRORS->Confirm(kRecordUpdateError, kYesNoCancel, button::kCancel) : button::kCancel;
                if (answer == button::kYes) continue;
                if (answer == button::kNo) {
                    window_->post(ui::event::CloseWindow);
                } else {
                    redisplay();
                    select(FIRSTFIELD);
                }
                return Severity::Proceed;
            }
            if (error != Severity::Proceed) {
                redisplay();
                select(FIRSTFIELD);
                return Severity::Proceed;
            }
            if (changed || (TOOLBAR && PendingNavigation == 0)) RESPONSE = Completed;
            window_->post(ui::event::CloseWindow);
            return Severity::Proceed;
        }
    case RequestDelete: {
        RESPONSE = Cancelled;
        BusyCursor busy;
        const Severity deleted = PRIMARY->Delete(DELETEACTION == 2);
        busy.restore();
        if (deleted == Severity::Proceed) {
            Finish(Completed);
            return Severity::Proceed;
        }
        // Choice: the relations have already offered to try again ("Record Delete Error") after a
        // failed delete, and a declined confirmation is no error; asking the same question a second
        // time here would only repeat it. The form stays open for another OK or Cancel.
        redisplay();
        select(FIRSTFIELD);
        return Severity::Proceed;
    }
    default:
        return Severity::Proceed;
    }
}

// "Insert another": the form stays open on a freshly primed record.
Severity WindowFlow::insertAnother() {
    TableAccess* access = primaryAccess();
    LASTINSERTEDPOSITION = access->Position();
    if (LASTINSERTEDPOSITION.size() > kPositionLimit) LASTINSERTEDPOSITION.resize(kPositionLimit);
    if (FILES) {
        for (SavedTableEntry& entry : *FILES) {
            entry.FILE->RestoreSnapshot(entry.SAVED, true);
            entry.SAVED = entry.FILE->SnapshotRecord();
        }
    }
    // The primary record as it was when the request began comes back, and its saved copy is
    // released; the new one is taken once below (mend: it was taken twice, and one leaked).
    if (SAVED != 0) access->RestoreSnapshot(SAVED, true);
    SAVED = 0;
    if (access->RequireOpen(use_kind::kBrowse) != Severity::Proceed ||
        access->PrepareNewRecord(true) != Severity::Proceed) {
        // Nothing is reserved: the caller finds the last record inserted in the buffer.
        access->Reget(LASTINSERTEDPOSITION);
        snapshotPrimary();
        window_->post(ui::event::CloseWindow);
        return Severity::Inform;
    }
    OnNewRecord();
    // While the next record is edited the window has not completed it; closing then releases its
    // number and reports Completed for the records inserted before (LASTINSERTEDPOSITION).
    RESPONSE = Cancelled;
    snapshotPrimary();
    redisplay();
    select(FIRSTFIELD);
    return Severity::Inform;
}

Severity WindowFlow::OnCloseRequest() {
    if (RESPONSE == Completed || !PRIMARY) return Severity::Proceed;
    TableAccess* access = primaryAccess();
    if (CANCELACTION != 0 && (REQUEST == RequestInsert || REQUEST == RequestChange) && access &&
        !access->SameAsSnapshot(SAVED)) {
        const bool save = (CANCELACTION & 1) != 0;
        const bool ask = (CANCELACTION & 2) != 0;
        if (save && ask) {
            const ButtonSet answer =
                ERRORS ? ERRORS->Confirm(kSaveRecord, kYesNoCancel, button::kCancel) : button::kCancel;
            if (answer == button::kYes) {
                saveThroughOk();
                return Severity::Inform;
            }
            if (answer != button::kNo) {
                select(FIRSTFIELD);
                return Severity::Inform;
            }
        } else if (save) {
            saveThroughOk();
            return Severity::Inform;
        } else if (ERRORS && ERRORS->Raise(kChangesWillBeLost) == Severity::Declined) {
            select(FIRSTFIELD);
            return Severity::Inform;
        }
    }
    if (ORIGINALREQUEST == RequestInsert && RESPONSE != Completed) {
        // The record that priming numbered (and added blank) goes again.
        if (PRIMARY->ReleaseAutoNumber() != Severity::Proceed) {
            select(FIRSTFIELD);
            return Severity::Inform;
        }
    }
    if (!LASTINSERTEDPOSITION.empty()) {
        RESPONSE = Completed;
        if (access) access->Reget(LASTINSERTEDPOSITION);
    }
    return Severity::Proceed;
}

// Saving on close runs as if OK were pressed, so that a window's own OK handling (and validation)
// takes part. Mend: a window without an OK control (OKCONTROL 0) starts the completion itself;
// posting to control 0 reached nothing, and such a window could never be closed.
void WindowFlow::saveThroughOk() {
    if (OKCONTROL != 0)
        window_->post(ui::event::Accepted, OKCONTROL);
    else
        startCompletion();
}

void WindowFlow::Finish(std::uint8_t response) {
    // Mend: a record this window has already inserted stays reported (Cancel after an insert that
    // left the window open must not tell the caller that nothing was written).
    if (!(response == Cancelled && RESPONSE == Completed)) RESPONSE = response;
    if (window_) window_->post(ui::event::CloseWindow);
    // Mend: VCRREQUEST may be unset (a window without tool-bar navigation): never write through null.
    if (response == Cancelled && TOOLBAR && VCRREQUEST) *VCRREQUEST = 0;
}

// ---- Requests --------------------------------------------------------------------------------------

Severity WindowFlow::PrepareRequest() {
    TableAccess* access = primaryAccess();
    if (!access) return Severity::Proceed;
    // Related tables open lazily with their first use (table access), so nothing more is prepared.
    access->RequireOpen(use_kind::kBrowse);
    if (FILES)
        for (SavedTableEntry& entry : *FILES) entry.SAVED = entry.FILE->SnapshotRecord();
    Severity result = Severity::Proceed;
    if (REQUEST == RequestInsert && INSERTACTION != 0) {
        RESPONSE = Completed;
        OnNewRecord();
        if (RESPONSE == Cancelled)
            result = Severity::Fatal;
        else
            RESPONSE = Cancelled;
    } else if (REQUEST == RequestDelete && (DELETEACTION == 2 || DELETEACTION == 4)) {
        const Severity deleted = PRIMARY->Delete(DELETEACTION == 2);
        RESPONSE = deleted == Severity::Proceed ? Completed : Cancelled;
        result = Severity::Fatal;
    }
    snapshotPrimary();
    return result;
}

void WindowFlow::OnNewRecord() {}

void WindowFlow::UpdateComponents() {
    if (!CL) return;
    for (WindowMember* component : std::vector<WindowMember*>(*CL)) component->Update();
}

// ---- Ditto -----------------------------------------------------------------------------------------

void WindowFlow::RecallHistory(std::int32_t control) {
    if (!HISTORY) return;
    for (const DittoEntry& entry : *HISTORY) {
        if (entry.CONTROL != control || entry.FIELD < 1 ||
            static_cast<std::size_t>(entry.FIELD) > entry.RECORD->fields.size())
            continue;
        const drivers::FieldDeclaration& field = entry.RECORD->fields[static_cast<std::size_t>(entry.FIELD) - 1];
        if (field.offset + field.size > entry.SIZE) return;
        std::memcpy(entry.RECORD->record + field.offset, entry.COPY + field.offset, field.size);
        if (window_) window_->display(control);
        return;
    }
}

void WindowFlow::ArmAlerts() {
    if (CL)
        for (WindowMember* component : std::vector<WindowMember*>(*CL)) component->ArmAlerts();
    if (HISTORYKEY != 0 && HISTORY && window_)
        for (const DittoEntry& entry : *HISTORY)
            if (entry.CONTROL != 0) window_->alert(entry.CONTROL, HISTORYKEY, kFlowAlertSlot);
}

// ---- Building the window's parts -------------------------------------------------------------------

void WindowFlow::AddComponent(WindowMember& component) {
    if (!CL) CL = std::make_unique<std::vector<WindowMember*>>();
    CL->push_back(&component);
}

void WindowFlow::RemoveComponent(WindowMember& component) {
    if (CL) std::erase(*CL, &component);
}

void WindowFlow::AddButton(std::int32_t control, std::uint8_t response) {
    if (!BUTTONS) BUTTONS = std::make_unique<std::vector<ButtonEntry>>();
    BUTTONS->push_back({control, response});
}

void WindowFlow::AddSavedTable(TableAccess& tableAccess) {
    if (!FILES) FILES = std::make_unique<std::vector<SavedTableEntry>>();
    FILES->push_back({&tableAccess, 0});
}

void WindowFlow::AddDittoRecord(const drivers::FileDeclaration& record, void* copy, std::uint32_t copySize) {
    if (copy == nullptr || record.record == nullptr || copySize < record.recordLength) return;
    if (!HISTORY) HISTORY = std::make_unique<std::vector<DittoEntry>>();
    dittoRecord_ = {&record, static_cast<std::uint8_t*>(copy), record.recordLength, 0, 0};
}

void WindowFlow::AddDittoField(std::int32_t control, std::int32_t fieldNumber) {
    if (!HISTORY || dittoRecord_.RECORD == nullptr) return;
    // An entry of the record named last, filed in control-number order.
    DittoEntry entry = dittoRecord_;
    entry.CONTROL = control;
    entry.FIELD = fieldNumber;
    auto at = std::upper_bound(HISTORY->begin(), HISTORY->end(), control,
                               [](std::int32_t c, const DittoEntry& e) { return c < e.CONTROL; });
    HISTORY->insert(at, entry);
}

void WindowFlow::SetToolbar(NavigationToolbar& toolbar) {
    TOOLBAR = &toolbar;
    toolbar.Init();
}

void WindowFlow::AddNavigationTarget(NavigationTarget& target) {
    target.SetFlowState(HISTORYKEY != 0, ORIGINALREQUEST);
    target.Init();
    if (TOOLBAR) {
        TOOLBAR->RegisterTarget(target, -1);
        TOOLBAR->SetCurrentTarget(-1);
    }
}

void WindowFlow::SetResizer(WindowResizer& resizer) {
    RESIZE = &resizer;
}

void WindowFlow::AddBrowse(BrowseMember& browser) {
    AddComponent(browser.WindowComponent());
    if (REQUEST == RequestSelect) browser.StartSelecting();
}

} // namespace docket::classes
