#include "view/navigation.h"

#include "view/time_axis.h"

#include <algorithm>
#include <cmath>

double NavigationLimits::fitZoom() const {
    return fittingZoom(width, start, end);
}

double NavigationLimits::clampZoom(double zoom) const {
    const double fit = fitZoom();
    return std::clamp(zoom, fit, std::max(1.0, fit));
}

ViewTime NavigationLimits::clampStart(ViewTime t, double zoom) const {
    const ScrollRange room = zoomScrollRange(start, end, scrollStep(zoom));
    const auto step = static_cast<ViewTime>(scrollStep(zoom));
    return std::clamp(t, room.minimum * step, room.maximum * step);
}

bool isFitted(const ViewState& state, const NavigationLimits& limits) {
    if (!state.onStepGrid() || state.zoom() != limits.fitZoom()) return false;
    return state.offset() == fitScrollRange(limits.start, limits.end, state.step()).value;
}

Viewport viewportOfRange(const ViewRange& range, const NavigationLimits& limits) {
    const double drawn = std::max(1, limits.width - 10);
    const double length = std::max<double>(1.0, timeSpan(range.start, range.end));
    const double wanted = drawn / length;
    const double zoom = limits.clampZoom(wanted);
    if (zoom == wanted) return {zoom, static_cast<ViewTime>(range.start)};
    const ViewTime middle = static_cast<ViewTime>(range.start) +
                            static_cast<ViewTime>(timeSpan(range.start, range.end)) / 2;
    return {zoom, middle - static_cast<ViewTime>(drawn) / 2 / zoom};
}

double wheelZoom(double zoom, double notches, const NavigationLimits& limits) {
    return limits.clampZoom(zoom * std::exp2(notches / 2.0));
}
