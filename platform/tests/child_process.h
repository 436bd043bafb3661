#pragma once
// Waiting for a forked child in tests: with a deadline, so that a child that hangs fails the test
// instead of stopping the suite. A child still running at the deadline is killed.
#include <sys/types.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <thread>

namespace docket::platform::testing {

// The child's wait status, or -1 when it had to be killed at the deadline (or cannot be waited for).
inline int waitForChild(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(120)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) return status;
        if (done < 0) return -1;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace docket::platform::testing
