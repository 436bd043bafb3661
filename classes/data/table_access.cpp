#include "classes/data/table_access.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "classes/data/link_field_pairs.h"
#include "classes/data/table_registry.h"
#include "classes/data/table_relations.h"
#include "runtime/core/error_state.h"
#include "runtime/core/thread_hook.h"
#include "runtime/core/type_code.h"
#include "files/file_statements.h"
#include "files/record_fields.h"
#include "runtime/core/error_codes.h"
#include "runtime/core/thread_state.h"
#include "drivers/qvn/qvn_table.h"

namespace docket::classes {

namespace {

using drivers::OperationCode;
using runtime::KeyRef;
using runtime::TypeCode;

// Runtime error codes this class acts on.

constexpr std::size_t kDescriptionLimit = 80;
constexpr std::size_t kPositionLimit = 1024;
// ReserveAutoNumber's attempts before it asks whether to try again.
constexpr int kAutoNumberAttempts = 3;

std::atomic<std::uint32_t> nextIdentity{1};

// The usage log, kept sorted by thread, table and scope level.
std::mutex usageMutex;
std::vector<UsageEntry>& usageLog() {
    static std::vector<UsageEntry> log;
    return log;
}

bool usageBefore(const UsageEntry& a, const UsageEntry& b) {
    if (a.THREAD != b.THREAD) return a.THREAD < b.THREAD;
    if (a.ID != b.ID) return a.ID < b.ID;
    return a.SCOPELEVEL < b.SCOPELEVEL;
}

// The newest entry (highest scope level) of a table on a thread; log end when none. Needs the lock.
std::vector<UsageEntry>::iterator newestUsage(std::int32_t thread, std::uint32_t table) {
    auto& log = usageLog();
    auto found = log.end();
    for (auto it = log.begin(); it != log.end(); ++it)
        if (it->THREAD == thread && it->ID == table) found = it;
    return found;
}

// A program thread that ends leaves no usage entries behind.
[[maybe_unused]] const int usageThreadEnd = runtime::addThreadEndListener([](int thread) {
    std::lock_guard lock(usageMutex);
    auto& log = usageLog();
    log.erase(std::remove_if(log.begin(), log.end(), [thread](const UsageEntry& e) { return e.THREAD == thread; }),
              log.end());
});

void insertUsage(const UsageEntry& entry) {
    auto& log = usageLog();
    log.insert(std::upper_bound(log.begin(), log.end(), entry, usageBefore), entry);
}

bool isStringType(TypeCode type) {
    return type == TypeCode::String || type == TypeCode::CString || type == TypeCode::PString;
}

Severity asSeverity(bool ok) {
    return ok ? Severity::Proceed : Severity::Inform;
}

} // namespace

// ---- The callback interface -------------------------------------------------------------------

int TableAccess::CallbackInterface::operationStarting(drivers::OperationCode code, DriverFile&) {
    return owner_.OperationStarting(code);
}

void TableAccess::CallbackInterface::operationDone(drivers::OperationCode code, DriverFile&) {
    owner_.OperationDone(code);
}

// ---- Construction ------------------------------------------------------------------------------

TableAccess::TableAccess() : identity_(nextIdentity.fetch_add(1)) {
    // Per-thread states (files declared THREAD) of an ended thread go with it; the shared state
    // (ID 1 on a file without THREAD) stays.
    threadEndListener_ = runtime::addThreadEndListener([this](int thread) {
        const bool perThread = FILE && FILE->declaration && FILE->declaration->has(drivers::file_flag::kThread);
        if (!perThread) return;
        for (auto it = INFO.begin(); it != INFO.end();)
            it = it->ID == thread ? INFO.erase(it) : it + 1;
    });
}

TableAccess::~TableAccess() {
    runtime::removeThreadEndListener(threadEndListener_);
    TableAccess::Shutdown();
}

void TableAccess::Init(DriverFile& file, ErrorReporter& errors) {
    FILE = &file;
    ERRORS = &errors;
    INFO.clear();
    KEYS.clear();
    BUFFERS.clear();
    SAVED.clear();
    FIELDS.clear();
    SKIPHELDRECORDS = false;
    OPENMODE = 0x42;
    CREATE = true;
    LOCKRECOVER = 10;
    PRIMARYKEY = 0;
    LAZYOPEN = true;
    HASAUTOINC = false;
    FILENAMEVALUE.clear();
    if (runtime::name(file, FILENAMEVALUE) != 0 || FILENAMEVALUE.empty())
        FILENAMEVALUE = file.declaration ? file.declaration->label : std::string();
    if (FILENAMEVALUE.size() > 256) FILENAMEVALUE.resize(256);
    if (file.declaration) {
        BUFFER = {file.declaration->record, file.declaration->recordLength};
        FIELDTYPES = &file.declaration->fields;
        for (std::size_t i = 0; i < file.declaration->fields.size(); ++i) {
            const auto& f = file.declaration->fields[i];
            FIELDS.push_back({f.label, static_cast<int>(i + 1), runtime::typeName(f.type), f.picture});
        }
    }
    TableRegistry::Add(file, *this);
    CLEANEDUP = false;
    runtime::registerFileCallback(file, FILECALLBACKINTERFACE);
}

void TableAccess::SetBuffer(std::uint8_t* address, std::uint32_t size) {
    BUFFER = {address, size};
    if (FILE && FILE->declaration) FILE->declaration->record = address;
}

void TableAccess::DeclareKey(std::string_view description, const KeyDeclaration& key, bool autoNumber) {
    if (!FILE || !FILE->declaration) return;
    KeyEntry entry;
    entry.KEY = &key;
    entry.DESCRIPTION = std::string(description.substr(0, kDescriptionLimit));
    entry.AUTOINC = autoNumber;
    entry.DUPS = key.flags & drivers::key_flag::kDup;
    entry.NOCASE = key.flags & drivers::key_flag::kNoCase;
    const auto& fields = declaration().fields;
    for (std::int32_t component : key.components) {
        const int field = std::abs(component);
        if (field < 1 || static_cast<std::size_t>(field) > fields.size()) continue;
        const auto& f = fields[static_cast<std::size_t>(field - 1)];
        KeyComponentEntry c;
        c.FIELD = field;
        c.ASCEND = component > 0;
        c.FIELDNAME = entry.NOCASE && isStringType(f.type) ? "UPPER(" + f.label + ")" : f.label;
        entry.FIELDS.push_back(std::move(c));
    }
    KEYS.push_back(std::move(entry));
    if (autoNumber) HASAUTOINC = true;
    if (key.flags & drivers::key_flag::kPrimary) PRIMARYKEY = static_cast<std::uint8_t>(KEYS.size());
}

const KeyEntry* TableAccess::KeyEntryOf(const KeyDeclaration& key) const {
    for (const auto& k : KEYS)
        if (k.KEY == &key) return &k;
    return nullptr;
}

std::string TableAccess::FileName() const {
    return FILENAME ? *FILENAME : FILENAMEVALUE;
}

void TableAccess::touch() {
    if (ERRORS) ERRORS->SetFileName(FileName());
}

ThreadState& TableAccess::SelectThreadState() {
    const bool perThread = FILE && FILE->declaration && FILE->declaration->has(drivers::file_flag::kThread);
    const std::int32_t id = perThread ? runtime::currentThreadNumber() : 1;
    for (auto& t : INFO)
        if (t.ID == id) return t;
    INFO.push_back(ThreadState{});
    INFO.back().ID = id;
    return INFO.back();
}

// ---- Errors ------------------------------------------------------------------------------------

void TableAccess::NoteError(std::uint16_t id) {
    touch();
    if (ERRORS) ERRORS->CaptureErrors();
    SelectThreadState().LASTERROR = static_cast<std::uint8_t>(id);
}

Severity TableAccess::PostLastError() {
    touch();
    if (!ERRORS) return Severity::Inform;
    return ERRORS->Dispatch(SelectThreadState().LASTERROR);
}

Severity TableAccess::PostError(std::uint16_t id) {
    NoteError(id);
    return PostLastError();
}

Severity TableAccess::PostErrorText(std::uint16_t id, std::string_view text) {
    touch();
    SelectThreadState().LASTERROR = static_cast<std::uint8_t>(id);
    if (!ERRORS) return Severity::Inform;
    return ERRORS->RaiseText(id, text);
}

// ---- Opening and closing -----------------------------------------------------------------------

Severity TableAccess::Open(bool report, bool force) {
    touch();
    ThreadState& ts = SelectThreadState();
    // Only a thread's first open starts from a cleared buffer: later opens (a nested window, the
    // relation walks of an update) come while someone works with the record in the buffer.
    if (ts.OPENED == 0) ClearBuffer();
    if (force || (!LAZYOPEN && ts.OPENED == 0)) {
        const Severity opened = OpenFile(report);
        if (opened != Severity::Proceed) return opened;
    }
    noteOpen();
    ++ts.OPENED;
    return Severity::Proceed;
}

Severity TableAccess::Close() {
    ++INCLOSE;
    touch();
    ThreadState& ts = SelectThreadState();
    if (ts.OPENED > 0) {
        // The usage log may restore a caller's state: that needs the table still open.
        noteClose();
        if (--ts.OPENED == 0) {
            if (ts.USED) closePhysically();
            ts.USED = false;
        }
    }
    --INCLOSE;
    return Severity::Proceed;
}

void TableAccess::closePhysically() {
    hasFreshState_ = false;
    if (FILE && FILE->state) runtime::close(*FILE);
}

Severity TableAccess::RequireOpen(std::uint8_t kind) {
    if (!FILE || !FILE->declaration || CLEANEDUP) return Severity::Fatal; // never initialised, or shut down
    INUSEFILE = true;
    touch();
    ThreadState& ts = SelectThreadState();
    Severity result = Severity::Proceed;
    if (!ts.USED && ts.OPENED < 1) {
        // Used without having been opened: a programming error, which halts.
        PostError(39);
        result = Severity::Fatal;
    } else {
        if (kind != use_kind::kUnlogged) noteUse(kind);
        if (!ts.USED) {
            // A lazy open never disturbs the caller's buffer.
            const BufferImage image = captureBuffer(declaration());
            result = OpenFile(kReport);
            restoreBuffer(declaration(), image);
            if (result != Severity::Proceed) result = Severity::Fatal;
        }
    }
    INUSEFILE = false;
    return result;
}

namespace {

std::mutex rebuildMutex;
RebuildProgress rebuildHook;

// BUILD of the whole file, through the progress hook when one is installed.
int rebuildKeys(DriverFile& file, const std::string& fileName) {
    RebuildProgress progress;
    {
        std::lock_guard lock(rebuildMutex);
        progress = rebuildHook;
    }
    if (progress.start) progress.start(fileName);
    if (progress.step) drivers::qvn::setBuildProgress(progress.step);
    const int rc = runtime::build(file);
    if (progress.step) drivers::qvn::setBuildProgress(nullptr);
    if (progress.finish) progress.finish();
    return rc;
}

} // namespace

RebuildProgress setRebuildProgress(RebuildProgress progress) {
    std::lock_guard lock(rebuildMutex);
    return std::exchange(rebuildHook, std::move(progress));
}

Severity TableAccess::OpenFile(bool report) {
    if (!FILE || !FILE->declaration) return Severity::Fatal;
    touch();
    ThreadState& ts = SelectThreadState();
    unsigned mode = OPENMODE;
    for (int pass = 0; pass < 2; ++pass) {
        int rc = runtime::open(*FILE, mode);
        if (rc == runtime::error::kAccessDenied) {
            // Another station may be holding a lock that lock recovery can clear.
            std::string ignored;
            runtime::send(*FILE, "Recover=" + std::to_string(LOCKRECOVER), ignored);
            rc = runtime::open(*FILE, mode);
        }
        if (rc == 0 || rc == runtime::error::kFileAlreadyOpen) {
            ts.USED = true;
            ts.ATEOF = false;
            ts.AUTOINCDONE = false;
            hasFreshState_ = runtime::getState(*FILE, freshState_) == 0;
            runtime::setError(0);
            return Severity::Proceed;
        }
        if (pass == 1) break;
        if (rc == runtime::error::kAccessDenied) {
            if ((mode & 0x3) == 0) break;
            mode &= ~0x0Fu; // read-only, same sharing
            PostError(2);
            continue;
        }
        if (rc == runtime::error::kFileNotFound) {
            if (!CREATE) break;
            if (runtime::create(*FILE) == 0) continue;
            NoteError(10);
            return report ? PostLastError() : Severity::Inform;
        }
        if (rc == runtime::error::kKeyFileMustBeRebuilt) {
            NoteError(27);
            if (!report) return Severity::Inform;
            PostLastError();
            if (rebuildKeys(*FILE, FileName()) == 0) continue;
            return PostError(26);
        }
        break;
    }
    NoteError(23);
    return report ? PostLastError() : Severity::Inform;
}

// ---- Callback ------------------------------------------------------------------------------------

int TableAccess::OperationStarting(drivers::OperationCode code) {
    ++INCALLBACK;
    if (code == OperationCode::DESTROY) {
        if (!CLEANEDUP) Shutdown();
    } else if (code == OperationCode::CLOSE && INRESTORE) {
        ThreadState& ts = SelectThreadState();
        if (ts.OPENED != 0) {
            ts.OPENED = 0;
            ts.USED = false;
            Close();
        }
    }
    --INCALLBACK;
    return 0;
}

void TableAccess::OperationDone(drivers::OperationCode) {}

// ---- Reading -------------------------------------------------------------------------------------

Severity TableAccess::ReadByKey(const KeyDeclaration& key) {
    if (RequireOpen() != Severity::Proceed) return Severity::Fatal;
    return asSeverity(runtime::get(*FILE, key) == 0);
}

Severity TableAccess::FetchOrClear(const KeyDeclaration& key) {
    const Severity result = ReadByKey(key);
    if (result != Severity::Proceed) runtime::clearRecord(declaration());
    return result;
}

Severity TableAccess::Next(bool report) {
    return read(true, report);
}

Severity TableAccess::Previous(bool report) {
    return read(false, report);
}

Severity TableAccess::read(bool forward, bool report) {
    if (RequireOpen() != Severity::Proceed) return Severity::Fatal;
    ThreadState& ts = SelectThreadState();
    ts.ATEOF = false;
    for (;;) {
        const int rc = forward ? runtime::next(*FILE) : runtime::previous(*FILE);
        if (rc == 0) return Severity::Proceed;
        if (rc == runtime::error::kRecordNotAvailable) {
            ts.ATEOF = true;
            return Severity::Inform;
        }
        if (rc == runtime::error::kRecordHeld) {
            if (SKIPHELDRECORDS) {
                // A held read leaves the position before the held record; step over it, or the
                // next read would meet it again.
                if (runtime::skip(*FILE, forward ? 1 : -1) == 0) continue;
            } else {
                NoteError(28);
                return report ? PostLastError() : Severity::Inform;
            }
        }
        NoteError(1);
        return report ? PostLastError() : Severity::Fatal;
    }
}

Severity TableAccess::Reget(const std::string& position) {
    if (RequireOpen() != Severity::Proceed) return Severity::Fatal;
    int rc;
    if (PRIMARYKEY)
        rc = runtime::reget(KeyRef{*FILE, *KEYS[PRIMARYKEY - 1u].KEY}, position);
    else
        rc = runtime::reget(*FILE, position);
    return asSeverity(rc == 0);
}

std::string TableAccess::Position() {
    if (!FILE) return {};
    touch();
    std::string position;
    int rc;
    if (PRIMARYKEY)
        rc = runtime::position(KeyRef{*FILE, *KEYS[PRIMARYKEY - 1u].KEY}, position);
    else
        rc = runtime::position(*FILE, position);
    if (rc != 0) return {};
    if (position.size() > kPositionLimit) position.resize(kPositionLimit);
    return position;
}

// ---- New records and auto-numbering ------------------------------------------------------------

Severity TableAccess::PrepareNewRecord(bool keepBuffer) {
    if (!FILE || !FILE->declaration) return Severity::Fatal;
    touch();
    if (ALIASEDFILE) {
        // The aliased object primes its own buffer; this object's buffer takes the result.
        FileDeclaration& mine = declaration();
        FileDeclaration& theirs = ALIASEDFILE->declaration();
        if (keepBuffer) restoreBuffer(theirs, captureBuffer(mine));
        const Severity result = ALIASEDFILE->PrepareNewRecord(keepBuffer);
        restoreBuffer(mine, captureBuffer(theirs));
        return result;
    }
    if (!keepBuffer) runtime::clearRecord(declaration());
    FillNewRecord();
    if (!HASAUTOINC) return Severity::Proceed;
    SelectThreadState().AUTOINCDONE = false;
    return ReserveAutoNumber(kReport);
}

void TableAccess::FillNewRecord() {}

Severity TableAccess::ReserveAutoNumber(bool report) {
    if (RequireOpen() != Severity::Proceed) return Severity::Fatal;
    ThreadState& ts = SelectThreadState();
    if (!HASAUTOINC || ts.AUTOINCDONE) return Severity::Proceed;
    for (;;) {
        for (int attempt = 0; attempt < kAutoNumberAttempts; ++attempt) {
            const int rc = numberAndAdd();
            if (rc == 0) {
                ts.AUTOINCDONE = true;
                return Severity::Proceed;
            }
            // A duplicate in a key that is not auto-numbered is no race with another station:
            // trying again cannot help, and the user is told which key it was.
            if (rc == runtime::error::kDuplicateKey && !autoNumberTaken()) return reportDuplicateKey(report, true);
        }
        NoteError(32);
        if (!report || PostLastError() != Severity::Proceed) return Severity::Inform;
    }
}

// One attempt: the next number of every auto-numbered key into the buffer, then ADD. The runtime's
// error code of the failing step, 0 after a successful ADD.
int TableAccess::numberAndAdd() {
    FileDeclaration& d = declaration();
    for (const KeyEntry& key : KEYS) {
        if (!key.AUTOINC || key.FIELDS.empty()) continue;
        const BufferImage saved = captureBuffer(d);
        const KeyComponentEntry& last = key.FIELDS.back();
        const BoundVariable number = runtime::fieldVariable(d, last.FIELD);
        // The highest number comes last in an ascending key and first in a descending one.
        const bool forward = !last.ASCEND;
        const KeyRef ref{*FILE, *key.KEY};
        if (key.FIELDS.size() == 1) {
            runtime::set(ref);
        } else {
            setExtremeValue(number, true);
            runtime::set(ref, *key.KEY);
        }
        // The record is read for its number only: its memos need not be read.
        runtime::noMemo(*FILE);
        const int rc = forward ? runtime::next(*FILE) : runtime::previous(*FILE);
        bool found = rc == 0;
        if (found) {
            // With several components only a record with the buffer's leading values counts.
            for (std::size_t i = 0; found && i + 1 < key.FIELDS.size(); ++i) {
                BoundVariable current = runtime::fieldVariable(d, key.FIELDS[i].FIELD);
                BoundVariable wanted = current;
                wanted.data = const_cast<std::uint8_t*>(saved.record.data()) +
                              d.fields[key.FIELDS[i].FIELD - 1u].offset;
                found = sameValue(current, wanted);
            }
        } else if (rc != runtime::error::kRecordNotAvailable) {
            restoreBuffer(d, saved);
            return rc;
        }
        const double highest = found ? readNumber(number) : 0;
        restoreBuffer(d, saved);
        writeNumber(number, found ? highest + 1 : 1);
    }
    return runtime::add(*FILE);
}

bool TableAccess::autoNumberTaken() {
    for (const KeyEntry& key : KEYS)
        if (key.AUTOINC && isDuplicated(*key.KEY)) return true;
    return false;
}

// DUPLICATE of one key against the buffer, with the current-record pointer cleared so that no
// record is left out of the test.
bool TableAccess::isDuplicated(const KeyDeclaration& key) {
    std::uint64_t now = 0;
    const bool reset = hasFreshState_ && runtime::getState(*FILE, now) == 0;
    if (reset) runtime::restoreState(*FILE, freshState_);
    bool duplicated = false;
    runtime::duplicate(KeyRef{*FILE, key}, duplicated);
    if (reset) {
        runtime::restoreState(*FILE, now);
        runtime::freeState(*FILE, now);
    }
    return duplicated;
}

Severity TableAccess::reportDuplicateKey(bool report, bool resetPointer) {
    if (!report) {
        runtime::setError(runtime::error::kDuplicateKey);
        NoteError(13);
        return Severity::Inform;
    }
    const KeyEntry* culprit = nullptr;
    for (const KeyEntry& key : KEYS) {
        // A key that allows duplicates cannot refuse a record.
        if (key.DUPS || key.KEY->isIndex()) continue;
        bool duplicated = false;
        if (resetPointer)
            duplicated = isDuplicated(*key.KEY);
        else
            runtime::duplicate(KeyRef{*FILE, *key.KEY}, duplicated);
        if (duplicated) {
            culprit = &key;
            break;
        }
    }
    // The error shown is the refused write's, not that of the last DUPLICATE.
    runtime::setError(runtime::error::kDuplicateKey);
    if (culprit) {
        PostErrorText(13, culprit->DESCRIPTION);
    } else {
        // No registered key owns up (a key that was not declared to this object): the user still
        // learns that the record was refused, with the runtime's text.
        PostError(4);
    }
    return Severity::Inform;
}

Severity TableAccess::ReleaseAutoNumber(TableRelations* through) {
    if (RequireOpen() != Severity::Proceed) return Severity::Fatal;
    ThreadState& ts = SelectThreadState();
    if (!HASAUTOINC || !ts.AUTOINCDONE) return Severity::Proceed;
    Severity result;
    if (through) {
        result = through->Delete(false);
    } else {
        Delete();
        result = Severity::Proceed;
        if (runtime::errorCode() != 0) {
            NoteError(11);
            result = PostLastError();
            if (result == Severity::Proceed) result = Severity::Inform;
        }
    }
    if (result == Severity::Proceed) SelectThreadState().AUTOINCDONE = false;
    return result;
}

// ---- Writing -----------------------------------------------------------------------------------

Severity TableAccess::Insert(bool report) {
    if (RequireOpen() != Severity::Proceed) return Severity::Fatal;
    if (CheckRecord() != Severity::Proceed) return Severity::Inform;
    ThreadState& ts = SelectThreadState();
    const bool reserved = HASAUTOINC && ts.AUTOINCDONE;
    int rc = 0;
    if (!HASAUTOINC) {
        rc = runtime::add(*FILE);
    } else if (reserved) {
        rc = runtime::put(*FILE); // the record exists since it was numbered
    } else if (ReserveAutoNumber(report) != Severity::Proceed) {
        return Severity::Inform;
    }
    if (rc == 0) {
        ts.AUTOINCDONE = false;
        return Severity::Proceed;
    }
    // A record that already exists (numbered before) is the current one and must not count as
    // its own duplicate; otherwise the pointer is cleared for the test.
    if (rc == runtime::error::kDuplicateKey) return reportDuplicateKey(report, !reserved);
    NoteError(4);
    return report ? PostLastError() : Severity::Inform;
}

Severity TableAccess::Update(bool report) {
    if (RequireOpen() != Severity::Proceed) return Severity::Fatal;
    if (CheckRecord() != Severity::Proceed) return Severity::Question;
    const std::string position = Position();
    const int rc = runtime::put(*FILE);
    if (rc == 0) return Severity::Proceed;
    if (rc == runtime::error::kChangedByAnotherStation) {
        NoteError(6);
        if (report) PostLastError();
        // The buffer shows the other station's version; WATCH again so that the next attempt is
        // checked against it.
        runtime::watch(*FILE);
        Reget(position);
        return Severity::Inform;
    }
    NoteError(25);
    return report ? PostLastError() : Severity::Inform;
}

Severity TableAccess::Delete() {
    if (RequireOpen() != Severity::Proceed) return Severity::Fatal;
    runtime::deleteRecord(*FILE);
    return Severity::Proceed;
}

bool TableAccess::SkipRecord() {
    return false;
}

void TableAccess::BindFields() {
    if (FILE && FILE->declaration) runtime::bindTableFields(*FILE->declaration);
}

void TableAccess::ClearBuffer() {
    if (FILE && FILE->declaration) runtime::clearRecord(*FILE->declaration);
}

// ---- Validation --------------------------------------------------------------------------------

Severity TableAccess::ValidateField(int field, bool report) {
    return ValidateFieldServer(field, report);
}

Severity TableAccess::ValidateFieldServer(int field, bool report) {
    if (!ALIASEDFILE) return Severity::Proceed;
    // The aliased object validates a copy of this buffer; its own buffer is left as it was.
    FileDeclaration& theirs = ALIASEDFILE->declaration();
    const BufferImage kept = captureBuffer(theirs);
    restoreBuffer(theirs, captureBuffer(declaration()));
    const Severity result = ALIASEDFILE->ValidateFieldServer(field, report);
    restoreBuffer(theirs, kept);
    return result;
}

Severity TableAccess::ValidateFields(int first, int last, int& failedField) {
    failedField = 0;
    for (int field = first; field <= last; ++field) {
        const Severity result = ValidateField(field, kReport);
        if (result != Severity::Proceed) {
            failedField = field;
            return result;
        }
    }
    return Severity::Proceed;
}

Severity TableAccess::CheckRecord() {
    if (!FILE || !FILE->declaration) return Severity::Proceed;
    int failed = 0;
    return ValidateFields(1, static_cast<int>(declaration().fields.size()), failed);
}

// ---- Buffers -------------------------------------------------------------------------------------

TableAccess::BufferImage TableAccess::captureBuffer(const FileDeclaration& d) {
    BufferImage image;
    if (d.record) image.record.assign(d.record, d.record + d.recordLength);
    for (const auto& m : d.memos) {
        if (m.blob)
            image.memos.push_back(*m.blob);
        else if (m.buffer)
            image.memos.emplace_back(m.buffer, m.buffer + m.size);
        else
            image.memos.emplace_back();
    }
    return image;
}

void TableAccess::restoreBuffer(FileDeclaration& d, const BufferImage& image) {
    if (d.record)
        std::memcpy(d.record, image.record.data(),
                    std::min<std::size_t>(d.recordLength, image.record.size()));
    for (std::size_t i = 0; i < d.memos.size() && i < image.memos.size(); ++i) {
        auto& m = d.memos[i];
        if (m.blob)
            *m.blob = image.memos[i];
        else if (m.buffer)
            std::memcpy(m.buffer, image.memos[i].data(),
                        std::min<std::size_t>(m.size, image.memos[i].size()));
    }
}

std::int32_t TableAccess::SnapshotRecord() {
    if (!FILE || !FILE->declaration) return 0;
    touch();
    return owner().snapshotOf(declaration());
}

void TableAccess::RestoreSnapshot(std::int32_t id, bool copyBack) {
    if (!FILE || !FILE->declaration) return;
    touch();
    owner().restoreInto(declaration(), id, copyBack);
}

bool TableAccess::SameAsSnapshot(std::int32_t id) {
    if (!FILE || !FILE->declaration) return false;
    touch();
    return owner().sameAs(declaration(), id);
}

// Entries of one save: the record (id), one per memo or BLOB (id+1 .. id+n), and one for the
// driver's null flags (id+n+1). This runtime keeps no null flags, so that entry stays empty; it is
// kept so that a save always takes n+2 ids.
std::int32_t TableAccess::snapshotOf(const FileDeclaration& d) {
    const std::int32_t id = BUFFERS.empty() ? 1 : BUFFERS.back().ID + 1;
    BufferImage image = captureBuffer(d);
    BUFFERS.push_back({id, std::move(image.record)});
    std::int32_t next = id;
    for (auto& memo : image.memos) BUFFERS.push_back({++next, std::move(memo)});
    BUFFERS.push_back({++next, {}});
    return id;
}

void TableAccess::restoreInto(FileDeclaration& d, std::int32_t id, bool copyBack) {
    auto first =
        std::find_if(BUFFERS.begin(), BUFFERS.end(), [&](const SavedBuffer& b) { return b.ID == id; });
    if (first == BUFFERS.end()) return;
    const auto count = static_cast<std::ptrdiff_t>(
        std::min<std::size_t>(d.memos.size() + 2, static_cast<std::size_t>(BUFFERS.end() - first)));
    if (copyBack) {
        BufferImage image;
        image.record = first->BUFFER;
        for (std::ptrdiff_t i = 1; i <= static_cast<std::ptrdiff_t>(d.memos.size()) && i < count; ++i)
            image.memos.push_back(first[i].BUFFER);
        restoreBuffer(d, image);
    }
    BUFFERS.erase(first, first + count);
}

bool TableAccess::sameAs(const FileDeclaration& d, std::int32_t id) const {
    auto first =
        std::find_if(BUFFERS.begin(), BUFFERS.end(), [&](const SavedBuffer& b) { return b.ID == id; });
    if (first == BUFFERS.end()) return false;
    const auto at = static_cast<std::size_t>(first - BUFFERS.begin());
    const BufferImage now = captureBuffer(d);
    if (now.record != BUFFERS[at].BUFFER) return false;
    for (std::size_t i = 0; i < now.memos.size(); ++i)
        if (at + i + 1 >= BUFFERS.size() || now.memos[i] != BUFFERS[at + i + 1].BUFFER) return false;
    return true;
}

std::uint16_t TableAccess::PushTableState() {
    return pushTableState(use_kind::kLibrary);
}

void TableAccess::PopTableState(std::uint16_t id, bool restorePosition) {
    popTableState(id, restorePosition, use_kind::kLibrary);
}

std::uint16_t TableAccess::pushTableState(std::uint8_t kind) {
    if (RequireOpen(kind) != Severity::Proceed) return 0;
    SavedTableState state;
    state.BUFFER = static_cast<std::uint16_t>(SnapshotRecord());
    state.AUTOINCDONE = SelectThreadState().AUTOINCDONE;
    state.HASSTATE = runtime::getState(*FILE, state.STATE) == 0;
    state.POS = Position();
    state.ID = static_cast<std::uint16_t>(SAVED.empty() ? 1 : SAVED.back().ID + 1);
    SAVED.push_back(state);
    return state.ID;
}

void TableAccess::popTableState(std::uint16_t id, bool restorePosition, std::uint8_t kind) {
    if (RequireOpen(kind) != Severity::Proceed) return;
    auto it = std::find_if(SAVED.begin(), SAVED.end(), [&](const SavedTableState& s) { return s.ID == id; });
    if (it == SAVED.end()) return;
    const SavedTableState state = *it;
    SAVED.erase(it);
    if (restorePosition) {
        if (!ALIASEDFILE) {
            if (state.HASSTATE) runtime::restoreState(*FILE, state.STATE);
        } else if (!state.POS.empty()) {
            const int rc = PRIMARYKEY ? runtime::reset(KeyRef{*FILE, *KEYS[PRIMARYKEY - 1u].KEY}, state.POS)
                                      : runtime::reset(*FILE, state.POS);
            if (rc == 0) runtime::next(*FILE);
        }
    }
    RestoreSnapshot(state.BUFFER);
    SelectThreadState().AUTOINCDONE = state.AUTOINCDONE;
    if (state.HASSTATE) runtime::freeState(*FILE, state.STATE);
}

// ---- Usage log -----------------------------------------------------------------------------------

void TableAccess::noteUse(std::uint8_t kind) {
    const std::string proc = ERRORS ? ERRORS->CurrentProcedureName() : std::string();
    const std::int32_t thread = runtime::currentThreadNumber();
    std::uint16_t nestedLevel = 0;
    {
        std::lock_guard lock(usageMutex);
        auto newest = newestUsage(thread, identity_);
        if (newest == usageLog().end()) {
            insertUsage({thread, proc, identity_, kind, 0, 1, 0});
        } else if (newest->PROC == proc) {
            newest->USTAT = std::max(newest->USTAT, kind);
        } else {
            const auto level = static_cast<std::uint16_t>(newest->SCOPELEVEL + 1);
            insertUsage({thread, proc, identity_, kind, 0, level, 0});
            if (kind < use_kind::kBrowse) nestedLevel = level;
        }
    }
    if (nestedLevel == 0) return;
    // The state the calling procedure left, put back when this procedure closes the table. The
    // entry exists first, so that the push's own use of the table finds it.
    const std::uint16_t hold = pushTableState(use_kind::kUnlogged);
    std::lock_guard lock(usageMutex);
    for (auto& e : usageLog())
        if (e.THREAD == thread && e.ID == identity_ && e.SCOPELEVEL == nestedLevel) e.HOLD = hold;
}

void TableAccess::noteOpen() {
    const std::string proc = ERRORS ? ERRORS->CurrentProcedureName() : std::string();
    std::lock_guard lock(usageMutex);
    auto newest = newestUsage(runtime::currentThreadNumber(), identity_);
    if (newest != usageLog().end() && newest->PROC == proc) ++newest->NESTEDOPEN;
}

void TableAccess::noteClose() {
    const std::string proc = ERRORS ? ERRORS->CurrentProcedureName() : std::string();
    UsageEntry closing;
    {
        std::lock_guard lock(usageMutex);
        auto newest = newestUsage(runtime::currentThreadNumber(), identity_);
        if (newest == usageLog().end() || newest->PROC != proc) return;
        if (newest->NESTEDOPEN > 0) {
            --newest->NESTEDOPEN;
            return;
        }
        closing = *newest;
        usageLog().erase(newest);
    }
    if (closing.HOLD) popTableState(closing.HOLD, closing.USTAT < use_kind::kBrowse, use_kind::kUnlogged);
}

std::vector<UsageEntry> TableAccess::UsageLog() {
    std::lock_guard lock(usageMutex);
    return usageLog();
}

// ---- Shutdown ------------------------------------------------------------------------------------

void TableAccess::Shutdown() {
    if (CLEANEDUP) return;
    CLEANEDUP = true;
    {
        std::lock_guard lock(usageMutex);
        std::erase_if(usageLog(), [&](const UsageEntry& e) { return e.ID == identity_; });
    }
    if (FILE) {
        if (FILE->state)
            for (const auto& s : SAVED)
                if (s.HASSTATE) runtime::freeState(*FILE, s.STATE);
        const bool open = std::any_of(INFO.begin(), INFO.end(), [](const ThreadState& t) { return t.USED; });
        if (open) closePhysically();
    }
    SAVED.clear();
    BUFFERS.clear();
    INFO.clear();
    TableRegistry::Remove(*this);
    if (FILE) runtime::unregisterFileCallback(*FILE, FILECALLBACKINTERFACE);
}

} // namespace docket::classes
