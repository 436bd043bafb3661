#include "runtime/core/fatal.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

namespace docket::runtime {

namespace {

std::mutex hookMutex;
FatalHook installedHook;

} // namespace

FatalHook setFatalHook(FatalHook hook) {
    std::lock_guard lock(hookMutex);
    return std::exchange(installedHook, std::move(hook));
}

void fatal(const std::string& message) {
    FatalHook hook;
    {
        std::lock_guard lock(hookMutex);
        hook = installedHook;
    }
    if (hook) {
        hook(message);
        return;
    }
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    std::exit(1);
}

} // namespace docket::runtime
