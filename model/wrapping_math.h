#pragma once
// Two's-complement arithmetic on times read from files: extreme values wrap
// around instead of overflowing, which the language leaves undefined.

#include <cstdint>

inline int64_t wrapAdd(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}

inline int64_t wrapSub(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}

inline int64_t wrapNeg(int64_t a) {
    return wrapSub(0, a);
}
