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
#if defined(__linux__) && defined(__GLIBC__) && !defined(VIZIRO_FOREIGN_HEAP)
bool prepared = false;
constexpr std::uintptr_t hugePage = 2 << 20;
constexpr int pad = 64 << 20;
// A thread's heap of its own (an arena) is one mapping of this size,
// aligned to it; with the pad it is usable whole from the start.
constexpr std::uintptr_t threadHeapSize = 64 << 20;
// Set in a chunk's size word when the chunk is not the main heap's.
constexpr std::size_t notMainHeap = 4;
#endif
} // namespace

void prepareHeapForBulkWork()
{
#if defined(__linux__) && defined(__GLIBC__) && !defined(VIZIRO_FOREIGN_HEAP)
    // A heap per thread that allocates in bulk (the run, its helper, the two
    // database readers) besides the main one: threads sharing a heap take
    // turns on its lock. Each new heap takes the whole pad at once, and
    // adviseThreadHeap() asks for huge pages on it. File buffers and the
    // database are not mapped and unmapped afresh for every use.
    mallopt(M_ARENA_MAX, 4);
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

void adviseThreadHeap()
{
#if defined(__linux__) && defined(__GLIBC__) && !defined(VIZIRO_FOREIGN_HEAP)
    thread_local bool advised = false;
    if (!prepared || advised)
        return;
    advised = true;
    void *volatile probe = std::malloc(64);
    if (!probe)
        return;
    const std::size_t sizeWord = static_cast<std::size_t *>(probe)[-1];
    // The main heap was advised when it was prepared. A mistaken guess
    // costs nothing but the advice: madvise changes no contents.
    if (sizeWord & notMainHeap) {
        const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(probe) & ~(threadHeapSize - 1);
        madvise(reinterpret_cast<void *>(base), threadHeapSize, MADV_HUGEPAGE);
    }
    std::free(probe);
#endif
}

} // namespace ov
