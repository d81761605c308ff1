// One anonymous mapping for the call lists of a trace.

#include "model/call_memory.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZLV_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ZLV_ADDRESS_SANITIZER 1
#endif

CallBlock::CallBlock(size_t bytes) {
#if defined(__linux__) && !defined(ZLV_ADDRESS_SANITIZER)
    // Under the address sanitizer every list stays a heap allocation of its
    // own, so that reading past a list's end is still caught.
    if (bytes == 0) return;
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return;
#if defined(MADV_HUGEPAGE)
    madvise(p, bytes, MADV_HUGEPAGE);
#endif
    base_ = static_cast<unsigned char*>(p);
    size_ = bytes;
#else
    (void)bytes;
#endif
}

CallBlock::~CallBlock() {
#if defined(__linux__)
    if (base_) munmap(base_, size_);
#endif
}

void* CallBlock::take(size_t bytes, size_t align) {
    if (!base_) return nullptr;
    size_t used = used_.load(std::memory_order_relaxed);
    for (;;) {
        const size_t start = (used + align - 1) / align * align;
        if (start < used || start > size_ || bytes > size_ - start) return nullptr;
        if (used_.compare_exchange_weak(used, start + bytes, std::memory_order_relaxed))
            return base_ + start;
    }
}
