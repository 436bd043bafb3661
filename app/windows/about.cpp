// The About window: its definition and its procedure, a window flow without a table that runs until
// the user closes it with Close or the close box.
#include "app/windows/about.h"

#include <string>

#include "classes/window/navigation_toolbar.h"
#include "classes/window/requests.h"
#include "classes/window/window_flow.h"
#include "ui/definition.h"
#include "ui/window.h"

namespace docket::app {
namespace {

using namespace classes;
using ui::ControlType;

constexpr int cString1 = 1, cOkButton = 7;
constexpr int kBold = 700;

ui::WindowDefinition aboutWindow() {
    ui::WindowDefinition w{
        .caption = "About",
        .font = "MS Sans Serif",
        .fontSize = 8,
        .width = 210,
        .height = 104,
        .attributes = ui::wattr::System | ui::wattr::Gray | ui::wattr::Center,
    };
    const char* lines[] = {
        "docket",
        "A memo register for the office.",
        "Memos with their number, date, type and subject,",
        "each with a rich-text body.",
        "Written by the docket developers.",
        "Questions and reports: see the README.",
    };
    // The name stands apart from the description, the credit and contact lines apart again.
    const int top[] = {8, 22, 32, 42, 58, 68};
    for (int i = 0; i < 6; ++i)
        w.controls.push_back({.type = ControlType::Text,
                              .name = "?STRING" + std::to_string(i + 1),
                              .text = lines[i],
                              .x = 10,
                              .y = top[i],
                              .width = 190,
                              .height = 9});
    w.controls.push_back({.type = ControlType::Button,
                          .name = "?OKBUTTON",
                          .text = "Close",
                          .x = 155,
                          .y = 84,
                          .width = 45,
                          .height = 14,
                          .attributes = ui::attr::Default});
    return w;
}

class AboutWindow : public WindowFlow {
public:
    // Left without Execute finishing, the window shuts down while its tool bar still exists.
    ~AboutWindow() override {
        if (CL && !DEAD) WindowFlow::Shutdown();
    }
    Severity Init() override {
        REQUEST = PendingRequest;
        const Severity base = WindowFlow::Init();
        if (base != Severity::Proceed) return base;
        FIRSTFIELD = cString1; // selecting a string passes on to Close, the one control that takes the focus
        VCRREQUEST = &PendingNavigation;
        SetToolbar(Toolbar);
        PendingRequest = 0;
        LastResponse = 0;
        ui::Window& window = openWindow(aboutWindow());
        window.setInt(cString1, "FontStyle", kBold);
        AddButton(cOkButton, Completed);
        ArmAlerts();
        return Severity::Proceed;
    }

private:
    NavigationToolbar Toolbar{this};
};

} // namespace

void About() {
    AboutWindow about;
    about.Execute();
}

} // namespace docket::app
