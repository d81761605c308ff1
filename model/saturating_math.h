#pragma once
// Arithmetic on times that stops at the limits of int64_t instead of
// wrapping: for times shown to people and positions computed from them,
// where a wrapped value would jump to the far end of the axis.

#include <cstdint>
#include <limits>

// a + b, a - b and a * b, saturated at the limits of int64_t.
inline int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t r = 0;
    if (!__builtin_add_overflow(a, b, &r)) return r;
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

inline int64_t saturatingSub(int64_t a, int64_t b) {
    int64_t r = 0;
    if (!__builtin_sub_overflow(a, b, &r)) return r;
    return b < 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

inline int64_t saturatingMul(int64_t a, int64_t b) {
    int64_t r = 0;
    if (!__builtin_mul_overflow(a, b, &r)) return r;
    return (a < 0) != (b < 0) ? std::numeric_limits<int64_t>::min()
                              : std::numeric_limits<int64_t>::max();
}
