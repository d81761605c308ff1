#pragma once
// A stretch [from, to) of corrected time, and how a call meets it: time-based
// figures take the overlap, counts take the calls that start inside.

#include "model/wrapping_math.h"

#include <algorithm>
#include <cstdint>

struct TimeRange {
    int64_t from = 0;
    int64_t to = 0;

    bool holds(int64_t t) const { return t >= from && t < to; }
    // The length of [start, end] inside the range; 0 when they do not meet.
    int64_t overlap(int64_t start, int64_t end) const {
        const int64_t lo = std::max(start, from);
        const int64_t hi = std::min(end, to);
        return hi > lo ? wrapSub(hi, lo) : 0;
    }
    // A call counts in the range when it overlaps it or, lasting 0 µs, starts in it.
    bool counts(int64_t start, int64_t end) const {
        return start == end ? holds(start) : overlap(start, end) > 0;
    }
};
