#pragma once
// Integrity stops of the native driver. `internalFault` reports "Possible data corruption in file
// (N)" through the runtime's fatal-error path, which halts the program. Only a test hook returns;
// then the driver fails the operation with 36 ("Invalid Data File"), which is what internalFault
// returns, so every call site reads `return internalFault(N);`.
#include <string>

#include "runtime/core/error_codes.h"

namespace docket::drivers::qvn {

inline constexpr int kInvalidDataFile = runtime::error::kInvalidDataFile;

int internalFault(int checkPoint);
std::string faultMessage(int checkPoint);

} // namespace docket::drivers::qvn
