#include "platform/memory.h"

#include <cstdint>

#include <sys/mman.h>

namespace docket::platform {

void* hugePageMemory(std::size_t bytes, std::size_t alignment) {
    // Mapped afresh rather than taken from the heap: an aligned block of megabytes from the heap
    // searched its free lists for a place every time, and its leftovers stayed there.
    const std::size_t mapped = bytes + alignment;
    void* memory = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return nullptr;
    // The part before the first aligned address and the part after the block go back.
    const auto start = reinterpret_cast<std::uintptr_t>(memory);
    const std::uintptr_t aligned = (start + alignment - 1) & ~(std::uintptr_t{alignment} - 1);
    if (aligned > start) ::munmap(memory, aligned - start);
    const std::uintptr_t end = start + mapped;
    if (end > aligned + bytes) ::munmap(reinterpret_cast<void*>(aligned + bytes), end - aligned - bytes);
    void* block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    // Only advice: where the system has no huge pages to give, the memory works as any other.
    ::madvise(block, bytes, MADV_HUGEPAGE);
#endif
    return block;
}

} // namespace docket::platform
