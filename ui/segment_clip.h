#pragma once
// Clipping a line segment to a rectangle before it reaches the painter, so
// that far-away coordinates (links to rows far below, times far outside the
// window) never get near the painter's integer limits.

#include <cstdint>
#include <optional>

struct Segment {
    int64_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool operator==(const Segment&) const = default;
};

struct ClipBox {
    int64_t left = 0, top = 0, right = 0, bottom = 0; // inclusive
};

// std::lround (half away from zero, nothing beyond int64_t) inline, without
// the library call: clipping asks it four times for every line it cuts.
int64_t roundHalfAway(double v);

// The part of the segment inside the box; nullopt when none is. A segment
// wholly inside comes back unchanged; cut ends are rounded to whole pixels.
std::optional<Segment> clipSegment(const Segment& s, const ClipBox& box);
