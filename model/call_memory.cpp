// One anonymous mapping for the call lists of a trace.

#include "model/call_memory.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <system_error>

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

void CallBlock::prefault(size_t from, size_t to) {
#if defined(__linux__)
    constexpr int kPopulateWrite = 23; // MADV_POPULATE_WRITE, Linux 5.14; older kernels ignore it
    constexpr size_t kPage = 4096;
    to = std::min(to, size_);
    from = from / kPage * kPage;
    if (!base_ || from >= to) return;
    madvise(base_ + from, (to - from + kPage - 1) / kPage * kPage, kPopulateWrite);
#else
    (void)from;
    (void)to;
#endif
}

CallBlockWarmer::CallBlockWarmer(CallBlock& block) : block_(block) {
    if (block.size() == 0 || std::thread::hardware_concurrency() < 2) return;
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread to be had: the pages are faulted in as they are written.
    }
}

void CallBlockWarmer::run() {
    // In steps of a few huge pages, so that the pass is never far ahead.
    constexpr size_t kStep = size_t{8} << 20;
    size_t done = 0;
    for (;;) {
        if (finishing_.load(std::memory_order_acquire)) return;
        const size_t wanted = wanted_.load(std::memory_order_relaxed);
        if (wanted >= done + kStep) {
            const size_t to = wanted / kStep * kStep;
            block_.prefault(done, to);
            done = to;
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
}

void CallBlockWarmer::stop() {
    if (!thread_.joinable()) return;
    finishing_.store(true, std::memory_order_release);
    thread_.join();
}
