#include "drivers/qvn/transactions.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "drivers/qvn/qvn_table.h"
#include "drivers/qvn/internal/table_entries.h"
#include "runtime/core/error_codes.h"

namespace docket::drivers::qvn {
namespace {

// A control file is itself a native file: read and write, shared with all.
constexpr unsigned kControlAccess = 0x142;
constexpr std::size_t kMaxDefaultControlFiles = 100;
const std::string kMarkerKey(1, '\xFF');

struct Transaction {
    std::vector<QvnTable*> members;
    std::vector<QvnTable*> pending;             // still to receive their COMMIT or ROLLBACK
    std::vector<std::shared_ptr<QvnFile>> held; // files with the transaction's write access
    bool gathering = true;
    bool ended = false;
    std::int32_t waitSeconds = 0; // see logout()
};

std::mutex mutex;
std::vector<std::unique_ptr<Transaction>>& transactions() {
    static std::vector<std::unique_ptr<Transaction>> list;
    return list;
}

Transaction* transactionOf(QvnTable& table) {
    for (auto& t : transactions())
        if (std::find(t->pending.begin(), t->pending.end(), &table) != t->pending.end()) return t.get();
    return nullptr;
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string markerKeyOf(std::uint32_t number) {
    std::string key;
    appendBig32(&key, number);
    return key;
}

void releaseAccesses(Transaction& t) {
    for (auto& file : t.held) {
        file->transactionAccess = false;
        file->endAccess();
    }
    t.held.clear();
}

void endMembers(Transaction& t) {
    for (QvnTable* table : t.members) table->setInTransaction(false);
    t.ended = true;
    t.gathering = false;
}

void discardAll(Transaction& t) {
    for (auto& file : t.held) file->discard();
}

struct ControlFile {
    std::string path;
    std::unique_ptr<QvnFile> file;
};

// Runs `op` in a write access of the control file and commits what it changed.
template <typename Op> int inControlAccess(QvnFile& control, Op op) {
    int rc = control.beginAccess(true, true);
    if (rc) return rc;
    rc = op();
    if (rc == 0)
        rc = control.flush();
    else
        control.discard();
    control.endAccess();
    return rc;
}

void removeEntries(std::vector<ControlFile>& controls, std::uint32_t number) {
    for (ControlFile& c : controls)
        inControlAccess(*c.file, [&] {
            bool existed = false;
            return c.file->erase(markerKeyOf(number), &existed);
        });
}

// Step 1: a transaction number that none of the control files holds, entered into all of them.
// Numbers start from the local time and never go below a number that a control file has seen, so
// a marker left in a file by a finished transaction can never be taken for a later one.
int enterTransaction(std::vector<ControlFile>& controls, std::uint32_t* number) {
    const std::time_t now = std::time(nullptr);
    std::uint32_t candidate = static_cast<std::uint32_t>((now - 946684800) & 0x7FFFFFFF);
    for (bool taken = true; taken;) {
        taken = false;
        for (ControlFile& c : controls) {
            if (int rc = c.file->beginAccess(false)) return rc;
            candidate = std::max(candidate, c.file->header().lastNumber + 1);
            Entry e;
            bool found = false;
            const int rc = c.file->find(markerKeyOf(candidate), &e, &found);
            c.file->endAccess();
            if (rc) return rc;
            if (found) {
                ++candidate;
                taken = true;
            }
        }
    }
    for (std::size_t i = 0; i < controls.size(); ++i) {
        ControlFile& c = controls[i];
        const int rc = inControlAccess(*c.file, [&] {
            if (int nrc = c.file->raiseNumber(candidate)) return nrc;
            bool existed = false;
            return c.file->insert(Entry{markerKeyOf(candidate), 4}, &existed);
        });
        if (rc) {
            std::vector<ControlFile> done;
            for (std::size_t j = 0; j < i; ++j) done.push_back(std::move(controls[j]));
            removeEntries(done, candidate);
            return rc;
        }
    }
    *number = candidate;
    return 0;
}

int commitSeveral(Transaction& t, const std::vector<QvnFile*>& changed) {
    // The control files: the one named with SEND "TCF" by any member, else each file's default.
    std::string named;
    for (QvnTable* table : t.members)
        if (!table->tcfName.empty()) {
            named = table->tcfName;
            break;
        }
    std::vector<std::string> paths;
    if (!named.empty()) {
        paths.push_back(named);
    } else {
        for (QvnFile* file : changed) {
            const std::string path = defaultControlFile(file->path());
            if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(path);
        }
    }
    const std::string markerName = named.empty() ? std::string(kDefaultTcfMarkerName) : named;
    std::vector<ControlFile> controls;
    for (const std::string& path : paths) {
        ControlFile c{path, nullptr};
        if (QvnFile::openPrivate(path, kControlAccess, "", &c.file) != 0) return runtime::error::kUnableToLogTransaction;
        controls.push_back(std::move(c));
    }
    std::uint32_t number = 0;
    if (enterTransaction(controls, &number) != 0) return runtime::error::kUnableToLogTransaction;

    // Step 2: the marker and phase 1 in every changed file.
    std::string markerData;
    appendBig32(&markerData, number);
    markerData += markerName;
    markerData.push_back('\0');
    std::size_t logged = 0;
    int rc = 0;
    for (; logged < changed.size(); ++logged) {
        QvnFile& file = *changed[logged];
        bool existed = false;
        rc = file.replace(Entry{kMarkerKey + markerData, 1}, &existed);
        if (rc == 0) rc = file.commitPhase1();
        if (rc) break;
    }
    if (rc) {
        for (std::size_t i = 0; i < logged; ++i) changed[i]->cancelCommit();
        for (std::size_t i = logged; i < changed.size(); ++i) changed[i]->discard();
        removeEntries(controls, number);
        return rc;
    }

    // Step 3: the commit point is the removal of the transaction's entries.
    for (ControlFile& c : controls) {
        rc = inControlAccess(*c.file, [&] {
            bool existed = false;
            return c.file->erase(markerKeyOf(number), &existed);
        });
        if (rc) break;
    }
    controls.clear();
    if (rc) {
        for (QvnFile* file : changed) file->cancelCommit();
        return runtime::error::kUnableToLogTransaction;
    }

    // Step 4: completion. A file whose completion fails keeps its log, which its next access
    // applies (its transaction has finished), so the transaction stands.
    for (QvnFile* file : changed) file->commitPhase2();
    return 0;
}

int commitTransaction(Transaction& t) {
    std::vector<QvnFile*> changed;
    for (auto& file : t.held)
        if (file->changed()) changed.push_back(file.get());
    int rc = 0;
    if (changed.size() == 1)
        rc = changed[0]->flush();
    else if (changed.size() > 1)
        rc = commitSeveral(t, changed);
    if (rc) discardAll(t);
    releaseAccesses(t);
    return rc;
}

void forget(Transaction* t) {
    auto& list = transactions();
    list.erase(std::remove_if(list.begin(), list.end(), [t](const auto& p) { return p.get() == t; }),
               list.end());
}

int finish(QvnTable& table, bool commitIt) {
    std::lock_guard lock(mutex);
    Transaction* t = transactionOf(table);
    if (!t) return runtime::error::kLogoutNotActive;
    int rc = 0;
    if (!t->ended) {
        if (commitIt) {
            rc = commitTransaction(*t);
        } else {
            discardAll(*t);
            releaseAccesses(*t);
        }
        endMembers(*t);
    }
    t->pending.erase(std::find(t->pending.begin(), t->pending.end(), &table));
    if (t->pending.empty()) forget(t);
    return rc;
}

} // namespace

std::string defaultControlFile(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "quorvane.tcf";
}

int logout(QvnTable& table, std::int32_t seconds) {
    std::lock_guard lock(mutex);
    if (transactionOf(table)) return runtime::error::kLogoutAlreadyActive;
    Transaction* t = nullptr;
    if (!transactions().empty() && transactions().back()->gathering) t = transactions().back().get();
    if (!t) {
        transactions().push_back(std::make_unique<Transaction>());
        t = transactions().back().get();
        t->waitSeconds = seconds;
    }
    if (table.tcfName.empty()) {
        // The distinct default control files of the transaction's files.
        std::vector<std::string> paths;
        for (QvnTable* member : t->members) {
            const std::string p = defaultControlFile(member->file().path());
            if (std::find(paths.begin(), paths.end(), p) == paths.end()) paths.push_back(p);
        }
        const std::string mine = defaultControlFile(table.file().path());
        // Refused rather than stopped on: the program can still commit or roll back the others.
        if (paths.size() >= kMaxDefaultControlFiles &&
            std::find(paths.begin(), paths.end(), mine) == paths.end())
            return runtime::error::kUnableToLogTransaction;
    }
    t->members.push_back(&table);
    t->pending.push_back(&table);
    table.setInTransaction(true);
    return 0;
}

int commit(QvnTable& table) {
    return finish(table, true);
}
int rollback(QvnTable& table) {
    return finish(table, false);
}

void closeLogoutGathering() {
    std::lock_guard lock(mutex);
    if (!transactions().empty()) transactions().back()->gathering = false;
}

int joinChange(QvnTable& table) {
    std::lock_guard lock(mutex);
    Transaction* t = transactionOf(table);
    if (!t || t->ended || table.file().transactionAccess) return 0;
    t->gathering = false;
    const bool wait = t->held.empty();
    if (int rc = table.file().beginAccess(true, wait, t->waitSeconds)) return rc;
    table.file().transactionAccess = true;
    t->held.push_back(table.sharedFile());
    return 0;
}

void leaveTransaction(QvnTable& table) {
    std::lock_guard lock(mutex);
    Transaction* t = transactionOf(table);
    if (!t) return;
    if (!t->ended) {
        discardAll(*t);
        releaseAccesses(*t);
        endMembers(*t);
    }
    t->pending.erase(std::find(t->pending.begin(), t->pending.end(), &table));
    t->members.erase(std::find(t->members.begin(), t->members.end(), &table));
    if (t->pending.empty()) forget(t);
}

void installTransactionCheck() {
    static std::once_flag once;
    std::call_once(once, [] { QvnFile::setDefaultTransactionCheck(checkTransaction); });
}

// Asked by the recovery with the logged state readable: a logged commit whose file holds a marker
// whose transaction entry is still in its control file never reached its commit point.
//
// A control file that is missing or cannot be opened counts as finished, and the log is applied:
// the completion of a commit begins only after its entry is gone, so discarding a log is safe only
// when the entry is known to be there; applying a log at worst applies a transaction to fewer
// files than it changed, while discarding one whose completion had begun would leave a file with
// pages of two states.
int checkTransaction(QvnFile& file, bool* unfinished) {
    *unfinished = false;
    Entry marker;
    bool found = false;
    if (int rc = file.find(kMarkerKey, &marker, &found)) return rc;
    if (!found) return 0;
    const std::string_view data = std::string_view(marker.bytes).substr(marker.keyLength);
    if (data.size() < 5) return 0;
    const std::uint32_t number = readBig32(data, 0);
    std::string name(data.substr(4));
    name.resize(std::min(name.size(), name.find('\0')));
    const std::string path = name == kDefaultTcfMarkerName ? defaultControlFile(file.path()) : name;
    if (!fileExists(path)) return 0;
    std::unique_ptr<QvnFile> control;
    for (int tries = 0;; ++tries) {
        // Read only: the question needs no change, and a read-only open never waits for writers.
        const int rc = QvnFile::openPrivate(path, 0x40, "", &control);
        if (rc == 0) break;
        if (rc != runtime::error::kAccessDenied || tries >= 3000) return 0;
        QvnFile::releaseAllReadRuns(); // never wait while keeping a reader slot
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Entry entry;
    if (int rc = control->find(markerKeyOf(number), &entry, &found)) return rc;
    *unfinished = found;
    return 0;
}

} // namespace docket::drivers::qvn
