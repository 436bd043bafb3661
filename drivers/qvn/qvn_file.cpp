#include "drivers/qvn/qvn_file.h"

#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "drivers/driver_registry.h"
#include "drivers/platform_result.h"
#include "drivers/qvn/internal/fault.h"
#include "drivers/qvn/physical_name.h"
#include "platform/clock.h"
#include "runtime/core/error_codes.h"

namespace docket::drivers::qvn {

namespace {

std::mutex registryMutex;
std::map<std::string, std::weak_ptr<QvnFile>>& registry() {
    static std::map<std::string, std::weak_ptr<QvnFile>> files;
    return files;
}

// Runs a read operation in an access of its own when the caller is not inside one.
template <typename Op> int withReadAccess(QvnFile& file, Op op) {
    if (file.inAccess()) return op();
    int rc = file.beginAccess(false);
    if (rc != 0) return rc;
    rc = op();
    file.endAccess();
    return rc;
}

} // namespace

QvnFile::~QvnFile() {
    // The last table closed: a batch still pending is committed (its tables commit it at their
    // CLOSE; this is the guard for a file given up any other way).
    endBatch();
    settleLog();
    readRuns_ = 0;
    releaseReadRun();
    locks_.unlockAccess();
    io_.close();
}

int QvnFile::open(const std::string& path, unsigned accessWord, const std::string& password,
                  std::shared_ptr<QvnFile>* out) {
    std::lock_guard lock(registryMutex);
    const std::string key = physicalKey(path);
    auto& files = registry();
    if (auto it = files.find(key); it != files.end()) {
        if (auto existing = it->second.lock()) {
            if (decodeOpenMode(accessWord).write && !existing->writable_) {
                if (int rc = existing->reopenForWriting(accessWord)) return rc;
            }
            *out = std::move(existing);
            return 0;
        }
    }
    std::shared_ptr<QvnFile> file(new QvnFile());
    const int rc = file->openFile(path, accessWord, password);
    if (rc != 0) return rc;
    files[key] = file;
    *out = std::move(file);
    return 0;
}

int QvnFile::openPrivate(const std::string& path, unsigned accessWord, const std::string& password,
                         std::unique_ptr<QvnFile>* out) {
    std::unique_ptr<QvnFile> file(new QvnFile());
    const int rc = file->openFile(path, accessWord, password);
    if (rc != 0) return rc;
    *out = std::move(file);
    return 0;
}

int QvnFile::openFile(const std::string& path, unsigned accessWord, const std::string& password) {
    path_ = path;
    const OpenMode mode = decodeOpenMode(accessWord);
    writable_ = mode.write;
    const auto share = static_cast<platform::Share>(mode.share);
    const auto disposition =
        (accessWord & 0x200) != 0 ? platform::Disposition::CreateAlways : platform::Disposition::OpenAlways;
    int rc = io_.open(path, writable_ ? platform::Access::ReadWrite : platform::Access::ReadOnly, share,
                      disposition);
    if (rc != 0) return fileErrorFromPlatform(rc);
    if (!password.empty()) io_.setKey(deriveScrambleKey(password));
    othersOnlyRead_ = share == platform::Share::DenyWrite;
    share_ = share;
    locks_.attach(&io_.file(), share == platform::Share::All, othersOnlyRead_,
                  static_cast<std::uint32_t>(platform::clockHundredths()));
    // The header is read while holding a reader slot: another station's flush holds every slot,
    // so the header is never seen half-written (a torn read would look like an invalid file).
    FileHeader header;
    bool empty = false;
    if ((rc = locks_.lockRead(true)) != 0) return rc;
    rc = readDiskHeader(&header, &empty);
    locks_.unlockAccess();
    if (rc != 0) return rc;
    // An interrupted commit is completed by a first access (when another station is busy, by the
    // next one). Without a log there is nothing to complete, and the first access of the caller
    // reads the header anyway: a file opened for a page of a list saves a header read and the locks
    // around it.
    if (!empty && header.logStart == header.logEnd) return 0;
    if (beginAccess(writable_) == 0) endAccess();
    return 0;
}

int QvnFile::reopenForWriting(unsigned accessWord) {
    // Only between accesses: then this station holds no access lock, and closing the platform file
    // (which drops its locks) loses nothing; its share-mode locks are taken again by the new open.
    // The page cache stays: the next access checks it against the header on disk as always.
    if (accessDepth_ > 0) return runtime::error::kAccessDenied;
    const auto share = static_cast<platform::Share>(decodeOpenMode(accessWord).share);
    io_.close();
    int rc = io_.open(path_, platform::Access::ReadWrite, share, platform::Disposition::OpenAlways);
    if (rc != 0) {
        // Back to the read-only open the other tables work with; the caller's open fails.
        if (io_.open(path_, platform::Access::ReadOnly, share_, platform::Disposition::OpenAlways) == 0)
            locks_.attach(&io_.file(), share_ == platform::Share::All, othersOnlyRead_, locks_.slot());
        return fileErrorFromPlatform(rc);
    }
    writable_ = true;
    share_ = share;
    othersOnlyRead_ = share == platform::Share::DenyWrite;
    locks_.attach(&io_.file(), share == platform::Share::All, othersOnlyRead_, locks_.slot());
    return 0;
}

int QvnFile::readDiskHeader(FileHeader* header, bool* empty) {
    // Every access reads the header, so it is one read: its length tells an empty file (0 bytes)
    // and a file too short to be one of ours.
    *empty = false;
    std::uint8_t bytes[kHeaderSize];
    std::size_t got = 0;
    int rc = io_.read(0, bytes, kHeaderSize, &got);
    if (rc != 0) return rc;
    if (got == 0) {
        *header = FileHeader{};
        *empty = true;
        return 0;
    }
    if (got < kHeaderSize) return kInvalidDataFile;
    if (!decodeHeader(bytes, header) || header->ownSize != kHeaderSize) return kInvalidDataFile;
    return 0;
}

int QvnFile::writeHeaderAt0(const FileHeader& header) {
    std::uint8_t bytes[kHeaderSize];
    encodeHeader(header, bytes);
    return io_.write(0, bytes, kHeaderSize);
}

namespace {

std::int64_t nowMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The files whose runs keep a reader slot now, with the OS thread that reads them: a wait gives
// back the slots its own thread keeps.
struct HeldRun {
    QvnFile* file;
    std::thread::id thread;
};
std::mutex heldRunsMutex;
std::vector<HeldRun>& heldRuns() {
    static auto* files = new std::vector<HeldRun>;
    return *files;
}

} // namespace

void QvnFile::beginReadRun() {
    static const bool hooked = [] {
        StationLocks::setBeforeWait(&QvnFile::releaseAllReadRuns);
        drivers::addReleaseBeforeUserWait(&QvnFile::releaseAllReadRuns);
        return true;
    }();
    (void)hooked;
    ++readRuns_;
}

void QvnFile::endReadRun() {
    if (readRuns_ > 0 && --readRuns_ == 0) releaseReadRun();
}

void QvnFile::releaseReadRun() {
    if (!runHeld_) return;
    runHeld_ = false;
    {
        std::lock_guard lock(heldRunsMutex);
        std::erase_if(heldRuns(), [this](const HeldRun& run) { return run.file == this; });
    }
    if (accessDepth_ == 0) {
        locks_.unlockAccess();
        store_.trim();
    }
}

void QvnFile::releaseAllReadRuns() {
    std::vector<QvnFile*> files;
    {
        std::lock_guard lock(heldRunsMutex);
        for (const HeldRun& run : heldRuns())
            if (run.thread == std::this_thread::get_id()) files.push_back(run.file);
    }
    for (QvnFile* file : files) file->releaseReadRun();
}

int QvnFile::beginAccess(bool write, bool mustWait, std::int32_t waitSeconds) {
    if (write && !writable_) return runtime::error::kAccessDenied;
    if (accessDepth_ == 0 && runHeld_) {
        if (!write && runAccesses_ < kRunAccesses && nowMicroseconds() - runStarted_ < kRunMicroseconds) {
            // The slot was held since the last access: nothing on disk can have changed.
            ++runAccesses_;
            accessDepth_ = 1;
            writeAccess_ = false;
            return 0;
        }
        releaseReadRun();
        if (locks_.otherWriterActive()) runPausedUntil_ = nowMicroseconds() + kRunMicroseconds;
    }
    // A write access may wait for other stations, which may wait for our readers.
    if (write && accessDepth_ == 0) releaseAllReadRuns();
    if (accessDepth_ > 0) {
        ++accessDepth_;
        if (!write || writeAccess_) return 0;
        // A change inside a read access: the read access ends and a write access begins.
        const int rc = locks_.lockWrite(mustWait, waitSeconds);
        if (rc != 0) {
            --accessDepth_;
            return rc;
        }
        writeAccess_ = true;
        io_.forgetWrittenEnd();
        return refresh(true);
    }
    // A read inside a run waits out another station's flush for a while: a scan is not broken
    // off by a commit of a few milliseconds.
    const int rc = write           ? locks_.lockWrite(mustWait, waitSeconds)
                   : readRuns_ > 0 ? locks_.lockRead(true, mustWait ? 0 : kRunWaitSeconds)
                                   : locks_.lockRead(mustWait);
    if (rc != 0) return rc;
    io_.forgetWrittenEnd(); // other stations may have changed the file's length since
    accessDepth_ = 1;
    writeAccess_ = write;
    const int refreshed = refresh(write);
    if (refreshed != 0) endAccess();
    return refreshed;
}

bool QvnFile::deferFlush() {
    if (!inWriteAccess() || store_.changedCount() >= kBatchPageLimit || batchedChanges_ >= kBatchChangeLimit)
        return false;
    ++batchedChanges_;
    if (batchHeld_)
        endAccess(); // the batch already holds an access of its own
    else
        batchHeld_ = true;
    return true;
}

void QvnFile::releaseBatch() {
    if (!batchHeld_) return;
    batchHeld_ = false;
    batchedChanges_ = 0;
    endAccess();
}

int QvnFile::endBatch() {
    if (!batchHeld_) return 0;
    const int rc = flush();
    releaseBatch();
    return rc;
}

void QvnFile::endAccess() {
    if (accessDepth_ == 0 || --accessDepth_ > 0) return;
    if (!writeAccess_ && readRuns_ > 0 &&
        (runHeld_ || runPausedUntil_ == 0 || nowMicroseconds() >= runPausedUntil_)) {
        runPausedUntil_ = 0;
        if (!runHeld_) {
            runHeld_ = true;
            runAccesses_ = 1;
            runStarted_ = nowMicroseconds();
            std::lock_guard lock(heldRunsMutex);
            heldRuns().push_back({this, std::this_thread::get_id()});
        }
        return;
    }
    writeAccess_ = false;
    locks_.unlockAccess();
    store_.trim();
}

int QvnFile::find(std::string_view key, Entry* out, bool* found) {
    return withReadAccess(*this, [&] { return tree_.find(key, out, found); });
}

int QvnFile::find(std::string_view key, std::string_view along, Entry* out, bool* found) {
    return withReadAccess(*this, [&] { return tree_.find(key, along, out, found); });
}

int QvnFile::seekForward(std::string_view key, bool strict, Entry* out, bool* found) {
    return withReadAccess(*this, [&] { return tree_.seekForward(key, strict, out, found); });
}

int QvnFile::seekForward(std::string_view key, bool strict, LeafHint* hint, Entry* out, bool* found) {
    return withReadAccess(*this, [&] { return tree_.seekForward(key, strict, hint, out, found); });
}

int QvnFile::seekBackward(std::string_view key, bool strict, Entry* out, bool* found) {
    return withReadAccess(*this, [&] { return tree_.seekBackward(key, strict, out, found); });
}

int QvnFile::insert(const Entry& entry, bool* existed) {
    if (!inWriteAccess()) return internalFault(231);
    return tree_.insert(entry, false, existed);
}

int QvnFile::replace(const Entry& entry, bool* existed) {
    if (!inWriteAccess()) return internalFault(231);
    return tree_.insert(entry, true, existed);
}

int QvnFile::erase(std::string_view key, bool* existed) {
    if (!inWriteAccess()) return internalFault(1203);
    return tree_.erase(key, existed);
}

int QvnFile::nextNumber(std::uint32_t* number) {
    if (!inWriteAccess()) return internalFault(1163);
    FileHeader& header = store_.header();
    if (header.lastNumber + 1 >= 0xFE000000u) return internalFault(1173);
    *number = ++header.lastNumber;
    headerChanged_ = true;
    return 0;
}

} // namespace docket::drivers::qvn
