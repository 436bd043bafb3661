#pragma once
// The error reporter: the one object through which the application classes report a problem or ask
// a standard question. Callers name a message by its id; the reporter looks it up in its message
// tables, expands the placeholders of its text, and acts by the message's severity: nothing, a
// Yes/No question, an OK message, or a message followed by the halt of the program. It can append
// each reported message to an error log and keep a history of them.
//
// Messages reach the user through the message hook (see message_hook.h), which the window system
// installs; until then the default hook answers every message with its default button.
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "classes/data/error_log.h"
#include "classes/data/message_hook.h"
#include "classes/data/severity.h"

namespace docket::classes {

// One message of a loaded table. `MESSAGE` and `TITLE` point into the packed table, which the
// caller of AddMessageTable keeps alive for the reporter's life.
struct MessageEntry {
    std::uint16_t ID = 0;
    std::string_view MESSAGE;
    std::string_view TITLE;
    std::uint8_t FATALITY = 0;
    std::string CATEGORY;
};

struct ProcedureNameEntry {
    int THREAD = 0;
    std::string NAME;
};

// The id that AssignCategory and CategoryOf read as "the default category".
inline constexpr std::uint16_t kAllMessages = 65535;
// Expanded texts are cut to this many characters.
inline constexpr std::size_t kExpandedTextLimit = 2000;
// History texts are cut to this many characters.
inline constexpr std::size_t kHistoryTextLimit = 1024;

// The application's built-in packed message table (43 messages).
std::span<const std::uint8_t> builtInMessageTable();

class ErrorReporter {
public:
    // Construct: creates the text error log, sets the defaults and runs Init.
    ErrorReporter();
    virtual ~ErrorReporter();
    ErrorReporter(const ErrorReporter&) = delete;
    ErrorReporter& operator=(const ErrorReporter&) = delete;

    // ---- Virtual operations, in their slot order ----
    // Appends one entry per record of a packed table, in table order, with an empty category. The
    // table is read in place: it must outlive the reporter. A malformed table (a record running past
    // the end) loads the records before the fault only.
    virtual void AddMessageTable(std::span<const std::uint8_t> table);
    virtual void AppendHistory(const HistoryEntry& entry);
    // Shows the history window with the history; returns the button pressed.
    virtual ButtonSet ShowWithHistory(const std::string& caption, int icon, ButtonSet buttons,
                                      ButtonSet defaultButton);
    virtual void Init();
    virtual ButtonSet Report(const std::string& text, const std::string& title, int icon, ButtonSet buttons,
                             ButtonSet defaultButton, std::uint32_t style);
    virtual ButtonSet ShowBox(const std::string& text, const std::string& title, int icon, ButtonSet buttons,
                              ButtonSet defaultButton, std::uint32_t style);
    virtual Severity OnProceed();
    virtual Severity OnFatal();
    virtual Severity OnInform();
    virtual Severity OnOtherLevel();
    virtual Severity OnProgramFault();
    virtual Severity OnQuestion();
    virtual ButtonSet ShowHistory();

    // ---- Other operations ----
    void Shutdown();
    void AssignCategory(std::uint16_t id, const std::string& category);
    std::string CategoryOf(std::uint16_t id);
    void SetFieldName(std::string_view name);
    void SetFileName(std::string_view name);
    void NoteProcedure(const std::string& name);
    // Removes the current thread's most recent procedure name, if it has one.
    void RemoveProcedure();
    std::string CurrentProcedureName() const;
    void CaptureErrors();
    Severity Raise(std::uint16_t id);
    Severity RaiseText(std::uint16_t id, std::string_view text);
    Severity Dispatch(std::uint16_t id);
    ButtonSet Confirm(std::uint16_t id, ButtonSet buttons, ButtonSet defaultButton);
    void ClearHistory();

    // Makes the newest entry with `id` current; false (and no current entry) when there is none.
    bool Find(std::uint16_t id);
    // The current entry's text with its placeholders expanded.
    std::string ExpandText();
    // The current entry (null when the last Find failed).
    const MessageEntry* Current() const;

    // ---- Fields ----
    std::string DEFAULTCATEGORY;
    std::vector<MessageEntry> ERRORS;
    ErrorLogSink* ERRORLOG = nullptr;
    std::string FIELDNAME;
    std::string FILENAME;
    std::vector<HistoryEntry> HISTORY;
    std::string MESSAGETEXT;
    std::vector<ProcedureNameEntry> PROCNAMES;
    std::string SAVEERROR;
    std::int32_t SAVEERRORCODE = 0;
    std::string SAVEFILEERROR;
    std::string SAVEFILEERRORCODE;
    bool SILENT = false;
    std::unique_ptr<TextErrorLog> STDERRORLOG;
    bool LOGERRORS = false;
    std::int32_t HISTORYTHRESHOLD = 0;
    std::int32_t HISTORYVIEWLEVEL = 3;
    bool HISTORYRESETONVIEW = false;

private:
    bool FindFrom(std::uint16_t id, std::size_t before);
    // The newest entry with `id`, without moving the current entry; null when there is none.
    MessageEntry* Lookup(std::uint16_t id);
    // Shows (and logs) that message `id` is in none of the tables.
    Severity ReportMissing(std::uint16_t id);
    // Index of the current entry in ERRORS; ERRORS.size() when there is none.
    std::size_t current_ = 0;
    // Id and severity that Report files a message under when there is no current entry (a message
    // that is in none of the tables).
    std::uint16_t missingId_ = 0;
    // PROCNAMES is shared by the program threads.
    mutable std::mutex procMutex_;
    // Drops the procedure names of a program thread that ends.
    int threadEndListener_ = 0;
};

} // namespace docket::classes
