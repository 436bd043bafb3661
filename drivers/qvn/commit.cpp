// The commit of a station's changes and the refresh at the start of an access.
//
// A commit writes every changed page and the new header first into a log past the end of the
// page space (pages in space that the commit adds go straight to their place), then points the
// header at offset 0 at that log, then writes everything in place and finally clears the log
// pointers. Until the pointer write the old state is untouched; after it the log is complete and
// the next access of any station completes the commit.
#include <algorithm>
#include <map>
#include <unordered_map>

#include "drivers/platform_result.h"
#include "drivers/qvn/internal/fault.h"
#include "drivers/qvn/qvn_file.h"
#include "platform/error.h"
#include "runtime/core/error_codes.h"

namespace docket::drivers::qvn {

namespace {

// Writes at places next to each other, gathered into one write of up to kRunBytes: a large commit
// writes its pages in the order of their places, and one write for each made the system zero and
// fill every block of the file piecemeal.
class WriteRun {
public:
    explicit WriteRun(BlockIo& io) : io_(io) {}
    int add(std::uint64_t at, std::string_view bytes) {
        if (!buffer_.empty() && (at != start_ + buffer_.size() || buffer_.size() + bytes.size() > kRunBytes))
            if (int rc = flush()) return rc;
        if (buffer_.empty()) start_ = at;
        buffer_.append(bytes);
        return 0;
    }
    int flush() {
        if (buffer_.empty()) return 0;
        const int rc =
            io_.write(start_, reinterpret_cast<const std::uint8_t*>(buffer_.data()), buffer_.size());
        buffer_.clear();
        return rc;
    }

private:
    static constexpr std::size_t kRunBytes = std::size_t{1} << 20;
    BlockIo& io_;
    std::uint64_t start_ = 0;
    std::string buffer_;
};

QvnFile::TransactionCheck& defaultTransactionCheck() {
    static QvnFile::TransactionCheck check;
    return check;
}
} // namespace

void QvnFile::setDefaultTransactionCheck(TransactionCheck check) {
    defaultTransactionCheck() = std::move(check);
}

int QvnFile::refresh(bool write) {
    FileHeader onDisk;
    bool empty = false;
    int rc = readDiskHeader(&onDisk, &empty);
    if (rc == kInvalidDataFile) return internalFault(256);
    if (rc != 0) return rc;
    const bool logged = onDisk.logStart != onDisk.logEnd;
    const bool same = valid_ && onDisk.changeCounter == diskHeader_.changeCounter &&
                      onDisk.logStart == diskHeader_.logStart && onDisk.logEnd == diskHeader_.logEnd;
    // A pending log is applied by the first write access, unless it is this station's own and
    // already in place.
    if (same && !(logged && write && !ownLog_)) return 0;
    // A station's own uncommitted changes are kept: they belong to a transaction that its commit
    // will write.
    if (changed() && valid_) return 0;
    ownLog_ = false;
    store_.dropAll();
    store_.clearLogMap();
    store_.header() = onDisk;
    diskHeader_ = onDisk;
    valid_ = true;
    if (logged) return recover(onDisk, write);
    return 0;
}

int QvnFile::recover(const FileHeader& onDisk, bool write) {
    std::map<std::uint32_t, std::uint64_t> map;
    FileHeader logged;
    bool haveHeader = false, complete = true;
    std::uint64_t pos = onDisk.logStart;
    std::uint8_t head[kHeaderSize];
    while (pos < onDisk.logEnd) {
        std::size_t got = 0;
        if (io_.read(pos, head, kPageUnit, &got) != 0 || got != kPageUnit) {
            complete = false;
            break;
        }
        const std::uint32_t address = ownAddressOf(head);
        std::size_t length = roundUp(storedSizeOf(head), kPageUnit);
        if (address == 0) {
            length = kHeaderSize;
            if (pos + length > onDisk.logEnd || io_.read(pos, head, kHeaderSize, &got) != 0 ||
                got != kHeaderSize || !decodeHeader(head, &logged)) {
                complete = false;
                break;
            }
            haveHeader = true;
        } else if (address < kHeaderSize || (address - kHeaderSize) % kPageUnit != 0 ||
                   storedSizeOf(head) < kPageHeaderSize || length > kMaxPageSize) {
            complete = false;
            break;
        }
        if (pos + length > onDisk.logEnd) {
            complete = false;
            break;
        }
        map[address] = pos;
        pos += length;
    }
    complete = complete && haveHeader && pos == onDisk.logEnd;
    bool unfinished = false;
    const TransactionCheck& check = transactionCheck_ ? transactionCheck_ : defaultTransactionCheck();
    if (complete && check) {
        store_.setLogMap(map);
        store_.header() = logged;
        const int rc = check(*this, &unfinished);
        store_.dropAll();
        store_.clearLogMap();
        store_.header() = onDisk;
        if (rc != 0) return rc;
    }
    if (!complete || unfinished) {
        // The commit never reached its log pointer, or its transaction did not finish: the old
        // state stays.
        if (!write) return 0;
        return resetLog(onDisk);
    }
    if (!write) {
        store_.setLogMap(map);
        store_.header() = logged;
        return 0;
    }
    if (othersOnlyRead_) locks_.lockWriterByte();
    int rc = 0;
    std::vector<std::uint8_t> page;
    for (const auto& [address, at] : map) {
        if (address == 0) continue;
        std::uint8_t first[kPageUnit];
        if ((rc = io_.readFull(at, first, kPageUnit)) != 0) break;
        page.assign(roundUp(storedSizeOf(first), kPageUnit), 0);
        if ((rc = io_.readFull(at, page.data(), page.size())) != 0) break;
        if ((rc = io_.write(address, page.data(), page.size())) != 0) break;
    }
    // The header keeps pointing at the log until every page is in place.
    FileHeader applied = logged;
    applied.logStart = onDisk.logStart;
    applied.logEnd = onDisk.logEnd;
    if (rc == 0) rc = writeHeaderAt0(applied);
    if (rc == 0) rc = io_.flush();
    // The copies change no byte that a station reading through the log reads, but the reset cuts
    // the log off the file: it waits until no station is inside a read access.
    if (rc == 0) {
        locks_.lockFlush();
        rc = resetLog(applied);
        locks_.unlockFlush();
    }
    if (othersOnlyRead_) locks_.unlockWriterByte();
    return rc;
}

// Clears the log pointers of the header at offset 0 and announces the change to other stations.
int QvnFile::resetLog(FileHeader header) {
    const std::uint64_t end = pageSpaceEnd(header);
    header.logStart = header.logEnd = static_cast<std::uint32_t>(end);
    ++header.changeCounter;
    ownLog_ = false;
    int rc = writeHeaderAt0(header);
    if (rc == 0) rc = io_.flush();
    if (rc == 0) {
        // The log lies past the end of the page space and goes. After a commit's own log writes
        // the file is longer for certain; otherwise its length is asked for.
        std::uint64_t size = 0;
        if (io_.writtenEnd() > end || (io_.size(&size) == 0 && size > end)) io_.truncate(end);
        store_.clearLogMap();
        store_.header() = header;
        diskHeader_ = header;
    }
    return rc;
}

int QvnFile::flush() {
    if (!changed()) return 0;
    if (int rc = commitPhase1()) return rc;
    return commitPhase2();
}

int QvnFile::commitPhase1() {
    if (!writable_) return runtime::error::kAccessDenied;
    locks_.lockFlush();
    flushLocked_ = true;
    const int rc = flushChanges();
    if (rc != 0) forgetFailedCommit();
    return rc;
}

int QvnFile::commitPhase2() {
    int rc = completeChanges();
    if (rc != 0) forgetFailedCommit();
    return rc;
}

int QvnFile::cancelCommit() {
    // Phase 1 is done: the header at offset 0 points at a complete log that must not be applied.
    FileHeader old = diskHeader_;
    const int rc = resetLog(old);
    forgetFailedCommit();
    return rc;
}

void QvnFile::forgetFailedCommit() {
    // The header at offset 0 still describes the committed state (or a complete log); the station
    // forgets its changes and reloads at its next access.
    if (flushLocked_) locks_.unlockFlush();
    flushLocked_ = false;
    store_.dropAll();
    store_.clearLogMap();
    headerChanged_ = false;
    valid_ = false;
    ownLog_ = false;
    pendingInPlace_.clear();
}

int QvnFile::raiseNumber(std::uint32_t atLeast) {
    if (!inWriteAccess()) return internalFault(1163);
    FileHeader& header = store_.header();
    if (atLeast >= 0xFE000000u) return internalFault(1173);
    if (header.lastNumber < atLeast) {
        header.lastNumber = atLeast;
        headerChanged_ = true;
    }
    return 0;
}

void QvnFile::discard() {
    ownLog_ = false;
    store_.dropAll();
    store_.clearLogMap();
    headerChanged_ = false;
    valid_ = false;
}

int QvnFile::flushChanges() {
    // The state the commit starts from. While the header at offset 0 still points at this
    // station's log of its previous commit, that is the header in that log, and the log's place
    // must keep its bytes until the header points at the new log instead.
    const FileHeader old = ownLog_ ? committed_ : diskHeader_;
    const std::uint64_t oldEnd = pageSpaceEnd(old);
    const std::uint64_t busyStart = ownLog_ ? diskHeader_.logStart : 0;
    const std::uint64_t busyEnd = ownLog_ ? diskHeader_.logEnd : 0;
    int rc = 0;

    // Phase 0: every changed page gets a place of the class that its image needs. Moving pages
    // changes only page and child numbers, which do not change any page's size, so one pass over
    // the pages changed so far is enough. The images are kept for phase 1 (the numbers are all
    // that moving can change in them, and those are patched there), up to imagesKept_ bytes: a
    // bulk add of a million records would otherwise hold its whole file encoded in memory at
    // once, and the memory the system had to find for it took a quarter of the add's time. The
    // pages beyond are encoded again in phase 1.
    std::unordered_map<const Page*, EncodedPage> images;
    images.reserve(store_.changedCount());
    std::size_t imageBytes = 0;
    for (Page* page : store_.changedPages()) {
        EncodedPage& encoded = images[page];
        if ((rc = encodePage(page->level, page->entries, page->children, page->number, &encoded)) != 0)
            return internalFault(rc);
        if (page->placed() && encoded.pageClass != page->pageClass &&
            (rc = store_.relocate(page, encoded.pageClass)) != 0)
            return rc;
        imageBytes += encoded.bytes.size();
        if (imageBytes > imagesKept_) std::string().swap(encoded.bytes);
    }
    rc = store_.placeNewPages([&images](const Page* page) {
        const auto it = images.find(page);
        return it != images.end() ? it->second.pageClass : 0;
    });
    if (rc != 0) return rc;
    if ((rc = store_.closeGaps()) != 0) return rc;

    // Every place final. A page goes to the log when it lies in the committed page space, or in
    // the place of the log still pointed at; a page in space that the commit adds goes straight
    // to its place. A page's image is exactly its class's size.
    const std::vector<Page*> pages = store_.changedPages();
    auto logged = [&](const Page* page) {
        const std::uint64_t address = pageAddress(page->number);
        const std::uint64_t size = std::uint64_t{static_cast<std::uint32_t>(page->pageClass)} * kPageUnit;
        return address < oldEnd || (address < busyEnd && address + size > busyStart);
    };
    std::uint64_t logBytes = kHeaderSize;
    for (const Page* page : pages)
        if (logged(page)) logBytes += std::uint64_t{static_cast<std::uint32_t>(page->pageClass)} * kPageUnit;

    // The log goes past the page space, old or new; past the log still pointed at when it would
    // overlap that one.
    FileHeader& header = store_.header();
    const std::uint64_t newEnd = pageSpaceEnd(header);
    const std::uint64_t base = std::max(newEnd, oldEnd);
    std::uint64_t logStart = base;
    if (base < busyEnd && base + logBytes > busyStart) logStart = busyEnd;
    if (logStart + logBytes > 0xFFFFFFFFu) return ioErrorFromPlatform(platform::code::kDiskFull);
    header.logStart = header.logEnd = static_cast<std::uint32_t>(base);
    header.changeCounter = old.changeCounter + 1;

    // Phase 1: the log, and the pages in new space, each image made (or finished) and written in
    // turn. Pages next to each other go out in one write.
    pendingInPlace_.clear();
    std::vector<PendingWrite>& inPlace = pendingInPlace_;
    WriteRun logRun(io_), placeRun(io_);
    std::uint64_t logEnd = logStart;
    for (Page* page : pages) {
        EncodedPage encoded;
        if (auto kept = images.find(page); kept != images.end() && !kept->second.bytes.empty()) {
            encoded = std::move(kept->second);
            setPageNumbers(page->number, page->level != 0 ? page->children.data() : nullptr, page->size(),
                           &encoded);
        } else if ((rc = encodePage(page->level, page->entries, page->children, page->number, &encoded)) !=
                   0) {
            // A page that only phase 0 changed (one it moved, or the parent of one), or one whose
            // image was not kept.
            return internalFault(rc);
        }
        if (encoded.pageClass != page->pageClass) return internalFault(1781);
        if (logged(page)) {
            if ((rc = logRun.add(logEnd, encoded.bytes)) != 0) return rc;
            logEnd += encoded.bytes.size();
            inPlace.push_back({pageAddress(page->number), std::move(encoded.bytes)});
        } else if ((rc = placeRun.add(pageAddress(page->number), encoded.bytes)) != 0) {
            return rc;
        }
    }
    if ((rc = placeRun.flush()) != 0) return rc;
    std::uint8_t headerBytes[kHeaderSize];
    encodeHeader(header, headerBytes);
    if ((rc = logRun.add(logEnd, {reinterpret_cast<const char*>(headerBytes), kHeaderSize})) != 0) return rc;
    if ((rc = logRun.flush()) != 0) return rc;
    logEnd += kHeaderSize;

    // The commit point: the old header, pointing at the complete log. It carries the new change
    // counter, so that a station that compares counters only sees that the file changed even
    // while the log stays pointed at (see completeChanges). The flush before it also puts the
    // in-place writes of this station's previous commit on disk: from the pointer write on, that
    // commit's log is no longer read.
    if ((rc = io_.flush()) != 0) return rc;
    FileHeader pointer = old;
    pointer.changeCounter = header.changeCounter;
    pointer.logStart = static_cast<std::uint32_t>(logStart);
    pointer.logEnd = static_cast<std::uint32_t>(logEnd);
    if ((rc = writeHeaderAt0(pointer)) != 0) return rc;
    if ((rc = io_.flush()) != 0) return rc;
    diskHeader_ = pointer;
    ownLog_ = false;

    pendingLogStart_ = pointer.logStart;
    pendingLogEnd_ = pointer.logEnd;
    return 0;
}

int QvnFile::completeChanges() {
    int rc = 0;
    // Phase 2: everything in place (in the order of the places).
    WriteRun run(io_);
    for (const PendingWrite& pending : pendingInPlace_)
        if ((rc = run.add(pending.address, pending.bytes)) != 0) return rc;
    if ((rc = run.flush()) != 0) return rc;
    FileHeader applied = store_.header();
    if (pendingLogEnd_ <= pageSpaceEnd(applied) + kLogTailKept) {
        // The log stays pointed at, and the in-place writes reach the disk with the first flush
        // of this station's next commit, before that commit points elsewhere: two flushes a
        // commit instead of four. The header at offset 0 then describes a complete log, which
        // any other station applies (or reads through) as after an interrupted commit; this
        // station knows the log is already in place and commits over it. The log is cleared at
        // the latest when the file closes.
        committed_ = applied;
        ownLog_ = true;
    } else {
        // A log far past the page space is cleared now, and the file shrinks to its page space.
        // The new header keeps the log pointers until the pages are on disk, so that a header
        // torn by a power failure still leads to the log.
        applied.logStart = pendingLogStart_;
        applied.logEnd = pendingLogEnd_;
        if ((rc = writeHeaderAt0(applied)) != 0) return rc;
        if ((rc = io_.flush()) != 0) return rc;
        if ((rc = resetLog(applied)) != 0) return rc;
    }
    pendingInPlace_.clear();
    if (flushLocked_) locks_.unlockFlush();
    flushLocked_ = false;
    store_.markAllClean();
    headerChanged_ = false;
    return 0;
}

int QvnFile::settleLog() {
    if (!ownLog_ || !writable_ || accessDepth_ > 0) return 0;
    // The refresh of a write access then finds a log that is not known to be in place, applies
    // it and clears it. Another station busy changing the file does the same at its next access.
    ownLog_ = false;
    const int rc = beginAccess(true, false);
    if (rc == 0) endAccess();
    return rc;
}

} // namespace docket::drivers::qvn
