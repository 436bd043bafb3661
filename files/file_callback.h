#pragma once
// Per-file callbacks around driver operations. An object that manages a declared file (the table
// access objects of the application classes) registers one callback for the file's runtime block;
// every file statement on that block then tells the callback before the driver runs and after it
// returned. The callback may refuse an operation by answering an error code, which becomes the
// statement's result without the driver being called.
//
// While no callback is registered anywhere, a statement pays one relaxed atomic load for this.
//
// Callbacks run on the thread of the statement, without any lock of this registry held, so a
// callback may itself run file statements (on the same file too) and may unregister itself.
// Unregistering must not race with a statement on the same file on another thread.
#include <atomic>

#include "drivers/driver.h"

namespace docket::runtime {

using drivers::DriverArguments;
using drivers::DriverFile;
using drivers::OperationCode;

class FileCallback {
public:
    virtual ~FileCallback() = default;
    // Before the driver runs `code` on `file`: 0 lets it run; any other value is the operation's
    // result instead (the driver is not called).
    virtual int operationStarting(OperationCode code, DriverFile& file) = 0;
    // After the operation (also after a refused one); the thread's last error holds its result.
    virtual void operationDone(OperationCode code, DriverFile& file) = 0;
};

// Registers `callback` for `file`, replacing any earlier callback of that file.
void registerFileCallback(DriverFile& file, FileCallback& callback);
// Removes the callback of `file` when it is `callback` (a later registration is left alone).
void unregisterFileCallback(DriverFile& file, const FileCallback& callback);
// The callback registered for `file`, null when there is none.
FileCallback* fileCallbackOf(const DriverFile& file);

namespace detail {
extern std::atomic<int> registeredFileCallbacks;
}

// True while any callback is registered: the statements take the slow path only then.
inline bool fileCallbacksActive() {
    return detail::registeredFileCallbacks.load(std::memory_order_relaxed) != 0;
}

// Runs one driver operation through `driverCall` with the file's callback around it. The result
// (the callback's refusal or the driver's code) is kept as the thread's last error.
using DriverCall = int (*)(OperationCode code, DriverFile& file, DriverArguments& args);
int callWithFileCallback(OperationCode code, DriverFile& file, DriverArguments& args, DriverCall driverCall);

// The end of a declared file's runtime block (its owner going away, or the end of the thread of a
// per-thread file): the callback sees DESTROY (104) starting, a file still open is closed, and the
// callback sees DESTROY done. No driver is asked to DESTROY. Returns the result of the close, 0
// when the file was not open.
int destroyFile(DriverFile& file);

} // namespace docket::runtime
