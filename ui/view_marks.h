#pragma once
// What the event explorer draws over its picture: the selected time range as
// a translucent band and an outline around the selected call's bar.

#include "view/hit_test.h"
#include "view/time_axis.h"
#include "view/view_state.h"

#include <QColor>
#include <QPainter>
#include <QRect>

// The outline keeps 3 pixels off the bar (whose square caps reach 1 pixel
// beyond its ends) and spans the mark band, b - 15 to b - 5 in a 20-pixel row.
constexpr int kOutlineGap = 3;
inline const QColor kOutlineColour(255, 165, 0);
inline const QColor kRangeColour(90, 160, 255, 80);

void paintRangeBand(QPainter& painter, const QRect& bounds, const TimeWindow& window,
                    const ViewRange& range);
void paintSelectionOutline(QPainter& painter, const DrawnBar& bar, const RowGeometry& row = {});
