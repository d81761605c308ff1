#include "view/time_axis.h"

#include <cmath>
#include <limits>

namespace {

constexpr int64_t kMaxStep = 9'000'000'000'000'000'000;

// Powers of ten that fit int64_t: 10^0 .. 10^18.
int64_t powerOfTen(int k) {
    int64_t p = 1;
    for (int i = 0; i < k; ++i) p *= 10;
    return p;
}

} // namespace

int64_t clampToInt64(double v) {
    if (std::isnan(v)) return 0;
    // 2^63 is the first double beyond the range.
    if (v >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
    if (v <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(v);
}

int clampToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t r = 0;
    if (!__builtin_add_overflow(a, b, &r)) return r;
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

int64_t saturatingSub(int64_t a, int64_t b) {
    int64_t r = 0;
    if (!__builtin_sub_overflow(a, b, &r)) return r;
    return b < 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

int64_t saturatingMul(int64_t a, int64_t b) {
    int64_t r = 0;
    if (!__builtin_mul_overflow(a, b, &r)) return r;
    return (a < 0) != (b < 0) ? std::numeric_limits<int64_t>::min()
                              : std::numeric_limits<int64_t>::max();
}

int64_t scrollStep(double zoom) {
    if (!(zoom > 0.0) || !std::isfinite(zoom)) return 1;
    const double t = 100.0 / zoom;
    if (!(t >= 1.0)) return 1;
    if (t >= static_cast<double>(kMaxStep)) return kMaxStep;
    const auto whole = static_cast<int64_t>(t);
    int k = static_cast<int>(std::log10(static_cast<double>(whole)));
    // log10 may land one off near powers of ten; settle on 10^k <= whole < 10^(k+1).
    if (k > 18) k = 18;
    while (k > 0 && powerOfTen(k) > whole) --k;
    while (k < 18 && powerOfTen(k + 1) <= whole) ++k;
    const int64_t p = powerOfTen(k);
    return whole / p * p;
}

double fittingZoom(int width, int64_t start, int64_t end) {
    double duration = timeSpan(start, end);
    if (!(duration >= 1.0)) duration = 1.0;
    return static_cast<double>(width) / duration;
}

double zoomedIn(double zoom) {
    const double z = zoom * 2.0;
    return z > 1.0 ? 1.0 : z;
}

double zoomedOut(double zoom, double fit) {
    const double z = zoom * 0.5;
    return z < fit ? fit : z;
}

ScrollRange fitScrollRange(int64_t start, int64_t end, int64_t step) {
    const double s = static_cast<double>(step < 1 ? 1 : step);
    ScrollRange r;
    r.maximum = clampToInt(std::ceil(static_cast<double>(end) / s));
    r.minimum = clampToInt(std::floor(static_cast<double>(start) / s));
    r.value = clampToInt(std::trunc(static_cast<double>(start) / s));
    return r;
}

ScrollRange zoomScrollRange(int64_t start, int64_t end, int64_t step) {
    const double s = static_cast<double>(step < 1 ? 1 : step);
    ScrollRange r;
    r.maximum = clampToInt(std::trunc(static_cast<double>(end) / s + 1.0));
    r.minimum = clampToInt(std::trunc(static_cast<double>(start) / s - 1.0));
    return r;
}

TimeWindow timeWindow(double zoom, int offset, int width) {
    return timeWindowAt(zoom, saturatingMul(offset, scrollStep(zoom)), width);
}

TimeWindow timeWindowAt(double zoom, int64_t t0, int width) {
    TimeWindow w;
    w.zoom = zoom;
    w.step = scrollStep(zoom);
    w.t0 = t0;
    const double span = zoom > 0.0 ? static_cast<double>(width - 10) / zoom : 0.0;
    w.t1 = saturatingAdd(w.t0, clampToInt64(std::trunc(span)));
    return w;
}
