#pragma once
// Asks the kernel to back a large, not yet touched allocation with huge pages:
// filling a multi-gigabyte model page by page costs more in page faults than
// reading the file. Only advice: nothing changes where it is not supported.

#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

// Faults in the pages of a fresh allocation with one call: much cheaper than
// one page fault per page when the allocation is about to be filled anyway.
inline void prefaultForWriting(const void* data, size_t bytes) {
#if defined(__linux__)
    constexpr int kPopulateWrite = 23; // MADV_POPULATE_WRITE, Linux 5.14; older kernels ignore it
    constexpr uintptr_t kPage = 4096;
    const uintptr_t begin = reinterpret_cast<uintptr_t>(data) & ~(kPage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes + kPage - 1) & ~(kPage - 1);
    if (bytes >= 16 * kPage) madvise(reinterpret_cast<void*>(begin), end - begin, kPopulateWrite);
#else
    (void)data;
    (void)bytes;
#endif
}

inline void adviseHugePages(const void* data, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    if (bytes < kHuge) return;
    // Only whole huge pages inside the allocation.
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHuge - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

// Makes room for at least n elements in v: new storage, when needed, gets
// its pages in one go (huge pages where large) instead of one fault per page
// as it is filled; page faults are costly on virtual machines.
template <class Vec>
void reserveFresh(Vec& v, size_t n) {
    if (n <= v.capacity()) return;
    Vec bigger(v.get_allocator());
    bigger.reserve(n);
    const size_t bytes = n * sizeof(typename Vec::value_type);
    adviseHugePages(bigger.data(), bytes);
    prefaultForWriting(bigger.data(), bytes);
    bigger.insert(bigger.end(), v.begin(), v.end());
    v.swap(bigger);
}

// Makes room for up to n elements in an empty v, of which only some may be
// used: pages never written cost nothing, and those written come as huge
// pages, one fault per 2 MB instead of one per page (and no copying as it
// grows).
template <class Vec>
void reserveUpTo(Vec& v, size_t n) {
    if (n <= v.capacity()) return;
    v.reserve(n);
    adviseHugePages(v.data(), n * sizeof(typename Vec::value_type));
}

// Hands memory that was freed inside the heap back to the system, so that the
// scratch space of one loading step does not stay resident under the next.
inline void releaseFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
