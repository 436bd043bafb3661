#pragma once
// One physical native file, shared by every open table of it in the process: the platform file,
// the header, the page cache and changed pages, the entry tree, the station locks, and the commit
// (two-phase flush through a log at the end of the page space) with the recovery of an interrupted
// commit at the next access.
//
// Every read or change happens inside an access. An access begins with the station's lock and a
// refresh of the header (the cache is dropped when another station committed, and an interrupted
// commit is completed or discarded); it ends when the operation returns. Read operations called
// outside an access run in an access of their own; changes need a write access.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/qvn/internal/block_io.h"
#include "drivers/qvn/internal/entry_tree.h"
#include "drivers/qvn/internal/page_store.h"
#include "drivers/qvn/internal/station_locks.h"

namespace docket::drivers::qvn {

class QvnFile {
public:
    // Whether a logged commit belonged to a transaction that has not finished; the records layer
    // installs the real question. 0 or an error code.
    using TransactionCheck = std::function<int(QvnFile& file, bool* unfinished)>;

    ~QvnFile();
    QvnFile(const QvnFile&) = delete;
    QvnFile& operator=(const QvnFile&) = delete;

    // The process's QvnFile of `path` (compared without regard to case), opened now when no table
    // of the file is open yet. `accessWord` is the language's access word. When the file is shared
    // but was opened read-only and this open asks for writing, its platform file is opened again
    // for reading and writing (with this open's share mode) for all its tables. Errors: the open's
    // platform failure (2, 3, 4, 5, 90), 36 for a file that is not a native file (or a wrong
    // password).
    static int open(const std::string& path, unsigned accessWord, const std::string& password,
                    std::shared_ptr<QvnFile>* out);
    // A QvnFile of its own that no other open shares: a second station within one process.
    static int openPrivate(const std::string& path, unsigned accessWord, const std::string& password,
                           std::unique_ptr<QvnFile>* out);

    const std::string& path() const { return path_; }
    bool writable() const { return writable_; }

    // A write access that must wait does so without end, or for at most `waitSeconds` seconds when
    // that is above 0 (then 5 when another station still writes).
    int beginAccess(bool write, bool mustWait = false, std::int32_t waitSeconds = 0);
    void endAccess();
    bool inAccess() const { return accessDepth_ > 0; }

    // Read runs. A caller that reads many records in a row (a page of a list, a filtered or
    // ordered scan) may keep one read access across them: while a run is on, the reader slot
    // taken by a read access is kept after it ends, so that the next read needs neither the lock
    // nor a fresh look at the header (no station can have flushed meanwhile). The slot is given
    // back at least every kRunAccesses accesses or kRunMicroseconds, whichever comes first, and at
    // once before this station changes anything or waits for anything (a write access, a hold, a
    // lock): other stations' flushes wait at most that long, as they may for any reader.
    // Runs nest; the slot goes when the last one ends.
    // A station whose flush waits polls for the lock, so a slot given back for a moment and taken
    // again at once would starve it: when the bound ends a run while another station holds the
    // writer byte, the slot is not kept between accesses for the next kRunMicroseconds.
    static constexpr int kRunAccesses = 64;
    static constexpr std::int64_t kRunMicroseconds = 2000;
    static constexpr std::int32_t kRunWaitSeconds = 5; // a read in a run waits this long for a flush
    void beginReadRun();
    void endReadRun();
    void releaseReadRun();            // the slot goes now; the run goes on
    static void releaseAllReadRuns(); // before any wait of this process
    bool inWriteAccess() const { return accessDepth_ > 0 && writeAccess_; }

    int find(std::string_view key, Entry* out, bool* found);
    // find, going towards `along` in memory meanwhile (see EntryTree::find).
    int find(std::string_view key, std::string_view along, Entry* out, bool* found);
    int seekForward(std::string_view key, bool strict, Entry* out, bool* found);
    int seekForward(std::string_view key, bool strict, LeafHint* hint, Entry* out, bool* found);
    int seekBackward(std::string_view key, bool strict, Entry* out, bool* found);
    int insert(const Entry& entry, bool* existed);  // leaves an existing entry alone
    int replace(const Entry& entry, bool* existed); // inserts or replaces
    int erase(std::string_view key, bool* existed);
    // The next number of the header's counter (big-endian in the file).
    int nextNumber(std::uint32_t* number);

    // Commits every change of this station. 0, or 90 after a failed write (the changes are then
    // dropped and the file keeps its committed state).
    int flush();
    // The two halves of flush() for a commit over several files. Phase 1 takes the flush lock,
    // writes the log and points the header at offset 0 at it; then either phase 2 (pages in place,
    // log cleared, flush lock released) or cancelCommit (the log is cleared unapplied and the
    // changes are forgotten). After a failure of either phase the changes are forgotten.
    int commitPhase1();
    int commitPhase2();
    int cancelCommit();
    // Raises the header's number counter to at least `atLeast` (transaction numbers of a control
    // file only ever grow). Needs a write access.
    int raiseNumber(std::uint32_t atLeast);

    // Batched commits. While a table of the file asks for batching, a change that succeeded is not
    // committed at once: its write access stays held (other stations' changes wait for it; their
    // reads see the last committed state) until the changes fill kBatchPageLimit pages, or
    // kBatchChangeLimit changes were batched, or a commit of another change, FLUSH, CLOSE, LOGOUT
    // or the end of batching commits them. deferFlush is asked at the end of a successful change
    // inside its write access: true when the commit was deferred (the change's access is then
    // taken over by the batch).
    static constexpr std::size_t kBatchPageLimit = 40;
    static constexpr std::uint32_t kBatchChangeLimit = 5000;
    bool deferFlush();
    bool batchPending() const { return batchHeld_; }
    // Gives the batch's access up (after its changes were committed or discarded).
    void releaseBatch();
    // Commits a pending batch and gives its access up; 0 when none is pending.
    int endBatch();

    // The write access that a transaction keeps on this file from its first change until it ends.
    bool transactionAccess = false;
    // Set while a BUILD runs on one of the file's tables: other changes and builds get 92.
    bool buildRunning = false;

    // The question asked by every QvnFile that has none of its own (installed by the table layer
    // before its first open, so that the recovery at open already asks it).
    static void setDefaultTransactionCheck(TransactionCheck check);
    bool changed() const { return headerChanged_ || store_.hasChanges(); }
    // Forgets every change not yet committed (an operation that failed half-way outside a
    // transaction, or a rollback): the next access reloads the header and pages from disk.
    void discard();

    const FileHeader& header() { return store_.header(); }
    PageStore& store() { return store_; }
    EntryTree& tree() { return tree_; }
    StationLocks& locks() { return locks_; }
    BlockIo& io() { return io_; }
    // True when the header on disk points to a commit log.
    bool logPending() const { return diskHeader_.logStart != diskHeader_.logEnd; }

    void setTransactionCheck(TransactionCheck check) { transactionCheck_ = std::move(check); }

    // A commit keeps the images it made while placing the pages up to this many bytes and makes
    // the others again as it writes them (see flushChanges). Another bound only for tests.
    static constexpr std::size_t kImagesKept = std::size_t{64} << 20;
    void setImagesKept(std::size_t bytes) { imagesKept_ = bytes; }

private:
    QvnFile() : store_(io_), tree_(store_) {}
    int openFile(const std::string& path, unsigned accessWord, const std::string& password);
    int reopenForWriting(unsigned accessWord);
    int readDiskHeader(FileHeader* header, bool* empty);
    int writeHeaderAt0(const FileHeader& header);
    int refresh(bool write);
    int recover(const FileHeader& onDisk, bool write);
    int resetLog(FileHeader header);
    int flushChanges();
    int completeChanges();
    void forgetFailedCommit();
    // Applies and clears this station's own log still pointed at from offset 0 (see
    // completeChanges), in a write access of its own; 0 when there is none.
    int settleLog();

    std::string path_;
    BlockIo io_;
    PageStore store_;
    EntryTree tree_;
    StationLocks locks_;
    FileHeader diskHeader_{};
    bool valid_ = false;
    bool writable_ = false;
    bool othersOnlyRead_ = false;
    platform::Share share_ = platform::Share::All;
    bool headerChanged_ = false;
    bool writeAccess_ = false;
    int accessDepth_ = 0;
    int readRuns_ = 0;
    bool runHeld_ = false; // the reader slot is kept between accesses
    int runAccesses_ = 0;
    std::int64_t runStarted_ = 0;     // microseconds of the monotonic clock
    std::int64_t runPausedUntil_ = 0; // no slot is kept between accesses before then
    TransactionCheck transactionCheck_;
    struct PendingWrite {
        std::uint64_t address;
        std::string bytes;
    };
    std::vector<PendingWrite> pendingInPlace_; // between the phases of a commit
    std::size_t imagesKept_ = kImagesKept;
    std::uint32_t pendingLogStart_ = 0, pendingLogEnd_ = 0;
    // The header at offset 0 points at the log of this station's last commit, whose pages are
    // already written in place (not yet flushed); committed_ is the header in that log.
    bool ownLog_ = false;
    FileHeader committed_{};
    // How far past the page space a log may end and stay pointed at after its commit: bounds
    // what a file keeps past its page space while it is open. Our choice; nothing stored
    // depends on it.
    static constexpr std::uint64_t kLogTailKept = 1u << 20;
    bool flushLocked_ = false;
    bool batchHeld_ = false;
    std::uint32_t batchedChanges_ = 0;
};

} // namespace docket::drivers::qvn
