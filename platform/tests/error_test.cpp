#include "platform/error.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace docket::platform {
namespace {

TEST(ErrorTest, ErrnoMapsToPlatformCodes) {
    const std::pair<int, int> cases[] = {
        {ENOENT, code::kFileNotFound},     {ENOTDIR, code::kPathNotFound}, {EMFILE, code::kTooManyOpenFiles},
        {ENFILE, code::kTooManyOpenFiles}, {EACCES, code::kAccessDenied},  {EPERM, code::kAccessDenied},
        {EROFS, code::kWriteProtect},      {EBADF, code::kInvalidHandle},  {ENOMEM, code::kNotEnoughMemory},
        {ENOSPC, code::kDiskFull},         {EDQUOT, code::kDiskFull},      {EEXIST, code::kFileExists},
        {EINVAL, code::kInvalidParameter}, {EIO, code::kGeneralFailure},   {EAGAIN, code::kLockViolation},
        {EXDEV, code::kNotSameDevice},
    };
    for (const auto& [err, expected] : cases) EXPECT_EQ(codeFromErrno(err), expected) << errnoText(err);
}

TEST(ErrorTest, FailureIsNeverSuccess) {
    EXPECT_EQ(codeFromErrno(0), code::kGeneralFailure);
    EXPECT_EQ(codeFromErrno(EPROTO), code::kGeneralFailure);
    EXPECT_EQ(codeFromErrno(-1), code::kGeneralFailure);
}

TEST(ErrorTest, EveryMappedCodeHasAText) {
    for (int err = 0; err < 200; ++err) {
        EXPECT_FALSE(systemErrorText(codeFromErrno(err)).empty()) << err;
    }
    EXPECT_EQ(systemErrorText(code::kFileNotFound), "The file could not be found.");
    EXPECT_EQ(systemErrorText(9999), "");
    EXPECT_EQ(systemErrorText(0), "");
}

TEST(ErrorTest, ErrnoTextComesFromTheLibrary) {
    EXPECT_FALSE(errnoText(ENOENT).empty());
    EXPECT_NE(errnoText(ENOENT), errnoText(EACCES));
    EXPECT_FALSE(errnoText(123456).empty());
}

} // namespace
} // namespace docket::platform
