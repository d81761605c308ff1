#include "view/scroll_target.h"

#include "view/row_layout.h"
#include "view/time_axis.h"

#include <algorithm>

namespace {

// floor(a / b) for b > 0.
int64_t floorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return q * b > a ? q - 1 : q;
}

} // namespace

int64_t offsetAt(int64_t t, double zoom) {
    return floorDiv(t, scrollStep(zoom));
}

int64_t offsetShowing(int64_t t, double zoom, int width, int64_t currentOffset) {
    const TimeWindow w = timeWindow(zoom, clampToInt(static_cast<double>(currentOffset)), width);
    if (w.t0 <= t && t < w.t1) return currentOffset;
    const int64_t lead = clampToInt64(timeSpan(w.t0, w.t1) / 3.0);
    return offsetAt(saturatingAdd(t, -lead), zoom);
}

namespace {

// Shown rows below the one of `position`: its place in the walk from the bottom.
int64_t rowsBelow(const std::vector<bool>& shown, uint32_t position) {
    int64_t below = 0;
    for (size_t i = position + 1; i < shown.size(); ++i) below += shown[i];
    return below;
}

// Rows that show whole in a view `height` pixels high.
int64_t wholeRows(int height, int rowHeight) {
    return std::max<int64_t>(1, height / std::max(1, rowHeight));
}

} // namespace

std::optional<int64_t> posWithRowAtTop(const std::vector<bool>& shown, uint32_t position,
                                       int height, int rowHeight) {
    if (position >= shown.size() || !shown[position]) return std::nullopt;
    const int64_t skip = rowsBelow(shown, position) - (wholeRows(height, rowHeight) - 1);
    return static_cast<int64_t>(shown.size()) - std::max<int64_t>(0, skip);
}

std::optional<int64_t> posShowing(const std::vector<bool>& shown, uint32_t position,
                                  int64_t currentPos, int height, int rowHeight) {
    if (position >= shown.size() || !shown[position]) return std::nullopt;
    const auto count = static_cast<int64_t>(shown.size());
    const int64_t below = rowsBelow(shown, position);
    const int64_t fit = wholeRows(height, rowHeight);
    const int64_t skip = std::max<int64_t>(0, count - currentPos);
    if (below >= skip && below - skip < fit) return currentPos;
    const int64_t newSkip = std::clamp<int64_t>(below - fit / 2, 0, below);
    return count - newSkip;
}
