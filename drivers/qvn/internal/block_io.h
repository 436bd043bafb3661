#pragma once
// The native file's input and output: whole 64-byte blocks at absolute offsets, scrambled with
// the owner password's key when the file has one, and a fault-injection seam for crash tests.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "drivers/qvn/internal/scramble.h"
#include "platform/file.h"

namespace docket::drivers::qvn {

// Crash simulation for tests. Every write and every flush of any BlockIo in the process is one
// event, counted from 1. When the count reaches `stopAt` the process ends at once with exit code
// kCrashExitCode, before that event takes place:
// - Kill: as a killed process; everything written so far stays (the system keeps it).
// - PowerLoss: as a power failure; the writes since the last flush are undone, except that the
//   first of them is left torn (its first half written, the rest as before).
// - PowerLoss with a `subsetSeed`: as a power failure on a disk that reorders and tears its
//   writes; any subset of the 512-byte sectors written since the last flush reaches the disk,
//   chosen from the seed. A later write can survive an earlier one's loss.
// With `flushesOnly` only flushes count as events, so `stopAt` names the n-th flush: the moment
// with the most writes in flight.
struct FaultPlan {
    enum class Mode { None, Kill, PowerLoss };
    Mode mode = Mode::None;
    long stopAt = 0;
    std::uint64_t subsetSeed = 0;
    bool flushesOnly = false;
};
inline constexpr int kCrashExitCode = 75;

void setFaultPlan(const FaultPlan& plan);
long ioEventCount();
void resetIoEventCount();

class BlockIo {
public:
    // Returns a platform code.
    int open(const std::string& path, platform::Access access, platform::Share share,
             platform::Disposition disposition);
    void close();
    bool isOpen() const { return file_.isOpen(); }
    void setKey(std::optional<ScrambleKey> key) { key_ = key; }

    // Driver results: 0, 90 (platform code recorded), or the result of an integrity stop.
    int read(std::uint64_t offset, std::uint8_t* buffer, std::size_t length, std::size_t* got);
    // A read that must return all `length` bytes (2172 otherwise).
    int readFull(std::uint64_t offset, std::uint8_t* buffer, std::size_t length);
    int write(std::uint64_t offset, const std::uint8_t* buffer, std::size_t length);
    int flush();
    int size(std::uint64_t* bytes);
    int truncate(std::uint64_t bytes);
    // The end of the furthest write since the last truncate or forgetWrittenEnd(): the file is at
    // least this long unless another station shortened it meanwhile. Stations change the file only
    // inside their own accesses, so the owner forgets it whenever an access begins.
    std::uint64_t writtenEnd() const { return writtenEnd_; }
    void forgetWrittenEnd() { writtenEnd_ = 0; }

    platform::File& file() { return file_; }

private:
    struct Undo {
        std::uint64_t offset;
        std::vector<std::uint8_t> old;      // what the bytes held before (shorter past the end)
        std::vector<std::uint8_t> tornHalf; // the first half of the first lost write
        std::vector<std::uint8_t> written;  // what was written (only for a subset power loss)
    };
    void event(bool isFlush);
    void powerLoss();

    platform::File file_;
    std::optional<ScrambleKey> key_;
    std::vector<std::uint8_t> scratch_;
    std::vector<Undo> unflushed_;
    std::uint64_t flushedSize_ = 0; // the length at the last flush, for the power-loss simulation
    std::uint64_t writtenEnd_ = 0;
};

} // namespace docket::drivers::qvn
