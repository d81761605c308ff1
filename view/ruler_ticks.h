#pragma once
// Tick marks and labels of the time ruler, computed without Qt.

#include <cstdint>
#include <string>
#include <vector>

struct RulerTick {
    int x = 0;
    std::string label; // the time in the ruler's unit, "%g"
};

struct RulerScale {
    int64_t step = 1;      // microseconds between ticks (the scroll step)
    int exponent = 0;      // unit is 10^exponent microseconds
    const char* unit = ""; // "[mks]", "[ms]", "[s]", or "" when none fits
};

RulerScale rulerScale(double zoom);

// Ticks of a ruler `width` pixels wide at scroll value `offset`: the first at
// x = 1 carrying offset * step, one every step, while x < width - 60.
std::vector<RulerTick> rulerTicks(double zoom, int offset, int width);
// Ticks of a ruler whose left edge is at t0 (off the step grid): one at
// every multiple of the step from t0 on, one pixel right of the event
// explorer's pixel for the same time. The same as above when t0 is offset * step.
std::vector<RulerTick> rulerTicksFrom(double zoom, int64_t t0, int width);

// A time divided by 10^exponent, "%g" (six significant digits).
std::string tickLabel(int64_t time, int exponent);
