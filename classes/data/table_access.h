#pragma once
// TableAccess: the program's use of one declared table. It opens and closes the table lazily with
// an open count per thread, reads, inserts, updates and deletes records with the standard error
// handling through the ErrorReporter, numbers new records automatically, saves and restores record
// buffers and table states, and describes the table's keys to the view reader.
//
// Results are Severity values: Proceed (0) success; Question (1) validation failed (Update);
// Fatal (3) the table could not be used; Inform (5) failed (the user has been told when reporting
// was asked for). Operations that come as a reporting and a silent pair take `bool report`
// (kReport / kSilent).
//
// The virtual operations are listed in their slot order; a derived object for a particular table
// replaces a few of them (FillNewRecord, ClearBuffer, Shutdown, the field validation) and calls the
// base where it needs the standard behaviour.
//
// Table state across procedures (the usage log): RequireOpen notes each use of the table by the
// current procedure (the error reporter's CurrentProcedureName) on the current thread. When a
// procedure uses a table that a calling procedure was already using, the caller's state (buffer
// and position) is pushed, and restored when the callee closes the table. Kinds of use: 2 the
// library's own operations; 3 the record browser's reads and a form's preparation (the position
// is then not restored, only the buffer, and a first use of kind 3 saves nothing); 4 bypasses the
// usage log.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "classes/data/error_reporter.h"
#include "classes/data/severity.h"
#include "drivers/driver.h"
#include "files/file_callback.h"

namespace docket::classes {

class TableRelations;

using drivers::DriverFile;
using drivers::FileDeclaration;
using drivers::KeyDeclaration;

inline constexpr bool kReport = true;
inline constexpr bool kSilent = false;

namespace use_kind {
inline constexpr std::uint8_t kLibrary = 2;
inline constexpr std::uint8_t kBrowse = 3;
inline constexpr std::uint8_t kUnlogged = 4;
} // namespace use_kind

// The open state of the table for one thread (one entry for all threads unless the file is
// declared per thread).
struct ThreadState {
    std::int32_t ID = 0;        // the thread number for a per-thread file, else 1
    bool USED = false;          // physically open
    std::int16_t OPENED = 0;    // open count
    bool ATEOF = false;         // the last sequential read hit the end
    bool AUTOINCDONE = false;   // an auto-numbered record has been added for the current buffer
    std::uint8_t LASTERROR = 0; // the message id remembered by NoteError
};

struct KeyComponentEntry {
    int FIELD = 0;         // field number in the record, from 1
    std::string FIELDNAME; // the field's label; "UPPER(label)" for a string in a case-blind key
    bool ASCEND = true;
};

struct KeyEntry {
    const KeyDeclaration* KEY = nullptr;
    std::string DESCRIPTION; // at most 80 characters
    std::vector<KeyComponentEntry> FIELDS;
    bool AUTOINC = false;
    bool DUPS = false;
    bool NOCASE = false;
};

struct FieldEntry {
    std::string TAG;      // the field's label
    int FLD = 0;          // its number in the record
    std::string FTYPE;    // its type name ("LONG", "CSTRING", ...)
    std::string FPICTURE; // its picture, "" for none
};

struct RecordBuffer {
    std::uint8_t* ADDRESS = nullptr;
    std::uint32_t SIZE = 0;
};

struct SavedBuffer {
    std::int32_t ID = 0;
    std::vector<std::uint8_t> BUFFER;
};

struct SavedTableState {
    std::uint16_t BUFFER = 0; // id of the saved buffer
    std::uint16_t ID = 0;
    bool AUTOINCDONE = false;
    std::uint64_t STATE = 0; // the driver's state handle
    bool HASSTATE = false;   // false when the driver keeps no states
    std::string POS;         // the position, up to 1024 characters
};

// One entry of the program-wide usage log.
struct UsageEntry {
    std::int32_t THREAD = 0;
    std::string PROC;
    std::uint32_t ID = 0; // the table's identity
    std::uint8_t USTAT = 0;
    std::uint16_t HOLD = 0; // a PushTableState id, 0 for none
    std::uint16_t SCOPELEVEL = 0;
    std::uint16_t NESTEDOPEN = 0;
};

// Shown while a table's keys are rebuilt because its key file must be rebuilt (46): `start` with
// the file's name before the build, `step` once per record walked with the count so far (false
// cancels the build, which then fails with 93 and leaves the table as it was), `finish` after it.
// The window side installs a progress window with a Cancel button; without one the build asks
// nothing. Process-wide; it runs on the thread that opens the table and must not call the driver.
struct RebuildProgress {
    std::function<void(const std::string& fileName)> start;
    std::function<bool(std::uint64_t records)> step;
    std::function<void()> finish;
};
// Replaces the hook and returns the previous one.
RebuildProgress setRebuildProgress(RebuildProgress progress);

class TableAccess {
public:
    TableAccess();
    // Slot 2, destroy: runs the clean-up of Shutdown (the base's, as a destructor does).
    virtual ~TableAccess();
    TableAccess(const TableAccess&) = delete;
    TableAccess& operator=(const TableAccess&) = delete;

    // ---- Virtual operations, in slot order ----
    // 0, 1: the file callback. DESTROY (104) runs Shutdown unless CLEANEDUP; a CLOSE while
    // INRESTORE is set with the table counted open forgets the open count and runs Close. Every
    // operation is let through (0).
    virtual int OperationStarting(drivers::OperationCode code);
    virtual void OperationDone(drivers::OperationCode code);
    // 3: clears the record buffer; Open calls it when a thread's first open begins.
    virtual void ClearBuffer();
    // 4: deletes the record that auto-numbering added for the current buffer (through `through`
    // with its rules when given, else with the raw DELETE). Used when a new-record form is
    // cancelled.
    virtual Severity ReleaseAutoNumber(TableRelations* through = nullptr);
    // 5
    virtual Severity Close();
    // 6
    virtual bool SameAsSnapshot(std::int32_t id);
    // 7: ReadByKey; when it fails the record buffer is cleared.
    virtual Severity FetchOrClear(const KeyDeclaration& key);
    // 8
    virtual void Init(DriverFile& file, ErrorReporter& errors);
    // 9, 21
    virtual Severity Insert(bool report);
    // 10: closes the table, drops saved buffers and states, leaves the registry and unregisters
    // the callback. Runs once.
    virtual void Shutdown();
    // 11, 22
    virtual Severity Next(bool report);
    // 12, 23: counts an open; with `force`, or LAZYOPEN off for a first open, opens physically.
    virtual Severity Open(bool report, bool force = false);
    // 13, 24
    virtual Severity Previous(bool report);
    // 14, 25
    virtual Severity ReserveAutoNumber(bool report);
    // 15: the application's initial values of a new record.
    virtual void FillNewRecord();
    // 16
    virtual Severity PrepareNewRecord(bool keepBuffer);
    // 17, 18, 19
    virtual Severity PostError(std::uint16_t id);
    virtual Severity PostLastError();
    virtual Severity PostErrorText(std::uint16_t id, std::string_view text);
    // 20: GET by the key from the buffer's key values: Proceed, or Inform on any error (not
    // reported).
    virtual Severity ReadByKey(const KeyDeclaration& key);
    // 26, 27
    virtual Severity Update(bool report);
    // 28, 29: validates one field through slot 30.
    virtual Severity ValidateField(int field, bool report);
    // 30: accepts every field; with ALIASEDFILE it asks the aliased object.
    virtual Severity ValidateFieldServer(int field, bool report);
    // 31: fields first..last; stops at the first failing one, giving its number in failedField.
    virtual Severity ValidateFields(int first, int last, int& failedField);
    // 32: every field of the record through slot 31.
    virtual Severity CheckRecord();
    // 33: the raw DELETE of the current record; always Proceed (the caller tests the runtime's
    // error). Deleting with rules is TableRelations::Delete.
    virtual Severity Delete();
    // 34: asked by TableRelations::DeleteChildren for each dependent record; true skips it.
    virtual bool SkipRecord();
    // (After the numbered slots.) Binds the record's fields and memos for expressions in the
    // current binding scope; an application's table adds its own names after calling the base.
    virtual void BindFields();

    // ---- Other operations ----
    // Registers a key in KEYS (description cut to 80 characters). `key` must be one of the file's
    // declared keys and stay where it is.
    void DeclareKey(std::string_view description, const KeyDeclaration& key, bool autoNumber = false);
    // Points the file's record buffer at `address` (size bytes, the declared record length).
    void SetBuffer(std::uint8_t* address, std::uint32_t size);
    // Called at the start of every read and write: notes the use (kind, see above) and opens a
    // lazily opened table. Proceed, or Fatal when the table cannot be used.
    Severity RequireOpen(std::uint8_t kind = use_kind::kLibrary);
    // The physical open with its fall-backs (read-only, create, rebuild).
    Severity OpenFile(bool report);
    // REGET at a position from Position: Proceed or Inform.
    Severity Reget(const std::string& position);
    // The position of the current record (by the primary key when there is one); "" when there is
    // no current record.
    std::string Position();
    std::int32_t SnapshotRecord();
    // Copies the saved buffer back (unless !copyBack) and releases it.
    void RestoreSnapshot(std::int32_t id, bool copyBack = true);
    // Saves buffer, auto-number state, driver state and position: the id of the saved state, 0
    // when the table cannot be used.
    std::uint16_t PushTableState();
    // Puts a pushed state back and releases it; without restorePosition only the buffer and the
    // auto-number state come back.
    void PopTableState(std::uint16_t id, bool restorePosition = true);
    // The reporter captures the runtime's error codes; LASTERROR := id.
    void NoteError(std::uint16_t id);
    // The thread state of the current thread, created when missing.
    ThreadState& SelectThreadState();
    // The name shown for "%File".
    std::string FileName() const;
    // The key entry of a declared key, null when it was not registered.
    const KeyEntry* KeyEntryOf(const KeyDeclaration& key) const;
    // The table's identity in the usage log.
    std::uint32_t Identity() const { return identity_; }
    // A copy of the program-wide usage log, in its order (thread, table, scope level).
    static std::vector<UsageEntry> UsageLog();

    // The callback the runtime calls around this table's driver operations.
    class CallbackInterface final : public runtime::FileCallback {
    public:
        explicit CallbackInterface(TableAccess& owner) : owner_(owner) {}
        int operationStarting(drivers::OperationCode code, DriverFile& file) override;
        void operationDone(drivers::OperationCode code, DriverFile& file) override;

    private:
        TableAccess& owner_;
    };

    // ---- Fields ----
    CallbackInterface FILECALLBACKINTERFACE{*this};
    TableAccess* ALIASEDFILE = nullptr;
    RecordBuffer BUFFER;
    std::vector<SavedBuffer> BUFFERS;
    bool CREATE = true;
    ErrorReporter* ERRORS = nullptr;
    std::vector<FieldEntry> FIELDS;
    const std::vector<drivers::FieldDeclaration>* FIELDTYPES = nullptr;
    DriverFile* FILE = nullptr;
    const std::string* FILENAME = nullptr; // a variable holding the name, when it is variable
    std::string FILENAMEVALUE;
    bool HASAUTOINC = false;
    bool INUSEFILE = false;
    std::uint8_t INCALLBACK = 0;
    std::uint8_t INCLOSE = 0;
    bool INRESTORE = false;
    std::deque<ThreadState> INFO;
    std::vector<KeyEntry> KEYS;
    bool LAZYOPEN = true;
    std::int16_t LOCKRECOVER = 10;
    std::uint8_t OPENMODE = 0x42;
    std::uint8_t PRIMARYKEY = 0;
    std::vector<SavedTableState> SAVED;
    bool SKIPHELDRECORDS = false;
    bool CLEANEDUP = true;

private:
    struct BufferImage {
        std::vector<std::uint8_t> record;
        std::vector<std::vector<std::uint8_t>> memos;
    };
    static BufferImage captureBuffer(const FileDeclaration& declaration);
    static void restoreBuffer(FileDeclaration& declaration, const BufferImage& image);

    FileDeclaration& declaration() const { return *FILE->declaration; }
    void touch();
    TableAccess& owner() { return ALIASEDFILE ? *ALIASEDFILE : *this; }
    std::int32_t snapshotOf(const FileDeclaration& declaration);
    void restoreInto(FileDeclaration& declaration, std::int32_t id, bool copyBack);
    bool sameAs(const FileDeclaration& declaration, std::int32_t id) const;
    std::uint16_t pushTableState(std::uint8_t kind);
    void popTableState(std::uint16_t id, bool restorePosition, std::uint8_t kind);
    Severity read(bool forward, bool report);
    int numberAndAdd();
    bool autoNumberTaken();
    Severity reportDuplicateKey(bool report, bool resetPointer);
    bool isDuplicated(const KeyDeclaration& key);
    void closePhysically();

    void noteUse(std::uint8_t kind);
    void noteOpen();
    void noteClose();

    std::uint32_t identity_;
    // Drops this table's per-thread entries (INFO) when a program thread ends.
    int threadEndListener_ = 0;
    // A driver state taken right after the physical open, when the table had no current record:
    // restoring it clears the current-record pointer (so that DUPLICATE tests the buffer against
    // every record).
    std::uint64_t freshState_ = 0;
    bool hasFreshState_ = false;
};

} // namespace docket::classes
