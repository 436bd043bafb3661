#pragma once
// MessageWindow: the error reporter's history window. It lists the reporter's message history
// (message and category) with up to eight buttons standing right-aligned below the list, and ends
// with the button pressed: ShowWithHistory shows it through the message hook (reporter_screen.h)
// and returns that button. HistoryListSource feeds the list from the history as a virtual list.
//
// The window is the definition "$WINDOW" of the module "qberror". The buttons of BUTTONTYPES fill
// the slots from the right, the highest bit first ("?BUTTON8" holds Help when there is one), so Ok
// stands leftmost; the default button has the focus. Closing the window any other way answers with
// the default. Like every procedure window it runs on the program thread that reported, nested in
// the window that was open.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "classes/data/error_reporter.h"
#include "classes/data/message_hook.h"
#include "classes/window/window_flow.h"
#include "classes/window/window_member.h"
#include "ui/use_variable.h"

namespace docket::classes {

// The history window's controls, numbered in definition order.
inline constexpr int kMessageImage = 1;
inline constexpr int kMessageList = 2;
inline constexpr int kMessageButton1 = 3; // "?BUTTON1"; "?BUTTON8" is kMessageButton1 + 7

// Registers the definition (done by the first MessageWindow; a program may register its own
// "$WINDOW" of "qberror" before).
void registerMessageWindowDefinition();

class HistoryListSource final : public ui::ListSource, public WindowMember {
public:
    // ui::ListSource: row r column 1 is the TXT of history entry r, column 2 its CATEGORY.
    int rowCount() const override;
    std::string field(int row, int field) const override;

    // WindowMember: the history may have grown between two events, so the list always asks to be
    // shown again.
    void Shutdown() override {}
    void Reset(std::uint8_t) override {}
    std::uint8_t NeedsRefresh() override { return 1; }
    void ArmAlerts() override {}
    Severity OnEvent() override { return Severity::Proceed; }
    void Update() override {}
    void Redisplay() override;

    ErrorReporter* ERR = nullptr;
    const std::vector<HistoryEntry>* HISTORY = nullptr;
    std::int32_t LBCOLUMNS = 0;
    ui::Window* WIN = nullptr;
};

class MessageWindow : public WindowFlow {
public:
    Severity Init() override;
    Severity OnAccepted() override;

    ButtonSet BUTTONTYPES = button::kOk;
    std::string CAPTION;
    ErrorReporter* ERR = nullptr;
    std::int32_t ICON = 0;
    HistoryListSource* HISTORYHANDLER = nullptr;
    std::int32_t MSGBUTTONS = 0;
    std::array<ButtonSet, 8> MSGBUTTONID{};
    ButtonSet MSGRVAL = 0; // the answer; the default until a button is pressed
    std::uint32_t STYLE = 0;
    ui::Window* WIN = nullptr;

private:
    HistoryListSource source_;
};

// Shows the history window for a request of the reporter (its history, caption, icon, buttons and
// default) and returns the button pressed.
ButtonSet showMessageWindow(const MessageRequest& request, ErrorReporter* reporter = nullptr);

} // namespace docket::classes
