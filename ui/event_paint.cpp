#include "ui/event_paint.h"

#include "model/trace_document.h"
#include "ui/draw_backend.h"
#include "ui/paint_cache.h"
#include "ui/paint_sink.h"
#include "view/draw_walk.h"
#include "view/row_layout.h"
#include "view/time_axis.h"
#include "view/time_index.h"
#include "view/view_filter.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <span>

TimeWindow windowOf(const EventPaintInput& in, int width) {
    return in.start ? timeWindowAt(in.zoom, *in.start, width)
                    : timeWindow(in.zoom, in.offset, width);
}

namespace {

// Images whose black is one 32-bit word per pixel.
bool fillsBlackByRows(const QImage& image) {
    const QImage::Format f = image.format();
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
           f == QImage::Format_ARGB32_Premultiplied;
}

constexpr uint32_t kBlackStrips = 4;

double msSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

// Strip `k` of `count` of the image's rows made black. Written through the
// image's bits without detaching it: a painter is open on it.
void blackStrip(QImage& image, uint32_t k, uint32_t count) {
    const int height = image.height();
    const int from = static_cast<int>(int64_t{height} * k / count);
    const int to = static_cast<int>(int64_t{height} * (k + 1) / count);
    auto* bits = const_cast<uchar*>(image.constBits());
    for (int y = from; y < to; ++y)
        std::fill_n(
            reinterpret_cast<QRgb*>(bits + static_cast<ptrdiff_t>(y) * image.bytesPerLine()),
            image.width(), qRgb(0, 0, 0));
}

} // namespace

void paintCalls(QPainter& painter, const QRect& bounds, const EventPaintInput& in,
                PaintCache& cache, QImage* blackFirst, PaintSink* sink) {
    const auto started = std::chrono::steady_clock::now();
    TTrace& trace = in.trace;
    const TimeWindow window = windowOf(in, bounds.width());
    const RowLayout layout =
        layoutRows(shownPositions(trace, in.filter), in.pos, bounds.height(), in.rowHeight);
    // The trace's own index, or one for this paint alone.
    std::optional<TimeIndex> ownIndex;
    TimeIndex* index = cache.timeIndex;
    if (!index || &index->trace() != &trace) index = &ownIndex.emplace(trace);
    const DrawWalk walk(trace, in.filter, in.palette, window, layout, *index);
    const size_t rowCount = walk.rowCount();
    const std::span<const uint64_t> costTo = walk.costTo();

    // Rows are walked in parts of about equal cost, each into a draw list of
    // its own, the parts shared with the helper thread where there is much to
    // walk, then joined in row order: the lines are the same, in the same
    // order.
    const size_t parts =
        rowCount >= PaintWorkers::kWalkParts && walk.shownCalls() >= cache.workers.callsWorthThreads
            ? PaintWorkers::kWalkParts
            : 1;
    cache.scratch.lines.reset(pixelRectOf(bounds));
    // The image is made black in strips taken after the walk's parts, by
    // whichever thread is through with its parts first.
    const bool blackInStrips = blackFirst && parts > 1 && fillsBlackByRows(*blackFirst);
    if (blackFirst && !blackInStrips) blackFirst->fill(Qt::black);
    if (parts == 1) {
        walk.walk(0, rowCount, cache.scratch.lines);
    } else {
        for (DrawList& part : cache.scratch.laterParts) part.reset(pixelRectOf(bounds));
        std::array<size_t, PaintWorkers::kWalkParts + 1> from{};
        for (size_t part = 1; part < parts; ++part) {
            const uint64_t target = costTo[rowCount] * part / parts;
            from[part] = std::max<size_t>(
                from[part - 1],
                static_cast<size_t>(std::lower_bound(costTo.begin(), costTo.end(), target) -
                                    costTo.begin()));
        }
        from[parts] = rowCount;
        const uint32_t strips = blackInStrips ? kBlackStrips : 0;
        cache.workers.helper.run(static_cast<uint32_t>(parts) + strips, [&](uint32_t part) {
            if (part >= parts) {
                blackStrip(*blackFirst, part - static_cast<uint32_t>(parts), strips);
                return;
            }
            const auto t = std::chrono::steady_clock::now();
            DrawList& lines = part == 0 ? cache.scratch.lines : cache.scratch.laterParts[part - 1];
            walk.walk(from[part], from[part + 1], lines);
            if (sink) sink->walkPartMs[part] = msSince(t);
        });
        cache.scratch.lines.append(std::span(cache.scratch.laterParts.data(), parts - 1),
                                   &cache.workers.helper);
    }
    if (sink) sink->walkMs = msSince(started);
    DrawList& lines = cache.scratch.lines;
    // The culler knows pens up to the bar's 3 pixels; rows fitted tall enough
    // for wider bars are drawn line by line.
    if (cache.cull && layout.geometry.barWidth <= 3)
        cache.scratch.culler.draw(painter, lines, cache.scratch.measures, &cache.workers.helper,
                                  cache.workers.linesWorthSharing, sink);
    else {
        drawLines(painter, lines);
        if (sink) sink->counts = {.lines = lines.lines().size(), .drawn = lines.lines().size()};
    }
}

void paintView(QPainter& target, const QRect& bounds, const EventPaintInput& in, PaintCache& cache,
               PaintSink* sink) {
    const qreal ratio = target.device() ? target.device()->devicePixelRatio() : 1.0;
    const QSize size = (QSizeF(bounds.size()) * ratio).toSize();
    if (size.isEmpty()) return;
    QImage& canvas = cache.scratch.canvas;
    if (canvas.size() != size) canvas = QImage(size, QImage::Format_RGB32);
    canvas.setDevicePixelRatio(ratio);
    {
        QPainter painter(&canvas);
        paintCalls(painter, QRect(QPoint(0, 0), bounds.size()), in, cache, &canvas, sink);
    }
    target.drawImage(bounds.topLeft(), canvas);
}
