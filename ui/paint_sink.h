#pragma once
// Where a paint tells how long its stages took and what they met. Only the
// benchmarks hand one in; the views paint without one, and nothing they keep
// holds timings.

#include "ui/line_culler.h"

#include <array>
#include <cstddef>

struct PaintSink {
    static constexpr size_t kMaxWalkParts = 8;
    double walkMs = 0; // walking the rows into the draw list, joined
    std::array<double, kMaxWalkParts> walkPartMs{};
    // The culler's pass (each band on its own thread), drawing what shows in
    // order, writing the composed pixels.
    double coverMs = 0, orderedMs = 0, composedMs = 0;
    double bandMs[2] = {0, 0};
    LineCuller::Counts counts; // of the draw list, as drawn
};
