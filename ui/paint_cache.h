#pragma once
// What the event explorer keeps between paints to avoid walking every call:
// the skip index of end times, the links laid out for painting (both derived
// from the trace alone, forgotten when a trace opens or closes), the
// measured pixels of bars (kept while the view keeps its place and width) and
// of one-pixel lines by extent, and the memory a paint reuses.

#include "ui/line_list.h"
#include "ui/line_measures.h"
#include "ui/paint_helper.h"
#include "view/call_blocks.h"
#include "view/call_skip_index.h"
#include "view/link_end_index.h"

#include <QImage>

#include <array>

class TimeIndex;

struct PaintCache {
    // The painted trace's, not owned.
    TimeIndex* timeIndex = nullptr;
    // Per band of rows that a thread works out: what the line list measures
    // and marks.
    std::array<LineMeasures, 2> measures;
    QImage canvas;  // the view's picture before it is shown (paintView)
    LineList lines; // the same
    // Lines of the later parts of the rows, walked beside the first part by
    // the helper when the window shows about callsWorthThreads calls or more.
    static constexpr size_t kWalkParts = 8;
    std::array<LineList, kWalkParts - 1> laterParts;
    PaintHelper helper;
    uint64_t callsWorthThreads = uint64_t{1} << 14;
    // Lines from which their cover pass is shared with the helper.
    size_t linesWorthSharing = LineList::kLinesWorthSharing;
    double walkMs = 0; // of the last paint: walking the rows into lines
    std::array<double, kWalkParts> walkPartMs{};

    void clear() {
        for (LineMeasures& m : measures) m.clear();
    }
};
