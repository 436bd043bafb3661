#include "platform/file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/error.h"

namespace docket::platform {
namespace {

// Share-mode bytes, relative to kShareLockBase. Every open holds a shared lock on the bytes of the
// access it has and of the access it denies; the guard byte is held exclusively while an open
// checks and takes its bytes, so two opens never check at the same time.
constexpr std::uint64_t kHasRead = 0;
constexpr std::uint64_t kHasWrite = 1;
constexpr std::uint64_t kDeniesRead = 2;
constexpr std::uint64_t kDeniesWrite = 3;
constexpr std::uint64_t kGuard = 8;

constexpr std::uint64_t kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());

bool deniesRead(Share share) {
    return share == Share::DenyRead || share == Share::Exclusive;
}
bool deniesWrite(Share share) {
    return share == Share::DenyWrite || share == Share::Exclusive;
}

// Applies an OFD lock command; retries when a signal interrupts a waiting lock.
int ofdLock(int fd, int command, short type, std::uint64_t offset, std::uint64_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = static_cast<off_t>(length);
    int result;
    do {
        result = fcntl(fd, command, &lock);
    } while (result < 0 && errno == EINTR);
    return result;
}

// True when an open file description other than `fd`'s holds a lock on the share byte.
// F_OFD_GETLK reports only locks of other descriptions, and probing with a write lock finds
// shared locks as well.
bool othersHold(int fd, std::uint64_t byte, int* err) {
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = static_cast<off_t>(kShareLockBase + byte);
    probe.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &probe) < 0) {
        *err = errno;
        return false;
    }
    return probe.l_type != F_UNLCK;
}

int openFlags(Access access, Disposition disposition) {
    int flags = O_CLOEXEC | (access == Access::ReadWrite ? O_RDWR : O_RDONLY);
    switch (disposition) {
    case Disposition::OpenExisting:
        break;
    case Disposition::OpenAlways:
    // Truncation waits until the share check has passed: a file that another open denies us must
    // not lose its contents.
    case Disposition::CreateAlways:
        flags |= O_CREAT;
        break;
    case Disposition::CreateNew:
        flags |= O_CREAT | O_EXCL;
        break;
    }
    return flags;
}

// ENOENT does not tell a missing file from a missing folder; the platform codes do (2 and 3).
int missingCode(const std::string& path, int err) {
    if (err != ENOENT) return codeFromErrno(err);
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return code::kFileNotFound;
    struct stat info {};
    const std::string folder = path.substr(0, slash);
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? code::kFileNotFound
                                                                       : code::kPathNotFound;
}

} // namespace

File::~File() {
    close();
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), access_(other.access_), position_(other.position_),
      lastErrno_(other.lastErrno_), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        access_ = other.access_;
        position_ = other.position_;
        lastErrno_ = other.lastErrno_;
        path_ = std::move(other.path_);
    }
    return *this;
}

int File::fail(int err) {
    lastErrno_ = err;
    return codeFromErrno(err);
}

int File::open(const std::string& path, Access access, Share share, Disposition disposition) {
    close();
    lastErrno_ = 0;
    int fd;
    do {
        fd = ::open(path.c_str(), openFlags(access, disposition), 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        lastErrno_ = errno;
        return missingCode(path, lastErrno_);
    }

    struct stat info {};
    if (fstat(fd, &info) < 0 || S_ISDIR(info.st_mode)) {
        const int err = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(fd);
        return fail(err);
    }

    fd_ = fd;
    access_ = access;
    position_ = 0;
    path_ = path;
    if (const int result = takeShareLocks(share); result != 0) {
        ::close(fd_);
        fd_ = -1;
        path_.clear();
        return result;
    }
    if (disposition == Disposition::CreateAlways && info.st_size != 0) {
        const int result = access == Access::ReadWrite ? ftruncate(fd_, 0) : ::truncate(path.c_str(), 0);
        if (result < 0) {
            const int err = errno;
            close();
            return fail(err);
        }
    }
    return 0;
}

int File::takeShareLocks(Share share) {
    // The guard needs a descriptor open for writing. A read-only open borrows a second descriptor
    // of its own for it; when the file cannot be opened for writing at all the guard is skipped:
    // nobody can then hold write access, and because every open takes its own bytes before it
    // checks the others, two racing opens can at worst both refuse, never both succeed wrongly.
    int guardFd = -1;
    bool ownGuardFd = false;
    if (access_ == Access::ReadWrite) {
        guardFd = fd_;
    } else {
        do {
            guardFd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
        } while (guardFd < 0 && errno == EINTR);
        ownGuardFd = guardFd >= 0;
    }
    if (guardFd >= 0 && ofdLock(guardFd, F_OFD_SETLKW, F_WRLCK, kShareLockBase + kGuard, 1) < 0) {
        const int err = errno;
        if (ownGuardFd) ::close(guardFd);
        return fail(err);
    }

    int err = 0;
    const bool write = access_ == Access::ReadWrite;
    const bool holds[] = {true, write, deniesRead(share), deniesWrite(share)};
    for (std::uint64_t byte = 0; byte < 4 && err == 0; ++byte) {
        if (holds[byte] && ofdLock(fd_, F_OFD_SETLK, F_RDLCK, kShareLockBase + byte, 1) < 0) err = errno;
    }
    bool conflict = false;
    if (err == 0) {
        // Every open reads; what the others deny must not touch what this open asks for, and what
        // this open denies must not touch what the others hold.
        conflict = othersHold(fd_, kDeniesRead, &err) || (write && othersHold(fd_, kDeniesWrite, &err)) ||
                   (deniesRead(share) && othersHold(fd_, kHasRead, &err)) ||
                   (deniesWrite(share) && othersHold(fd_, kHasWrite, &err));
    }

    if (guardFd >= 0) {
        if (ownGuardFd) {
            ::close(guardFd);
        } else {
            ofdLock(guardFd, F_OFD_SETLK, F_UNLCK, kShareLockBase + kGuard, 1);
        }
    }
    if (err != 0) return fail(err);
    if (conflict) {
        lastErrno_ = EBUSY;
        return code::kSharingViolation;
    }
    return 0;
}

int File::close() {
    if (fd_ < 0) return 0;
    const int fd = std::exchange(fd_, -1);
    path_.clear();
    position_ = 0;
    // The descriptor is gone even when close reports an error, so it is never retried.
    if (::close(fd) < 0 && errno != EINTR) return fail(errno);
    return 0;
}

int File::seek(std::int64_t offset, Whence whence, std::uint64_t* newPosition) {
    if (fd_ < 0) return fail(EBADF);
    std::int64_t origin = 0;
    if (whence == Whence::Current) {
        origin = static_cast<std::int64_t>(position_);
    } else if (whence == Whence::End) {
        std::uint64_t end = 0;
        if (const int result = size(&end); result != 0) return result;
        origin = static_cast<std::int64_t>(end);
    }
    if ((offset < 0 && origin + offset < 0) ||
        (offset > 0 && static_cast<std::uint64_t>(offset) > kMaxOffset - static_cast<std::uint64_t>(origin)))
        return fail(EINVAL);
    position_ = static_cast<std::uint64_t>(origin + offset);
    if (newPosition != nullptr) *newPosition = position_;
    return 0;
}

int File::read(void* buffer, std::size_t count, std::size_t* got) {
    std::size_t done = 0;
    const int result = readAt(position_, buffer, count, &done);
    position_ += done;
    if (got != nullptr) *got = done;
    return result;
}

int File::write(const void* buffer, std::size_t count) {
    const int result = writeAt(position_, buffer, count);
    if (result == 0) position_ += count;
    return result;
}

int File::readAt(std::uint64_t offset, void* buffer, std::size_t count, std::size_t* got) {
    if (got != nullptr) *got = 0;
    if (fd_ < 0) return fail(EBADF);
    if (offset > kMaxOffset) return fail(EINVAL);
    auto* bytes = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = pread(fd_, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            if (got != nullptr) *got = done;
            return fail(errno);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    if (got != nullptr) *got = done;
    return 0;
}

int File::writeAt(std::uint64_t offset, const void* buffer, std::size_t count) {
    if (fd_ < 0) return fail(EBADF);
    if (access_ != Access::ReadWrite) return fail(EACCES);
    if (offset > kMaxOffset || count > kMaxOffset - offset) return fail(EINVAL);
    const auto* bytes = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = pwrite(fd_, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        // A write that makes no progress without an error means the device is full.
        if (n == 0) return fail(ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int File::setEnd() {
    return resize(position_);
}

int File::resize(std::uint64_t newSize) {
    if (fd_ < 0) return fail(EBADF);
    if (access_ != Access::ReadWrite) return fail(EACCES);
    if (newSize > kMaxOffset) return fail(EINVAL);
    int result;
    do {
        result = ftruncate(fd_, static_cast<off_t>(newSize));
    } while (result < 0 && errno == EINTR);
    return result < 0 ? fail(errno) : 0;
}

int File::size(std::uint64_t* result) const {
    struct stat info {};
    if (fd_ < 0 || fstat(fd_, &info) < 0) {
        lastErrno_ = fd_ < 0 ? EBADF : errno;
        return codeFromErrno(lastErrno_);
    }
    *result = static_cast<std::uint64_t>(info.st_size);
    return 0;
}

int File::flush() {
    if (fd_ < 0) return fail(EBADF);
    int result;
    do {
        result = fdatasync(fd_);
    } while (result < 0 && errno == EINTR);
    return result < 0 ? fail(errno) : 0;
}

int File::tryLock(std::uint64_t offset, std::uint64_t length) {
    if (fd_ < 0) return fail(EBADF);
    if (length == 0 || offset > kMaxOffset || length > kMaxOffset - offset + 1) return fail(EINVAL);
    const short type = access_ == Access::ReadWrite ? F_WRLCK : F_RDLCK;
    if (ofdLock(fd_, F_OFD_SETLK, type, offset, length) == 0) return 0;
    if (errno == EAGAIN || errno == EACCES) {
        lastErrno_ = errno;
        return code::kLockViolation;
    }
    return fail(errno);
}

int File::unlock(std::uint64_t offset, std::uint64_t length) {
    if (fd_ < 0) return fail(EBADF);
    if (length == 0 || offset > kMaxOffset || length > kMaxOffset - offset + 1) return fail(EINVAL);
    return ofdLock(fd_, F_OFD_SETLK, F_UNLCK, offset, length) < 0 ? fail(errno) : 0;
}

bool File::lockedByOthers(std::uint64_t offset, std::uint64_t length) const {
    if (fd_ < 0 || length == 0 || offset > kMaxOffset || length > kMaxOffset - offset + 1) return false;
    struct flock probe {};
    probe.l_type = F_WRLCK; // a write probe finds shared locks as well
    probe.l_whence = SEEK_SET;
    probe.l_start = static_cast<off_t>(offset);
    probe.l_len = static_cast<off_t>(length);
    if (fcntl(fd_, F_OFD_GETLK, &probe) < 0) return false;
    return probe.l_type != F_UNLCK;
}

int File::remove(const std::string& path) {
    return ::unlink(path.c_str()) < 0 ? missingCode(path, errno) : 0;
}

int File::rename(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return missingCode(from, errno);
    // The file system cannot refuse the replacement itself; a link keeps the refusal atomic.
    if (::link(from.c_str(), to.c_str()) < 0) return missingCode(from, errno);
    if (::unlink(from.c_str()) < 0) {
        const int err = errno;
        ::unlink(to.c_str());
        return codeFromErrno(err);
    }
    return 0;
}

bool File::exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace docket::platform
