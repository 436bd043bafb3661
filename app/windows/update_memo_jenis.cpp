// The memo type form: its window definition and its procedure. The form runs on the window flow
// with the defaults of a form: OK validates and writes the row and closes; a name that another type
// has already is refused by the unique JEN:KEYJENIS (the table access reports the duplicate key)
// and the form stays open on its first field; Cancel releases the row that priming reserved, so no
// blank type is left behind; a delete request runs without the form and is refused while memos
// use the type.
#include "app/windows/update_memo_jenis.h"

#include <cstddef>
#include <string>

#include "app/dictionary.h"
#include "app/memo_tables.h"
#include "app/program.h"
#include "app/windows/field_binding.h"
#include "classes/window/navigation_toolbar.h"
#include "classes/window/requests.h"
#include "classes/window/window_flow.h"
#include "classes/window/window_resizer.h"
#include "ui/definition.h"
#include "ui/events.h"
#include "ui/keys.h"
#include "ui/window.h"

namespace docket::app {
namespace {

using namespace classes;
using ui::ControlType;

// Control numbers.
constexpr int cCurrentTab = 1, cTab1 = 2, cJenisIdPrompt = 3, cJenisId = 4, cJenisMemoPrompt = 5,
              cJenisMemo = 6, cOk = 7, cCancel = 8;

ui::WindowDefinition memoJenisWindow() {
    using namespace ui::attr;
    return ui::WindowDefinition{
        .caption = "Memo Type",
        .font = "MS Sans Serif",
        .fontSize = 8,
        .width = 200,
        .height = 92,
        .attributes = ui::wattr::System | ui::wattr::Gray | ui::wattr::Resizable | ui::wattr::Center,
        .controls =
            {
                {.type = ControlType::Sheet,
                 .name = "?CURRENTTAB",
                 .x = 4,
                 .y = 4,
                 .width = 192,
                 .height = 62},
                {.type = ControlType::Tab, .name = "?TAB:1", .text = "General", .parent = cCurrentTab},
                {.type = ControlType::Prompt,
                 .name = "?JEN:JENIS_ID:PROMPT",
                 .text = "Type &ID:",
                 .x = 12,
                 .y = 26,
                 .width = 46,
                 .height = 10,
                 .parent = cTab1},
                {.type = ControlType::Entry,
                 .name = "?JEN:JENIS_ID",
                 .x = 62,
                 .y = 24,
                 .width = 60,
                 .height = 12,
                 .use = "JEN:JENIS_ID",
                 .picture = "@n-14",
                 .parent = cTab1},
                {.type = ControlType::Prompt,
                 .name = "?JEN:JENIS_MEMO:PROMPT",
                 .text = "&Memo Type:",
                 .x = 12,
                 .y = 44,
                 .width = 46,
                 .height = 10,
                 .parent = cTab1},
                {.type = ControlType::Entry,
                 .name = "?JEN:JENIS_MEMO",
                 .x = 62,
                 .y = 42,
                 .width = 126,
                 .height = 12,
                 .use = "JEN:JENIS_MEMO",
                 .picture = "@s30",
                 .parent = cTab1},
                {.type = ControlType::Button,
                 .name = "?OK",
                 .text = "OK",
                 .x = 102,
                 .y = 72,
                 .width = 45,
                 .height = 14,
                 .attributes = Default},
                {.type = ControlType::Button,
                 .name = "?CANCEL",
                 .text = "Cancel",
                 .x = 151,
                 .y = 72,
                 .width = 45,
                 .height = 14},
            },
    };
}

class UpdateMemoJenisWindow : public WindowFlow {
public:
    // A form left without Execute finishing (its program thread unwound) shuts down while its tool
    // bar, target and resizer still exist.
    ~UpdateMemoJenisWindow() override {
        if (CL && !DEAD) UpdateMemoJenisWindow::Shutdown();
    }
    Severity Init() override;
    void EventLoop() override;
    Severity OnAccepted() override;
    std::uint8_t Execute() override;
    Severity Shutdown() override;

private:
    std::string ActionMessage; // the caption, CSTRING(40)
    NavigationToolbar Toolbar{this};
    FormNavTarget ToolbarForm;
    WindowResizer Resizer{this};
    bool procedureNoted_ = false;
};

Severity UpdateMemoJenisWindow::Init() {
    if (GlobalErrors == nullptr || JenisRelations == nullptr || JenisTableAccess == nullptr)
        return Severity::Fatal; // the program did not start: nothing to show the type in
    GlobalErrors->NoteProcedure("UpdateMEMO_JENIS");
    procedureNoted_ = true;
    REQUEST = PendingRequest;
    const Severity base = WindowFlow::Init();
    if (base != Severity::Proceed) return base;
    FIRSTFIELD = cJenisIdPrompt;
    VCRREQUEST = &PendingNavigation;
    ERRORS = GlobalErrors;
    SetToolbar(Toolbar);
    PendingRequest = 0;
    LastResponse = 0;
    HISTORYKEY = ui::key::Ditto;
    AddDittoRecord(jenisDeclaration(), &JenisHistoryCopy, sizeof JenisHistoryCopy);
    AddDittoField(cJenisId, jen_field::kJenisId);
    AddDittoField(cJenisMemo, jen_field::kJenisMemo);
    AddSavedTable(*JenisTableAccess);
    AddButton(cCancel, Cancelled);
    if (JenisRelations->Open() != Severity::Proceed) return Severity::Fatal;
    FILESOPENED = 1;
    PRIMARY = JenisRelations;
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
    bindings.variables["JEN:JENIS_ID"] =
        useLongField(reinterpret_cast<unsigned char*>(&JEN) + offsetof(JenisRecord, JENIS_ID));
    bindings.variables["JEN:JENIS_MEMO"] = useCStringField(JEN.JENIS_MEMO, sizeof JEN.JENIS_MEMO);
    ui::Window& window = openWindow(memoJenisWindow(), std::move(bindings));
    Resizer.Init(window, 2, true, false);
    SetResizer(Resizer);
    AddNavigationTarget(ToolbarForm);
    ArmAlerts();
    return Severity::Proceed;
}

void UpdateMemoJenisWindow::EventLoop() {
    switch (REQUEST) {
    case RequestView:
        ActionMessage = "View Record";
        break;
    case RequestInsert:
        ActionMessage = "Adding a MEMO_JENIS Record";
        break;
    case RequestChange:
        ActionMessage = "Changing a MEMO_JENIS Record";
        break;
    default:
        break;
    }
    if (window() != nullptr && !ActionMessage.empty()) window()->set(0, "Text", ActionMessage);
    WindowFlow::EventLoop();
}

Severity UpdateMemoJenisWindow::OnAccepted() {
    const Severity result = WindowFlow::OnAccepted();
    if (window() != nullptr && window()->control() == cOk) {
        UpdateComponents();
        if (REQUEST == RequestView) window()->post(ui::event::CloseWindow);
    }
    return result;
}

std::uint8_t UpdateMemoJenisWindow::Execute() {
    const std::uint8_t response = WindowFlow::Execute();
    return ORIGINALREQUEST == RequestView ? Cancelled : response;
}

Severity UpdateMemoJenisWindow::Shutdown() {
    const Severity base = WindowFlow::Shutdown();
    if (base != Severity::Proceed) {
        // Init stopped before the flow began: only the procedure name is to be taken back.
        if (procedureNoted_ && !CL) {
            GlobalErrors->RemoveProcedure();
            procedureNoted_ = false;
        }
        return base;
    }
    if (FILESOPENED) JenisRelations->Close();
    if (procedureNoted_) GlobalErrors->RemoveProcedure();
    procedureNoted_ = false;
    return Severity::Proceed;
}

} // namespace

void UpdateMEMO_JENIS() {
    UpdateMemoJenisWindow form;
    LastResponse = form.Execute();
}

} // namespace docket::app
