#include "view/ruler_ticks.h"

#include "view/time_axis.h"

#include <cmath>
#include <cstdio>
#include <limits>

RulerScale rulerScale(double zoom) {
    RulerScale scale;
    scale.step = scrollStep(zoom);
    int k = 0; // the decimal exponent of the step's leading digit
    for (int64_t p = 1; k < 18 && p * 10 <= scale.step; p *= 10) ++k;
    scale.exponent = k - k % 3;
    switch (scale.exponent) {
    case 0:
        scale.unit = "[mks]";
        break;
    case 3:
        scale.unit = "[ms]";
        break;
    case 6:
        scale.unit = "[s]";
        break;
    default:
        scale.unit = "";
        break;
    }
    return scale;
}

std::string tickLabel(int64_t time, int exponent) {
    const double value = static_cast<double>(time) / std::pow(10.0, exponent);
    char text[40];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::vector<RulerTick> rulerTicks(double zoom, int offset, int width) {
    std::vector<RulerTick> ticks;
    if (!(zoom > 0.0) || !std::isfinite(zoom) || width - 60 <= 1) return ticks;
    const RulerScale scale = rulerScale(zoom);
    const double tstart = static_cast<double>(offset) * static_cast<double>(scale.step);
    for (int64_t i = 0;; ++i) {
        const double t = tstart + static_cast<double>(i) * static_cast<double>(scale.step);
        const double dx = std::trunc((t - tstart) * zoom);
        if (!(dx < static_cast<double>(width))) break;
        const int x = static_cast<int>(dx) + 1;
        if (x >= width - 60) break;
        // A step too small to move a pixel cannot happen (step >= 1 and
        // step * zoom > 10 pixels), but never loop without advancing.
        if (!ticks.empty() && x <= ticks.back().x) break;
        ticks.push_back({x, tickLabel(clampToInt64(t), scale.exponent)});
    }
    return ticks;
}

std::vector<RulerTick> rulerTicksFrom(double zoom, int64_t t0, int width) {
    std::vector<RulerTick> ticks;
    if (!(zoom > 0.0) || !std::isfinite(zoom) || width - 60 <= 1) return ticks;
    const RulerScale scale = rulerScale(zoom);
    // The first multiple of the step at or after t0.
    int64_t t = t0 / scale.step * scale.step;
    if (t < t0) t = saturatingAdd(t, scale.step);
    for (; t >= t0; t = saturatingAdd(t, scale.step)) {
        const double dx = std::trunc(timeSpan(t0, t) * zoom);
        if (!(dx + 1 < static_cast<double>(width - 60))) break;
        const int x = static_cast<int>(dx) + 1;
        if (!ticks.empty() && x <= ticks.back().x) break;
        ticks.push_back({x, tickLabel(t, scale.exponent)});
        if (t == std::numeric_limits<int64_t>::max()) break;
    }
    return ticks;
}
