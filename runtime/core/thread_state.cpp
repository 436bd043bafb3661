#include "runtime/core/thread_state.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "runtime/core/thread_hook.h"

namespace docket::runtime {
namespace {

using Slots = std::vector<std::unique_ptr<detail::SlotValue>>;

struct Home {
    std::mutex mutex;
    std::unordered_map<int, Slots> threads;
    std::map<int, ThreadEndListener> listeners;
    int nextListener = 1;
};

// Lives for the rest of the run: slots are reached from static objects whose destruction order
// is not ours to choose.
Home& home() {
    static auto* h = new Home;
    return *h;
}

// Every OS thread remembers the program thread whose slots it reached last: a program reaches its
// state on nearly every statement, and mostly from the same thread in a row. The slots of a
// thread stay where they are in the table until the thread ends (the table keeps its entries in
// place when it grows), and every end counts up the generation, which makes all remembered
// threads look up again.
std::atomic<std::uint64_t> generation{1};
struct LastThread {
    int thread = 0;
    std::uint64_t generation = 0;
    Slots* slots = nullptr;
};
thread_local LastThread last;

} // namespace

namespace detail {

int newSlotIndex() {
    static std::atomic<int> next{0};
    return next.fetch_add(1);
}

SlotValue* findSlot(int index) {
    const int thread = currentThreadNumber();
    Slots* slots = last.slots;
    if (slots == nullptr || last.thread != thread ||
        last.generation != generation.load(std::memory_order_acquire)) {
        Home& h = home();
        std::lock_guard lock(h.mutex);
        auto it = h.threads.find(thread);
        if (it == h.threads.end()) return nullptr;
        slots = &it->second;
        last = LastThread{thread, generation.load(std::memory_order_relaxed), slots};
    }
    // Only the thread itself changes its own slots, so they are read without the lock.
    if (static_cast<std::size_t>(index) >= slots->size()) return nullptr;
    return (*slots)[static_cast<std::size_t>(index)].get();
}

SlotValue* storeSlot(int index, std::unique_ptr<SlotValue> value) {
    const int thread = currentThreadNumber();
    Home& h = home();
    std::lock_guard lock(h.mutex);
    Slots& slots = h.threads[thread];
    if (slots.size() <= static_cast<std::size_t>(index)) slots.resize(static_cast<std::size_t>(index) + 1);
    slots[static_cast<std::size_t>(index)] = std::move(value);
    return slots[static_cast<std::size_t>(index)].get();
}

} // namespace detail

int addThreadEndListener(ThreadEndListener listener) {
    Home& h = home();
    std::lock_guard lock(h.mutex);
    const int id = h.nextListener++;
    h.listeners.emplace(id, std::move(listener));
    return id;
}

void removeThreadEndListener(int id) {
    Home& h = home();
    std::lock_guard lock(h.mutex);
    h.listeners.erase(id);
}

void endThread(int thread) {
    Home& h = home();
    std::vector<ThreadEndListener> listeners;
    {
        std::lock_guard lock(h.mutex);
        for (const auto& [id, listener] : h.listeners) listeners.push_back(listener);
    }
    for (const ThreadEndListener& listener : listeners) listener(thread);
    // The slots are destroyed outside the lock: a destructor may reach other state.
    Slots ended;
    {
        std::lock_guard lock(h.mutex);
        auto it = h.threads.find(thread);
        if (it == h.threads.end()) return;
        generation.fetch_add(1, std::memory_order_acq_rel);
        ended = std::move(it->second);
        h.threads.erase(it);
    }
}

std::size_t threadsWithState() {
    Home& h = home();
    std::lock_guard lock(h.mutex);
    return h.threads.size();
}

} // namespace docket::runtime
