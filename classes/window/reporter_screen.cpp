#include "classes/window/reporter_screen.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "classes/data/message_hook.h"
#include "classes/window/message_window.h"
#include "classes/window/rebuild_progress.h"
#include "runtime/core/fatal.h"
#include "ui/modal.h"

namespace docket::classes {
namespace {

// The reporter and the window system speak one vocabulary of buttons and icons: this is where the
// two meet, so this is where it is checked.
static_assert(button::kOk == ui::button::Ok && button::kYes == ui::button::Yes &&
              button::kNo == ui::button::No && button::kAbort == ui::button::Abort &&
              button::kRetry == ui::button::Retry && button::kIgnore == ui::button::Ignore &&
              button::kCancel == ui::button::Cancel && button::kHelp == ui::button::Help);
static_assert(icon::kQuestion == ui::icon::Question && icon::kExclamation == ui::icon::Exclamation);

// The words the reporter ends a fatal message with.
constexpr std::string_view kFatalEnding = "Press OK to end this application";
constexpr int kHaltExitCode = 1;

std::function<void()> shutdownSteps;
bool shutdownStarted = false;
std::function<void(int)> haltHandler;
// Set while the user has been told that the program ends and the stop has not come yet.
bool stopAnnounced = false;

bool announcesStop(const MessageRequest& request) {
    const std::string& text = request.text;
    return text.size() >= kFatalEnding.size() &&
           std::string_view(text).substr(text.size() - kFatalEnding.size()) == kFatalEnding;
}

// The stop usually comes on a program thread, a fiber that std::exit would have to unwind from
// inside while it destroys the scheduler. The shut-down steps have released what the program
// holds, so the process ends at once, with what is buffered for the standard streams written.
void halt(int code) {
    if (haltHandler) {
        haltHandler(code);
        return;
    }
    std::fflush(nullptr);
    std::_Exit(code);
}

void fatalStop(const std::string& message) {
    if (!std::exchange(stopAnnounced, false)) {
        const std::string& caption = runtime::fatalCaption();
        ui::messageBox(message, caption.empty() ? "Stop" : caption, ui::icon::Hand, ui::button::Abort,
                       ui::button::Abort);
    }
    runShutdownOnce();
    halt(kHaltExitCode);
}

} // namespace

void installReporterScreen(ErrorReporter* reporter) {
    setMessageHook([reporter](const MessageRequest& request) -> ButtonSet {
        // The history window when the reporter hands over its history, else a box.
        const ButtonSet answer = request.history != nullptr
                                     ? showMessageWindow(request, reporter)
                                     : ui::messageBox(request.text, request.title, request.icon,
                                                      request.buttons, request.defaultButton);
        // A fatal message shown in the history window has no text here; the reporter halts right
        // after showing it at its view level, which is Fatal unless the program changed it.
        stopAnnounced =
            announcesStop(request) ||
            (request.history != nullptr && request.buttons == button::kOk && reporter != nullptr &&
             reporter->HISTORYVIEWLEVEL == static_cast<std::int32_t>(Severity::Fatal));
        return answer;
    });
    runtime::setFatalHook(fatalStop);
    installRebuildProgress();
}

void setShutdownHook(std::function<void()> steps) {
    shutdownSteps = std::move(steps);
    shutdownStarted = false;
}

bool runShutdownOnce() {
    if (shutdownStarted) return false;
    shutdownStarted = true;
    if (shutdownSteps) shutdownSteps();
    return true;
}

void setHaltHandler(std::function<void(int)> halt) {
    haltHandler = std::move(halt);
}

} // namespace docket::classes
