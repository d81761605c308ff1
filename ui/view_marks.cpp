#include "ui/view_marks.h"

#include <algorithm>

void paintRangeBand(QPainter& painter, const QRect& bounds, const TimeWindow& window,
                    const ViewRange& range) {
    const int64_t from = std::max<int64_t>(pixelOf(window, range.start), bounds.left() - 1);
    const int64_t to = std::min<int64_t>(pixelOf(window, range.end), bounds.right() + 1);
    if (to < from) return;
    painter.fillRect(QRect(static_cast<int>(from), bounds.top(), static_cast<int>(to - from + 1),
                           bounds.height()),
                     kRangeColour);
}

void paintSelectionOutline(QPainter& painter, const DrawnBar& bar, const RowGeometry& row) {
    const auto clampPx = [](int64_t v) {
        return static_cast<int>(std::clamp<int64_t>(v, -1 << 20, 1 << 20));
    };
    painter.setPen(QPen(kOutlineColour, 1));
    painter.setBrush(Qt::NoBrush);
    const int left = clampPx(bar.xs - kOutlineGap), right = clampPx(bar.xe + kOutlineGap);
    const int top = clampPx(bar.bottom - row.markHigh), bottom = clampPx(bar.bottom - row.markLow);
    painter.drawRect(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)));
}
