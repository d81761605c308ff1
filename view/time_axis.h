#pragma once
// Time <-> pixel arithmetic shared by the main window, the event explorer and
// the time ruler. Plain functions without Qt, so that they can be tested
// directly. Times are signed 64-bit microseconds; zoom is pixels per
// microsecond. Nothing here overflows, whatever times and zooms come in.

#include <cmath>
#include <cstdint>

// Largest pixel coordinate handed on; the painter gets nothing beyond it.
constexpr int64_t kPixelLimit = int64_t{1} << 24;

// The scroll step: 100 / zoom rounded down to its leading decimal digit
// (3456 -> 3000, 100 -> 100, 99.5 -> 90). At least 1, so that scrolling and the
// ruler always advance, and at most 9e18.
int64_t scrollStep(double zoom);

// The zoom at which [start, end] fills `width` pixels. A run shorter than
// 1 microsecond (or running backwards) counts as 1 microsecond long.
double fittingZoom(int width, int64_t start, int64_t end);

// Zoom in doubles the zoom but never exceeds 1 pixel per microsecond; zoom out
// halves it but never goes below the fitting zoom.
double zoomedIn(double zoom);
double zoomedOut(double zoom, double fit);

// b - a as a double, exact up to 2^53 and free of overflow beyond.
inline double timeSpan(int64_t a, int64_t b) {
    int64_t r = 0;
    if (!__builtin_sub_overflow(b, a, &r)) return static_cast<double>(r);
    return static_cast<double>(b) - static_cast<double>(a);
}
// a + b, a - b and a * b, saturated at the limits of int64_t.
int64_t saturatingAdd(int64_t a, int64_t b);
int64_t saturatingSub(int64_t a, int64_t b);
int64_t saturatingMul(int64_t a, int64_t b);
// A double truncated toward zero into int64_t (NaN gives 0), or into int.
int64_t clampToInt64(double v);
int clampToInt(double v);

// Scroll bar settings in scroll steps.
struct ScrollRange {
    int minimum = 0;
    int maximum = 0;
    int value = 0;
};
// At open and zoom to fit: ceil(end / step), floor(start / step), value
// trunc(start / step).
ScrollRange fitScrollRange(int64_t start, int64_t end, int64_t step);
// After zoom in or out: one step of room on either side; the value is kept by
// the caller.
ScrollRange zoomScrollRange(int64_t start, int64_t end, int64_t step);

// The visible time window of a view of `width` pixels scrolled to `offset`
// steps: t0 at x = 0, t1 at x = width - 10 (the last 10 pixels stay free).
struct TimeWindow {
    double zoom = 1.0;
    int64_t step = 1;
    int64_t t0 = 0;
    int64_t t1 = 0;
};
TimeWindow timeWindow(double zoom, int offset, int width);
// The same with the time at x = 0 given (a left edge off the step grid).
TimeWindow timeWindowAt(double zoom, int64_t t0, int width);

// x(t) = (t - t0) * zoom truncated toward zero, limited to +-kPixelLimit.
// Inline: painting asks it twice for every call in view.
inline int64_t pixelOf(const TimeWindow& w, int64_t t) {
    // Within the limits the conversion's own truncation is trunc().
    int64_t span = 0;
    if (!__builtin_sub_overflow(t, w.t0, &span)) {
        const double v = static_cast<double>(span) * w.zoom;
        if (v < static_cast<double>(kPixelLimit) && v > -static_cast<double>(kPixelLimit))
            return static_cast<int64_t>(v);
    }
    const double x = std::trunc(timeSpan(w.t0, t) * w.zoom);
    if (std::isnan(x)) return 0;
    if (x > static_cast<double>(kPixelLimit)) return kPixelLimit;
    if (x < -static_cast<double>(kPixelLimit)) return -kPixelLimit;
    return static_cast<int64_t>(x);
}

// Where a call [s, e] (display times) stands relative to the window.
enum class CallPlace {
    Before, // ended before t0: skip it, look at the next
    Inside, // drawn, clipped to [start, end]
    After,  // starts after t1: this and every later call of the row are out
};
struct ClippedCall {
    CallPlace place = CallPlace::Before;
    int64_t start = 0;      // max(s, t0)
    int64_t end = 0;        // min(e, t1)
    bool lastInRow = false; // reaches t1: the row's walk stops after it
};
// Inline: painting asks it for every call in view.
inline ClippedCall clipCall(const TimeWindow& w, int64_t s, int64_t e) {
    ClippedCall c;
    if (e < w.t0) return c;
    if (s > w.t1) {
        c.place = CallPlace::After;
        return c;
    }
    c.place = CallPlace::Inside;
    c.start = s > w.t0 ? s : w.t0;
    c.end = e < w.t1 ? e : w.t1;
    c.lastInRow = c.end >= w.t1;
    return c;
}
