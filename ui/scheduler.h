#pragma once
// Program threads: stackful coroutines (fibers with guard pages) that all run on the GUI thread.
// A program thread runs until it waits, yields or ends; the scheduler then resumes another thread
// whose wait is over, or lets Qt's one event loop deliver input until one is. Nothing here ever
// starts a nested event loop, so state shared by program threads needs no locks.
#include <functional>
#include <memory>
#include <vector>

namespace docket::ui {

class Window;

class Scheduler {
public:
    static Scheduler& instance();

    // Starts `body` as a new program thread and returns its number (1 for the first). The thread
    // first runs at the scheduler's next turn, not inside this call.
    int start(std::function<void()> body);

    // Runs program threads until every one has ended. Returns false when the threads stalled: in
    // scripted mode, every thread waited and nothing (script, timer, Qt event) could wake one.
    bool run();

    // The program thread that is running, 0 outside program threads.
    int current() const;
    bool inProgramThread() const { return current() != 0; }
    bool alive(int thread) const;

    // Suspends the running program thread until `ready` holds. Outside program threads (before
    // the first starts or after the last ends) it serves Qt's queue in place until `ready` holds;
    // that is the only place the window system waits outside its main loop.
    void waitUntil(const std::function<bool()>& ready);
    // Lets the other threads run; the caller goes on at a later turn.
    void yield();

    // Stall detection for tests: with scripted mode on, run() gives up instead of waiting for
    // input that will never come.
    void setScriptedMode(bool on) { scripted_ = on; }
    bool scriptedMode() const { return scripted_; }
    // Called when every thread waits; returns true when it did something (the scripted user).
    void setIdleAction(std::function<bool()> action) { idleAction_ = std::move(action); }
    // True when no program thread can run right now.
    bool allWaiting() const;
    // Window timers that run; while any does, a scripted run waits for them instead of stalling.
    void countTimers(int delta) { timers_ += delta; }

    // Windows opened by each thread, newest last.
    std::vector<Window*>& windowsOf(int thread);
    Window* topWindow(int thread);
    // Threads in start order that are still alive.
    std::vector<int> threads() const;

    struct Fiber;

private:
    Scheduler();
    ~Scheduler();
    Fiber* find(int thread) const;
    bool runOneTurn();
    void reap();

    std::vector<std::unique_ptr<Fiber>> fibers_;
    Fiber* running_ = nullptr;
    int nextNumber_ = 1;
    bool scripted_ = false;
    int timers_ = 0;
    std::function<bool()> idleAction_;
};

// Free helpers over the scheduler, for the code above the window system.
int startThread(std::function<void()> body);
void yieldThread();
int currentThread();

} // namespace docket::ui
