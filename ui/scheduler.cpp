#include "ui/scheduler.h"

#include "runtime/core/thread_hook.h"
#include "runtime/core/thread_state.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <boost/context/fiber.hpp>
#include <boost/context/protected_fixedsize_stack.hpp>

#include <algorithm>
#include <cstdio>
#include <exception>

namespace docket::ui {

namespace ctx = boost::context;

// 1 MiB of stack with a guard page below it: procedures keep record buffers and strings of a few
// kilobytes on the stack, and nested windows stack their procedures on the same fiber.
static constexpr std::size_t kStackSize = 1024 * 1024;

struct Scheduler::Fiber {
    int number = 0;
    ctx::fiber context;
    ctx::fiber back; // the scheduler's context while this fiber runs
    std::function<void()> body;
    std::function<bool()> ready; // empty: runnable
    bool started = false;
    bool done = false;
    std::vector<Window*> windows;
};

namespace {
int threadNumberHook() {
    return Scheduler::instance().current();
}
std::vector<Window*> gNoWindows;
} // namespace

Scheduler& Scheduler::instance() {
    static Scheduler scheduler;
    return scheduler;
}

Scheduler::Scheduler() {}
Scheduler::~Scheduler() = default;

int Scheduler::start(std::function<void()> body) {
    auto fiber = std::make_unique<Fiber>();
    fiber->number = nextNumber_++;
    fiber->body = std::move(body);
    Fiber* raw = fiber.get();
    raw->context =
        ctx::fiber(std::allocator_arg, ctx::protected_fixedsize_stack(kStackSize), [raw](ctx::fiber&& back) {
            raw->back = std::move(back);
            try {
                raw->body();
            } catch (const ctx::detail::forced_unwind&) {
                throw; // the scheduler is unwinding a stalled thread
            } catch (const std::exception& error) {
                std::fprintf(stderr, "program thread %d ended by: %s\n", raw->number, error.what());
            } catch (...) {
                std::fprintf(stderr, "program thread %d ended by an exception\n", raw->number);
            }
            raw->done = true;
            return std::move(raw->back);
        });
    fibers_.push_back(std::move(fiber));
    runtime::setThreadNumberHook(&threadNumberHook);
    return raw->number;
}

int Scheduler::current() const {
    return running_ != nullptr ? running_->number : 0;
}

Scheduler::Fiber* Scheduler::find(int thread) const {
    for (const auto& fiber : fibers_) {
        if (fiber->number == thread && !fiber->done) return fiber.get();
    }
    return nullptr;
}

bool Scheduler::alive(int thread) const {
    return find(thread) != nullptr;
}

std::vector<int> Scheduler::threads() const {
    std::vector<int> numbers;
    for (const auto& fiber : fibers_) {
        if (!fiber->done) numbers.push_back(fiber->number);
    }
    return numbers;
}

std::vector<Window*>& Scheduler::windowsOf(int thread) {
    Fiber* fiber = find(thread);
    if (fiber == nullptr) {
        gNoWindows.clear();
        return gNoWindows;
    }
    return fiber->windows;
}

Window* Scheduler::topWindow(int thread) {
    Fiber* fiber = find(thread);
    if (fiber == nullptr || fiber->windows.empty()) return nullptr;
    return fiber->windows.back();
}

bool Scheduler::allWaiting() const {
    return std::none_of(fibers_.begin(), fibers_.end(),
                        [](const auto& fiber) { return !fiber->done && (!fiber->ready || fiber->ready()); });
}

void Scheduler::waitUntil(const std::function<bool()>& ready) {
    if (ready()) return;
    if (running_ == nullptr) {
        while (!ready()) {
            if (idleAction_ && idleAction_()) continue;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return;
    }
    Fiber* self = running_;
    self->ready = ready;
    self->back = std::move(self->back).resume();
    self->ready = nullptr;
}

void Scheduler::yield() {
    if (running_ == nullptr) {
        QCoreApplication::processEvents();
        return;
    }
    // Runnable again at once: the turn order puts it behind every other runnable thread, and
    // each scheduler turn lets Qt's pending input through first.
    running_->back = std::move(running_->back).resume();
}

// Resumes the first thread, in a round robin from the last one run, whose wait is over.
bool Scheduler::runOneTurn() {
    for (std::size_t i = 0; i < fibers_.size(); ++i) {
        Fiber* fiber = fibers_[i].get();
        if (fiber->done) continue;
        if (fiber->ready && !fiber->ready()) continue;
        // Move the fiber to the end so that the others get their turns first next time.
        std::unique_ptr<Fiber> owned = std::move(fibers_[i]);
        fibers_.erase(fibers_.begin() + static_cast<std::ptrdiff_t>(i));
        fibers_.push_back(std::move(owned));
        running_ = fiber;
        fiber->started = true;
        fiber->context = std::move(fiber->context).resume();
        running_ = nullptr;
        reap();
        return true;
    }
    return false;
}

void Scheduler::reap() {
    std::vector<int> ended;
    for (const auto& fiber : fibers_)
        if (fiber->done) ended.push_back(fiber->number);
    if (ended.empty()) return;
    std::erase_if(fibers_, [](const auto& fiber) { return fiber->done; });
    // A finished program thread leaves no per-thread state behind.
    for (int number : ended) runtime::endThread(number);
}

bool Scheduler::run() {
    runtime::setThreadNumberHook(&threadNumberHook);
    while (!fibers_.empty()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (runOneTurn()) continue;
        if (idleAction_ && idleAction_()) continue;
        if (scripted_) {
            // Let posted events and zero timers through once more before calling it a stall.
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (!allWaiting()) continue;
            // A running window timer may still wake a thread; wait for it.
            if (timers_ == 0) {
                // Destroying an unfinished fiber unwinds its stack, so procedures release what
                // they hold.
                std::vector<int> ended;
                for (const auto& fiber : fibers_) ended.push_back(fiber->number);
                fibers_.clear();
                for (int number : ended) runtime::endThread(number);
                return false;
            }
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

int startThread(std::function<void()> body) {
    return Scheduler::instance().start(std::move(body));
}
void yieldThread() {
    Scheduler::instance().yield();
}
int currentThread() {
    return Scheduler::instance().current();
}

} // namespace docket::ui
