// The memo form: its window definition and its procedure. The number, date, type and subject are
// ordinary controls on the record buffer MEM; the body MEM_ISI_MEMO is edited in the rich-text
// editor, which stands over the text box (control 15) and streams the body in when it reports that
// it is open and out again when OK is pressed. The type comes from MemoTableDrop, a drop combo over
// MEMO_JENIS that copies the chosen JEN:JENIS_ID into MEM:JENIS_ID and adds a type the user typed
// through the memo type form.
//
// Beyond the window flow's defaults, the form keeps these promises:
// - OK writes nothing when the body does not fit its 8192-byte field: the editor says so, the form
//   stays open and the body stays in the editor as the user left it.
// - Editing only the body is a change like any other: before Cancel or closing asks its question,
//   an edited body is brought into the record, so "Save Record" is asked; answering Cancel leaves
//   the form and its editor working. The editor is closed only when the form really closes.
// - The editor is judged by what its Init returns, never by a runtime error some earlier editor
//   left behind; a form that cannot start its editor closes before its loop, and the record an
//   insert reserved is released (the flow does that however the form ends).
#include "app/windows/update_memo_db.h"

#include <cstddef>
#include <memory>
#include <string>

#include "app/dictionary.h"
#include "app/memo_tables.h"
#include "app/program.h"
#include "app/windows/calendar_picker.h"
#include "app/windows/field_binding.h"
#include "app/windows/update_memo_jenis.h"
#include "classes/window/navigation_toolbar.h"
#include "classes/window/requests.h"
#include "classes/window/table_drop_combo.h"
#include "classes/window/window_flow.h"
#include "classes/window/window_resizer.h"
#include "files/view.h"
#include "rtf/rtf_editor.h"
#include "ui/definition.h"
#include "ui/events.h"
#include "ui/keys.h"
#include "ui/rich_text_control.h"
#include "ui/window.h"

namespace docket::app {

rtf::kwRTF* MemoEditor = nullptr;

namespace {

using namespace classes;
using ui::ControlType;

// Control numbers.
constexpr int cCurrentTab = 1, cTab1 = 2, cMemoIdPrompt = 3, cMemoId = 4, cTypePrompt = 5, cJenisMemo = 6,
              cDatePrompt = 7, cDate = 8, cPopCalendar = 9, cDateLong = 10, cMemoNoPrompt = 11, cMemoNo = 12,
              cPerihalPrompt = 13, cPerihal = 14, cRtfTextBox = 15, cOk = 16, cCancel = 17;
// The memo type form, as the combo's update procedure.
constexpr std::uint16_t kJenisProcedure = 1;
// The editor's text limit and the body field's size.
constexpr int kBodyLimit = 8192;
// Message 35, "Save Record", with Yes, No and Cancel.
constexpr std::uint16_t kSaveRecord = 35;

ui::WindowDefinition memoWindow() {
    using namespace ui::attr;
    // The tab carries a caption, as the memo type form's does: a blank tab looks unfinished.
    return ui::WindowDefinition{
        .caption = "",
        .font = "MS Sans Serif",
        .fontSize = 8,
        .icon = "docket.ico",
        .width = 340,
        .height = 262,
        .attributes = ui::wattr::System | ui::wattr::Gray | ui::wattr::Resizable | ui::wattr::Center,
        .controls =
            {
                {.type = ControlType::Sheet,
                 .name = "?CURRENTTAB",
                 .x = 4,
                 .y = 4,
                 .width = 332,
                 .height = 232},
                {.type = ControlType::Tab, .name = "?TAB:1", .text = "General", .parent = cCurrentTab},
                {.type = ControlType::Prompt,
                 .name = "?MEM:MEMO_ID:PROMPT",
                 .text = "Memo ID:",
                 .x = 12,
                 .y = 26,
                 .width = 44,
                 .height = 10,
                 .parent = cTab1},
                {.type = ControlType::Entry,
                 .name = "?MEM:MEMO_ID",
                 .x = 60,
                 .y = 24,
                 .width = 60,
                 .height = 12,
                 .use = "MEM:MEMO_ID",
                 .picture = "@n-14",
                 .parent = cTab1},
                {.type = ControlType::Prompt,
                 .name = "?PROMPT5",
                 .text = "Type:",
                 .x = 136,
                 .y = 26,
                 .width = 24,
                 .height = 10,
                 .parent = cTab1},
                {.type = ControlType::Combo,
                 .name = "?JEN:JENIS_MEMO",
                 .x = 162,
                 .y = 24,
                 .width = 164,
                 .height = 12,
                 .use = "JEN:JENIS_MEMO",
                 .picture = "@s30",
                 .format = "120L(2)|M~Memo Type~@s30@56R(2)|M~Type ID~L@n-14@",
                 .tip = "Select one from dropdown list, OR\r\nif you cannot find what you want just \r\n"
                        "type a new type here and press TAB,\r\nnew window popup will come and then\r\n"
                        "press OK button.",
                 .parent = cTab1},
                {.type = ControlType::Prompt,
                 .name = "?MEM:TANGGAL_MEMO:PROMPT",
                 .text = "Memo Date:",
                 .x = 12,
                 .y = 44,
                 .width = 44,
                 .height = 10,
                 .parent = cTab1},
                {.type = ControlType::Entry,
                 .name = "?MEM:TANGGAL_MEMO",
                 .x = 60,
                 .y = 42,
                 .width = 60,
                 .height = 12,
                 .use = "MEM:TANGGAL_MEMO",
                 .picture = "@d17",
                 .tip =
                     "Tampilan tanggal memo (dd/mm/yyyy atau\r\nmm/dd/yyyy) adalah sesuai dengan regional\r\n"
                     "setting windows Anda",
                 .parent = cTab1},
                {.type = ControlType::Button,
                 .name = "?POPCALENDAR",
                 .text = "...",
                 .x = 122,
                 .y = 42,
                 .width = 14,
                 .height = 12,
                 .parent = cTab1},
                {.type = ControlType::Text,
                 .name = "?MEM:TANGGAL_MEMO:2",
                 .x = 142,
                 .y = 44,
                 .width = 184,
                 .height = 10,
                 .use = "MEM:TANGGAL_MEMO",
                 .picture = "@D4",
                 .parent = cTab1},
                {.type = ControlType::Prompt,
                 .name = "?MEM:MEMO_NO:PROMPT",
                 .text = "Memo No:",
                 .x = 12,
                 .y = 62,
                 .width = 44,
                 .height = 10,
                 .parent = cTab1},
                {.type = ControlType::Entry,
                 .name = "?MEM:MEMO_NO",
                 .x = 60,
                 .y = 60,
                 .width = 130,
                 .height = 12,
                 .use = "MEM:MEMO_NO",
                 .picture = "@s30",
                 .parent = cTab1},
                {.type = ControlType::Prompt,
                 .name = "?MEM:PERIHAL:PROMPT",
                 .text = "Subject:",
                 .x = 12,
                 .y = 80,
                 .width = 44,
                 .height = 10,
                 .parent = cTab1},
                {.type = ControlType::Entry,
                 .name = "?MEM:PERIHAL",
                 .x = 60,
                 .y = 78,
                 .width = 266,
                 .height = 12,
                 .use = "MEM:PERIHAL",
                 .picture = "@s80",
                 .parent = cTab1},
                {.type = ControlType::TextBox,
                 .name = "?RTFTEXTBOX",
                 .x = 12,
                 .y = 96,
                 .width = 314,
                 .height = 132,
                 .tip = "Type your memo here, OR\r\njust copy and paste from other\r\nword editing software "
                        "like\r\n"
                        "MS Office or Open Office",
                 .parent = cTab1,
                 .attributes = VScroll},
                {.type = ControlType::Button,
                 .name = "?OK",
                 .text = "OK",
                 .x = 242,
                 .y = 242,
                 .width = 45,
                 .height = 14,
                 .attributes = Default},
                {.type = ControlType::Button,
                 .name = "?CANCEL",
                 .text = "Cancel",
                 .x = 291,
                 .y = 242,
                 .width = 45,
                 .height = 14},
            },
    };
}

class UpdateMemoDbWindow : public WindowFlow {
public:
    UpdateMemoDbWindow() : JenisView(runtime::ViewDeclaration{.primary = &jenisFile()}) {}
    // A form left without Execute finishing (its program thread unwound) shuts down while its tool
    // bar, target, resizer, combo and editor still exist.
    ~UpdateMemoDbWindow() override {
        if (CL && !DEAD) UpdateMemoDbWindow::Shutdown();
    }
    Severity Init() override;
    void EventLoop() override;
    void FirstOpen() override;
    Severity OnWindowEvent() override;
    Severity OnAccepted() override;
    Severity OnFieldEvent() override;
    std::uint8_t CallProcedure(std::uint16_t number, std::uint8_t request) override;
    std::uint8_t Execute() override;
    Severity Shutdown() override;

private:
    // Brings an edited body into the record before the close question; Inform when the form is to
    // stay open (the user said so, or asked for a save that OK will try).
    Severity bodyIntoRecord();

    std::string ActionMessage; // the caption, CSTRING(40)
    NavigationToolbar Toolbar{this};
    FormNavTarget ToolbarForm;
    WindowResizer Resizer{this};
    ui::QueueSource JenisQueue; // JEN:JENIS_MEMO, JEN:JENIS_ID
    runtime::View JenisView;
    TableDropCombo MemoTableDrop;
    std::unique_ptr<rtf::kwRTF> Editor;
    bool procedureNoted_ = false;
    bool jenisOpened_ = false;
};

Severity UpdateMemoDbWindow::Init() {
    if (GlobalErrors == nullptr || MemoRelations == nullptr || MemoTableAccess == nullptr ||
        JenisRelations == nullptr)
        return Severity::Fatal; // the program did not start: nothing to show the memo in
    GlobalErrors->NoteProcedure("UpdateMEMO_DB");
    procedureNoted_ = true;
    REQUEST = PendingRequest;
    const Severity base = WindowFlow::Init();
    if (base != Severity::Proceed) return base;
    FIRSTFIELD = cMemoIdPrompt;
    VCRREQUEST = &PendingNavigation;
    ERRORS = GlobalErrors;
    SetToolbar(Toolbar);
    PendingRequest = 0;
    LastResponse = 0;
    HISTORYKEY = ui::key::Ditto;
    AddDittoRecord(memoDeclaration(), &MemoHistoryCopy, sizeof MemoHistoryCopy);
    AddDittoField(cMemoId, mem_field::kMemoId);
    AddDittoField(cDate, mem_field::kTanggalMemo);
    AddDittoField(cDateLong, mem_field::kTanggalMemo);
    AddDittoField(cMemoNo, mem_field::kMemoNo);
    AddDittoField(cPerihal, mem_field::kPerihal);
    AddSavedTable(*MemoTableAccess);
    AddButton(cCancel, Cancelled);
    PRIMARY = MemoRelations;
    if (MemoRelations->Open() != Severity::Proceed) return Severity::Fatal;
    FILESOPENED = 1;
    if (REQUEST == RequestView) {
        INSERTACTION = 1;
        DELETEACTION = 1;
        CHANGEACTION = 0;
        CANCELACTION = 0;
        OKCONTROL = 0;
    } else {
        OKCONTROL = cOk;
        if (PrepareRequest() != Severity::Proceed) return Severity::Inform;
    }
    ui::Bindings bindings;
    auto* mem = reinterpret_cast<unsigned char*>(&MEM);
    bindings.variables["MEM:MEMO_ID"] = useLongField(mem + offsetof(MemoRecord, MEMO_ID));
    bindings.variables["MEM:TANGGAL_MEMO"] = useLongField(mem + offsetof(MemoRecord, TANGGAL_MEMO));
    bindings.variables["MEM:MEMO_NO"] = useCStringField(MEM.MEMO_NO, sizeof MEM.MEMO_NO);
    bindings.variables["MEM:PERIHAL"] = useCStringField(MEM.PERIHAL, sizeof MEM.PERIHAL);
    bindings.variables["JEN:JENIS_MEMO"] = useCStringField(JEN.JENIS_MEMO, sizeof JEN.JENIS_MEMO);
    bindings.lists["JEN:JENIS_MEMO"] = &JenisQueue;
    ui::Window& window = openWindow(memoWindow(), std::move(bindings));

    // The editor over the body, with the ruler, the format bar and the tool bar. Its own answer
    // decides, not the runtime's last error (an earlier editor may have left 95 there).
    Editor = std::make_unique<rtf::kwRTF>();
    MemoEditor = Editor.get();
    if (!Editor->Init(&window, cRtfTextBox, true, true, true)) return Severity::Fatal;

    window.alert(cDate, ui::key::MouseLeft2, kFlowAlertSlot);
    Resizer.Init(window, 2, true, false);
    SetResizer(Resizer);
    AddNavigationTarget(ToolbarForm);

    if (JenisRelations->Open() != Severity::Proceed) return Severity::Fatal;
    jenisOpened_ = true;
    JenisTableAccess->BindFields(); // the combo's view orders by JEN:JENIS_MEMO (in this window's scope)
    FileDeclaration& jen = jenisDeclaration();
    MemoTableDrop.Init(cJenisMemo, JenisQueue, JenisView, *JenisRelations, *this, *GlobalErrors,
                       FieldRef::of(jen, jen_field::kJenisMemo), true, false, true);
    MemoTableDrop.ASKPROCEDURE = kJenisProcedure;
    MemoTableDrop.AddOrder(jen.keys[jen_key::kKeyJenis]);
    MemoTableDrop.LinkColumn(FieldRef::of(jen, jen_field::kJenisMemo), 1);
    MemoTableDrop.LinkColumn(FieldRef::of(jen, jen_field::kJenisId), 2);
    MemoTableDrop.AddSavedField(FieldRef::of(jen, jen_field::kJenisId),
                                FieldRef::of(memoDeclaration(), mem_field::kJenisId));
    AddComponent(MemoTableDrop.Component());
    ArmAlerts();
    return Severity::Proceed;
}

void UpdateMemoDbWindow::EventLoop() {
    switch (REQUEST) {
    case RequestView:
        ActionMessage = "View Record";
        break;
    case RequestInsert:
        ActionMessage = "Adding a MEMO_DB Record";
        break;
    case RequestChange:
        ActionMessage = "Changing a MEMO_DB Record";
        break;
    default:
        break;
    }
    if (window() != nullptr) window()->set(0, "Text", ActionMessage);
    WindowFlow::EventLoop();
}

Severity UpdateMemoDbWindow::bodyIntoRecord() {
    if (!Editor || RESPONSE == Completed || (REQUEST != RequestInsert && REQUEST != RequestChange))
        return Severity::Proceed;
    if (Editor->CheckModified(false) != 1) return Severity::Proceed;
    // Stored, the edited body makes the record differ from its saved copy and the flow asks. A
    // body too large for the field is measured first, so the question is not preceded by the
    // editor's "Stream Error" (OK shows that one).
    std::string rtfText, error;
    const bool fits = Editor->HRTFWINDOW != nullptr &&
                      (Editor->HRTFWINDOW->textLength() == 0 ||
                       (Editor->HRTFWINDOW->streamOut(ui::StreamFormat::Rtf, rtfText, error) &&
                        rtfText.size() < static_cast<std::size_t>(kBodyLimit)));
    if (fits && Editor->SaveToField(kBodyLimit, MEM_ISI_MEMO)) return Severity::Proceed;
    // The record itself cannot show this change: the question is asked here.
    const ButtonSet answer =
        ERRORS != nullptr
            ? ERRORS->Confirm(kSaveRecord, button::kYes | button::kNo | button::kCancel, button::kCancel)
            : button::kCancel;
    if (answer == button::kNo) {
        CANCELACTION = 0; // answered: the flow's own question is not asked again
        return Severity::Proceed;
    }
    if (answer == button::kYes) window()->post(ui::event::Accepted, cOk); // OK refuses it again, visibly
    return Severity::Inform;
}

// The combo's first fill gives a new memo the first memo type. That is the form's own starting
// value, not a change of the user's: the new memo's saved copy is taken again after it, so that
// Cancel on an untouched new memo does not ask "Save Record".
void UpdateMemoDbWindow::FirstOpen() {
    WindowFlow::FirstOpen();
    if (ORIGINALREQUEST != RequestInsert) return;
    if (TableAccess* access = primaryAccess()) {
        if (SAVED != 0) access->RestoreSnapshot(SAVED, false);
        SAVED = access->SnapshotRecord();
    }
}

Severity UpdateMemoDbWindow::OnWindowEvent() {
    ui::Window* w = window();
    const std::uint32_t event = w->event();
    if (event == rtf::EditorOpenedEvent && Editor) {
        Editor->SetTextLimit(kBodyLimit);
        Editor->LoadFromField(kBodyLimit, MEM_ISI_MEMO);
    }
    const bool closing = event == ui::event::CloseWindow || event == ui::event::CloseDown;
    if (closing && bodyIntoRecord() != Severity::Proceed) return Severity::Inform;
    const Severity result = WindowFlow::OnWindowEvent();
    // Only a close that goes through ends the editor; a close the user took back leaves it working.
    // The editor goes while the form's window is still open (its container lives inside it); the
    // object waits for its container to end.
    if (closing && result == Severity::Proceed && Editor) {
        Editor->Close(false);
        Editor.reset();
        MemoEditor = nullptr;
    }
    return result;
}

Severity UpdateMemoDbWindow::OnAccepted() {
    ui::Window* w = window();
    const int control = w->control();
    if (control == cOk && Editor && REQUEST != RequestView) {
        // The body goes into the record before validation and saving; when it does not fit, the
        // editor has told the user and nothing is written.
        if (!Editor->SaveToField(kBodyLimit, MEM_ISI_MEMO)) {
            Editor->FocusEditor();
            return Severity::Inform;
        }
    }
    const Severity result = WindowFlow::OnAccepted();
    if (control == cPopCalendar) {
        UpdateComponents();
        MEM.TANGGAL_MEMO = CalendarPicker(MEM.TANGGAL_MEMO);
        w->display(cDate);
        w->display(cDateLong);
    }
    if (control == cOk) {
        UpdateComponents();
        if (REQUEST == RequestView) w->post(ui::event::CloseWindow);
    }
    return result;
}

Severity UpdateMemoDbWindow::OnFieldEvent() {
    ui::Window* w = window();
    if (w->event() == ui::event::PreAlert && w->control() == cDate && w->keyCode() == ui::key::MouseLeft2) {
        w->post(ui::event::Accepted, cPopCalendar);
        return Severity::Inform;
    }
    return WindowFlow::OnFieldEvent();
}

std::uint8_t UpdateMemoDbWindow::CallProcedure(std::uint16_t number, std::uint8_t request) {
    if (REQUEST == RequestView || number != kJenisProcedure) return Cancelled;
    PendingRequest = request;
    UpdateMEMO_JENIS();
    return LastResponse;
}

std::uint8_t UpdateMemoDbWindow::Execute() {
    const std::uint8_t response = WindowFlow::Execute();
    return ORIGINALREQUEST == RequestView ? Cancelled : response;
}

Severity UpdateMemoDbWindow::Shutdown() {
    const Severity base = WindowFlow::Shutdown();
    if (base != Severity::Proceed) {
        // Init stopped before the flow began: only the procedure name is to be taken back.
        if (procedureNoted_ && !CL) {
            GlobalErrors->RemoveProcedure();
            procedureNoted_ = false;
        }
        return base;
    }
    MemoTableDrop.Shutdown();
    if (jenisOpened_) JenisRelations->Close();
    jenisOpened_ = false;
    if (FILESOPENED) MemoRelations->Close();
    Editor.reset();
    MemoEditor = nullptr;
    if (procedureNoted_) GlobalErrors->RemoveProcedure();
    procedureNoted_ = false;
    return Severity::Proceed;
}

} // namespace

void UpdateMEMO_DB() {
    UpdateMemoDbWindow form;
    LastResponse = form.Execute();
}

} // namespace docket::app
