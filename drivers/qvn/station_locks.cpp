#include "drivers/qvn/internal/station_locks.h"

#include <chrono>
#include <thread>

#include "platform/error.h"
#include "runtime/core/error_codes.h"

namespace docket::drivers::qvn {

namespace {

void (*beforeWait)() = nullptr;

void pause() {
    if (beforeWait) beforeWait();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

} // namespace

void StationLocks::setBeforeWait(void (*hook)()) {
    beforeWait = hook;
}

void StationLocks::attach(platform::File* file, bool accessLocks, bool flushLock, std::uint32_t firstSlot) {
    file_ = file;
    accessLocks_ = accessLocks;
    flushLock_ = flushLock || accessLocks;
    slot_ = firstSlot % kReaderSlots;
    holding_ = Held::None;
}

bool StationLocks::take(std::uint64_t offset, std::uint64_t length, bool wait, bool moveSlot,
                        std::int32_t waitSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    for (int tries = 0;; ++tries) {
        const std::uint64_t at = moveSlot ? kBase + slot_ : offset;
        const int rc = file_->tryLock(at, length);
        if (rc == 0) return true;
        // Only another station's lock is worth waiting for; a broken handle never improves.
        if (rc != platform::code::kLockViolation) return false;
        if (moveSlot) slot_ = (slot_ + 1) % kReaderSlots;
        if (!wait && tries + 1 >= kQuickTries) return false;
        if (tries + 1 >= kQuickTries) {
            if (waitSeconds > 0 && std::chrono::steady_clock::now() >= deadline) return false;
            pause();
        }
    }
}

int StationLocks::lockRead(bool wait, std::int32_t waitSeconds) {
    if (!accessLocks_ || holding_ != Held::None) return 0;
    if (!take(0, 1, wait, true, waitSeconds)) return runtime::error::kAccessDenied;
    holding_ = Held::Reader;
    return 0;
}

int StationLocks::lockWrite(bool wait, std::int32_t waitSeconds) {
    if (!accessLocks_ || holding_ == Held::Writer) return 0;
    if (holding_ == Held::Reader) unlockAccess();
    if (!take(kWriterByte, 1, wait, false, waitSeconds)) return runtime::error::kAccessDenied;
    holding_ = Held::Writer;
    return 0;
}

void StationLocks::unlockAccess() {
    if (holding_ == Held::Reader) file_->unlock(kBase + slot_, 1);
    if (holding_ == Held::Writer) file_->unlock(kWriterByte, 1);
    holding_ = Held::None;
}

int StationLocks::lockFlush() {
    if (!flushLock_) return 0;
    // A station that holds its own reader slot would lose it with the unlock of the whole range.
    take(kBase, kReaderSlots, true, false);
    return 0;
}

void StationLocks::unlockFlush() {
    if (!flushLock_) return;
    file_->unlock(kBase, kReaderSlots);
    if (holding_ == Held::Reader) file_->tryLock(kBase + slot_, 1);
}

int StationLocks::lockWriterByte() {
    take(kWriterByte, 1, true, false);
    return 0;
}

void StationLocks::unlockWriterByte() {
    if (holding_ != Held::Writer) file_->unlock(kWriterByte, 1);
}

bool StationLocks::otherWriterActive() const {
    return accessLocks_ && holding_ != Held::Writer && file_->lockedByOthers(kWriterByte, 1);
}

} // namespace docket::drivers::qvn
