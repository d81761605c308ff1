#include "ui/call_hit.h"

#include "model/trace_document.h"
#include "model/wrapping_math.h"
#include "ui/row_layout.h"
#include "ui/time_axis.h"
#include "ui/view_filter.h"

std::optional<CallHit> callAt(TTrace& trace, const ViewFilter& filter, const ViewPlace& view,
                              int64_t x, int64_t y) {
    const TimeWindow window = timeWindow(view.zoom, view.offset, view.width);
    const RowLayout layout = layoutRows(shownPositions(trace, filter), view.pos, view.height);

    for (const Row& row : layout.rows) {
        if (!rowContains(row, y)) continue;
        const int64_t nodeShift =
            trace.nodeOffset(static_cast<uint32_t>(trace.nodeIndexAt(row.position)));
        for (TFunc* f = trace.firstCall(row.position); f; f = trace.nextCall(row.position)) {
            const ClippedCall c =
                clipCall(window, wrapAdd(f->start, nodeShift), wrapAdd(f->end, nodeShift));
            if (c.place == CallPlace::Before) continue;
            if (c.place == CallPlace::After) break;
            if (!filter.funcVisible(f->funcId)) continue; // as if it were not there
            const int64_t xs = pixelOf(window, c.start);
            const int64_t xe = pixelOf(window, c.end);
            if (xs <= x && x <= xe) return CallHit{row.position, f};
            if (x < xe || c.lastInRow) break;
        }
    }
    return std::nullopt;
}
