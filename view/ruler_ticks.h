#pragma once
// Tick marks and labels of the time ruler, computed without Qt.

#include <cstdint>
#include <string>
#include <vector>

struct RulerTick {
    int x = 0;
    std::string label; // the time in the ruler's unit, "%g"
    int64_t time = 0;  // the time labelled, counted from the ruler's origin
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
// With an origin, the ticks fall on multiples of the step counted from it and
// their labels count from it too.
std::vector<RulerTick> rulerTicksFrom(double zoom, int64_t t0, int width, int64_t origin = 0);

// The scale of a ruler for people: the unit spelled "µs", "ms" or "s", and
// seconds for every step of a second or more.
RulerScale readableScale(double zoom);

// Where the labels of a readable ruler go: each centred on its tick, but
// none cut by the left edge nor reaching into the unit's box at unitLeft;
// a label that would come closer than `gap` pixels to the one before it is
// left out. textWidth[i] is the width of tick i's label.
struct PlacedLabel {
    size_t tick = 0;
    int left = 0;
    friend bool operator==(const PlacedLabel&, const PlacedLabel&) = default;
};
std::vector<PlacedLabel> placeLabels(const std::vector<int>& tickX,
                                     const std::vector<int>& textWidth, int unitLeft, int gap = 6);

// A time divided by 10^exponent, "%g" (six significant digits).
std::string tickLabel(int64_t time, int exponent);
