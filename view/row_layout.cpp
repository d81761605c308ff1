#include "view/row_layout.h"

#include "model/trace_document.h"
#include "view/time_axis.h"
#include "view/view_filter.h"

#include <algorithm>
#include <cmath>

std::vector<bool> shownPositions(const TTrace& trace, const ViewFilter& filter) {
    const uint32_t n = trace.processCount();
    std::vector<bool> shown(n);
    for (uint32_t i = 0; i < n; ++i)
        shown[i] = filter.nodeVisible(trace.nodeIndexAt(i)) && filter.rankVisible(trace.rankAt(i));
    return shown;
}

RowGeometry rowGeometry(int height) {
    RowGeometry g;
    g.height = std::max(1, height);
    if (g.height == kRowHeight) return g;
    // Rounded to the nearest pixel; the centre line stays inside a 1-pixel row.
    g.centre = std::max(1, g.height / 2);
    g.markLow = (g.height + 2) / 4;
    g.markHigh = g.height - g.markLow;
    g.crossArm = std::max(1, (g.markHigh - g.markLow) / 2);
    g.barWidth = std::max(1, (3 * g.height + kRowHeight / 2) / kRowHeight);
    return g;
}

int fittedRowHeight(int64_t shown, int64_t viewHeight) {
    if (shown <= 0) return kRowHeight;
    return static_cast<int>(std::clamp<int64_t>(viewHeight / shown, 1, 1 << 20));
}

int rowsPerLabel(int rowHeight, int textHeight) {
    rowHeight = std::max(1, rowHeight);
    return std::max(1, (textHeight + rowHeight - 1) / rowHeight);
}

RowLayout layoutRows(const std::vector<bool>& shown, int64_t pos, int64_t height, int rowHeight) {
    RowLayout layout;
    layout.geometry = rowGeometry(rowHeight);
    const int64_t pitch = layout.geometry.height;
    layout.edgeOf.resize(shown.size());
    // Scrolled beyond the top (pos above the count): nothing is scrolled off.
    const int64_t skip = std::max<int64_t>(0, static_cast<int64_t>(shown.size()) - pos);
    int64_t walked = 0; // shown processes met so far, from the bottom
    bool onScreen = true;
    for (size_t i = shown.size(); i-- > 0;) {
        if (!shown[i]) continue;
        const int64_t edge = height - (walked - skip) * pitch;
        layout.edgeOf[i] = edge;
        ++walked;
        if (walked <= skip) continue; // scrolled off below
        if (edge <= 0) onScreen = false;
        if (onScreen) layout.rows.push_back({static_cast<uint32_t>(i), edge});
    }
    return layout;
}

bool rowContains(const Row& row, int64_t y, int rowHeight) {
    return row.bottom - std::max(1, rowHeight) <= y && y <= row.bottom;
}

LinkEnd cutLinkBeyondRightEdge(int64_t senderEdge, int64_t partnerEdge, int64_t start,
                               int64_t receiveEnd, int64_t t1) {
    const double whole = timeSpan(start, receiveEnd);
    const double part = timeSpan(start, t1);
    int64_t edge = partnerEdge;
    if (whole > 0.0) {
        // The whole edge is truncated, not the rise: 100 - 13.3 gives 86.
        const double rise = static_cast<double>(partnerEdge - senderEdge) * part / whole;
        edge = clampToInt64(std::trunc(static_cast<double>(senderEdge) + rise));
    }
    return {edge, t1};
}

RankIndex::RankIndex(const TTrace& trace) {
    const uint32_t n = trace.processCount();
    sorted_.reserve(n);
    for (uint32_t i = 0; i < n; ++i)
        sorted_.emplace_back(static_cast<uint32_t>(trace.rankAt(i)), i);
    // Stable, so that among equal ranks the first list position comes first.
    std::stable_sort(sorted_.begin(), sorted_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

std::optional<uint32_t> RankIndex::positionOf(uint32_t rank) const {
    auto it = std::lower_bound(sorted_.begin(), sorted_.end(), rank,
                               [](const auto& e, uint32_t r) { return e.first < r; });
    if (it == sorted_.end() || it->first != rank) return std::nullopt;
    return it->second;
}
