#include "classes/data/message_hook.h"

#include <mutex>
#include <utility>

#include "drivers/driver_registry.h"

namespace docket::classes {
namespace {

std::mutex hookMutex;
MessageHook installedHook;

} // namespace

MessageHook setMessageHook(MessageHook hook) {
    std::lock_guard lock(hookMutex);
    return std::exchange(installedHook, std::move(hook));
}

ButtonSet showMessage(const MessageRequest& request) {
    MessageHook hook;
    {
        // The hook runs outside the lock: a message box runs a modal loop, and the code it runs may
        // report a message of its own.
        std::lock_guard lock(hookMutex);
        hook = installedHook;
    }
    // A box waits for the user: no file keeps a reader slot meanwhile (a list filling its page
    // holds one across its reads).
    if (hook) drivers::releaseBeforeUserWait();
    return hook ? hook(request) : request.defaultButton;
}

} // namespace docket::classes
