#pragma once
// Where the bars of a bar chart stand: equal slots side by side across the
// width, each bar's height proportional to its value over the largest one.

#include <cstdint>
#include <span>
#include <vector>

struct BarSlot {
    int x = 0;
    int width = 0;
    int height = 0; // from the bottom, rounded; a value above 0 shows at least 1 pixel
    bool operator==(const BarSlot&) const = default;
};

// Slots of at least one pixel; a gap of one pixel between slots wider than 3.
std::vector<BarSlot> barSlots(std::span<const uint64_t> values, int width, int height);

// Where the parts of one stacked bar end, from its left end: the parts laid
// end to end at `width` pixels per `scale`, each edge rounded on its own so
// that the parts tile the bar. Parts below 0 count as 0; the bar stops at
// `width`.
std::vector<int> stackedEdges(std::span<const int64_t> parts, int64_t scale, int width);
