#include "view/bar_chart.h"

#include <algorithm>
#include <cmath>

std::vector<BarSlot> barSlots(std::span<const uint64_t> values, int width, int height) {
    std::vector<BarSlot> out;
    if (values.empty() || width <= 0 || height <= 0) return out;
    const uint64_t largest = *std::max_element(values.begin(), values.end());
    const int n = static_cast<int>(values.size());
    const int slot = std::max(1, width / n);
    for (int i = 0; i < n; ++i) {
        BarSlot b;
        b.x = i * slot;
        b.width = slot > 3 ? slot - 1 : slot;
        if (largest > 0 && values[i] > 0) {
            // In long double: counts near 2^64 keep their order.
            const long double share = static_cast<long double>(values[i]) / largest;
            b.height = std::max(1, static_cast<int>(std::lround(share * height)));
        }
        out.push_back(b);
    }
    return out;
}

std::vector<int> stackedEdges(std::span<const int64_t> parts, int64_t scale, int width) {
    std::vector<int> edges;
    long double sum = 0; // exact enough for times near 2^63 without wrapping
    for (int64_t part : parts) {
        sum += std::max<int64_t>(part, 0);
        const long double x = scale > 0 ? sum * width / scale : 0;
        edges.push_back(static_cast<int>(std::lround(std::min<long double>(x, width))));
    }
    return edges;
}
