// Replaces the global operator new and delete of the test program. Each block
// carries its size in a header so that delete can keep the live count.

#include "allocation_tracker.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {

constexpr size_t kHeader = alignof(std::max_align_t);

bool watching = false;
size_t largest = 0;
long long live = 0; // may go below 0 when blocks from before the scope die
long long peak = 0;

void* allocate(size_t n) {
    auto* raw = static_cast<unsigned char*>(std::malloc(n + kHeader));
    if (!raw) return nullptr;
    *reinterpret_cast<size_t*>(raw) = watching ? n : ~size_t{0};
    if (watching) {
        largest = std::max(largest, n);
        live += static_cast<long long>(n);
        peak = std::max(peak, live);
    }
    return raw + kHeader;
}

void release(void* p) {
    if (!p) return;
    auto* raw = static_cast<unsigned char*>(p) - kHeader;
    const size_t n = *reinterpret_cast<size_t*>(raw);
    if (watching && n != ~size_t{0}) live -= static_cast<long long>(n);
    std::free(raw);
}

void* allocateOrThrow(size_t n) {
    if (void* p = allocate(n)) return p;
    throw std::bad_alloc();
}

} // namespace

AllocationScope::AllocationScope() {
    largest = 0;
    live = 0;
    peak = 0;
    watching = true;
}

AllocationScope::~AllocationScope() {
    watching = false;
}

size_t AllocationScope::largestRequest() const {
    return largest;
}
size_t AllocationScope::peakLiveBytes() const {
    return static_cast<size_t>(peak);
}

void* operator new(size_t n) {
    return allocateOrThrow(n);
}
void* operator new[](size_t n) {
    return allocateOrThrow(n);
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    return allocate(n);
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
    return allocate(n);
}
void operator delete(void* p) noexcept {
    release(p);
}
void operator delete[](void* p) noexcept {
    release(p);
}
void operator delete(void* p, size_t) noexcept {
    release(p);
}
void operator delete[](void* p, size_t) noexcept {
    release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    release(p);
}
