#include "ui/segment_clip.h"

#include <cmath>

namespace {

bool inside(int64_t x, int64_t y, const ClipBox& b) {
    return b.left <= x && x <= b.right && b.top <= y && y <= b.bottom;
}

} // namespace

std::optional<Segment> clipSegment(const Segment& s, const ClipBox& box) {
    if (inside(s.x1, s.y1, box) && inside(s.x2, s.y2, box)) return s;

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
