#pragma once
// Memory from the system in large aligned pieces, mapped afresh.
#include <cstddef>

namespace docket::platform {

// `bytes` of memory aligned to `alignment` (a power of two, at least the system's page size, that
// divides `bytes`), which the system is asked to back with huge pages where it can: data that is
// searched all over, as a page cache is, then misses the processor's address translations far
// less. Null when there is no memory. The memory is never given back.
void* hugePageMemory(std::size_t bytes, std::size_t alignment);

} // namespace docket::platform
