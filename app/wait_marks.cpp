#include "app/wait_marks.h"

#include "analysis/analysis_indexes.h"
#include "model/trace_document.h"
#include "view/row_layout.h"
#include "view/time_axis.h"

#include <QPainter>

#include <algorithm>

EventExpl::Overlay waitMarks(std::shared_ptr<AnalysisIndexes> indexes) {
    return [indexes](QPainter& painter, const TimeWindow& window, const RowLayout& layout) {
        const TTrace& trace = indexes->trace();
        const WaitIndex& waits = indexes->waits();
        const TimeRange shown{window.t0, wrapAdd(window.t1, 1)};
        for (const Row& row : layout.rows) {
            const TProcess* p = trace.processAt(row.position);
            // The waits belong to the first process of each rank.
            if (!p || trace.processOfRank(static_cast<int32_t>(p->rank)) != p) continue;
            const ScopedProcess sp{p, static_cast<int32_t>(p->rank),
                                   trace.nodeOffset(p->nodeIndex)};
            // The bar is 3 pixels thick about its centre line, bottom - 10.
            for (const WaitIndex::WaitingPart& part : waits.waitingParts(sp, shown)) {
                const int64_t x0 = pixelOf(window, std::max(part.from, window.t0));
                const int64_t x1 = pixelOf(window, std::min(part.to, window.t1));
                painter.fillRect(QRect(QPoint(int(x0), int(row.bottom - 11)),
                                       QPoint(int(x1), int(row.bottom - 9))),
                                 kWaitShade);
            }
        }
    };
}
