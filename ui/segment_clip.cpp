#include "ui/segment_clip.h"

#include <cmath>

namespace {

bool inside(int64_t x, int64_t y, const ClipBox& b) {
    return b.left <= x && x <= b.right && b.top <= y && y <= b.bottom;
}

} // namespace

// v - trunc(v) is exact below 2^53, and above it v is whole.
int64_t roundHalfAway(double v) {
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

namespace {} // namespace

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
