#include "drivers/qvn/fault.h"

#include "runtime/core/fatal.h"

namespace docket::drivers::qvn {

std::string faultMessage(int checkPoint) {
    return "Possible data corruption in file (" + std::to_string(checkPoint) + ")";
}

int internalFault(int checkPoint) {
    runtime::fatal(faultMessage(checkPoint));
    return kInvalidDataFile;
}

} // namespace docket::drivers::qvn
