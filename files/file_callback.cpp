#include "files/file_callback.h"

#include <mutex>
#include <unordered_map>

#include "runtime/core/error_state.h"
#include "files/file_statements.h"

namespace docket::runtime {

namespace detail {
std::atomic<int> registeredFileCallbacks{0};
}

namespace {

std::mutex callbackMutex;

std::unordered_map<const DriverFile*, FileCallback*>& callbacks() {
    static std::unordered_map<const DriverFile*, FileCallback*> map;
    return map;
}

} // namespace

void registerFileCallback(DriverFile& file, FileCallback& callback) {
    std::lock_guard lock(callbackMutex);
    callbacks()[&file] = &callback;
    detail::registeredFileCallbacks.store(static_cast<int>(callbacks().size()), std::memory_order_relaxed);
}

void unregisterFileCallback(DriverFile& file, const FileCallback& callback) {
    std::lock_guard lock(callbackMutex);
    auto it = callbacks().find(&file);
    if (it != callbacks().end() && it->second == &callback) callbacks().erase(it);
    detail::registeredFileCallbacks.store(static_cast<int>(callbacks().size()), std::memory_order_relaxed);
}

FileCallback* fileCallbackOf(const DriverFile& file) {
    std::lock_guard lock(callbackMutex);
    auto it = callbacks().find(&file);
    return it == callbacks().end() ? nullptr : it->second;
}

int callWithFileCallback(OperationCode code, DriverFile& file, DriverArguments& args, DriverCall driverCall) {
    FileCallback* callback = fileCallbackOf(file);
    if (!callback) return driverCall(code, file, args);
    int rc = callback->operationStarting(code, file);
    if (rc == 0) {
        rc = driverCall(code, file, args);
    } else {
        setError(rc);
    }
    // The callback may have gone during the operation (a DESTROY shuts its owner down): ask again.
    if (FileCallback* after = fileCallbackOf(file)) {
        const int kept = errorCode();
        const int keptFile = fileErrorCode();
        after->operationDone(code, file);
        // The result of the operation stays the thread's last error whatever the callback ran.
        if (kept == kFileSystemError)
            setFileError(keptFile);
        else
            setError(kept);
    }
    return rc;
}

int destroyFile(DriverFile& file) {
    if (FileCallback* callback = fileCallbackOf(file))
        callback->operationStarting(OperationCode::DESTROY, file);
    int rc = 0;
    if (file.state) rc = close(file);
    if (FileCallback* callback = fileCallbackOf(file)) callback->operationDone(OperationCode::DESTROY, file);
    setError(rc);
    return rc;
}

} // namespace docket::runtime
