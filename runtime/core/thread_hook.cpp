#include "runtime/core/thread_hook.h"

#include <atomic>

namespace docket::runtime {
namespace {

std::atomic<ThreadNumberHook> installedHook{nullptr};
std::atomic<int> nextOsThreadNumber{1};

int osThreadNumber() {
    thread_local int number = nextOsThreadNumber.fetch_add(1);
    return number;
}

} // namespace

void setThreadNumberHook(ThreadNumberHook hook) { installedHook.store(hook); }

int currentThreadNumber() {
    ThreadNumberHook hook = installedHook.load();
    return hook ? hook() : osThreadNumber();
}

} // namespace docket::runtime
