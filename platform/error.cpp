#include "platform/error.h"

#include <cerrno>
#include <cstring>

namespace docket::platform {
namespace {

struct CodeText {
    int code;
    const char* text;
};

// The message texts, ascending by code. Codes that the system never produces on this platform
// (network, printing, floppy-era device errors) still have a text, because stored codes can come
// from anywhere and the runtime shows whatever it is given.
constexpr CodeText kTexts[] = {
    {1, "The requested function is not supported."},
    {2, "The file could not be found."},
    {3, "The path could not be found."},
    {4, "Too many files are open."},
    {5, "Access to the file was denied."},
    {6, "The file handle is not valid."},
    {7, "The memory control blocks were destroyed."},
    {8, "There is not enough memory to complete the operation."},
    {9, "The memory block address is not valid."},
    {10, "The environment is not valid."},
    {11, "The program was loaded with an incorrect format."},
    {12, "The access code is not valid."},
    {13, "The data is not valid."},
    {14, "There is not enough storage to complete the operation."},
    {15, "The drive could not be found."},
    {16, "The current directory cannot be removed."},
    {17, "The file cannot be moved to a different device."},
    {18, "There are no more files."},
    {19, "The medium is write protected."},
    {20, "The device could not be found."},
    {21, "The device is not ready."},
    {22, "The device does not recognise the command."},
    {23, "A data error occurred (cyclic redundancy check)."},
    {24, "The length of the command is not valid."},
    {25, "The requested area of the drive could not be located."},
    {26, "The disk cannot be accessed."},
    {27, "The requested sector could not be found."},
    {28, "The printer is out of paper."},
    {29, "The device could not be written to."},
    {30, "The device could not be read from."},
    {31, "A device attached to the system is not working."},
    {32, "The file is in use by another process and cannot be accessed."},
    {33, "A portion of the file is locked by another process."},
    {34, "The wrong medium is in the drive."},
    {36, "Too many files are open for sharing."},
    {38, "The end of the file has been reached."},
    {39, "The disk is full."},
    {50, "The request is not supported."},
    {51, "The remote computer is not available."},
    {52, "A duplicate name exists on the network."},
    {53, "The network path could not be found."},
    {54, "The network is busy."},
    {55, "The network resource or device is no longer available."},
    {59, "An unexpected network error occurred."},
    {64, "The network name is no longer available."},
    {65, "Network access was denied."},
    {67, "The network name could not be found."},
    {80, "The file already exists."},
    {82, "The directory or file cannot be created."},
    {86, "The network password is not correct."},
    {87, "A parameter is not valid."},
    {88, "A write fault occurred on the network."},
};

} // namespace

int codeFromErrno(int err) {
    switch (err) {
    case ENOENT:
        return code::kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return code::kPathNotFound;
    case EMFILE:
    case ENFILE:
        return code::kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ENOTEMPTY:
        return code::kAccessDenied;
    // A read-only file system is the write protection of this platform.
    case EROFS:
        return code::kWriteProtect;
    case EBADF:
    case ESTALE:
        return code::kInvalidHandle;
    case ENOMEM:
        return code::kNotEnoughMemory;
    case EILSEQ:
        return code::kInvalidData;
    case EXDEV:
        return code::kNotSameDevice;
    case ESPIPE:
        return code::kSeekFailed;
    case ETXTBSY:
    case EBUSY:
        return code::kSharingViolation;
    case EAGAIN:
    case EDEADLK:
        return code::kLockViolation;
    case ENOLCK:
        return code::kSharingBufferExceeded; // the system's lock table is full
    // A file that would grow beyond the largest size the file system allows is as good as a full disk.
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return code::kDiskFull;
    case ENOSYS:
    case EOPNOTSUPP:
        return code::kNotSupported;
    case EEXIST:
        return code::kFileExists;
    case EINVAL:
    case EFAULT:
    case EOVERFLOW:
        return code::kInvalidParameter;
    case ENXIO:
    case ENODEV:
        return code::kNotReady;
    default:
        // Also errno 0: a call that failed is never reported as success.
        return code::kGeneralFailure;
    }
}

std::string systemErrorText(int platformCode) {
    for (const CodeText& entry : kTexts) {
        if (entry.code == platformCode) return entry.text;
    }
    return {};
}

namespace {
// strerror_r comes in two shapes; overloads pick the one the C library declares.
[[maybe_unused]] std::string strerrorResult(int result, const char* buffer) {
    return result == 0 ? std::string(buffer) : std::string();
}
[[maybe_unused]] std::string strerrorResult(const char* result, const char*) {
    return result != nullptr ? std::string(result) : std::string();
}
} // namespace

std::string errnoText(int err) {
    char buffer[256] = {};
    std::string text = strerrorResult(strerror_r(err, buffer, sizeof buffer), buffer);
    if (text.empty()) text = "Unknown error " + std::to_string(err);
    return text;
}

} // namespace docket::platform
