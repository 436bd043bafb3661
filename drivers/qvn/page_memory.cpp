#include "drivers/qvn/internal/page_memory.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <mutex>

#include "platform/memory.h"

// Under the address sanitizer every block comes from the ordinary heap, where it checks them.
#if defined(__SANITIZE_ADDRESS__)
#define DOCKET_PAGE_MEMORY_FROM_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define DOCKET_PAGE_MEMORY_FROM_HEAP 1
#endif
#endif

namespace docket::drivers::qvn {

namespace {

constexpr std::size_t kPiece = std::size_t{2} << 20;
constexpr std::size_t kStep = 64;
// The entries of the largest page with room to spare; larger blocks come from the heap.
constexpr std::size_t kLargest = 20 * 1024;
constexpr std::size_t kClasses = kLargest / kStep + 1;

struct FreeBlock {
    FreeBlock* next;
};

struct Blocks {
    std::mutex mutex;
    std::array<FreeBlock*, kClasses> free{};
    // A bit for each class whose list is not empty, so that finding a larger freed block does
    // not walk the classes.
    std::array<std::uint64_t, (kClasses + 63) / 64> listed{};
    char* next = nullptr;
    char* end = nullptr;
    std::size_t held = 0;

    void push(std::size_t c, void* block) {
        auto* freed = static_cast<FreeBlock*>(block);
        freed->next = free[c];
        free[c] = freed;
        listed[c / 64] |= std::uint64_t{1} << (c % 64);
    }
    FreeBlock* pop(std::size_t c) {
        FreeBlock* block = free[c];
        free[c] = block->next;
        if (free[c] == nullptr) listed[c / 64] &= ~(std::uint64_t{1} << (c % 64));
        return block;
    }
    // The smallest class above `c` with a freed block, or 0.
    std::size_t listedAbove(std::size_t c) const {
        for (std::size_t word = (c + 1) / 64; word < listed.size(); ++word) {
            std::uint64_t bits = listed[word];
            if (word == (c + 1) / 64) bits &= ~std::uint64_t{0} << ((c + 1) % 64);
            if (bits != 0) return word * 64 + static_cast<std::size_t>(std::countr_zero(bits));
        }
        return 0;
    }
};

Blocks& blocks() {
    // Never destroyed: pages of files still open may be freed while the process ends.
    static Blocks* all = new Blocks;
    return *all;
}

std::size_t classOf(std::size_t bytes) {
    return (std::max<std::size_t>(bytes, 1) + kStep - 1) / kStep;
}

bool fromHeap(std::size_t bytes) {
#ifdef DOCKET_PAGE_MEMORY_FROM_HEAP
    (void)bytes;
    return true;
#else
    return bytes > kLargest;
#endif
}

} // namespace

void* allocatePageMemory(std::size_t bytes) {
    if (fromHeap(bytes)) return ::operator new(bytes);
    const std::size_t sizeClass = classOf(bytes);
    Blocks& b = blocks();
    std::lock_guard lock(b.mutex);
    if (b.free[sizeClass] != nullptr) return b.pop(sizeClass);
    const std::size_t size = sizeClass * kStep;
    if (static_cast<std::size_t>(b.end - b.next) < size) {
        // Before another piece, a freed block of the next larger class that has one is cut in two:
        // its front serves, its rest is a freed block of its own class. Blocks are never joined
        // again, but the memory kept grows only when no freed block is large enough.
        if (const std::size_t c = b.listedAbove(sizeClass); c != 0) {
            FreeBlock* block = b.pop(c);
            b.push(c - sizeClass, reinterpret_cast<char*>(block) + size);
            return block;
        }
        // What is left of the piece (less than one block of the largest class) stays unused.
        void* piece = platform::hugePageMemory(kPiece, kPiece);
        if (piece == nullptr) throw std::bad_alloc();
        b.next = static_cast<char*>(piece);
        b.end = b.next + kPiece;
        b.held += kPiece;
    }
    void* block = b.next;
    b.next += size;
    return block;
}

void freePageMemory(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) return;
    if (fromHeap(bytes)) {
        ::operator delete(block);
        return;
    }
    const std::size_t sizeClass = classOf(bytes);
    Blocks& b = blocks();
    std::lock_guard lock(b.mutex);
    b.push(sizeClass, block);
}

std::size_t pageMemoryHeld() {
    Blocks& b = blocks();
    std::lock_guard lock(b.mutex);
    return b.held;
}

} // namespace docket::drivers::qvn
