#include "drivers/qvn/internal/block_io.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "drivers/platform_result.h"
#include "drivers/qvn/internal/fault.h"
#include "drivers/qvn/internal/format.h"

namespace docket::drivers::qvn {

namespace {

FaultPlan plan;
long events = 0;

} // namespace

void setFaultPlan(const FaultPlan& newPlan) {
    plan = newPlan;
}
long ioEventCount() {
    return events;
}
void resetIoEventCount() {
    events = 0;
}

int BlockIo::open(const std::string& path, platform::Access access, platform::Share share,
                  platform::Disposition disposition) {
    const int rc = file_.open(path, access, share, disposition);
    if (rc == 0) file_.size(&flushedSize_);
    unflushed_.clear();
    writtenEnd_ = 0;
    return rc;
}

void BlockIo::close() {
    file_.close();
    unflushed_.clear();
}

void BlockIo::event(bool isFlush) {
    if (plan.flushesOnly && !isFlush) return;
    ++events;
    if (plan.mode == FaultPlan::Mode::None || events != plan.stopAt) return;
    if (plan.mode == FaultPlan::Mode::PowerLoss) powerLoss();
    ::_exit(kCrashExitCode);
}

void BlockIo::powerLoss() {
    for (auto it = unflushed_.rbegin(); it != unflushed_.rend(); ++it)
        file_.writeAt(it->offset, it->old.data(), it->old.size());
    file_.resize(flushedSize_);
    if (plan.subsetSeed != 0) {
        // Each 512-byte sector of each write reaches the disk or not, independently: writes are
        // reordered and torn at sector boundaries, as a disk without a flush may do.
        constexpr std::uint64_t kSector = 512;
        std::uint64_t state = plan.subsetSeed;
        auto next = [&state] {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            return state;
        };
        // The seed also picks how much is lost: about half, about one sector in eight, or
        // exactly one sector (the loss most likely to go unseen).
        std::uint64_t sectors = 0;
        for (const Undo& write : unflushed_)
            sectors += (write.offset + write.written.size() + kSector - 1) / kSector - write.offset / kSector;
        const std::uint64_t style = next() % 3;
        const std::uint64_t onlyLost = sectors ? next() % sectors : 0;
        std::uint64_t index = 0;
        for (const Undo& write : unflushed_) {
            std::uint64_t at = write.offset;
            const std::uint64_t end = write.offset + write.written.size();
            while (at < end) {
                const std::uint64_t pieceEnd = std::min(end, (at / kSector + 1) * kSector);
                const bool kept = style == 0 ? (next() & 1) != 0 : style == 1 ? next() % 8 != 0 : index != onlyLost;
                if (kept)
                    file_.writeAt(at, write.written.data() + (at - write.offset),
                                  static_cast<std::size_t>(pieceEnd - at));
                at = pieceEnd;
                ++index;
            }
        }
    } else if (!unflushed_.empty()) {
        // The first lost write is left torn: its first half reached the disk.
        const Undo& torn = unflushed_.front();
        if (!torn.tornHalf.empty()) file_.writeAt(torn.offset, torn.tornHalf.data(), torn.tornHalf.size());
    }
    file_.flush();
}

int BlockIo::read(std::uint64_t offset, std::uint8_t* buffer, std::size_t length, std::size_t* got) {
    *got = 0;
    if (length % kIoUnit != 0) return internalFault(2272);
    const int rc = file_.readAt(offset, buffer, length, got);
    if (rc != 0) return ioErrorFromPlatform(rc);
    if (key_)
        for (std::size_t at = 0; at + kIoUnit <= *got; at += kIoUnit) unscrambleBlock(*key_, buffer + at);
    return 0;
}

int BlockIo::readFull(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
    std::size_t got = 0;
    const int rc = read(offset, buffer, length, &got);
    if (rc != 0) return rc;
    return got == length ? 0 : internalFault(2172);
}

int BlockIo::write(std::uint64_t offset, const std::uint8_t* buffer, std::size_t length) {
    if (length % kIoUnit != 0) return internalFault(2286);
    event(false);
    const std::uint8_t* data = buffer;
    if (key_) {
        scratch_.assign(buffer, buffer + length);
        for (std::size_t at = 0; at < length; at += kIoUnit) scrambleBlock(*key_, scratch_.data() + at);
        data = scratch_.data();
    }
    if (plan.mode == FaultPlan::Mode::PowerLoss) {
        Undo undo{offset, std::vector<std::uint8_t>(length), {}};
        if (unflushed_.empty()) undo.tornHalf.assign(data, data + length / 2 / kIoUnit * kIoUnit);
        if (plan.subsetSeed != 0) undo.written.assign(data, data + length);
        std::size_t got = 0;
        file_.readAt(offset, undo.old.data(), length, &got);
        undo.old.resize(got);
        unflushed_.push_back(std::move(undo));
    }
    const int rc = file_.writeAt(offset, data, length);
    if (rc == 0) writtenEnd_ = std::max(writtenEnd_, offset + length);
    return ioErrorFromPlatform(rc);
}

int BlockIo::flush() {
    event(true);
    const int rc = file_.flush();
    if (rc == 0) {
        unflushed_.clear();
        // Only the power-loss simulation needs the length; a real flush asks nothing more.
        if (plan.mode == FaultPlan::Mode::PowerLoss) file_.size(&flushedSize_);
    }
    return ioErrorFromPlatform(rc);
}

int BlockIo::size(std::uint64_t* bytes) {
    return ioErrorFromPlatform(file_.size(bytes));
}

int BlockIo::truncate(std::uint64_t bytes) {
    writtenEnd_ = std::min(writtenEnd_, bytes);
    return ioErrorFromPlatform(file_.resize(bytes));
}

} // namespace docket::drivers::qvn
