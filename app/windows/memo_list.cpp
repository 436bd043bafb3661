// The memo list, "Browse Memo": its window definition and its procedure, on the window flow with
// a record browser over MEMO_DB joined to MEMO_JENIS, three orders with their thumb steps and
// locators, query-by-example (the view's filter plus the memo body searched by its words), the
// navigation tool bar and the resizer.
//
// Choices made here:
// - The query applies to every order: choosing a tab puts the query's filter on the order the tab
//   selects, so the list stays restricted when the tab changes.
// - The memo body is searched by its plain text (the RTF read with the plain-text sink), free of
//   case; the browser's CheckRecord asks the query for it after the view's filter passed.
// - A filter the view refuses (it cannot happen with the query's own texts) is taken back: the list
//   keeps the filter it had, and the view's message says why.
// - The highlighted record is read again before change, delete, view and select (the record
//   browser does it), so what the user typed into a locator entry, which is bound to the live
//   record buffer, never reaches the form or the file.
// - The window's place is kept in "docket.INI" under "Main".
#include "app/windows/memo_list.h"

#include <QApplication>
#include <QIcon>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

#include "app/dictionary.h"
#include "app/memo_tables.h"
#include "app/program.h"
#include "app/windows/about.h"
#include "app/windows/calendar_picker.h"
#include "app/windows/field_binding.h"
#include "app/windows/update_memo_db.h"
#include "classes/window/locators.h"
#include "classes/window/navigation_toolbar.h"
#include "classes/window/query_by_example.h"
#include "classes/window/record_browser.h"
#include "classes/window/requests.h"
#include "classes/window/thumb_steps.h"
#include "classes/window/window_flow.h"
#include "classes/window/window_resizer.h"
#include "files/view.h"
#include "rtf/codec/code_pages.h"
#include "rtf/codec/plain_text.h"
#include "rtf/codec/utf8.h"
#include "ui/definition.h"
#include "ui/events.h"
#include "ui/keys.h"
#include "ui/modal.h"
#include "ui/window.h"

namespace docket::app {

namespace {

using namespace classes;
using ui::ControlType;

// Control numbers, in the order of the window definition.
constexpr int cQuery = 1, cBrowse = 2, cAbout = 3, cInsert = 4, cChange = 5, cDelete = 6, cCurrentTab = 7,
              cTabEntry = 8, cString1 = 9, cTabNomor = 10, cMemoNoPrompt = 11, cMemoNo = 12, cTabDate = 13,
              cDatePrompt = 14, cDate = 15, cPopCalendar = 16, cClose = 17;
// The alert slot of the date entry's double click.
constexpr int kCalendarAlertSlot = 255;

constexpr const char* kFormatByEntry =
    "35R(2)|M~Memo ID~C(0)@n-14@#1#48L(2)|M~Date~C(0)@d17@#2#124L(2)|M~Memo "
    "No~@s30@#3#320L(2)|M~Subject~@s80@#4#120L(2)|M~Memo Type~@s30@#5#";
constexpr const char* kFormatByNomor =
    "124L(2)|M~Memo No~@s30@#3#35R(2)|M~Memo ID~C(0)@n-14@#1#48L(2)|M~Date~C(0)@"
    "d17@#2#320L(2)|M~Subject~@s80@#4#120L(2)|M~Memo Type~@s30@#5#";
constexpr const char* kFormatByDate =
    "48L(2)|M~Date~C(0)@d17@#2#35R(2)|M~Memo ID~C(0)@n-14@#1#124L(2)|M~Memo "
    "No~@s30@#3#320L(2)|M~Subject~@s80@#4#120L(2)|M~Memo Type~@s30@#5#";

std::string locatorTip(const char* what, const char* apa, bool finalBreak) {
    const std::string crlf = "\r\n";
    return std::string("Type ") + what + " which you are looking for here" + crlf +
           "and then press TAB button to start searching" + crlf + std::string(36, '=') + crlf + "Ketikkan " +
           apa + " yang Anda cari disini," + crlf + "kemudian tekan tombol TAB untuk mulai " + crlf +
           "pencarian data" + (finalBreak ? crlf : std::string());
}

ui::WindowDefinition memoListWindow() {
    using namespace ui::attr;
    ui::WindowDefinition w{
        .caption = "Browse Memo",
        .font = "MS Sans Serif",
        .fontSize = 8,
        .icon = "docket.ico",
        .width = 668,
        .height = 262,
        .attributes = ui::wattr::System | ui::wattr::Gray | ui::wattr::Resizable | ui::wattr::Maximize |
                      ui::wattr::Iconize | ui::wattr::Center,
    };
    auto add = [&](ui::ControlDefinition c) { w.controls.push_back(std::move(c)); };
    add({.type = ControlType::Button,
         .name = "?QUERY",
         .text = "&Query",
         .x = 4,
         .y = 244,
         .width = 50,
         .height = 14});
    add({.type = ControlType::List,
         .name = "?BROWSE:1",
         .x = 4,
         .y = 50,
         .width = 660,
         .height = 188,
         .use = "BROWSE",
         .format = kFormatByEntry,
         .tip = "Browsing Records",
         .attributes = Immediate | VScroll | HScroll});
    add({.type = ControlType::Button,
         .name = "?BUTTON7",
         .text = "About",
         .x = 58,
         .y = 244,
         .width = 50,
         .height = 14});
    add({.type = ControlType::Button,
         .name = "?INSERT:2",
         .text = "&Insert",
         .x = 446,
         .y = 244,
         .width = 50,
         .height = 14});
    add({.type = ControlType::Button,
         .name = "?CHANGE:2",
         .text = "&Change",
         .x = 500,
         .y = 244,
         .width = 50,
         .height = 14});
    add({.type = ControlType::Button,
         .name = "?DELETE:2",
         .text = "&Delete",
         .x = 554,
         .y = 244,
         .width = 50,
         .height = 14});
    add({.type = ControlType::Sheet, .name = "?CURRENTTAB", .x = 4, .y = 4, .width = 660, .height = 42});
    add({.type = ControlType::Tab, .name = "?TAB:2", .text = "By Entry", .parent = cCurrentTab});
    add({.type = ControlType::Text,
         .name = "?STRING1",
         .text = "New Memo will be shown first",
         .x = 12,
         .y = 26,
         .width = 240,
         .height = 10,
         .parent = cTabEntry});
    add({.type = ControlType::Tab, .name = "?TAB:3", .text = "By Nomor Memo", .parent = cCurrentTab});
    add({.type = ControlType::Prompt,
         .name = "?MEM:MEMO_NO:PROMPT",
         .text = "Memo No:",
         .x = 12,
         .y = 26,
         .width = 40,
         .height = 10,
         .parent = cTabNomor});
    add({.type = ControlType::Entry,
         .name = "?MEM:MEMO_NO",
         .x = 56,
         .y = 24,
         .width = 130,
         .height = 12,
         .use = "MEM:MEMO_NO",
         .picture = "@s30",
         .tip = locatorTip("memo no", "nomor memo", true),
         .parent = cTabNomor});
    add({.type = ControlType::Tab, .name = "?TAB:4", .text = "By Memo Date", .parent = cCurrentTab});
    add({.type = ControlType::Prompt,
         .name = "?MEM:TANGGAL_MEMO:PROMPT",
         .text = "Memo Date:",
         .x = 12,
         .y = 26,
         .width = 44,
         .height = 10,
         .parent = cTabDate});
    add({.type = ControlType::Entry,
         .name = "?MEM:TANGGAL_MEMO",
         .x = 58,
         .y = 24,
         .width = 70,
         .height = 12,
         .use = "MEM:TANGGAL_MEMO",
         .picture = "@d17",
         .tip = locatorTip("memo date", "tanggal memo", false),
         .parent = cTabDate});
    add({.type = ControlType::Button,
         .name = "?POPCALENDAR",
         .text = "...",
         .x = 130,
         .y = 23,
         .width = 16,
         .height = 14,
         .parent = cTabDate});
    add({.type = ControlType::Button,
         .name = "?CLOSE",
         .text = "Close",
         .x = 614,
         .y = 244,
         .width = 50,
         .height = 14});
    return w;
}

// The memo body as plain text in the runtime's code page, for the query's body field.
std::string memoBodyText() {
    const std::string_view rtf(MEM_ISI_MEMO, strnlen(MEM_ISI_MEMO, sizeof MEM_ISI_MEMO));
    if (rtf.rfind("{\\rtf", 0) != 0) return std::string(rtf); // a body kept as plain text
    const std::string utf8 = rtf::rtfToPlainText(rtf);
    std::string text;
    text.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const char32_t ch = rtf::nextUtf8(utf8, &at);
        const int byte = rtf::encodeChar(1252, ch);
        text += byte >= 0 ? static_cast<char>(byte) : '?';
    }
    return text;
}

// The window whole on its screen: a list wide enough for its five columns is wider than a small
// screen, or than any screen at a large scale. It is made to fit (and may be made that small) and
// moved onto the screen's free area.
void fitToScreen(QWidget& widget) {
    const QScreen* screen = widget.screen();
    if (screen == nullptr) return;
    const QRect free = screen->availableGeometry();
    const QSize frame = widget.frameGeometry().size() - widget.size();
    const QSize most = free.size() - frame;
    widget.setMinimumSize(widget.minimumSize().boundedTo(most));
    if (widget.width() > most.width() || widget.height() > most.height())
        widget.resize(widget.size().boundedTo(most));
    QRect place = widget.frameGeometry();
    place.moveLeft(
        std::clamp(place.left(), free.left(), std::max(free.left(), free.right() - place.width() + 1)));
    place.moveTop(
        std::clamp(place.top(), free.top(), std::max(free.top(), free.bottom() - place.height() + 1)));
    widget.move(place.topLeft());
}

// Whether the program may create and change files in `folder`: tried with a file made and
// removed at once (permissions alone do not tell of a read-only file system or a share).
bool writableFolder(const std::string& folder) {
    std::string probe = folder + "/.docket-write-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

class MemoListWindow;

// The list's browser: the order comes from the tab, the query's filter goes with every order, and
// the body search is tested on each record the view passes.
class MemoBrowser : public RecordBrowser {
public:
    std::uint16_t ChooseOrder() override {
        ui::Window* w = window();
        const long tab = w != nullptr ? w->getInt(cCurrentTab, "Choice") : 1;
        return tab == 2 ? 1 : tab == 3 ? 2 : 3;
    }
    bool SelectOrder(std::uint16_t number) override {
        const bool changed = RecordBrowser::SelectOrder(number);
        if (changed) SetNamedFilter(queryFilter_, "QBE");
        return changed;
    }
    std::uint8_t CheckRecord() override {
        const std::uint8_t base = RecordBrowser::CheckRecord();
        if (base != RecordAccepted || QUERY == nullptr) return base;
        return QUERY->Matches() ? RecordAccepted : RecordFiltered;
    }
    // Puts the query's conditions on the list and fills it from the top of the order.
    void ApplyQuery() {
        if (QUERY == nullptr) return;
        const std::string previous = queryFilter_;
        const std::string filter = QUERY->BuildQueryFilter();
        if (SetNamedFilter(filter, "QBE") != Severity::Proceed) return; // too long: refused, reported
        queryFilter_ = filter;
        if (OPENED && BuildFilter() != Severity::Proceed) {
            queryFilter_ = previous;
            SetNamedFilter(previous, "QBE");
            BuildFilter();
        }
        BEHAVIOR.rows.clear();
        CURRENTCHOICE = 0;
        RefillList(FillAroundCurrent);
        Redisplay();
    }
    const std::string& QueryFilter() const { return queryFilter_; }

    QueryByExample* QUERY = nullptr;

private:
    std::string queryFilter_;
};

class MemoListWindow : public WindowFlow {
public:
    ~MemoListWindow() override {
        if (CL && !DEAD) MemoListWindow::Shutdown();
    }
    Severity Init() override;
    Severity Shutdown() override;
    Severity OnAccepted() override;
    Severity OnFieldEvent() override;
    Severity OnNewSelection() override;
    std::uint8_t CallProcedure(std::uint16_t number, std::uint8_t request) override;

private:
    void showFormat();

    MemoBrowser Browse;
    std::unique_ptr<runtime::View> View;
    TextThumbStep NomorStep;
    RealThumbStep DateStep;
    IntegerThumbStep IdStep;
    EntryFinder NomorLocator, DateLocator;
    StepFinder IdLocator;
    QueryByExample Query;
    NavigationToolbar Toolbar{this};
    ListNavTarget ToolbarList;
    WindowResizer Resizer;
    bool procedureNoted_ = false;
    bool shutDown_ = false;
};

Severity MemoListWindow::Init() {
    if (GlobalErrors == nullptr || MemoRelations == nullptr || JenisRelations == nullptr)
        return Severity::Fatal;
    GlobalErrors->NoteProcedure("Main");
    procedureNoted_ = true;
    REQUEST = PendingRequest;
    const Severity base = WindowFlow::Init();
    if (base != Severity::Proceed) return base;
    FIRSTFIELD = cQuery;
    VCRREQUEST = &PendingNavigation;
    ERRORS = GlobalErrors;
    SetToolbar(Toolbar);
    PendingRequest = 0;
    LastResponse = 0;
    AddButton(cClose, Cancelled);
    // A folder the program cannot write in is said plainly, with the way out, before any file is
    // touched: the files and their station locks need it.
    const std::string folder =
        std::filesystem::path(memoDeclaration().name.value_or(std::string())).parent_path().string();
    if (!writableFolder(folder.empty() ? "." : folder)) {
        ui::messageBox(
            "docket cannot write in its data folder|" + folder +
                "|It keeps MEMO.DB and JENIS.DB there and must be able to change them. Start docket "
                "with --data FOLDER (or set DOCKET_DATA_DIR) to use a folder you may write in, or ask "
                "for write access to this one. Nothing was changed.",
            "Browse Memo", ui::icon::Hand);
        return Severity::Fatal;
    }
    if (MemoRelations->Open() != Severity::Proceed || JenisRelations->Open() != Severity::Proceed)
        return Severity::Fatal;
    FILESOPENED = 1;
    PRIMARY = MemoRelations;
    MemoTableAccess->BindFields();
    JenisTableAccess->BindFields();

    runtime::ViewDeclaration d;
    d.primary = &memoFile();
    runtime::ViewJoin join;
    join.file = &jenisFile();
    join.key = jen_key::kPrimaryKey;
    join.parentFields = {mem_field::kJenisId};
    d.joins.push_back(join);
    View = std::make_unique<runtime::View>(d);
    Browse.Init(cBrowse, *View, *MemoRelations, *this);
    if (REQUEST != RequestView) {
        Browse.INSERTCONTROL = cInsert;
        Browse.CHANGECONTROL = cChange;
        Browse.DELETECONTROL = cDelete;
    }

    ui::Bindings bindings;
    bindings.lists["BROWSE"] = &Browse.Queue();
    bindings.variables["MEM:MEMO_NO"] = useCStringField(MEM.MEMO_NO, sizeof MEM.MEMO_NO);
    bindings.variables["MEM:TANGGAL_MEMO"] =
        useLongField(reinterpret_cast<unsigned char*>(&MEM) + offsetof(MemoRecord, TANGGAL_MEMO));
    ui::Window& window = openWindow(memoListWindow(), std::move(bindings));
    if (!QApplication::windowIcon().isNull()) window.widget()->setWindowIcon(QApplication::windowIcon());
    if (INIMgr != nullptr) INIMgr->RestoreWindow("Main", &window);
    window.alert(cDate, ui::key::MouseLeft2, kCalendarAlertSlot);

    Query.Init(GlobalErrors, INIMgr, "Main", &window);
    Query.QKSUPPORT = 1;
    Query.QKMENUICON = "QkQBE.ico";
    Query.QKICON = "QkLoad.ico";
    Query.AddItem("MEM:MEMO_ID", "Memo ID", "@n-14");
    Query.AddItem("MEM:TANGGAL_MEMO", "Date", "@d17");
    Query.AddItem("MEM:MEMO_NO", "Memo No", "@s30");
    Query.AddItem("MEM:PERIHAL", "Subject", "@s80");
    Query.AddItem("JEN:JENIS_MEMO", "Memo Type", "@s30");
    Query.AddTextItem("MEM:ISI_MEMO", "Memo Body", memoBodyText);
    Browse.QUERY = &Query;

    drivers::FileDeclaration& memo = memoDeclaration();
    NomorStep.Init(RuntimeTable, step_flag::kLetters | step_flag::kCaseSensitive);
    Browse.AddOrder(&NomorStep, memo.keys[mem_key::kKeyNomorMemo]);
    NomorLocator.Init(FieldRef::of(memo, mem_field::kMemoNo), cMemoNo, false, Browse);
    Browse.AttachLocator(NomorLocator);
    DateStep.CONTROLS = step_flag::kLetters | step_flag::kCaseSensitive;
    Browse.AddOrder(&DateStep, memo.keys[mem_key::kKeyTanggalMemo]);
    DateLocator.Init(FieldRef::of(memo, mem_field::kTanggalMemo), cDate, false, Browse);
    Browse.AttachLocator(DateLocator);
    IdStep.CONTROLS = step_flag::kLetters | step_flag::kCaseSensitive | step_flag::kDescending;
    Browse.AddOrder(&IdStep, memo.keys[mem_key::kPrimaryKey]);
    IdLocator.Init(FieldRef::of(memo, mem_field::kMemoId), 0, false, Browse);
    Browse.AttachLocator(IdLocator);

    for (int f : {mem_field::kMemoId, mem_field::kTanggalMemo, mem_field::kMemoNo, mem_field::kPerihal})
        Browse.LinkColumn(FieldRef::of(memo, f));
    Browse.LinkColumn(FieldRef::of(jenisDeclaration(), jen_field::kJenisMemo));
    Browse.LinkColumn(FieldRef::of(jenisDeclaration(), jen_field::kJenisId));

    Resizer.Init(window, 2, true, false);
    SetResizer(Resizer);
    fitToScreen(*window.widget());
    Browse.QUERYCONTROL = cQuery;
    Browse.QUERYACTION = [this] {
        if (Query.Ask()) Browse.ApplyQuery();
    };
    Browse.ASKPROCEDURE = 1;
    ToolbarList.CONTROL = cBrowse;
    ToolbarList.BROWSE = &Browse;
    ToolbarList.INSERTBUTTON = Browse.INSERTCONTROL;
    ToolbarList.CHANGEBUTTON = Browse.CHANGECONTROL;
    ToolbarList.DELETEBUTTON = Browse.DELETECONTROL;
    AddNavigationTarget(ToolbarList);
    ArmAlerts(); // builds the browser's popup menu
    if (Browse.POPUP != nullptr) Query.AddToPopup(*Browse.POPUP, cQuery);

    window.set(cTabEntry, "Text", "By Entry");
    window.set(cTabNomor, "Text", "By Nomor Memo");
    window.set(cTabDate, "Text", "By Memo Date");
    window.set(cBrowse, "Format", kFormatByEntry);
    return Severity::Proceed;
}

void MemoListWindow::showFormat() {
    ui::Window* w = window();
    switch (w->getInt(cCurrentTab, "Choice")) {
    case 2:
        w->set(cBrowse, "Format", kFormatByNomor);
        w->set(cTabNomor, "Text", "By Nomor Memo");
        break;
    case 3:
        w->set(cBrowse, "Format", kFormatByDate);
        w->set(cTabDate, "Text", "By Memo Date");
        break;
    default:
        w->set(cBrowse, "Format", kFormatByEntry);
        w->set(cTabEntry, "Text", "By Entry");
        break;
    }
    w->display(cBrowse);
}

Severity MemoListWindow::OnNewSelection() {
    const Severity base = WindowFlow::OnNewSelection();
    ui::Window* w = window();
    if (w->control() == cCurrentTab) showFormat();
    // A query chosen from the popup menu's "View" submenu (or its Clear).
    if (w->control() == cQuery && Browse.POPUP != nullptr &&
        Query.ApplyPopupChoice(Browse.POPUP->LASTSELECTION))
        Browse.ApplyQuery();
    return base;
}

Severity MemoListWindow::OnFieldEvent() {
    ui::Window* w = window();
    if (w->event() == ui::event::PreAlert && w->control() == cDate && w->keyCode() == ui::key::MouseLeft2) {
        w->post(ui::event::Accepted, cPopCalendar);
        return Severity::Inform;
    }
    return WindowFlow::OnFieldEvent();
}

Severity MemoListWindow::OnAccepted() {
    const Severity base = WindowFlow::OnAccepted();
    if (base != Severity::Proceed) return base;
    ui::Window* w = window();
    switch (w->control()) {
    case cAbout:
        UpdateComponents();
        About();
        ResetWindow(0);
        break;
    case cPopCalendar:
        UpdateComponents();
        MEM.TANGGAL_MEMO = CalendarPicker(MEM.TANGGAL_MEMO);
        w->display(cDate);
        w->select(cDate);
        break;
    default:
        break;
    }
    return Severity::Proceed;
}

std::uint8_t MemoListWindow::CallProcedure(std::uint16_t, std::uint8_t request) {
    if (ORIGINALREQUEST == RequestView) return Cancelled;
    PendingRequest = request;
    UpdateMEMO_DB();
    return LastResponse;
}

Severity MemoListWindow::Shutdown() {
    if (!shutDown_ && window() != nullptr && INIMgr != nullptr) INIMgr->SaveWindow("Main", window());
    shutDown_ = true;
    const Severity base = WindowFlow::Shutdown();
    if (base != Severity::Proceed) {
        if (procedureNoted_ && !CL) {
            GlobalErrors->RemoveProcedure();
            procedureNoted_ = false;
        }
        return base;
    }
    if (FILESOPENED) {
        MemoRelations->Close();
        JenisRelations->Close();
        FILESOPENED = 0;
    }
    if (procedureNoted_) GlobalErrors->RemoveProcedure();
    procedureNoted_ = false;
    return Severity::Proceed;
}

} // namespace

void MemoListProcedure() {
    MemoListWindow list;
    LastResponse = list.Execute();
}

} // namespace docket::app
