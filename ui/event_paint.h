#pragma once
// The event explorer's picture: rows of call bars and the send-to-receive
// links. paintCalls draws the pixels of the plain painter
// (ui/reference/paint_reference.h) as a pipeline: the walk
// (view/draw_walk.h) finds through the trace's time index which calls and
// links show and writes them, in drawing order, into a draw list of plain
// lines (view/draw_list.h); the culler (ui/line_culler.h), unless the cache
// turns it off, leaves out what later lines paint over and draws the rest;
// without it the plain backend (ui/draw_backend.h) draws every line. A
// PaintSink, where one is handed in, learns the stages' times and counts.

#include "view/row_layout.h"
#include "view/time_axis.h"

#include <QImage>
#include <QPainter>
#include <QRect>

#include <optional>

class TTrace;
class ViewFilter;
class ColorPalette;
struct PaintCache;
struct PaintSink;

struct EventPaintInput {
    TTrace& trace;
    const ViewFilter& filter;
    const ColorPalette& palette;
    double zoom = 1.0;
    int offset = 0;
    int pos = 0;
    // The time at x = 0 when it is not offset x step (a left edge off the
    // scroll step grid).
    std::optional<int64_t> start = {};
    // Pixels per row: the fixed 20, or a height fitted to the view.
    int rowHeight = kRowHeight;
};

// The time window a paint of `width` pixels shows.
TimeWindow windowOf(const EventPaintInput& in, int width);

// Draws onto a painter that is already black over `bounds`, or onto
// `blackFirst`, the painter's image, which it makes black (all of it) before
// it draws.
void paintCalls(QPainter& painter, const QRect& bounds, const EventPaintInput& in,
                PaintCache& cache, QImage* blackFirst = nullptr, PaintSink* sink = nullptr);

// The view as the widget shows it: black with paintCalls' picture, drawn into
// an image of the view's own size that the cache keeps, then copied through
// `target` to `bounds`. A window's backing store clips the view at a
// rectangle inside a larger device, where the rasteriser cuts lines otherwise
// than at a device's edge; in an image of its own the view's edges are the
// device's, and the picture is the same wherever it lands.
void paintView(QPainter& target, const QRect& bounds, const EventPaintInput& in, PaintCache& cache,
               PaintSink* sink = nullptr);
