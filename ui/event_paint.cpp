#include "ui/event_paint.h"

#include "model/trace_document.h"
#include "ui/line_list.h"
#include "ui/paint_cache.h"
#include "ui/paint_sink.h"
#include "ui/paint_walk.h"
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
    std::optional<RankIndex> ranks;
    std::optional<PartnerTable> partners;
    if (in.filter.showLinks) {
        ranks.emplace(trace);
        partners.emplace(trace, layout, *ranks);
    }
    // Everything the walk reads is built here, so that threads only read it
    // (the trace's node offsets included).
    trace.nodeOffset(0);
    const size_t rowCount = layout.rows.size();
    std::vector<int64_t> rowShift(rowCount);
    std::vector<const LinkEndIndex::ProcessLinks*> rowLinks(rowCount, nullptr);
    std::vector<const CallBlocks::ProcessBlocks*> rowBlocks(rowCount, nullptr);
    uint64_t calls = 0; // about how many the window shows: those ending from t0 to t1
    // About what walking each row up to its end costs: its calls in the
    // window and their links.
    std::vector<uint64_t> costTo(rowCount + 1, 0);
    for (size_t r = 0; r < rowCount; ++r) {
        const uint32_t position = layout.rows[r].position;
        const TProcess& process = *trace.processAt(position);
        rowShift[r] = shiftOf(trace, position);
        index->skips().prepare(process, rowShift[r]);
        if (in.filter.showLinks) rowLinks[r] = index->linkEnds().of(process);
        rowBlocks[r] = &index->blocks().prepare(process);
        const size_t first = index->skips().firstEndingAtOrAfter(process, rowShift[r], window.t0);
        const size_t end = index->skips().firstEndingAtOrAfter(process, rowShift[r], window.t1);
        calls += end - first;
        uint64_t cost = end - first;
        if (rowLinks[r] && end > first)
            cost += 2 * (rowLinks[r]->firstLinkOf(process.calls, end - 1) +
                         process.calls[end - 1].linkCount -
                         rowLinks[r]->firstLinkOf(process.calls, first));
        costTo[r + 1] = costTo[r] + cost;
    }
    const RowWalk walk{trace,
                       in,
                       window,
                       layout,
                       ranks ? &*ranks : nullptr,
                       partners ? &*partners : nullptr,
                       index->skips(),
                       rowShift,
                       rowLinks,
                       rowBlocks};

    // Rows are walked in parts of about equal cost, each into a line list of
    // its own, the parts shared with the helper thread where there is much to
    // walk, then joined in row order: the lines are the same, in the same
    // order.
    const size_t parts =
        rowCount >= PaintWorkers::kWalkParts && calls >= cache.workers.callsWorthThreads
            ? PaintWorkers::kWalkParts
            : 1;
    cache.scratch.lines.reset(bounds);
    // The image is made black in strips taken after the walk's parts, by
    // whichever thread is through with its parts first.
    const bool blackInStrips = blackFirst && parts > 1 && fillsBlackByRows(*blackFirst);
    if (blackFirst && !blackInStrips) blackFirst->fill(Qt::black);
    if (parts == 1) {
        walkRows(walk, 0, rowCount, cache.scratch.lines);
    } else {
        for (LineList& part : cache.scratch.laterParts) part.reset(bounds);
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
            LineList& lines = part == 0 ? cache.scratch.lines : cache.scratch.laterParts[part - 1];
            walkRows(walk, from[part], from[part + 1], lines);
            if (sink) sink->walkPartMs[part] = msSince(t);
        });
        cache.scratch.lines.append(std::span(cache.scratch.laterParts.data(), parts - 1),
                                   &cache.workers.helper);
    }
    if (sink) sink->walkMs = msSince(started);
    LineList& lines = cache.scratch.lines;
    // The culler knows pens up to the bar's 3 pixels; rows fitted tall enough
    // for wider bars are drawn line by line.
    if (cache.cull && layout.geometry.barWidth <= 3)
        cache.scratch.culler.draw(painter, lines, cache.scratch.measures, &cache.workers.helper,
                                  cache.workers.linesWorthSharing, sink);
    else {
        lines.drawAll(painter);
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
