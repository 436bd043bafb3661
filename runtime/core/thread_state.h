#pragma once
// One home for everything kept per program thread: the last error, binding scopes, open
// transactions, relation frames, and whatever the layers above keep per thread. Program threads
// are fibers that share OS threads, so thread_local storage would mix them up; state is keyed by
// the program thread number (thread_hook.h) instead.
//
// A layer declares its state once as a static `ThreadSlot<T>` and reaches the running thread's T
// through get(), which makes it on first use. Objects that keep per-thread entries in fields of
// their own (a table's usage entries, the reporter's procedure names) register a listener that
// drops them when a thread ends.
//
// When a program thread ends, whoever ran it calls endThread(number): the listeners run, then
// every slot of that thread is destroyed. The window system does this when a fiber finishes; an OS
// thread that numbered itself (no hook installed) does it when it exits.
//
// Promises: a reference from get() stays valid until endThread of its thread. Only the thread
// itself uses its own state, so no lock is held while it is used; the lock guards the table of
// threads only.
#include <cstddef>
#include <functional>
#include <memory>

namespace docket::runtime {

namespace detail {
struct SlotValue {
    virtual ~SlotValue() = default;
};
int newSlotIndex();
// The running thread's value in a slot, null when it has none yet.
SlotValue* findSlot(int index);
SlotValue* storeSlot(int index, std::unique_ptr<SlotValue> value);
} // namespace detail

template <typename T>
class ThreadSlot {
public:
    ThreadSlot() : index_(detail::newSlotIndex()) {}
    ThreadSlot(const ThreadSlot&) = delete;
    ThreadSlot& operator=(const ThreadSlot&) = delete;

    T& get() {
        if (detail::SlotValue* value = detail::findSlot(index_)) return static_cast<Holder*>(value)->value;
        return static_cast<Holder*>(detail::storeSlot(index_, std::make_unique<Holder>()))->value;
    }
    // The running thread's value, null when it never made one.
    T* find() {
        detail::SlotValue* value = detail::findSlot(index_);
        return value ? &static_cast<Holder*>(value)->value : nullptr;
    }

private:
    struct Holder : detail::SlotValue {
        T value{};
    };
    int index_;
};

using ThreadEndListener = std::function<void(int thread)>;

// Registers a listener for ended threads; the number it returns takes it away again.
int addThreadEndListener(ThreadEndListener listener);
void removeThreadEndListener(int id);

// Ends a program thread's state: the listeners run (on the caller's thread), then its slots go.
void endThread(int thread);

// How many threads hold any slot (for tests and diagnostics).
std::size_t threadsWithState();

} // namespace docket::runtime
