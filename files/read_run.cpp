#include "files/read_run.h"

#include "drivers/driver_registry.h"
#include "runtime/core/error_state.h"

namespace docket::runtime {
namespace {

// Sends a run switch to the driver and leaves the thread's error state alone.
bool sendRunSwitch(drivers::DriverFile& file, const char* command) {
    const int code = errorCode();
    const int fileCode = fileErrorCode();
    drivers::DriverArguments args;
    args.text = command;
    const int rc = drivers::callDriver(drivers::OperationCode::SEND, file, args);
    if (code == kFileSystemError)
        setFileError(fileCode);
    else
        setError(code);
    return rc == 0;
}

} // namespace

ReadRun::ReadRun(drivers::DriverFile& file) {
    if (file.state && sendRunSwitch(file, "READRUN=ON")) file_ = &file;
}

ReadRun::~ReadRun() {
    if (file_ && file_->state) sendRunSwitch(*file_, "READRUN=OFF");
}

} // namespace docket::runtime
