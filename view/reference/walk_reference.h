#pragma once
// The calls of the shown rows walked the plain way, for the tests and the
// benchmark that compare the painter's walk with it: every call of every
// shown row read from its first record through the trace's shared cursor,
// each bar, mark and link handed on as it comes, in drawing order, unclipped,
// to line(x1, y1, x2, y2, colour, width) (width: the pen's, bars included).

#include "format/func_ids.h"
#include "model/trace_document.h"
#include "model/wrapping_math.h"
#include "view/color_palette.h"
#include "view/draw_list.h"
#include "view/draw_walk.h"
#include "view/row_layout.h"
#include "view/time_axis.h"
#include "view/view_filter.h"

#include <optional>

template <class Line>
void walkCallsReference(TTrace& trace, const ViewFilter& filter, const ColorPalette& palette,
                        const TimeWindow& window, const RowLayout& layout, Line&& line) {
    std::optional<RankIndex> ranks;
    if (filter.showLinks) ranks.emplace(trace);
    const PackedRgb white = packRgb(255, 255, 255);
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
            if (!filter.funcVisible(f->funcId)) continue;

            const int64_t xs = pixelOf(window, c.start);
            const TColour tc = palette.colourOf(f->funcId & ~kUnfinishedFlag);
            const PackedRgb colour = packRgb(tc.r, tc.g, tc.b);
            const int w = g.barWidth;
            if (f->funcId == kFuncInstantMark) {
                const int arm = g.crossArm;
                line(xs - arm, b - g.markHigh, xs + arm, b - g.markLow, colour, w);
                line(xs - arm, b - g.markLow, xs + arm, b - g.markHigh, colour, w);
            } else {
                const int64_t xe = pixelOf(window, c.end);
                line(xs, b - g.centre, xe, b - g.centre, colour, w);
                if (f->funcId & kUnfinishedFlag)
                    line(xe, b - g.markLow, xe, b - g.markHigh, colour, w);
            }
            if (filter.showLinks)
                forEachLinkLine(trace, filter, window, layout, *ranks, *f, b, c.start, xs,
                                [&](int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
                                    line(x1, y1, x2, y2, white, 1);
                                });
            if (c.lastInRow) break;
        }
    }
}
