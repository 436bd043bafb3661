#include "runtime/core/fatal.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>

namespace docket::runtime {

namespace {

std::mutex hookMutex;
FatalHook installedHook;
thread_local std::string currentCaption;

} // namespace

FatalHook setFatalHook(FatalHook hook) {
    std::lock_guard lock(hookMutex);
    return std::exchange(installedHook, std::move(hook));
}

const std::string& fatalCaption() { return currentCaption; }

void fatal(const std::string& message, const std::string& caption) {
    FatalHook hook;
    {
        std::lock_guard lock(hookMutex);
        hook = installedHook;
    }
    if (hook) {
        const std::string previous = std::exchange(currentCaption, caption);
        hook(message);
        currentCaption = previous;
        return;
    }
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    std::exit(1);
}

} // namespace docket::runtime
