#pragma once
// What the culler measures and marks while it finds what each line shows:
// the pixels of bars and of one-pixel lines, kept between pictures, and the
// pixel marks, kept for their memory. One set per band of rows that a thread
// of its own works on.

#include "ui/bar_extents.h"
#include "ui/edge_line_shapes.h"
#include "ui/line_shapes.h"
#include "ui/pixel_cover.h"

struct LineMeasures {
    BarExtents bars;
    LineShapes shapes;
    EdgeLineShapes edgeShapes;
    PixelCover pixels;

    // Forgets every measurement.
    void clear() {
        bars.clear();
        shapes.clear();
        edgeShapes.clear();
    }
};
