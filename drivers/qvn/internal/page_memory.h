#pragma once
// Memory for cached pages: their objects and their decoded entries.
//
// A register of 200,000 memos takes some 700 MB of pages decoded, and a search goes through a
// page's entries on every level of the way down: spread over the heap in small allocations, each
// of those reads missed the processor's address translations as well as its caches. The blocks
// here are cut from pieces of 2 MiB that the system is asked to back with huge pages. A freed
// block waits for the next one of its size class (64-byte steps), a larger one is cut to serve
// before a new piece is taken, and a piece whose blocks are all freed is cut anew for blocks of
// any size: blocks are never joined, and the small blocks of page objects freed when a file
// closes would otherwise stay unable to take the entries of the next file's pages. Pieces are
// never given back, so the memory kept follows what the page caches of the process held at most,
// which their budget bounds. Blocks larger than any page's entries come from the ordinary heap,
// and so does every block under a sanitizer.
#include <cstddef>
#include <new>
#include <string>

namespace docket::drivers::qvn {

// Throws std::bad_alloc when there is no memory, as the ordinary heap does.
void* allocatePageMemory(std::size_t bytes);
void freePageMemory(void* block, std::size_t bytes) noexcept;
// The bytes of the pieces taken from the system so far.
std::size_t pageMemoryHeld();
// Whether `block` was cut from the piece that blocks are being cut from now, which never serves
// other sizes anyway: a block kept there for long holds no other piece back. Blocks from the
// ordinary heap count as such.
bool inNewestPiece(const void* block);

template <class T> struct PageAllocator {
    using value_type = T;
    PageAllocator() = default;
    template <class U> PageAllocator(const PageAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return static_cast<T*>(allocatePageMemory(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { freePageMemory(p, n * sizeof(T)); }
    template <class U> bool operator==(const PageAllocator<U>&) const noexcept { return true; }
};

using PageBytes = std::basic_string<char, std::char_traits<char>, PageAllocator<char>>;

} // namespace docket::drivers::qvn
