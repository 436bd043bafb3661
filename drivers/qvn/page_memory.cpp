#include "drivers/qvn/internal/page_memory.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <mutex>
#include <vector>

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

// A freed block is in two lists: its class's, which serves the next block of that size, and its
// piece's, so that a piece whose blocks are all free again can take them off their class lists
// and serve blocks of any size. A block is at least kStep bytes, room for this.
struct FreeBlock {
    FreeBlock* prev;
    FreeBlock* next;
    FreeBlock* piecePrev;
    FreeBlock* pieceNext;
    std::size_t sizeClass;
};

// The head of a piece, in its first kStep bytes (pieces are aligned to their size, so a block
// finds it by masking its address): how many bytes of its blocks are given out, and its freed
// blocks.
struct PieceHead {
    std::size_t live;
    FreeBlock* free;
};
static_assert(sizeof(FreeBlock) <= kStep && sizeof(PieceHead) <= kStep);

PieceHead* pieceOf(const void* block) {
    return reinterpret_cast<PieceHead*>(reinterpret_cast<std::uintptr_t>(block) &
                                        ~(std::uintptr_t{kPiece} - 1));
}

struct Blocks {
    std::mutex mutex;
    std::array<FreeBlock*, kClasses> free{};
    // A bit for each class whose list is not empty, so that finding a larger freed block does
    // not walk the classes.
    std::array<std::uint64_t, (kClasses + 63) / 64> listed{};
    PieceHead* current = nullptr; // the piece that new blocks are cut from at `next`
    char* next = nullptr;
    char* end = nullptr;
    std::vector<PieceHead*> whole; // pieces all of whose blocks were freed, to be cut anew
    std::size_t held = 0;

    void push(std::size_t c, void* block) {
        auto* freed = static_cast<FreeBlock*>(block);
        freed->sizeClass = c;
        freed->prev = nullptr;
        freed->next = free[c];
        if (free[c] != nullptr) free[c]->prev = freed;
        free[c] = freed;
        listed[c / 64] |= std::uint64_t{1} << (c % 64);
        PieceHead* piece = pieceOf(block);
        freed->piecePrev = nullptr;
        freed->pieceNext = piece->free;
        if (piece->free != nullptr) piece->free->piecePrev = freed;
        piece->free = freed;
    }
    void unlinkFromClass(FreeBlock* block) {
        const std::size_t c = block->sizeClass;
        if (block->prev != nullptr)
            block->prev->next = block->next;
        else
            free[c] = block->next;
        if (block->next != nullptr) block->next->prev = block->prev;
        if (free[c] == nullptr) listed[c / 64] &= ~(std::uint64_t{1} << (c % 64));
    }
    FreeBlock* pop(std::size_t c) {
        FreeBlock* block = free[c];
        unlinkFromClass(block);
        PieceHead* piece = pieceOf(block);
        if (block->piecePrev != nullptr)
            block->piecePrev->pieceNext = block->pieceNext;
        else
            piece->free = block->pieceNext;
        if (block->pieceNext != nullptr) block->pieceNext->piecePrev = block->piecePrev;
        return block;
    }
    // A piece none of whose blocks is given out leaves the class lists whole. Not the piece that
    // blocks are being cut from: its uncut rest is in no list.
    void reclaimIfIdle(PieceHead* piece) {
        if (piece->live != 0 || piece == current) return;
        for (FreeBlock* block = piece->free; block != nullptr; block = block->pieceNext)
            unlinkFromClass(block);
        piece->free = nullptr;
        whole.push_back(piece);
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
    void* takeFrom(PieceHead* piece, void* block, std::size_t size) {
        piece->live += size;
        return block;
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
    const std::size_t size = sizeClass * kStep;
    Blocks& b = blocks();
    std::lock_guard lock(b.mutex);
    if (b.free[sizeClass] != nullptr) {
        FreeBlock* block = b.pop(sizeClass);
        return b.takeFrom(pieceOf(block), block, size);
    }
    if (static_cast<std::size_t>(b.end - b.next) < size) {
        // Before another piece, a freed block of the next larger class that has one is cut in two:
        // its front serves, its rest is a freed block of its own class. Blocks are never joined
        // again, but a piece whose blocks are all freed serves as a new one, and the memory kept
        // grows only when neither is there.
        if (const std::size_t c = b.listedAbove(sizeClass); c != 0) {
            FreeBlock* block = b.pop(c);
            b.push(c - sizeClass, reinterpret_cast<char*>(block) + size);
            return b.takeFrom(pieceOf(block), block, size);
        }
        // What is left of the piece (less than one block of the largest class) stays unused.
        PieceHead* left = b.current;
        b.current = nullptr;
        if (left != nullptr) b.reclaimIfIdle(left);
        PieceHead* piece = nullptr;
        if (!b.whole.empty()) {
            piece = b.whole.back();
            b.whole.pop_back();
        } else {
            // Room for every piece in the list of whole ones, so that freeing never allocates.
            b.whole.reserve(b.held / kPiece + 1);
            piece = static_cast<PieceHead*>(platform::hugePageMemory(kPiece, kPiece));
            if (piece == nullptr) throw std::bad_alloc();
            b.held += kPiece;
        }
        piece->live = 0;
        piece->free = nullptr;
        b.current = piece;
        b.next = reinterpret_cast<char*>(piece) + kStep;
        b.end = reinterpret_cast<char*>(piece) + kPiece;
    }
    void* block = b.next;
    b.next += size;
    return b.takeFrom(b.current, block, size);
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
    PieceHead* piece = pieceOf(block);
    piece->live -= sizeClass * kStep;
    b.reclaimIfIdle(piece);
}

bool inNewestPiece(const void* block) {
#ifdef DOCKET_PAGE_MEMORY_FROM_HEAP
    (void)block;
    return true;
#else
    Blocks& b = blocks();
    std::lock_guard lock(b.mutex);
    return b.current != nullptr && pieceOf(block) == b.current;
#endif
}

std::size_t pageMemoryHeld() {
    Blocks& b = blocks();
    std::lock_guard lock(b.mutex);
    return b.held;
}

} // namespace docket::drivers::qvn
