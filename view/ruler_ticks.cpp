#include "view/ruler_ticks.h"

#include "view/time_axis.h"

#include <algorithm>
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
        const int64_t time = clampToInt64(t);
        ticks.push_back({x, tickLabel(time, scale.exponent), time});
    }
    return ticks;
}

std::vector<RulerTick> rulerTicksFrom(double zoom, int64_t t0, int width, int64_t origin) {
    std::vector<RulerTick> ticks;
    if (!(zoom > 0.0) || !std::isfinite(zoom) || width - 60 <= 1) return ticks;
    const RulerScale scale = rulerScale(zoom);
    // Times counted from the origin: the first multiple of the step at or
    // after the left edge.
    const int64_t from = saturatingSub(t0, origin);
    int64_t rel = from / scale.step * scale.step;
    if (rel < from) rel = saturatingAdd(rel, scale.step);
    for (; rel >= from; rel = saturatingAdd(rel, scale.step)) {
        const double dx = std::trunc(timeSpan(from, rel) * zoom);
        if (!(dx + 1 < static_cast<double>(width - 60))) break;
        const int x = static_cast<int>(dx) + 1;
        if (!ticks.empty() && x <= ticks.back().x) break;
        ticks.push_back({x, tickLabel(rel, scale.exponent), rel});
        if (rel == std::numeric_limits<int64_t>::max()) break;
    }
    return ticks;
}

RulerScale readableScale(double zoom) {
    RulerScale scale = rulerScale(zoom);
    if (scale.exponent > 6) scale.exponent = 6;
    scale.unit = scale.exponent == 0 ? "\u00b5s" : scale.exponent == 3 ? "ms" : "s";
    return scale;
}

std::vector<PlacedLabel> placeLabels(const std::vector<int>& tickX,
                                     const std::vector<int>& textWidth, int unitLeft, int gap) {
    std::vector<PlacedLabel> placed;
    int freeFrom = 0; // the first pixel the next label may take
    for (size_t i = 0; i < tickX.size() && i < textWidth.size(); ++i) {
        const int left = std::max(freeFrom, tickX[i] - textWidth[i] / 2);
        // Pushed right by the edge or the last label, a label may still stay
        // by its tick; one pushed past its tick belongs to no tick any more.
        if (left > tickX[i] || left + textWidth[i] > unitLeft) continue;
        placed.push_back({i, left});
        freeFrom = left + textWidth[i] + gap;
    }
    return placed;
}
