#pragma once
// Files with the share modes and byte-range locks that the data files rely on.
//
// Linux has no share modes, so they are emulated: every open takes shared open-file-description
// locks (fcntl F_OFD_*) on a few reserved bytes just below 0x80000000, one byte per kind of access
// it holds and per kind of access it denies. A new open takes its bytes and then checks, under a
// short exclusive guard lock, that no other open denies what it asks for and that it denies
// nothing another open holds (every open reads). The guard is taken through a descriptor open for
// writing; when the file cannot be opened for writing at all it is skipped, and two racing opens
// can then at worst both be refused. OFD locks belong to the open file description, so two opens
// in one process conflict exactly as two opens in two processes do. Data bytes are never locked by
// this scheme. CreateAlways empties an existing file only after the share check has passed.
//
// Byte-range locks (`tryLock`/`unlock`) are OFD locks too and never wait: a caller that must have
// the lock retries. They are exclusive when the file is open for writing; a read-only open cannot
// take a write lock on Linux, so its locks are shared, which still excludes every writer's lock on
// the same bytes. Locks of one open never conflict with each other: locking a range this open
// already holds succeeds, and an unlock releases every byte of its range that this open holds,
// however it was taken. Closing the file releases all its locks.
//
// Every operation returns a platform error code: 0 for success, otherwise the DOS-style code of
// platform/error.h (2 file not found, 5 access denied, 32 sharing violation, 33 lock violation, ...).
#include <cstddef>
#include <cstdint>
#include <string>

namespace docket::platform {

enum class Access { ReadOnly, ReadWrite };

// Who else may open the file while this open lasts.
enum class Share { All, DenyWrite, DenyRead, Exclusive };

enum class Disposition {
    OpenExisting, // fails with 2 when missing
    OpenAlways,   // created when missing
    CreateNew,    // fails with 80 when it exists
    CreateAlways  // created, or truncated when it exists
};

enum class Whence { Begin, Current, End };

// First byte of the range reserved for share-mode emulation; the range ends below 0x80000000,
// where byte-range locks of the data files begin.
inline constexpr std::uint64_t kShareLockBase = 0x7FFFFF00u;

class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    // Opens `path`; on failure the object stays closed and the platform code is returned
    // (32 when the share modes of another open conflict).
    int open(const std::string& path, Access access, Share share, Disposition disposition);
    int close();
    bool isOpen() const { return fd_ >= 0; }
    bool writable() const { return access_ == Access::ReadWrite; }
    const std::string& path() const { return path_; }

    // Sequential access through the file pointer.
    int seek(std::int64_t offset, Whence whence, std::uint64_t* newPosition = nullptr);
    int read(void* buffer, std::size_t count, std::size_t* got);
    int write(const void* buffer, std::size_t count);
    std::uint64_t position() const { return position_; }

    // Positioned access; the file pointer is left alone. A read past the end returns fewer bytes.
    int readAt(std::uint64_t offset, void* buffer, std::size_t count, std::size_t* got);
    int writeAt(std::uint64_t offset, const void* buffer, std::size_t count);

    int setEnd();                   // truncates or extends the file at the file pointer
    int resize(std::uint64_t size); // truncates or extends to `size`
    int size(std::uint64_t* size) const;
    int flush(); // data reaches the disk (fdatasync)

    // Byte-range locks: 0 when taken, 33 when another open holds a conflicting lock.
    int tryLock(std::uint64_t offset, std::uint64_t length);
    int unlock(std::uint64_t offset, std::uint64_t length);
    // Whether another open holds any lock on the range; nothing is taken. False when the file
    // cannot be asked.
    bool lockedByOthers(std::uint64_t offset, std::uint64_t length) const;

    // errno of the last failing call, for the text of a file system error.
    int lastErrno() const { return lastErrno_; }

    static int remove(const std::string& path);
    // Never replaces an existing file: 80 when `to` exists.
    static int rename(const std::string& from, const std::string& to);
    static bool exists(const std::string& path);

private:
    int fail(int err);
    int takeShareLocks(Share share);

    int fd_ = -1;
    Access access_ = Access::ReadOnly;
    std::uint64_t position_ = 0;
    mutable int lastErrno_ = 0;
    std::string path_;
};

} // namespace docket::platform
