#include "ui/reference/paint_reference.h"

#include "ui/draw_backend.h"
#include "ui/paint_clip.h"
#include "view/reference/walk_reference.h"
#include "view/row_layout.h"
#include "view/time_axis.h"

void paintCallsReference(QPainter& painter, const QRect& bounds, const EventPaintInput& in) {
    const TimeWindow window = windowOf(in, bounds.width());
    const RowLayout layout =
        layoutRows(shownPositions(in.trace, in.filter), in.pos, bounds.height(), in.rowHeight);
    PackedRgb colour = 0;
    int width = -1;
    walkCallsReference(in.trace, in.filter, in.palette, window, layout,
                       [&](int64_t x1, int64_t y1, int64_t x2, int64_t y2, PackedRgb c, int w) {
                           if (c != colour || w != width) {
                               colour = c;
                               width = w;
                               painter.setPen(penOf(c, w));
                           }
                           drawClippedLine(painter, bounds, x1, y1, x2, y2);
                       });
}
