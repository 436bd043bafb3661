#pragma once
// Byte-range locks by which stations share a native file, all at offsets from 0x80000000 upwards,
// beyond any real data: 1023 reader slots, the writer byte after them, and all reader slots
// together as the flush lock.
//
// A station in a read access holds one reader slot; on Linux a file opened read-only can only take
// shared locks, so two read-only stations may hold the same slot. That is harmless: a slot only has
// to keep the flush lock out, and any lock on it does that.
#include <cstdint>

#include "platform/file.h"

namespace docket::drivers::qvn {

class StationLocks {
public:
    static constexpr std::uint64_t kBase = 0x80000000u;
    static constexpr std::uint32_t kReaderSlots = 1023;
    static constexpr std::uint64_t kWriterByte = kBase + kReaderSlots;
    static constexpr int kQuickTries = 3;

    // `accessLocks` for a file shared with all, `flushLock` also when others may only read.
    void attach(platform::File* file, bool accessLocks, bool flushLock, std::uint32_t firstSlot);

    // 0, or 5 ("Access Denied") when the lock could not be had within the quick tries.
    // Called before every pause of a lock wait: the file gives back what it keeps between
    // accesses, so that no station waits on a station that waits.
    static void setBeforeWait(void (*hook)());
    int lockRead(bool wait, std::int32_t waitSeconds = 0);
    // A waiting write lock waits without end, or at most `waitSeconds` when that is above 0.
    int lockWrite(bool wait, std::int32_t waitSeconds = 0);
    void unlockAccess();
    // Waits until no other station is inside a read access.
    int lockFlush();
    void unlockFlush();
    // The writer byte on its own, waiting (a station that others may only read uses it around
    // the writes of a recovery).
    int lockWriterByte();
    void unlockWriterByte();
    // Another station holds the writer byte: it is changing the file and will want the flush lock.
    bool otherWriterActive() const;

    std::uint32_t slot() const { return slot_; }
    // The slot to try first at the next read access (tests make two stations collide).
    void setSlot(std::uint32_t slot) { slot_ = slot % kReaderSlots; }
    bool holdingSlot() const { return holding_ == Held::Reader; }
    bool accessLocks() const { return accessLocks_; }

private:
    enum class Held { None, Reader, Writer };
    bool take(std::uint64_t offset, std::uint64_t length, bool wait, bool moveSlot,
              std::int32_t waitSeconds = 0);

    platform::File* file_ = nullptr;
    bool accessLocks_ = false;
    bool flushLock_ = false;
    std::uint32_t slot_ = 0;
    Held holding_ = Held::None;
};

} // namespace docket::drivers::qvn
