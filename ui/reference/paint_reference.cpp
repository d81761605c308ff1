#include "ui/reference/paint_reference.h"

#include "format/func_ids.h"
#include "model/trace_document.h"
#include "model/wrapping_math.h"
#include "ui/color_palette.h"
#include "ui/paint_clip.h"
#include "ui/paint_walk.h"
#include "view/row_layout.h"
#include "view/time_axis.h"
#include "view/view_filter.h"

#include <optional>

void paintCallsReference(QPainter& painter, const QRect& bounds, const EventPaintInput& in) {
    TTrace& trace = in.trace;
    const TimeWindow window = windowOf(in, bounds.width());
    const RowLayout layout =
        layoutRows(shownPositions(trace, in.filter), in.pos, bounds.height(), in.rowHeight);
    std::optional<RankIndex> ranks;
    if (in.filter.showLinks) ranks.emplace(trace);

    const RowGeometry& g = layout.geometry;
    for (const Row& row : layout.rows) {
        const int64_t b = row.bottom;
        const int64_t nodeShift = shiftOf(trace, row.position);
        for (TFunc* f = trace.firstCall(row.position); f; f = trace.nextCall(row.position)) {
            const ClippedCall c =
                clipCall(window, wrapAdd(f->start, nodeShift), wrapAdd(f->end, nodeShift));
            if (c.place == CallPlace::Before) continue;
            if (c.place == CallPlace::After) break;
            // A hidden call is passed over as if it were not in the list.
            if (!in.filter.funcVisible(f->funcId)) continue;

            const int64_t xs = pixelOf(window, c.start);
            painter.setPen(
                QPen(qColour(in.palette.colourOf(f->funcId & ~kUnfinishedFlag)), g.barWidth));
            if (f->funcId == kFuncInstantMark) {
                const int arm = g.crossArm;
                drawClippedLine(painter, bounds, xs - arm, b - g.markHigh, xs + arm, b - g.markLow);
                drawClippedLine(painter, bounds, xs - arm, b - g.markLow, xs + arm, b - g.markHigh);
            } else {
                const int64_t xe = pixelOf(window, c.end);
                drawClippedLine(painter, bounds, xs, b - g.centre, xe, b - g.centre);
                if (f->funcId & kUnfinishedFlag)
                    drawClippedLine(painter, bounds, xe, b - g.markLow, xe, b - g.markHigh);
            }
            if (in.filter.showLinks) {
                painter.setPen(QPen(Qt::white, 1));
                forEachLinkLine(trace, in.filter, window, layout, *ranks, *f, b, c.start, xs,
                                [&](int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
                                    drawClippedLine(painter, bounds, x1, y1, x2, y2);
                                });
            }
            if (c.lastInRow) break;
        }
    }
}
