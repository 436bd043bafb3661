#include "runtime/core/thread_hook.h"

#include <atomic>

#include "runtime/core/thread_state.h"

namespace docket::runtime {
namespace {

std::atomic<ThreadNumberHook> installedHook{nullptr};
std::atomic<int> nextOsThreadNumber{1};

// An OS thread that numbered itself ends its program-thread state when it exits.
struct OsThread {
    int number = nextOsThreadNumber.fetch_add(1);
    ~OsThread() { endThread(number); }
};

int osThreadNumber() {
    thread_local OsThread thread;
    return thread.number;
}

} // namespace

void setThreadNumberHook(ThreadNumberHook hook) { installedHook.store(hook); }

int currentThreadNumber() {
    ThreadNumberHook hook = installedHook.load();
    return hook ? hook() : osThreadNumber();
}

} // namespace docket::runtime
