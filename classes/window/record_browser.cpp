#include "classes/window/record_browser.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "classes/data/table_access.h"
#include "files/read_run.h"
#include "files/record_fields.h"
#include "runtime/core/type_code.h"
#include "runtime/core/value.h"
#include "ui/events.h"
#include "ui/keys.h"
#include "ui/modal.h"
#include "ui/window.h"

namespace docket::classes {

namespace {

constexpr int kBrowseAlertSlot = 255;

bool isText(runtime::TypeCode type) {
    return type == runtime::TypeCode::String || type == runtime::TypeCode::CString ||
           type == runtime::TypeCode::PString;
}

// A value as the list's pictures take it: texts without trailing blanks, numbers in plain form.
std::string plainText(const BoundVariable& v) {
    if (!v.data) return {};
    if (isText(v.type)) {
        std::string_view s = runtime::readTextVariable(v);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
        return std::string(s);
    }
    char out[runtime::kNumberTextSize];
    const std::size_t n = runtime::variableKind(v.type) == runtime::ValueKind::Integer
                              ? runtime::formatInteger(runtime::readIntegerVariable(v), out)
                              : runtime::formatReal(runtime::readRealVariable(v), out);
    return std::string(out, n);
}

// The keys that type a character: they go to the locator. Each with and without Shift.
std::vector<int> characterKeys() {
    std::vector<int> keys = {32};
    for (int k = 48; k <= 57; ++k) keys.push_back(k);
    for (int k = 65; k <= 90; ++k) keys.push_back(k);
    for (int k = 96; k <= 111; ++k) keys.push_back(k);
    for (int k = 186; k <= 192; ++k) keys.push_back(k);
    for (int k = 219; k <= 222; ++k) keys.push_back(k);
    const std::size_t plain = keys.size();
    for (std::size_t i = 0; i < plain; ++i) keys.push_back(keys[i] + ui::key::Shift);
    return keys;
}

} // namespace

std::string ListRows::field(int row, int field) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) return {};
    const Row& r = rows[static_cast<std::size_t>(row)];
    return field >= 1 && static_cast<std::size_t>(field) <= r.fields.size() ? r.fields[std::size_t(field - 1)]
                                                                            : std::string();
}

RecordBrowser::RecordBrowser() = default;

RecordBrowser::~RecordBrowser() {
    if (!shutDown_ && ORDER != nullptr) Shutdown();
}

void RecordBrowser::Init(std::int32_t listControl, runtime::View& view, TableRelations& primary,
                         WindowFlow& window) {
    ViewReader::Init(view, primary);
    ILC = listControl;
    WINDOW = &window;
    POPUP = &ownPopup_;
    window.AddBrowse(*this);
}

std::uint16_t RecordBrowser::AddOrder(ThumbStep* thumb, const KeyDeclaration& key) {
    const std::uint16_t n = ViewReader::AddOrder(key);
    Current()->THUMB = thumb;
    return n;
}

void RecordBrowser::AttachLocator(StepFinder& locator) {
    if (OrderEntry* order = Current()) order->LOCATOR = &locator;
}

void RecordBrowser::LinkColumn(const FieldRef& viewField) {
    FIELDS.AddPair(viewField, viewField);
}

void RecordBrowser::WatchField(const FieldRef& field) {
    watched_.push_back(field);
}

int RecordBrowser::visibleRows() const {
    ui::Window* w = window();
    const long items = w != nullptr ? w->getInt(ILC, "Items") : 0;
    return static_cast<int>(std::max(1L, items));
}

// ---- Reading -----------------------------------------------------------------------------------

Severity RecordBrowser::Next() {
    const Severity r = ViewReader::Next();
    if (r == Severity::Fatal && window() != nullptr) window()->post(ui::event::CloseWindow);
    return r;
}

Severity RecordBrowser::Previous() {
    const Severity r = ViewReader::Previous();
    if (r == Severity::Fatal && window() != nullptr) window()->post(ui::event::CloseWindow);
    return r;
}

int RecordBrowser::FetchRows(std::uint8_t direction) {
    const bool forward = direction == FillForward;
    auto& rows = BEHAVIOR.rows;
    const bool quick = QUICKSCAN && ITEMSTOFILL > 1;
    if (quick) VIEW->setQuickScan(true);
    std::string skip;
    if (!rows.empty()) {
        skip = forward ? rows.back().position : rows.front().position;
        if (VIEW->reset(skip) != 0) {
            if (quick) VIEW->setQuickScan(false);
            return 0;
        }
    }
    int read = 0;
    bool first = true;
    // The page's rows in one read access of the view's file instead of one each: the driver
    // bounds the run, and gives the access back before a message box waits for the user.
    std::optional<runtime::ReadRun> run;
    if (VIEW->declaration().primary != nullptr) run.emplace(*VIEW->declaration().primary);
    while (ITEMSTOFILL > 0) {
        const Severity r = forward ? Next() : Previous();
        if (r != Severity::Proceed) {
            if (r == Severity::Inform) (forward ? atEnd_ : atStart_) = true;
            break;
        }
        std::string position;
        VIEW->position(position);
        if (first && !skip.empty() && position == skip) {
            first = false;
            continue;
        }
        first = false;
        if (rows.size() >= static_cast<std::size_t>(std::max(1, LASTITEMS))) {
            if (forward) {
                rows.erase(rows.begin());
                atStart_ = false;
            } else {
                rows.pop_back();
                atEnd_ = false;
            }
        }
        ListRows::Row row;
        for (const LinkFieldPairs::Pair& p : FIELDS.Pairs()) row.fields.push_back(plainText(p.left.bind()));
        row.position = position.substr(0, 1024);
        if (forward)
            rows.push_back(std::move(row));
        else
            rows.insert(rows.begin(), std::move(row));
        --ITEMSTOFILL;
        ++read;
    }
    if (quick) VIEW->setQuickScan(false);
    return read;
}

// After the view was positioned: the rows from there forward (leaving `above` rows free), then
// backward until the list is full (or, with ALLOWUNFILLED, the `above` rows). A fill that finds
// nothing forward sets the view to the end and reads backward (see the header).
void RecordBrowser::fillScreen(int above) {
    BEHAVIOR.rows.clear();
    above = std::clamp(above, 0, std::max(0, LASTITEMS - 1));
    ITEMSTOFILL = LASTITEMS - above;
    const int forward = FetchRows(FillForward);
    if (forward == 0) {
        VIEW->setToEnd();
        atEnd_ = true;
    }
    int top = 0;
    const int missing = ALLOWUNFILLED ? above : LASTITEMS - static_cast<int>(BEHAVIOR.rows.size());
    if (missing > 0) {
        ITEMSTOFILL = missing;
        top = FetchRows(FillBackward);
    }
    const int rows = static_cast<int>(BEHAVIOR.rows.size());
    CURRENTCHOICE = rows == 0 ? 0 : forward > 0 ? top + 1 : rows;
}

void RecordBrowser::RefillList(std::uint8_t mode) {
    ui::Window* w = window();
    if (w == nullptr || ORDER == nullptr || !(ACTIVEINVISIBLE || w->getInt(ILC, "Visible"))) {
        LOADPENDING = 1;
        return;
    }
    LOADED = 1;
    LOADPENDING = 0;
    ui::BusyCursor busy;
    if (!OPENED) Open();
    auto& rows = BEHAVIOR.rows;
    std::string remembered;
    if (mode != FillFromView) {
        atStart_ = atEnd_ = false;
        if (CURRENTCHOICE >= 1 && static_cast<std::size_t>(CURRENTCHOICE) <= rows.size()) {
            remembered = rows[std::size_t(CURRENTCHOICE - 1)].position;
            if (VIEW->reset(remembered) != 0) remembered.clear();
        }
        if (remembered.empty()) {
            Reset();
            atStart_ = true;
        }
    }
    // With RETAINROW the highlighted record keeps its screen row: the rows above it are read back.
    fillScreen(RETAINROW && !remembered.empty() ? CURRENTCHOICE - 1 : 0);
    if (!remembered.empty()) {
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i].position == remembered) CURRENTCHOICE = static_cast<std::int32_t>(i + 1);
    }
    if (CURRENTCHOICE > 0) {
        LoadCurrentRecord();
    } else {
        runtime::clearRecord(Record());
        RECORDSTATUS = 0;
    }
}

void RecordBrowser::LocateFromBuffer(bool keepLaterComponents) {
    ui::Window* w = window();
    OrderEntry* order = Current();
    if (w == nullptr || order == nullptr) return;
    if (!(ACTIVEINVISIBLE || w->getInt(ILC, "Visible"))) {
        LOADPENDING = 1;
        return;
    }
    if (!OPENED || VIEW->order() != order->ORDER) Open();
    if (!keepLaterComponents) {
        // The first record of the value: the key's later components at their first value.
        const auto& components = order->MAINKEY->components;
        for (std::size_t i = order->FREEPOSITION + 1; i < components.size(); ++i)
            setExtremeValue(FieldRef::of(Record(), std::abs(components[i])).bind(), components[i] < 0);
    }
    LOADED = 1;
    LOADPENDING = 0;
    atStart_ = atEnd_ = false;
    VIEW->setFromBuffer();
    fillScreen(0);
    if (CURRENTCHOICE > 0) {
        LoadCurrentRecord();
    } else {
        runtime::clearRecord(Record());
        RECORDSTATUS = 0;
    }
}

void RecordBrowser::LoadCurrentRecord() {
    RECORDSTATUS = 0;
    auto& rows = BEHAVIOR.rows;
    if (CURRENTCHOICE < 1 || static_cast<std::size_t>(CURRENTCHOICE) > rows.size()) return;
    VIEW->watch();
    if (VIEW->reget(rows[std::size_t(CURRENTCHOICE - 1)].position) == 0) {
        RECORDSTATUS = 1;
        return;
    }
    // The highlighted record is gone or unreadable: nothing of another record may stay in the
    // buffer for a change or delete to act on (see the header).
    runtime::clearRecord(Record());
    NEEDREFRESH = 1;
}

// ---- Scrolling ---------------------------------------------------------------------------------

void RecordBrowser::ScrollByRow(std::uint32_t event) {
    auto& rows = BEHAVIOR.rows;
    if (event == ui::event::ScrollUp) {
        if (CURRENTCHOICE > 1) {
            --CURRENTCHOICE;
        } else if (!FILELOADED) {
            ITEMSTOFILL = 1;
            FetchRows(FillBackward);
            CURRENTCHOICE = 1;
        }
        return;
    }
    if (static_cast<std::size_t>(CURRENTCHOICE) < rows.size()) {
        ++CURRENTCHOICE;
    } else if (!FILELOADED) {
        ITEMSTOFILL = 1;
        FetchRows(FillForward);
        CURRENTCHOICE = static_cast<std::int32_t>(rows.size());
    }
}

void RecordBrowser::ScrollByPage(std::uint32_t event) {
    const int page = LASTITEMS;
    const int rows = static_cast<int>(BEHAVIOR.rows.size());
    const bool down = event == ui::event::PageDown;
    int missing = page;
    if (!FILELOADED) {
        ITEMSTOFILL = page;
        missing = page - FetchRows(down ? FillForward : FillBackward);
    }
    const int now = static_cast<int>(BEHAVIOR.rows.size());
    (void)rows;
    CURRENTCHOICE = std::clamp(CURRENTCHOICE + (down ? missing : -missing), 1, std::max(1, now));
}

void RecordBrowser::ScrollToEnd(std::uint32_t event) {
    if (FILELOADED) {
        CURRENTCHOICE = event == ui::event::ScrollTop ? 1 : static_cast<std::int32_t>(BEHAVIOR.rows.size());
        return;
    }
    BEHAVIOR.rows.clear();
    atStart_ = atEnd_ = false;
    ITEMSTOFILL = LASTITEMS;
    if (event == ui::event::ScrollTop) {
        Reset();
        FetchRows(FillForward);
        atStart_ = true;
        CURRENTCHOICE = BEHAVIOR.rows.empty() ? 0 : 1;
    } else {
        VIEW->setToEnd();
        FetchRows(FillBackward);
        atEnd_ = true;
        CURRENTCHOICE = static_cast<std::int32_t>(BEHAVIOR.rows.size());
    }
}

void RecordBrowser::HandleScroll(std::uint32_t event) {
    if (BEHAVIOR.rows.empty()) return;
    CURRENTEVENT = static_cast<std::int32_t>(event);
    switch (event) {
    case ui::event::ScrollUp:
    case ui::event::ScrollDown:
        ScrollByRow(event);
        break;
    case ui::event::PageUp:
    case ui::event::PageDown:
        ScrollByPage(event);
        break;
    default:
        ScrollToEnd(event);
        break;
    }
    LoadCurrentRecord();
    Redisplay();
}

void RecordBrowser::HandleNewSelection() {
    ui::Window* w = window();
    if (w == nullptr) return;
    PREVCHOICE = LASTCHOICE;
    LASTCHOICE = CURRENTCHOICE;
    CURRENTCHOICE = static_cast<std::int32_t>(std::clamp<long>(
        w->getInt(ILC, "Choice"), BEHAVIOR.rows.empty() ? 0 : 1, static_cast<long>(BEHAVIOR.rows.size())));
    LoadCurrentRecord();
    Redisplay();
}

bool RecordBrowser::LocatorStepDown() {
    if (BEHAVIOR.rows.empty()) return false;
    const std::size_t before = static_cast<std::size_t>(CURRENTCHOICE);
    const std::string was = BEHAVIOR.rows[before - 1].position;
    ScrollByRow(ui::event::ScrollDown);
    LoadCurrentRecord();
    return BEHAVIOR.rows[std::size_t(CURRENTCHOICE - 1)].position != was;
}

// ---- The thumb ---------------------------------------------------------------------------------

void RecordBrowser::computeBounds() {
    OrderEntry* order = Current();
    if (order == nullptr || order->THUMB == nullptr || !order->THUMB->NeedsBounds()) return;
    const BoundVariable free = order->FREEELEMENT.bind();
    if (!free.data) return;
    FileDeclaration& record = Record();
    const std::vector<std::uint8_t> saved(record.record, record.record + record.recordLength);
    std::vector<std::uint8_t> first(free.size), last(free.size);
    bool any = false;
    if (VIEW->setToEnd() == 0 && ViewReader::Previous() == Severity::Proceed) {
        std::memcpy(last.data(), free.data, free.size);
        if (VIEW->set() == 0 && ViewReader::Next() == Severity::Proceed) {
            std::memcpy(first.data(), free.data, free.size);
            any = true;
        }
    }
    std::memcpy(record.record, saved.data(), saved.size());
    if (!any) return;
    BoundVariable a = free, b = free;
    a.data = first.data();
    b.data = last.data();
    order->THUMB->SetBounds(a, b);
}

void RecordBrowser::RefreshThumb() {
    ui::Window* w = window();
    if (w == nullptr) return;
    const std::size_t rows = BEHAVIOR.rows.size();
    const bool show = HASTHUMB && rows > 0 && (rows >= static_cast<std::size_t>(LASTITEMS) || ALLOWUNFILLED);
    int position = 0;
    if (show) {
        OrderEntry* order = Current();
        if (order != nullptr && order->THUMB != nullptr && RECORDSTATUS)
            position = order->THUMB->PercentFor(order->FREEELEMENT.bind());
        else if (FILELOADED)
            position = static_cast<int>(CURRENTCHOICE * 100 / static_cast<std::int32_t>(rows));
        else
            position = atStart_ ? 0 : atEnd_ ? 100 : 50;
        // The ends of the order show as the ends of the bar, whatever the step's table says.
        if (atStart_ && CURRENTCHOICE == 1) position = 0;
        if (atEnd_ && static_cast<std::size_t>(CURRENTCHOICE) == rows) position = 100;
    }
    if (w->getInt(ILC, "VScroll") != (show ? 1 : 0)) w->setInt(ILC, "VScroll", show ? 1 : 0);
    w->setListPosition(ILC, CURRENTCHOICE, position);
}

// ---- Showing -----------------------------------------------------------------------------------

bool RecordBrowser::usable(std::int32_t control) const {
    ui::Window* w = window();
    return control != 0 && w != nullptr && w->exists(control) && w->getInt(control, "Visible") != 0 &&
           w->getInt(control, "Enabled") != 0;
}

void RecordBrowser::Redisplay() {
    ui::Window* w = window();
    if (w == nullptr) return;
    if (OrderEntry* order = Current(); order != nullptr && order->LOCATOR != nullptr)
        order->LOCATOR->UpdateWindow();
    const bool record = CURRENTCHOICE > 0 && !BEHAVIOR.rows.empty();
    // Recomputed on every show, so no action key or stale menu item finds a button enabled that
    // has nothing to act on (see the header).
    for (std::int32_t c : {CHANGECONTROL, DELETECONTROL, PRINTCONTROL, VIEWCONTROL})
        if (c != 0 && w->exists(c)) w->setInt(c, "Enabled", record ? 1 : 0);
    if (SELECTCONTROL != 0 && w->exists(SELECTCONTROL)) {
        if (SELECTING) {
            w->setInt(SELECTCONTROL, "Enabled", record && WINDOW->REQUEST == RequestSelect ? 1 : 0);
        } else if (HIDESELECT) {
            w->setInt(SELECTCONTROL, "Enabled", 0);
            w->setInt(SELECTCONTROL, "Visible", 0);
        }
    }
    w->display(ILC);
    RefreshThumb();
}

// ---- Keys, buttons and requests ----------------------------------------------------------------

void RecordBrowser::Component::ArmAlerts() {
    ui::Window* w = b_.window();
    if (w == nullptr) return;
    for (int key : {ui::key::Insert, ui::key::Delete, ui::key::Ctrl + ui::key::Enter,
                    ui::key::Shift + ui::key::Enter, ui::key::MouseLeft2, ui::key::MouseRightUp})
        w->alert(b_.ILC, key, kBrowseAlertSlot);
    for (int key : characterKeys()) w->alert(b_.ILC, key, kBrowseAlertSlot);
    if (!b_.popupBuilt_) b_.buildPopup();
}

void RecordBrowser::buildPopup() {
    ui::Window* w = window();
    if (w == nullptr || POPUP == nullptr) return;
    popupBuilt_ = true;
    POPUP->Init(*w);
    auto mimic = [&](std::int32_t control, const char* text) {
        if (control != 0 && w->exists(control)) POPUP->AddItemMimic(text, static_cast<std::int16_t>(control));
    };
    mimic(INSERTCONTROL, "!&Insert");
    mimic(CHANGECONTROL, "!&Change");
    mimic(DELETECONTROL, "!&Delete");
    mimic(VIEWCONTROL, "!&View");
    mimic(PRINTCONTROL, "!&Print");
    POPUP->AddEntry("-", "Separator2", POPUP->Items().empty() ? std::string() : POPUP->Items().back().NAME);
    mimic(QUERYCONTROL, "!&Query");
    if (SELECTING) mimic(SELECTCONTROL, "!&Select");
    if (TOOLCONTROL != 0 && w->exists(TOOLCONTROL)) {
        POPUP->AddEntry("-", {}, POPUP->Items().back().NAME);
        mimic(TOOLCONTROL, "!&Toolbox");
    }
}

bool RecordBrowser::pressButton(std::int32_t control) {
    if (!usable(control)) return false;
    const bool needsRecord = control == CHANGECONTROL || control == DELETECONTROL || control == VIEWCONTROL ||
                             control == SELECTCONTROL || control == PRINTCONTROL;
    if (needsRecord && (BEHAVIOR.rows.empty() || CURRENTCHOICE < 1)) return false;
    window()->post(ui::event::Accepted, control);
    return true;
}

void RecordBrowser::HandleKey() {
    ui::Window* w = window();
    if (w == nullptr) return;
    switch (w->keyCode()) {
    case ui::key::Insert:
        pressButton(INSERTCONTROL);
        return;
    case ui::key::Delete:
        pressButton(DELETECONTROL);
        return;
    case ui::key::Ctrl + ui::key::Enter:
        pressButton(CHANGECONTROL);
        return;
    case ui::key::Shift + ui::key::Enter:
        pressButton(VIEWCONTROL);
        return;
    case ui::key::MouseLeft2:
        pressButton(SELECTING ? SELECTCONTROL : CHANGECONTROL);
        return;
    case ui::key::MouseRightUp:
        if (POPUP != nullptr) POPUP->Prompt();
        return;
    default:
        break;
    }
    OrderEntry* order = Current();
    if (order != nullptr && order->LOCATOR != nullptr && order->LOCATOR->TakeKey()) {
        LocateFromBuffer();
        Redisplay();
    } else {
        Redisplay();
    }
}

void RecordBrowser::runRequest(std::uint8_t request) {
    if (request != RequestInsert) {
        LoadCurrentRecord();
        if (!RECORDSTATUS) {
            // The highlighted record cannot be read: no form for another record (see the header).
            RefillList(FillAroundCurrent);
            NEEDREFRESH = 0;
            Redisplay();
            return;
        }
    } else if (PrepareNewRecord(false) != Severity::Proceed) {
        RefreshAfterForm(request, Cancelled);
        return;
    }
    const std::uint8_t response = WINDOW->CallProcedure(ASKPROCEDURE, request);
    RefreshAfterForm(request, response);
}

void RecordBrowser::RefreshAfterForm(std::uint8_t request, std::uint8_t response) {
    if (response != Completed) {
        RefillList(FillAroundCurrent);
    } else {
        VIEW->flush();
        if (request == RequestDelete) {
            auto& rows = BEHAVIOR.rows;
            if (CURRENTCHOICE >= 1 && static_cast<std::size_t>(CURRENTCHOICE) <= rows.size()) {
                rows.erase(rows.begin() + (CURRENTCHOICE - 1));
                CURRENTCHOICE = std::min<std::int32_t>(CURRENTCHOICE, static_cast<std::int32_t>(rows.size()));
            }
            RefillList(FillAroundCurrent);
        } else {
            // The buffer holds the record the form wrote: the list stands on it.
            LocateFromBuffer(true);
        }
    }
    NEEDREFRESH = 0;
    Redisplay();
    if (ui::Window* w = window()) w->select(ILC);
}

Severity RecordBrowser::onAccepted(std::int32_t control) {
    if (control == 0) return Severity::Proceed;
    if (OrderEntry* order = Current();
        order != nullptr && order->LOCATOR != nullptr && control == order->LOCATOR->CONTROL) {
        if (order->LOCATOR->TakeAccepted()) {
            LocateFromBuffer();
            Redisplay();
        }
        return Severity::Proceed;
    }
    const bool mine = control == INSERTCONTROL || control == CHANGECONTROL || control == DELETECONTROL ||
                      control == VIEWCONTROL || control == SELECTCONTROL || control == PRINTCONTROL ||
                      control == QUERYCONTROL || control == TOOLCONTROL;
    // A press that arrives for a button disabled meanwhile (a posted key or menu choice) is dropped.
    if (!mine || !usable(control)) return Severity::Proceed;
    if (control == INSERTCONTROL) {
        runRequest(RequestInsert);
    } else if (control == CHANGECONTROL) {
        runRequest(RequestChange);
    } else if (control == DELETECONTROL) {
        runRequest(RequestDelete);
    } else if (control == VIEWCONTROL) {
        runRequest(RequestView);
    } else if (control == SELECTCONTROL) {
        LoadCurrentRecord();
        if (RECORDSTATUS) WINDOW->Finish(Completed);
    } else if (control == PRINTCONTROL) {
        LoadCurrentRecord();
        if (RECORDSTATUS) WINDOW->CallProcedure(PRINTPROCEDURE, 0);
    } else if (control == QUERYCONTROL) {
        if (QUERYACTION) QUERYACTION();
    } else if (control == TOOLCONTROL && POPUP != nullptr) {
        POPUP->TOOLBOXCAPTION = "Browse Actions";
        POPUP->INTOOLBOX = 1;
        POPUP->Prompt();
    }
    return Severity::Proceed;
}

Severity RecordBrowser::HandleEvent() {
    ui::Window* w = window();
    if (w == nullptr || ORDER == nullptr) return Severity::Proceed;
    const std::uint32_t event = w->event();
    const int control = w->control();
    if (control == ILC) {
        switch (event) {
        case ui::event::NewSelection:
            HandleNewSelection();
            break;
        case ui::event::ScrollUp:
        case ui::event::ScrollDown:
        case ui::event::PageUp:
        case ui::event::PageDown:
        case ui::event::ScrollTop:
        case ui::event::ScrollBottom:
            HandleScroll(event);
            break;
        case ui::event::Locate:
            if (QUERYACTION) QUERYACTION();
            break;
        case ui::event::AlertKey:
            HandleKey();
            break;
        case ui::event::ScrollDrag: {
            if (BEHAVIOR.rows.empty()) break;
            const long position = w->getInt(ILC, "ScrollPos");
            OrderEntry* order = Current();
            if (position <= 1) {
                ScrollToEnd(ui::event::ScrollTop);
            } else if (position >= 100) {
                ScrollToEnd(ui::event::ScrollBottom);
            } else if (order != nullptr && order->THUMB != nullptr) {
                order->THUMB->ValueAt(static_cast<std::uint8_t>(position), order->FREEELEMENT.bind());
                LocateFromBuffer();
                break; // LocateFromBuffer loaded the record
            } else if (FILELOADED) {
                CURRENTCHOICE = std::max<std::int32_t>(
                    1, static_cast<std::int32_t>(position * static_cast<long>(BEHAVIOR.rows.size()) / 100));
            } else if (position != 50) {
                ScrollByPage(position < 50 ? ui::event::PageUp : ui::event::PageDown);
            }
            LoadCurrentRecord();
            Redisplay();
            break;
        }
        default:
            break;
        }
        return Severity::Proceed;
    }
    if (event == ui::event::Accepted) return onAccepted(control);
    return Severity::Proceed;
}

// ---- Resets and shut-down ----------------------------------------------------------------------

void RecordBrowser::ResetBrowse(std::uint8_t force) {
    ui::Window* w = window();
    if (w == nullptr || ORDER == nullptr || ORDER->empty()) return;
    // The highlighted record, kept over the locator's reset: the new order starts at it.
    const FileDeclaration& record = Record();
    const std::vector<std::uint8_t> highlighted(record.record, record.record + record.recordLength);
    const bool changed = SelectOrder(ChooseOrder());
    if (changed && Current()->LOCATOR != nullptr) Current()->LOCATOR->Reset();
    // The range-change test: the list's height, the range values, the watched fields.
    const int items = visibleRows();
    if (items != LASTITEMS) {
        LASTITEMS = items;
        LOADPENDING = 1;
    }
    if (OPENED && !changed && ApplyRange()) LOADPENDING = 1;
    std::vector<std::vector<std::uint8_t>> values;
    for (const FieldRef& f : watched_) {
        const BoundVariable v = f.bind();
        const auto* data = static_cast<const std::uint8_t*>(v.data);
        values.emplace_back(data, data + (data != nullptr ? v.size : 0));
    }
    if (values != watchedValues_) LOADPENDING = 1;
    if (changed || force || !LOADED || LOADPENDING || NEEDREFRESH) {
        watchedValues_ = std::move(values);
        const bool wasLoaded = LOADED;
        if (!OPENED || changed) Open();
        computeBounds();
        NEEDREFRESH = 0;
        if ((changed && wasLoaded && RECORDSTATUS) || (!wasLoaded && (SELECTING || STARTATCURRENT))) {
            std::memcpy(record.record, highlighted.data(), highlighted.size());
            LocateFromBuffer(true); // the record in the buffer stays highlighted in the new order
        } else {
            RefillList(FillAroundCurrent);
        }
    }
    if (!LOADPENDING && !NEEDREFRESH) LoadCurrentRecord();
}

void RecordBrowser::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    if (ORDER != nullptr)
        for (OrderEntry& order : *ORDER) {
            if (order.THUMB != nullptr) order.THUMB->Shutdown();
            order.RESETS.Kill();
        }
    if (WINDOW != nullptr) WINDOW->RemoveComponent(component_);
    if (POPUP != nullptr) POPUP->Kill();
    BEHAVIOR.rows.clear();
    ViewReader::Shutdown();
}

} // namespace docket::classes
