#include "drivers/qvn/internal/fault.h"

#include "runtime/core/fatal.h"

namespace docket::drivers::qvn {

std::string faultMessage(int checkPoint) {
    return "Possible data corruption in file (" + std::to_string(checkPoint) + ")";
}

// The caption of the box that shows an integrity stop.
const char* const kFaultCaption = "Quorvane File Driver Error";

int internalFault(int checkPoint) {
    runtime::fatal(faultMessage(checkPoint), kFaultCaption);
    return kInvalidDataFile;
}

} // namespace docket::drivers::qvn
