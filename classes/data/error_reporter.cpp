#include "classes/data/error_reporter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "runtime/core/dates.h"
#include "runtime/core/error_state.h"
#include "runtime/core/fatal.h"
#include "runtime/picture/picture.h"
#include "runtime/core/thread_hook.h"
#include "runtime/core/thread_state.h"

namespace docket::classes {
namespace {

constexpr std::size_t kFieldLimit = 255; // FIELDNAME, FILENAME, MESSAGETEXT and the saved errors
constexpr const char* kFatalSuffix = "  Press OK to end this application";

std::string cut(std::string_view text, std::size_t limit) {
    return std::string(text.substr(0, limit));
}

// The severity a message is handled as: ProgramFault and unknown severities halt like Fatal,
// Declined asks like Question.
std::uint8_t handledAs(std::uint8_t severity) {
    switch (severity) {
    case 0:
        return 0;
    case 1:
    case 4:
        return 1;
    case 5:
        return 5;
    default:
        return 3;
    }
}

// The runtime's last error, kept across the writing of the log: the log's own file statements set
// it, and the caller that reported a failure may still look at the error it reported.
class ErrorStateGuard {
public:
    ErrorStateGuard()
        : code_(runtime::errorCode()), fileCode_(runtime::fileErrorCode()), text_(runtime::errorText()) {}
    ~ErrorStateGuard() {
        if (code_ == 0) {
            runtime::clearError();
        } else if (code_ == runtime::kFileSystemError && fileCode_ != 0) {
            runtime::setFileError(fileCode_);
        } else if (text_ == runtime::errorTextFor(code_)) {
            runtime::setError(code_);
        } else {
            runtime::setErrorWithText(code_, text_);
        }
    }
    ErrorStateGuard(const ErrorStateGuard&) = delete;
    ErrorStateGuard& operator=(const ErrorStateGuard&) = delete;

private:
    int code_;
    int fileCode_;
    std::string text_;
};

// A failing error log is never shown to the user. Its note goes to standard error only when the
// DOCKET_DEBUG environment variable is set, and is dropped otherwise.
void logNote(const char* what) {
    if (std::getenv("DOCKET_DEBUG") == nullptr) return;
    std::string note = what + runtime::errorText();
    std::string fileText = runtime::fileErrorText();
    if (!fileText.empty()) note += " (" + fileText + ")";
    std::fprintf(stderr, "%s\n", note.c_str());
}

} // namespace

ErrorReporter::ErrorReporter() : DEFAULTCATEGORY("QRB"), STDERRORLOG(std::make_unique<TextErrorLog>()) {
    // Called from the constructor, so this is always the base Init; a derived reporter that replaces
    // Init calls it again itself.
    ErrorReporter::Init();
    threadEndListener_ = runtime::addThreadEndListener([this](int thread) {
        std::lock_guard lock(procMutex_);
        std::erase_if(PROCNAMES, [thread](const ProcedureNameEntry& e) { return e.THREAD == thread; });
    });
}

ErrorReporter::~ErrorReporter() { runtime::removeThreadEndListener(threadEndListener_); }

void ErrorReporter::Init() {
    if (!STDERRORLOG) STDERRORLOG = std::make_unique<TextErrorLog>();
    ERRORLOG = STDERRORLOG.get();
    ERRORS.clear();
    current_ = 0;
    AddMessageTable(builtInMessageTable());
    current_ = ERRORS.size();
    std::lock_guard lock(procMutex_);
    PROCNAMES.clear();
    // HISTORY is kept: a history supplied before Init stays in use.
}

void ErrorReporter::Shutdown() {
    ERRORS.clear();
    current_ = 0;
    HISTORY.clear();
    {
        std::lock_guard lock(procMutex_);
        PROCNAMES.clear();
    }
    ERRORLOG = nullptr;
    STDERRORLOG.reset();
}

void ErrorReporter::AddMessageTable(std::span<const std::uint8_t> table) {
    if (table.size() < 2) return;
    const bool hadCurrent = current_ < ERRORS.size();
    const std::size_t count = table[0] | (table[1] << 8);
    std::size_t at = 2;
    for (std::size_t i = 0; i < count; ++i) {
        // Each length is checked against the bytes left before it is used: a record that runs past
        // the end of the table ends the loading there.
        if (table.size() - at < 4) break;
        MessageEntry entry;
        entry.ID = static_cast<std::uint16_t>(table[at] | (table[at + 1] << 8));
        entry.FATALITY = table[at + 2];
        const std::size_t titleLength = table[at + 3];
        at += 4;
        if (table.size() - at < titleLength + 1) break;
        entry.TITLE = std::string_view(reinterpret_cast<const char*>(table.data() + at), titleLength);
        at += titleLength;
        const std::size_t textLength = table[at];
        at += 1;
        if (table.size() - at < textLength) break;
        entry.MESSAGE = std::string_view(reinterpret_cast<const char*>(table.data() + at), textLength);
        at += textLength;
        ERRORS.push_back(std::move(entry));
    }
    if (!hadCurrent) current_ = ERRORS.size();
}

void ErrorReporter::AppendHistory(const HistoryEntry& entry) {
    HISTORY.push_back(entry);
}

bool ErrorReporter::FindFrom(std::uint16_t id, std::size_t before) {
    for (std::size_t i = std::min(before, ERRORS.size()); i-- > 0;) {
        if (ERRORS[i].ID == id) {
            current_ = i;
            return true;
        }
    }
    current_ = ERRORS.size();
    return false;
}

bool ErrorReporter::Find(std::uint16_t id) {
    return FindFrom(id, ERRORS.size());
}

MessageEntry* ErrorReporter::Lookup(std::uint16_t id) {
    for (std::size_t i = ERRORS.size(); i-- > 0;)
        if (ERRORS[i].ID == id) return &ERRORS[i];
    return nullptr;
}

const MessageEntry* ErrorReporter::Current() const {
    return current_ < ERRORS.size() ? &ERRORS[current_] : nullptr;
}

void ErrorReporter::AssignCategory(std::uint16_t id, const std::string& category) {
    if (id == kAllMessages) {
        DEFAULTCATEGORY = category;
    } else if (MessageEntry* entry = Lookup(id)) {
        entry->CATEGORY = category;
    }
}

std::string ErrorReporter::CategoryOf(std::uint16_t id) {
    if (id == kAllMessages) return DEFAULTCATEGORY;
    const MessageEntry* entry = Lookup(id);
    return entry == nullptr || entry->CATEGORY.empty() ? DEFAULTCATEGORY : entry->CATEGORY;
}

void ErrorReporter::SetFieldName(std::string_view name) {
    FIELDNAME = cut(name, kFieldLimit);
}

void ErrorReporter::SetFileName(std::string_view name) {
    FILENAME = cut(name, kFieldLimit);
}

void ErrorReporter::NoteProcedure(const std::string& name) {
    const int thread = runtime::currentThreadNumber();
    std::lock_guard lock(procMutex_);
    PROCNAMES.push_back({thread, name});
}

void ErrorReporter::RemoveProcedure() {
    const int thread = runtime::currentThreadNumber();
    std::lock_guard lock(procMutex_);
    for (std::size_t i = PROCNAMES.size(); i-- > 0;) {
        if (PROCNAMES[i].THREAD == thread) {
            PROCNAMES.erase(PROCNAMES.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

std::string ErrorReporter::CurrentProcedureName() const {
    const int thread = runtime::currentThreadNumber();
    std::lock_guard lock(procMutex_);
    for (std::size_t i = PROCNAMES.size(); i-- > 0;)
        if (PROCNAMES[i].THREAD == thread) return PROCNAMES[i].NAME;
    return {};
}

void ErrorReporter::CaptureErrors() {
    SAVEERRORCODE = runtime::errorCode();
    SAVEERROR = cut(runtime::errorText(), kFieldLimit);
    // The driver's own error exists only for a file system error (90): its platform code. Any
    // other error leaves both the driver code and text empty.
    if (SAVEERRORCODE == runtime::kFileSystemError) {
        SAVEFILEERRORCODE = std::to_string(runtime::fileErrorCode());
        SAVEFILEERROR = cut(runtime::fileErrorText(), kFieldLimit);
    } else {
        SAVEFILEERRORCODE.clear();
        SAVEFILEERROR.clear();
    }
}

Severity ErrorReporter::Raise(std::uint16_t id) {
    CaptureErrors();
    return Dispatch(id);
}

Severity ErrorReporter::RaiseText(std::uint16_t id, std::string_view text) {
    MESSAGETEXT = cut(text, kFieldLimit);
    return Raise(id);
}

Severity ErrorReporter::Dispatch(std::uint16_t id) {
    if (!Find(id)) return ReportMissing(id);
    switch (Current()->FATALITY) {
    case 0:
        return OnProceed();
    case 1:
    case 4:
        return OnQuestion();
    case 2:
        return OnProgramFault();
    case 3:
        return OnFatal();
    case 5:
        return OnInform();
    default:
        return OnOtherLevel();
    }
}

// A message id that is in none of the tables is a programming error, but not one worth halting
// the program for: the user is told which message is missing, as an Inform message (logged and
// kept in the history like any other, under the missing id), and the caller gets Inform, the
// result of a failure the user has been told about.
Severity ErrorReporter::ReportMissing(std::uint16_t id) {
    current_ = ERRORS.size();
    missingId_ = id;
    Report("Message " + std::to_string(id) + " not found.", "Unknown Message", icon::kExclamation, button::kOk,
           button::kOk, 0);
    return Severity::Inform;
}

ButtonSet ErrorReporter::Confirm(std::uint16_t id, ButtonSet buttons, ButtonSet defaultButton) {
    if (SILENT) return defaultButton;
    if (!Find(id)) {
        ReportMissing(id);
        return defaultButton;
    }
    const std::string title(Current()->TITLE);
    return ShowBox(ExpandText(), title, icon::kQuestion, buttons, defaultButton, 0);
}

std::string ErrorReporter::ExpandText() {
    const MessageEntry* entry = Current();
    if (entry == nullptr) return {};
    std::string buffer = cut(entry->MESSAGE, kExpandedTextLimit);

    // Placeholders match as plain, case-sensitive substrings, longer names before their prefixes
    // ("%FileErrorCode", "%FileError", "%File"). A word that merely starts with a placeholder is
    // therefore expanded as that placeholder followed by the rest: "%Filename" is "%File" + "name".
    // Within one pass the search resumes after the inserted value, so a value holding the
    // placeholder itself is not expanded again; the buffer never grows past its limit.
    auto replaceAll = [&buffer](std::string_view placeholder, const std::string& value) {
        std::size_t from = 0;
        while (from < buffer.size()) {
            const std::size_t at = buffer.find(placeholder, from);
            if (at == std::string::npos) break;
            buffer.replace(at, placeholder.size(), value);
            if (buffer.size() > kExpandedTextLimit) buffer.resize(kExpandedTextLimit);
            from = at + value.size();
        }
    };

    replaceAll("%FileErrorCode", SAVEFILEERRORCODE);
    replaceAll("%FileError", SAVEFILEERROR);
    replaceAll("%File", FILENAME);
    replaceAll("%ErrorCode", std::to_string(SAVEERRORCODE));
    if (SAVEERRORCODE == runtime::kFileSystemError) {
        replaceAll("%ErrorText", SAVEFILEERROR + " (" + SAVEFILEERRORCODE + ")");
    } else {
        replaceAll("%ErrorText", SAVEERROR + " (" + std::to_string(SAVEERRORCODE) + ")");
    }
    replaceAll("%Error", SAVEERROR);
    replaceAll("%Message", MESSAGETEXT);
    replaceAll("%Field", FIELDNAME);
    replaceAll("%Procedure", CurrentProcedureName());
    replaceAll("%Category", entry->CATEGORY);
    if (buffer.find("%Previous") != std::string::npos) {
        const std::size_t remembered = current_;
        std::string previous;
        if (FindFrom(entry->ID, remembered)) previous = std::string(Current()->MESSAGE);
        current_ = remembered;
        replaceAll("%Previous", previous);
    }
    return buffer;
}

ButtonSet ErrorReporter::Report(const std::string& text, const std::string& title, int icon,
                                ButtonSet buttons, ButtonSet defaultButton, std::uint32_t style) {
    ButtonSet result = defaultButton;
    const MessageEntry* entry = Current();
    const std::uint16_t id = entry ? entry->ID : missingId_;
    const std::uint8_t severity = entry ? entry->FATALITY : static_cast<std::uint8_t>(Severity::Inform);

    if (LOGERRORS && ERRORLOG != nullptr) {
        ErrorStateGuard keep;
        if (ERRORLOG->Open() != Severity::Proceed) {
            logNote("Unable to Open error log; ");
        } else {
            const std::string date = runtime::formatNumber(runtime::today(), runtime::compilePicture("d17"));
            const std::string time =
                runtime::formatNumber(runtime::clockNow(), runtime::compilePicture("t8"));
            if (ERRORLOG->Write(date + "@" + time + " --> " + text) != Severity::Proceed)
                logNote("Unable to update error log; ");
            if (ERRORLOG->Close() != Severity::Proceed) logNote("Unable to close error log; ");
        }
    }

    if (HISTORYTHRESHOLD != 0) {
        if (HISTORYTHRESHOLD > 0) {
            const auto capacity = static_cast<std::size_t>(HISTORYTHRESHOLD);
            while (!HISTORY.empty() && HISTORY.size() >= capacity) HISTORY.erase(HISTORY.begin());
        }
        AppendHistory(HistoryEntry{CategoryOf(id), cut(text, kHistoryTextLimit), id});
    }

    if (!SILENT) {
        if (HISTORYTHRESHOLD == 0) {
            result = ShowBox(text, title, icon, buttons, defaultButton, style);
        } else if (severity == HISTORYVIEWLEVEL || handledAs(severity) == HISTORYVIEWLEVEL) {
            // A message handled like one of the view level is shown as that level is: a
            // ProgramFault halts like a Fatal message, so it opens the window at level Fatal too
            // instead of halting the program with its text only in a list nobody saw.
            result = ShowWithHistory(title, icon, buttons, defaultButton);
            if (HISTORYRESETONVIEW) ClearHistory();
        }
    }
    return result;
}

ButtonSet ErrorReporter::ShowBox(const std::string& text, const std::string& title, int icon,
                                 ButtonSet buttons, ButtonSet defaultButton, std::uint32_t style) {
    MessageRequest request;
    request.text = text;
    request.title = title;
    request.icon = icon;
    request.buttons = buttons;
    request.defaultButton = defaultButton;
    request.style = style;
    return showMessage(request);
}

ButtonSet ErrorReporter::ShowWithHistory(const std::string& caption, int icon, ButtonSet buttons,
                                         ButtonSet defaultButton) {
    MessageRequest request;
    request.title = caption;
    request.icon = icon;
    request.buttons = buttons;
    request.defaultButton = defaultButton;
    request.history = &HISTORY;
    return showMessage(request);
}

ButtonSet ErrorReporter::ShowHistory() {
    if (SILENT) return button::kOk;
    return ShowWithHistory("Errors History", icon::kNone, button::kOk | button::kHelp, button::kOk);
}

void ErrorReporter::ClearHistory() {
    HISTORY.clear();
}

// OnProceed shows nothing, and so neither logs nor records the message: a Proceed message is one
// that needs no report at all.
Severity ErrorReporter::OnProceed() {
    return Severity::Proceed;
}

Severity ErrorReporter::OnQuestion() {
    const std::string title(Current() ? Current()->TITLE : std::string_view{});
    const ButtonSet pressed = Report(ExpandText(), title, icon::kQuestion, button::kYes | button::kNo, button::kYes, 0);
    return pressed == button::kYes ? Severity::Proceed : Severity::Declined;
}

Severity ErrorReporter::OnInform() {
    const std::string title(Current() ? Current()->TITLE : std::string_view{});
    Report(ExpandText(), title, icon::kExclamation, button::kOk, button::kOk, 0);
    return Severity::Inform;
}

// The halt goes through the runtime's fatal path, which ends the program with exit code 1: a
// program stopped by a fatal message must not look to its caller as if it had finished normally
// (exit code 0). Only a hook that returns (tests) brings control back here.
Severity ErrorReporter::OnFatal() {
    const std::string title(Current() ? Current()->TITLE : std::string_view{});
    Report(ExpandText() + kFatalSuffix, title, icon::kExclamation, button::kOk, button::kOk, 0);
    runtime::fatal(title);
    return Severity::Fatal;
}

Severity ErrorReporter::OnProgramFault() {
    return OnFatal();
}

Severity ErrorReporter::OnOtherLevel() {
    return OnProgramFault();
}

} // namespace docket::classes
