#include "ui/bar_runs.h"

#include <QColor>

#include <algorithm>

BarRuns::BarRuns(int left, int right)
    : left_(left), colours_(right >= left ? static_cast<size_t>(right - left + 1) : 0, 0) {}

bool BarRuns::add(const QRect& r, QRgb colour) {
    const int from = r.left() - left_, to = r.right() - left_;
    if (from < 0 || to >= static_cast<int>(colours_.size())) return false;
    if (bottom_ >= top_ && (r.top() != top_ || r.bottom() != bottom_)) return false;
    if (bottom_ < top_) {
        top_ = r.top();
        bottom_ = r.bottom();
        lo_ = from;
        hi_ = to;
    }
    lo_ = std::min(lo_, from);
    hi_ = std::max(hi_, to);
    std::fill(colours_.begin() + from, colours_.begin() + to + 1, colour | 0xff000000u);
    return true;
}
