#include "view/segment_clip.h"

#include <algorithm>
#include <cmath>

std::optional<Segment> clipSegmentCut(const Segment& s, const ClipBox& box) {
    // A horizontal or vertical segment is cut at the box's edges, which are
    // whole: the rounded cut below lands on them exactly, wherever the ends
    // are small enough for the division's error to stay far below half a
    // pixel.
    constexpr int64_t kSmall = int64_t{1} << 40;
    const auto small = [](int64_t v) { return v > -kSmall && v < kSmall; };
    if ((s.y1 == s.y2 || s.x1 == s.x2) && small(s.x1) && small(s.x2) && small(s.y1) &&
        small(s.y2) && small(box.left) && small(box.right) && small(box.top) && small(box.bottom)) {
        const bool horizontal = s.y1 == s.y2;
        const int64_t at = horizontal ? s.y1 : s.x1;
        if (at < (horizontal ? box.top : box.left) || at > (horizontal ? box.bottom : box.right))
            return std::nullopt;
        const int64_t lo = horizontal ? box.left : box.top,
                      hi = horizontal ? box.right : box.bottom;
        const int64_t a = horizontal ? s.x1 : s.y1, b = horizontal ? s.x2 : s.y2;
        if (std::max(a, b) < lo || std::min(a, b) > hi) return std::nullopt;
        const int64_t ca = std::clamp(a, lo, hi), cb = std::clamp(b, lo, hi);
        return horizontal ? Segment{ca, at, cb, at} : Segment{at, ca, at, cb};
    }

    // Liang-Barsky in double precision.
    const double x1 = static_cast<double>(s.x1), y1 = static_cast<double>(s.y1);
    const double dx = static_cast<double>(s.x2) - x1, dy = static_cast<double>(s.y2) - y1;
    double u0 = 0.0, u1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x1 - static_cast<double>(box.left), static_cast<double>(box.right) - x1,
                         y1 - static_cast<double>(box.top), static_cast<double>(box.bottom) - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) return std::nullopt; // parallel and outside
            continue;
        }
        // An edge the segment does not cross gives u <= 0 where it enters
        // and u >= 1 where it leaves: neither changes u0 or u1, nor ends the
        // clip, so it is not divided for.
        if (p[i] < 0.0 ? q[i] >= 0.0 : q[i] >= p[i]) continue;
        const double u = q[i] / p[i];
        if (p[i] < 0.0) {
            if (u > u1) return std::nullopt;
            if (u > u0) u0 = u;
        } else {
            if (u < u0) return std::nullopt;
            if (u < u1) u1 = u;
        }
    }
    Segment out;
    out.x1 = roundHalfAway(x1 + u0 * dx);
    out.y1 = roundHalfAway(y1 + u0 * dy);
    out.x2 = roundHalfAway(x1 + u1 * dx);
    out.y2 = roundHalfAway(y1 + u1 * dy);
    return out;
}
