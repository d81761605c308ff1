#include "ui/column_cover.h"

#include <algorithm>

ColumnCover::ColumnCover(int64_t left, int64_t right) {
    reset(left, right);
}

void ColumnCover::reset(int64_t left, int64_t right) {
    left_ = left;
    columns_.resize(right >= left ? static_cast<size_t>(right - left + 1) : 0);
    for (std::vector<Run>& runs : columns_) runs.clear();
}

void ColumnCover::add(int64_t x, int y1, int y2, std::vector<Run>& visible) {
    const int lo = std::min(y1, y2), hi = std::max(y1, y2);
    if (x < left_ || x - left_ >= static_cast<int64_t>(columns_.size())) {
        visible.emplace_back(lo, hi);
        return;
    }
    std::vector<Run>& runs = columns_[static_cast<size_t>(x - left_)];
    // The first run that overlaps or touches [lo, hi]; runs before it end above lo - 1.
    auto first = std::lower_bound(runs.begin(), runs.end(), lo,
                                  [](const Run& r, int y) { return r.second < y - 1; });
    auto last = first;
    int next = lo; // first row not yet known to be covered
    int mergedLo = lo, mergedHi = hi;
    for (; last != runs.end() && last->first <= hi + 1; ++last) {
        if (last->first > next) visible.emplace_back(next, std::min(hi, last->first - 1));
        next = std::max(next, last->second + 1);
        mergedLo = std::min(mergedLo, last->first);
        mergedHi = std::max(mergedHi, last->second);
    }
    if (next <= hi) visible.emplace_back(next, hi);
    if (first == last) {
        runs.insert(first, {mergedLo, mergedHi});
    } else {
        *first = {mergedLo, mergedHi};
        runs.erase(first + 1, last);
    }
}
