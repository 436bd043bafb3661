#include "runtime/core/thread_state.h"

#include <atomic>
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

} // namespace

namespace detail {

int newSlotIndex() {
    static std::atomic<int> next{0};
    return next.fetch_add(1);
}

SlotValue* findSlot(int index) {
    const int thread = currentThreadNumber();
    Home& h = home();
    std::lock_guard lock(h.mutex);
    auto it = h.threads.find(thread);
    if (it == h.threads.end() || static_cast<std::size_t>(index) >= it->second.size()) return nullptr;
    return it->second[static_cast<std::size_t>(index)].get();
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
