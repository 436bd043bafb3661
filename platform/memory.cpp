#include "platform/memory.h"

#include <cstdlib>

#include <sys/mman.h>

namespace docket::platform {

void* hugePageMemory(std::size_t bytes, std::size_t alignment) {
    void* memory = std::aligned_alloc(alignment, bytes);
#ifdef MADV_HUGEPAGE
    // Only advice: where the system has no huge pages to give, the memory works as any other.
    if (memory != nullptr) ::madvise(memory, bytes, MADV_HUGEPAGE);
#endif
    return memory;
}

} // namespace docket::platform
