#pragma once
// Platform error codes: the DOS-style numbers that the runtime shows as 300 plus the code when a
// file system call fails (2 file not found, 5 access denied, ...), mapped from errno, and the
// system's own texts for them (the stand-in for the platform's message formatter).
#include <string>

namespace docket::platform {

namespace code {
inline constexpr int kInvalidFunction = 1;
inline constexpr int kFileNotFound = 2;
inline constexpr int kPathNotFound = 3;
inline constexpr int kTooManyOpenFiles = 4;
inline constexpr int kAccessDenied = 5;
inline constexpr int kInvalidHandle = 6;
inline constexpr int kNotEnoughMemory = 8;
inline constexpr int kInvalidData = 13;
inline constexpr int kNotSameDevice = 17;
inline constexpr int kWriteProtect = 19;
inline constexpr int kNotReady = 21;
inline constexpr int kSeekFailed = 25;
inline constexpr int kWriteFault = 29;
inline constexpr int kReadFault = 30;
inline constexpr int kGeneralFailure = 31;
inline constexpr int kSharingViolation = 32;
inline constexpr int kLockViolation = 33;
inline constexpr int kSharingBufferExceeded = 36;
inline constexpr int kHandleEof = 38;
inline constexpr int kDiskFull = 39;
inline constexpr int kNotSupported = 50;
inline constexpr int kFileExists = 80;
inline constexpr int kInvalidParameter = 87;
inline constexpr int kUnknown = 91;
} // namespace code

// The DOS-style code for an errno value (ENOENT 2, EACCES 5, EBADF 6, ENOMEM 8, ENOSPC 39, ...);
// errno values without a counterpart, and 0, map to 31, general failure, so that a failed call
// is never reported as success.
int codeFromErrno(int err);

// The system's text for a platform code, as the message formatter would give it; empty when the
// system has no text for the code.
std::string systemErrorText(int platformCode);

// The C library's text for an errno value.
std::string errnoText(int err);

} // namespace docket::platform
