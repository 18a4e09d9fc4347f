#include "analysis/core/bulkheap.h"

#include <cstdlib>   // defines __GLIBC__ where it is the C library

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VIZIRO_FOREIGN_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VIZIRO_FOREIGN_HEAP 1
#endif
#endif

#if defined(__linux__) && defined(__GLIBC__) && !defined(VIZIRO_FOREIGN_HEAP)
#include <cstdint>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace ov {

namespace {
bool prepared = false;
}

bool heapPreparedForBulkWork()
{
    return prepared;
}

void prepareHeapForBulkWork()
{
#if defined(__linux__) && defined(__GLIBC__) && !defined(VIZIRO_FOREIGN_HEAP)
    constexpr std::uintptr_t hugePage = 2 << 20;
    constexpr int pad = 64 << 20;
    // Worker threads would each get a heap of their own, grown a page at a
    // time; file buffers and the database would be mapped and unmapped
    // afresh for every use.
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_TOP_PAD, pad);
    mallopt(M_TRIM_THRESHOLD, 2 * pad);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);

    // Grow the heap now, by the pad, and ask for huge pages on that stretch:
    // one fault per 2 MB instead of one per 4 KB as it fills.
    const auto before = reinterpret_cast<std::uintptr_t>(sbrk(0));
    // Volatile: a malloc whose block is never used may be left out.
    void *volatile probe = std::malloc(hugePage);
    const auto after = reinterpret_cast<std::uintptr_t>(sbrk(0));
    std::free(probe);
    const std::uintptr_t from = (before + hugePage - 1) & ~(hugePage - 1);
    const std::uintptr_t to = after & ~(hugePage - 1);
    if (before != std::uintptr_t(-1) && to > from)
        madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
    prepared = true;
#endif
}

} // namespace ov
