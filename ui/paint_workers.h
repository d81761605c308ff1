#pragma once
// The helper thread that a paint shares its walk and its culler's pass with,
// and from how much work on sharing is worth its cost.

#include "ui/line_culler.h"
#include "view/paint_helper.h"

#include <cstddef>
#include <cstdint>

struct PaintWorkers {
    // Parts of the rows walked apart, when the window shows about
    // callsWorthThreads calls or more.
    static constexpr size_t kWalkParts = 8;
    PaintHelper helper;
    uint64_t callsWorthThreads = uint64_t{1} << 14;
    // Lines from which the culler's pass is shared with the helper.
    size_t linesWorthSharing = LineCuller::kLinesWorthSharing;
};
