#include "classes/window/message_window.h"

#include <algorithm>

#include "ui/definition.h"
#include "ui/list_format.h"
#include "ui/modal.h"
#include "ui/window.h"

namespace docket::classes {
namespace {

constexpr const char* kModule = "qberror";
constexpr const char* kResource = "$WINDOW";
constexpr int kButtonSlots = 8;
constexpr int kMaxColumns = 100;

// The texts of the buttons by bit, from 1 (Ok) up to 128 (Help).
const char* buttonText(ButtonSet bit) {
    switch (bit) {
    case button::kOk:
        return "O&k";
    case button::kYes:
        return "&Yes";
    case button::kNo:
        return "&No";
    case button::kAbort:
        return "&Abort";
    case button::kRetry:
        return "&Retry";
    case button::kIgnore:
        return "&Ignore";
    case button::kCancel:
        return "&Cancel";
    default:
        return "&Help";
    }
}

ui::WindowDefinition definition() {
    using ui::ControlType;
    ui::WindowDefinition w;
    w.caption = "Error";
    w.font = "MS Sans Serif";
    w.fontSize = 8;
    w.width = 322;
    w.height = 98;
    w.controls.push_back({ControlType::Image, "?IMAGE", "", 2, 4, 26, 28});
    w.controls.push_back({ControlType::List, "?LIST", "", 32, 4, 286, 71, "HISTORY", "",
                          "217L(2)|M~Message~S(255)@s255@42L(2)|M~Category~L(1)@s255@"});
    // "?BUTTON1" at x 4, each next one 40 units to the right, "?BUTTON8" at x 284; all hidden
    // until the window gives them a button.
    for (int n = 1; n <= kButtonSlots; ++n) {
        ui::ControlDefinition b{
            ControlType::Button, "?BUTTON" + std::to_string(n), "", 4 + (n - 1) * 40, 80, 36, 14};
        b.attributes = ui::attr::Hidden;
        w.controls.push_back(b);
    }
    return w;
}

} // namespace

void registerMessageWindowDefinition() {
    if (ui::findWindow(kModule, kResource) == nullptr) ui::registerWindow(kModule, kResource, definition());
}

int HistoryListSource::rowCount() const {
    return HISTORY ? static_cast<int>(HISTORY->size()) : 0;
}

std::string HistoryListSource::field(int row, int column) const {
    if (!HISTORY || row < 0 || row >= rowCount()) return {};
    const HistoryEntry& entry = (*HISTORY)[static_cast<std::size_t>(row)];
    if (column == 1) return entry.TXT;
    if (column == 2) return entry.CATEGORY;
    return {};
}

void HistoryListSource::Redisplay() {
    if (WIN) WIN->display(kMessageList);
}

Severity MessageWindow::Init() {
    if (const Severity base = WindowFlow::Init(); base != Severity::Proceed) return base;
    registerMessageWindowDefinition();
    if (!HISTORYHANDLER) {
        source_.ERR = ERR;
        source_.HISTORY = ERR ? &ERR->HISTORY : nullptr;
        HISTORYHANDLER = &source_;
    }
    ui::Bindings bindings;
    bindings.lists["HISTORY"] = HISTORYHANDLER;
    WIN = &openWindow(*ui::findWindow(kModule, kResource), std::move(bindings));
    HISTORYHANDLER->WIN = WIN;
    HISTORYHANDLER->LBCOLUMNS = static_cast<std::int32_t>(
        std::min<std::size_t>(kMaxColumns, ui::parseListFormat(WIN->get(kMessageList, "Format")).size()));
    WIN->set(0, "Text", CAPTION);

    const std::string icon = ui::messageIconName(ICON);
    if (icon.empty())
        WIN->setInt(kMessageImage, "Visible", 0);
    else
        WIN->set(kMessageImage, "Icon", icon);

    // The buttons fill the slots from the right, Help (128) first and Ok (1) last.
    MSGBUTTONS = 0;
    for (ButtonSet bit = button::kHelp; bit != 0; bit >>= 1) {
        if ((BUTTONTYPES & bit) == 0) continue;
        ++MSGBUTTONS;
        MSGBUTTONID[static_cast<std::size_t>(MSGBUTTONS) - 1] = bit;
        const int control = kMessageButton1 + kButtonSlots - MSGBUTTONS;
        WIN->set(control, "Text", buttonText(bit));
        if (bit == MSGRVAL) {
            WIN->setInt(control, "Default", 1);
            FIRSTFIELD = control;
        }
        WIN->setInt(control, "Visible", 1);
    }
    AddComponent(*HISTORYHANDLER);
    WIN->display();
    return Severity::Proceed;
}

Severity MessageWindow::OnAccepted() {
    const int control = WIN ? WIN->control() : 0;
    const int slot = kMessageButton1 + kButtonSlots - control; // 1 for "?BUTTON8"
    if (control >= kMessageButton1 && slot >= 1 && slot <= MSGBUTTONS) {
        MSGRVAL = MSGBUTTONID[static_cast<std::size_t>(slot) - 1];
        Finish(Completed);
        return Severity::Inform;
    }
    return WindowFlow::OnAccepted();
}

ButtonSet showMessageWindow(const MessageRequest& request, ErrorReporter* reporter) {
    HistoryListSource source;
    source.ERR = reporter;
    source.HISTORY = request.history;
    MessageWindow window;
    window.HISTORYHANDLER = &source;
    window.ERR = reporter;
    window.BUTTONTYPES = (request.buttons & 0xFF) != 0 ? request.buttons : button::kOk;
    window.CAPTION = request.title;
    window.ICON = request.icon;
    window.MSGRVAL = request.defaultButton;
    window.STYLE = request.style;
    window.Execute();
    return window.MSGRVAL;
}

} // namespace docket::classes
