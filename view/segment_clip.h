#pragma once
// Clipping a line segment to a rectangle before it reaches the painter, so
// that far-away coordinates (links to rows far below, times far outside the
// window) never get near the painter's integer limits.

#include <cmath>
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
// v - trunc(v) is exact below 2^53, and above it v is whole.
inline int64_t roundHalfAway(double v) {
    constexpr double kWhole = 9007199254740992.0; // 2^53
    if (!(v < kWhole && v > -kWhole)) return static_cast<int64_t>(std::lround(v));
    int64_t t = static_cast<int64_t>(v);
    const double f = v - static_cast<double>(t);
    if (f >= 0.5)
        ++t;
    else if (f <= -0.5)
        --t;
    return t;
}

// The part of a segment that leaves the box (clipSegment's slow path).
std::optional<Segment> clipSegmentCut(const Segment& s, const ClipBox& box);

// The part of the segment inside the box; nullopt when none is. A segment
// wholly inside comes back unchanged; cut ends are rounded to whole pixels.
// Inline for the usual segment inside: painting asks it for every line.
inline std::optional<Segment> clipSegment(const Segment& s, const ClipBox& box) {
    const auto inside = [&](int64_t x, int64_t y) {
        return box.left <= x && x <= box.right && box.top <= y && y <= box.bottom;
    };
    if (inside(s.x1, s.y1) && inside(s.x2, s.y2)) return s;
    return clipSegmentCut(s, box);
}
