// Record holds, table locks and the WATCH comparison: single lock bytes in the hold area of the
// physical file (0x80000400 + n + 1), for a record n its record number and for a table its table
// number. Both come from the one counter of the file, so the bytes never coincide.
#include <chrono>
#include <thread>

#include "drivers/qvn/internal/entry_tree.h"
#include "drivers/qvn/qvn_table.h"
#include "drivers/qvn/internal/table_entries.h"
#include "drivers/qvn/transactions.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "runtime/core/error_codes.h"

namespace docket::drivers::qvn {
namespace {

constexpr std::uint64_t kHoldArea = 0x80000400u;

bool tryByte(platform::File& file, std::uint64_t offset) {
    for (int tries = 0; tries < StationLocks::kQuickTries; ++tries) {
        const int rc = file.tryLock(offset, 1);
        if (rc == 0) return true;
        if (rc != platform::code::kLockViolation) return false;
    }
    return false;
}

} // namespace

QvnTable::~QvnTable() {
    releaseHold();
    unlockTable();
    leaveTransaction(*this);
}

int QvnTable::holdRecord(std::uint32_t record) {
    if (heldRecord_ == record && record != 0) return 0;
    releaseHold();
    if (!tryByte(file_->io().file(), kHoldArea + record + 1)) return runtime::error::kRecordHeld;
    heldRecord_ = record;
    options_ |= table_option::kHeld;
    return 0;
}

void QvnTable::releaseHold() {
    if (heldRecord_ != 0 && file_) file_->io().file().unlock(kHoldArea + heldRecord_ + 1, 1);
    heldRecord_ = 0;
    options_ &= ~table_option::kHeld;
}

int QvnTable::lockTable(std::int32_t seconds) {
    if (tableLocked_) return 0;
    const std::int64_t start = retryStart();
    for (;;) {
        if (tryByte(file_->io().file(), kHoldArea + number_ + 1)) break;
        if (seconds == 0) return runtime::error::kFileAlreadyLocked;
        if (seconds > 0 && retryStart() - start > std::int64_t{seconds} * 100) return runtime::error::kFileAlreadyLocked;
        QvnFile::releaseAllReadRuns(); // never wait while keeping a reader slot
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    tableLocked_ = true;
    return 0;
}

void QvnTable::unlockTable() {
    if (tableLocked_ && file_) file_->io().file().unlock(kHoldArea + number_ + 1, 1);
    tableLocked_ = false;
}

std::int64_t QvnTable::retryStart() {
    return static_cast<std::int64_t>(platform::clockHundredths());
}

// HOLD without seconds (timeout 0) gives up at the first refusal; the clock counts hundredths of a
// second and wraps at midnight, which a negative difference absorbs.
int QvnTable::retryDue(std::int64_t start) const {
    if (holdSeconds == 0) return runtime::error::kRecordHeld;
    std::int64_t elapsed = retryStart() - start;
    if (elapsed < 0) elapsed += 8640000;
    if (holdSeconds > 0 && elapsed > std::int64_t{holdSeconds} * 100) return runtime::error::kRecordHeld;
    QvnFile::releaseAllReadRuns(); // never wait while keeping a reader slot
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return 0;
}

int QvnTable::memoStamp(std::uint32_t record, std::string* out) {
    out->clear();
    const std::string prefix = recordMemosPrefix(number_, record);
    // One walk along the record's segments; the cursor needs an access for the whole walk.
    if (int rc = file_->beginAccess(false)) return rc;
    EntryCursor cursor(file_->tree());
    int rc = cursor.seek(prefix, false);
    while (rc == 0 && cursor.valid() && startsWith(cursor.key(), prefix)) {
        const std::string_view bytes = cursor.bytes();
        appendBig32(out, static_cast<std::uint32_t>(bytes.size()));
        out->append(bytes);
        rc = cursor.next();
    }
    file_->endAccess();
    return rc;
}

} // namespace docket::drivers::qvn
