#pragma once
// The memory a paint reuses (fresh memory is slow to come by): the view's
// picture before it is shown, the draw lists of the walk's parts, the
// culler's bands, and what the culler measures of bars (kept while the view
// keeps its place and width) and of one-pixel lines by extent.

#include "ui/line_culler.h"
#include "ui/line_measures.h"
#include "ui/paint_workers.h"
#include "view/draw_list.h"

#include <QImage>

#include <array>

struct PaintScratch {
    // Per band of rows that a thread works out.
    std::array<LineMeasures, 2> measures;
    QImage canvas;  // (paintView)
    DrawList lines; // the draw list, the first part's and then all of it
    LineCuller culler;
    // The lines of the walk's later parts, joined after the first.
    std::array<DrawList, PaintWorkers::kWalkParts - 1> laterParts;

    void clear() {
        for (LineMeasures& m : measures) m.clear();
    }
};
