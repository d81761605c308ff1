#pragma once
// What the event explorer keeps for its painter between paints: the trace's
// time index (not owned), the memory a paint reuses, and the threads it
// shares its work with. Timings are not kept here: a paint reports them to
// a PaintSink, where one is handed in.

#include "ui/paint_scratch.h"
#include "ui/paint_workers.h"

class TimeIndex;

struct PaintCache {
    TimeIndex* timeIndex = nullptr; // the painted trace's
    PaintScratch scratch;
    PaintWorkers workers;
    // Whether the culler runs between the walk and the backend; without it
    // every line of the draw list is drawn (the same picture).
    bool cull = true;

    void clear() { scratch.clear(); }
};
