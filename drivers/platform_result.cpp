#include "drivers/platform_result.h"

#include "drivers/driver_registry.h"
#include "platform/error.h"
#include "platform/file.h"
#include "runtime/core/error_codes.h"

namespace docket::drivers {

int fileErrorFromPlatform(int platformCode) {
    namespace code = platform::code;
    switch (platformCode) {
    case 0: return 0;
    case code::kFileNotFound: return runtime::error::kFileNotFound;
    case code::kPathNotFound: return runtime::error::kPathNotFound;
    case code::kTooManyOpenFiles: return runtime::error::kTooManyOpenFiles;
    case code::kAccessDenied:
    case code::kSharingViolation: return runtime::error::kAccessDenied;
    default: return ioErrorFromPlatform(platformCode);
    }
}

int ioErrorFromPlatform(int platformCode) {
    if (platformCode == 0) return 0;
    setPlatformError(platformCode);
    return runtime::error::kFileSystemError;
}

OpenMode decodeOpenMode(unsigned accessWord) {
    OpenMode mode{(accessWord & 0x3) != 0, static_cast<int>(platform::Share::All)};
    switch (accessWord & 0x70) {
    case 0x10: mode.share = static_cast<int>(platform::Share::Exclusive); break;
    case 0x20: mode.share = static_cast<int>(platform::Share::DenyWrite); break;
    case 0x30: mode.share = static_cast<int>(platform::Share::DenyRead); break;
    default: break;
    }
    return mode;
}

} // namespace docket::drivers
