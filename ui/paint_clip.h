#pragma once
// Draws a line given in 64-bit coordinates, clipped first to the widget's
// rectangle plus a small margin (so that pens wider than 1 pixel still paint
// their edges near the border).

#include "view/segment_clip.h"

#include <QPainter>
#include <QRect>

inline void drawClippedLine(QPainter& painter, const QRect& bounds, int64_t x1, int64_t y1,
                            int64_t x2, int64_t y2) {
    constexpr int64_t kMargin = 8;
    const ClipBox box{bounds.left() - kMargin, bounds.top() - kMargin, bounds.right() + kMargin,
                      bounds.bottom() + kMargin};
    if (const auto s = clipSegment({x1, y1, x2, y2}, box))
        painter.drawLine(static_cast<int>(s->x1), static_cast<int>(s->y1), static_cast<int>(s->x2),
                         static_cast<int>(s->y2));
}
