#pragma once
// The event explorer's picture: rows of call bars and the send-to-receive
// links. paintCallsReference walks every call of every row from its first
// record through the trace's shared cursor; paintCalls draws the same pixels
// with the help of what the cache keeps between paints: it jumps over the
// calls that end before the window, reads links from their per-process
// layout, and hands its lines to a LineList, which leaves out what later
// lines paint over and fills bars instead of stroking them.

#include <QPainter>
#include <QRect>

class TTrace;
class ViewFilter;
class ColorPalette;
struct PaintCache;

struct EventPaintInput {
    TTrace& trace;
    const ViewFilter& filter;
    const ColorPalette& palette;
    double zoom = 1.0;
    int offset = 0;
    int pos = 0;
};

// Both draw onto a painter that is already black over `bounds`.
void paintCallsReference(QPainter& painter, const QRect& bounds, const EventPaintInput& in);
void paintCalls(QPainter& painter, const QRect& bounds, const EventPaintInput& in,
                PaintCache& cache);
