// The event explorer's fast painter against the straightforward one: the same
// pixels on random traces, sorted lists and random viewports; and the culler
// against drawing every line of a draw list.

#include "paint_test_traces.h"

#include "model/call_search.h"
#include "model/trace_document.h"
#include "model/wrapping_math.h"
#include "ui/draw_backend.h"
#include "ui/event_paint.h"
#include "ui/line_culler.h"
#include "ui/line_measures.h"
#include "ui/line_shapes.h"
#include "ui/paint_cache.h"
#include "ui/paint_clip.h"
#include "ui/paint_sink.h"
#include "ui/reference/paint_reference.h"
#include "view/color_palette.h"
#include "view/draw_list.h"
#include "view/paint_helper.h"
#include "view/time_axis.h"
#include "view/time_index.h"
#include "view/view_filter.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <utility>

namespace {

// The view's picture of `size`; with an origin, painted where a window
// holds the view: shifted by it on a larger device and clipped to the view.
QImage paintWith(bool fast, TTrace& trace, const ViewFilter& filter, const ColorPalette& palette,
                 double zoom, int offset, int pos, QSize size, PaintCache& index,
                 QPoint origin = {}, int rowHeight = kRowHeight) {
    QImage image(size + QSize(origin.x(), origin.y()), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    const QRect bounds(QPoint(0, 0), size);
    painter.translate(origin);
    if (!origin.isNull()) painter.setClipRect(bounds);
    EventPaintInput in{trace, filter, palette, zoom, offset, pos};
    in.rowHeight = rowHeight;
    if (fast)
        paintCalls(painter, bounds, in, index);
    else
        paintCallsReference(painter, bounds, in);
    return image;
}

// Random viewports over one trace; returns how many differed. Rows of
// rowHeight pixels, or with rowHeight 0 of a random height for each viewport.
int compareViewports(std::mt19937_64& rng, TTrace& trace, int views, const std::string& what,
                     int linksPercent = 60, bool inParts = false, bool cull = true,
                     int rowHeight = kRowHeight) {
    const ColorPalette palette;
    TimeIndex timeIndex(trace); // kept across viewports, as the trace keeps it
    PaintCache index;
    index.timeIndex = &timeIndex;
    if (inParts) { // rows walked in parts, and their lines worked out in bands, by two threads
        index.workers.callsWorthThreads = 0;
        index.workers.linesWorthSharing = 0;
    }
    index.cull = cull;
    const TimeSpan span = spanOf(trace);
    std::uniform_int_distribution<int> pct(0, 99);
    const std::vector<uint32_t> functions = functionsPresent(trace);
    int differing = 0;
    for (int v = 0; v < views; ++v) {
        const QSize size(200 + pct(rng) * 5, 70 + pct(rng) * 3);
        const double fit = fittingZoom(size.width() - 10, span.lo, span.hi);
        const double zoom = std::min(1.0, fit * std::ldexp(1.0, pct(rng) % 9));
        const int64_t step = scrollStep(zoom);
        const int64_t first = span.lo / step - 3, last = span.hi / step + 3;
        const int offset =
            static_cast<int>(first + static_cast<int64_t>(rng() % uint64_t(last - first + 1)));
        const int pos = static_cast<int>(rng() % (trace.processCount() + 3));

        const ViewFilter filter = randomViewFilter(rng, trace, linksPercent, functions);

        // Now and then where a window would hold the view, away from the device's corner.
        const QPoint origin = pct(rng) < 30 ? QPoint(pct(rng) % 40, pct(rng) % 30) : QPoint();
        // Fitted rows from one pixel (bars of one-pixel lines) to rows tall
        // enough for bars wider than the culler's.
        constexpr int kFittedHeights[] = {1, 2, 3, 6, 7, 13, 20, 27, 41, 60};
        const int rows = rowHeight ? rowHeight : kFittedHeights[pct(rng) % 10];
        const QImage ref =
            paintWith(false, trace, filter, palette, zoom, offset, pos, size, index, origin, rows);
        const QImage fast =
            paintWith(true, trace, filter, palette, zoom, offset, pos, size, index, origin, rows);
        if (ref != fast) {
            ++differing;
            int shown = 0;
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x) shown += ref.pixel(x, y) != fast.pixel(x, y);
            if (qEnvironmentVariableIsSet("ZLV_PAINT_DIFF_DUMP")) {
                ref.save("/tmp/paint_diff_ref.png");
                fast.save("/tmp/paint_diff_fast.png");
            }
            ADD_FAILURE() << what << ": " << shown << " pixels differ in viewport " << v << " zoom "
                          << zoom << " offset " << offset << " pos " << pos << " links "
                          << filter.showLinks << " size " << size.width() << "x" << size.height()
                          << " at " << origin.x() << "," << origin.y() << " rows of " << rows;
        }
    }
    return differing;
}

// As the widget paints: the view's own image shown where a window holds it,
// clipped to the view on a larger device. Its picture is the reference
// painter's on a device of the view's size, and nothing around it changes.
TEST(PaintDiff, TheViewShowsTheSamePictureWhereverItLands) {
    std::mt19937_64 rng(9090);
    const ColorPalette palette;
    for (int n = 0; n < 6; ++n) {
        auto trace = denseTrace(rng, n);
        ASSERT_GT(trace->processCount(), 0u);
        TimeIndex timeIndex(*trace);
        PaintCache cache;
        cache.timeIndex = &timeIndex;
        if (n % 2 == 1) { // the walk shared, the view's image made black beside it
            cache.workers.callsWorthThreads = 0;
            cache.workers.linesWorthSharing = 0;
        }
        const TimeSpan span = spanOf(*trace);
        QSize size;
        for (int v = 0; v < 12; ++v) {
            // Some views keep the size of the one before, and so its image.
            if (v % 3 == 0)
                size =
                    QSize(150 + static_cast<int>(rng() % 400), 60 + static_cast<int>(rng() % 200));
            const double fit = fittingZoom(size.width() - 10, span.lo, span.hi);
            const double zoom = std::min(1.0, fit * std::ldexp(1.0, static_cast<int>(rng() % 6)));
            const int offset = static_cast<int>(span.lo / scrollStep(zoom) + rng() % 4);
            const int pos = static_cast<int>(rng() % (trace->processCount() + 1));
            ViewFilter filter(trace->nodeCount(), 16);
            filter.showLinks = rng() % 4 != 0;
            const QImage ref =
                paintWith(false, *trace, filter, palette, zoom, offset, pos, size, cache);

            const QRect view(
                QPoint(1 + static_cast<int>(rng() % 40), 1 + static_cast<int>(rng() % 30)), size);
            QImage device(view.bottomRight().x() + 25, view.bottomRight().y() + 17,
                          QImage::Format_RGB32);
            const QRgb around = qRgb(0, 128, 128);
            device.fill(around);
            {
                QPainter painter(&device);
                painter.setClipRect(view);
                paintView(painter, view, {*trace, filter, palette, zoom, offset, pos}, cache);
            }
            // The reference picture in the view's place, the device's fill around it.
            QImage expected(device.size(), QImage::Format_RGB32);
            expected.fill(around);
            QPainter(&expected).drawImage(view.topLeft(), ref);
            ASSERT_EQ(device, expected) << "trace " << n << " viewport " << v;
        }
    }
}

// Random viewports over traces of each kind, some with the rows walked in
// parts on two threads (their lines joined in row order paint what one walk
// does); in the plain runs, blocks of calls in one pixel column are passed over.
TEST(PaintDiff, RandomTracesAndViewportsGiveTheSamePixels) {
    const struct {
        const char* what;
        std::unique_ptr<TTrace> (*make)(std::mt19937_64&, int);
        uint64_t seed;
        int traces, views, linksPercent;
        int inParts; // 0: never, 1: always, 2: every other trace
        bool cull = true;
        int rowHeight = kRowHeight; // 0: fitted rows of random heights
    } kinds[] = {{"random", randomTrace, 20261206, 40, 25, 60, 0},
                 {"generated", generatedTrace, 77, 12, 25, 60, 0},
                 {"dense", denseTrace, 4242, 12, 20, 85, 0},
                 {"dense in parts", denseTrace, 606, 8, 15, 85, 1},
                 {"generated in parts", generatedTrace, 607, 4, 15, 60, 1},
                 {"plain runs", plainRunsTrace, 909, 10, 40, 50, 2},
                 // The draw list drawn as it is, without the culler.
                 {"random, no culler", randomTrace, 515, 10, 15, 60, 0, false},
                 {"dense in parts, no culler", denseTrace, 616, 6, 15, 85, 2, false},
                 // Rows fitted to the view: the marks scale, the culler copes or stands aside.
                 {"random, fitted rows", randomTrace, 717, 12, 20, 60, 0, true, 0},
                 {"dense in parts, fitted rows", denseTrace, 818, 6, 15, 85, 2, true, 0},
                 {"plain runs, fitted rows", plainRunsTrace, 919, 6, 25, 50, 0, true, 0}};
    for (const auto& kind : kinds) {
        std::mt19937_64 rng(kind.seed);
        for (int n = 0; n < kind.traces; ++n) {
            auto trace = kind.make(rng, n);
            ASSERT_TRUE(trace && trace->processCount() > 0) << kind.what << " " << n;
            const bool inParts = kind.inParts == 1 || (kind.inParts == 2 && n % 2 == 1);
            if (compareViewports(rng, *trace, kind.views, kind.what + (" " + std::to_string(n)),
                                 kind.linksPercent, inParts, kind.cull, kind.rowHeight))
                return;
        }
    }
}

TEST(PaintDiff, LinksWithoutReceiveAreLeftOutAsTheReferenceDoes) {
    std::mt19937_64 rng(31);
    auto trace = denseTrace(rng, 200);
    // A link without its receive, added after loading, in the middle of a row.
    TCallList& calls = trace->processes[1].calls;
    calls[calls.size() / 2].addLink(static_cast<uint32_t>(trace->rankAt(0)), nullptr);
    compareViewports(rng, *trace, 20, "link without receive", 100);
    compareViewports(rng, *trace, 20, "link without receive, in parts", 100, true);
}

// One view of a whole trace with links shown: its rows from the last, at
// `times` the fitting zoom, the window's left edge at `at` (0 start, 1 end).
struct FixedView {
    FixedView(TTrace& trace, double times, double at)
        : trace(trace), timeIndex(trace), filter(trace.nodeCount(), 16) {
        filter.showLinks = 1;
        const TimeSpan span = spanOf(trace);
        zoom = fittingZoom(390, span.lo, span.hi) * times;
        offset = static_cast<int>((span.lo + (span.hi - span.lo) * at) / scrollStep(zoom));
    }
    EventPaintInput input() const {
        return {trace, filter, palette, zoom, offset, static_cast<int>(trace.processCount())};
    }
    TTrace& trace;
    TimeIndex timeIndex;
    const ColorPalette palette;
    ViewFilter filter;
    double zoom = 1;
    int offset = 0;
};

TEST(PaintDiff, SortingMovesTheCachedIndexWithItsProcess) {
    std::mt19937_64 rng(5);
    auto trace = randomTrace(rng, 100);
    FixedView f(*trace, 8, 0.5);
    PaintCache index;
    index.timeIndex = &f.timeIndex;
    for (int round = 0; round < 3; ++round) {
        const EventPaintInput in = f.input();
        const auto picture = [&](bool fast) {
            return paintWith(fast, *trace, f.filter, f.palette, in.zoom, in.offset, in.pos,
                             QSize(400, 300), index);
        };
        EXPECT_EQ(picture(false), picture(true)) << "round " << round;
        if (round % 2 == 0)
            trace->sortByRank();
        else
            trace->sortByNode();
    }
}

// The sink hears of the draw list the paint drew, with the culler and
// without it, and handing one in changes nothing of the picture.
TEST(PaintDiff, TheSinkHearsWhatThePaintDrew) {
    std::mt19937_64 rng(12);
    auto trace = denseTrace(rng, 3);
    FixedView f(*trace, 1, 0);
    for (const bool cull : {true, false}) {
        PaintCache cache;
        cache.timeIndex = &f.timeIndex;
        cache.cull = cull;
        QImage quiet(400, 300, QImage::Format_RGB32), told = quiet;
        PaintSink sink;
        for (QImage* image : {&quiet, &told}) {
            QPainter painter(image);
            paintView(painter, image->rect(), f.input(), cache, image == &told ? &sink : nullptr);
        }
        EXPECT_EQ(quiet, told) << "culler " << cull;
        const size_t listed = cache.scratch.lines.lines().size();
        ASSERT_GT(listed, 0u);
        EXPECT_EQ(sink.counts.lines, listed) << "culler " << cull;
        if (cull) { // a dense view at the fitting zoom has lines under later ones
            EXPECT_EQ(sink.counts.covered, cache.scratch.culler.counts().covered);
            EXPECT_GT(sink.counts.covered + sink.counts.composed, 0u);
        } else {
            EXPECT_EQ(sink.counts.drawn, listed);
        }
    }
}

namespace {

// What a draw list is drawn with, kept from one picture to the next as the
// paint cache keeps it. Every other picture is worked out in two bands of
// rows on two threads, however few its lines.
struct ListDrawing {
    std::array<LineMeasures, 2> measures;
    PaintHelper helper;
    LineCuller culler;
    int pictures = 0;
    void draw(DrawList& lines, QPainter& painter) {
        if (pictures++ % 2 == 0)
            culler.draw(painter, lines, std::span(measures).first(1));
        else
            culler.draw(painter, lines, measures, &helper, 0);
    }
};

// A black picture drawn line by line (`one`) beside one drawn through a line
// list (`all`), on a device of `size` (the bounds' size by default).
struct SidePictures {
    explicit SidePictures(const QRect& bounds, QSize size = {})
        : bounds(bounds), lines(pixelRectOf(bounds)),
          direct(size.isValid() ? size : bounds.size(), QImage::Format_RGB32),
          listed(direct.size(), QImage::Format_RGB32) {
        direct.fill(Qt::black);
        listed.fill(Qt::black);
        one.begin(&direct);
        all.begin(&listed);
    }
    // Both painters moved to where a window holds the view, and clipped to it.
    void placeAt(QPoint origin, bool clipped) {
        for (QPainter* p : {&one, &all}) {
            p->translate(origin);
            if (clipped) p->setClipRect(bounds);
        }
    }
    void line(int64_t x1, int64_t y1, int64_t x2, int64_t y2, QRgb colour, int width = 1) {
        one.setPen(QPen(QColor::fromRgb(colour), width));
        drawClippedLine(one, bounds, x1, y1, x2, y2);
        lines.add(x1, y1, x2, y2, colour, width);
    }
    void line(QPoint a, QPoint b, QRgb colour) { line(a.x(), a.y(), b.x(), b.y(), colour); }
    void bar(int64_t x1, int64_t x2, int64_t y, QRgb colour) {
        one.setPen(QPen(QColor::fromRgb(colour), 3));
        drawClippedLine(one, bounds, x1, y, x2, y);
        lines.addBar(x1, x2, y, colour);
    }
    // Draws the list and ends both pictures; whether they are the same.
    bool drawnAlike(ListDrawing& drawing) {
        drawing.draw(lines, all);
        one.end();
        all.end();
        return direct == listed;
    }
    QRect bounds;
    DrawList lines;
    QImage direct, listed;
    QPainter one, all;
};

// A line from up to 7 pixels beyond one edge of `bounds` to a point inside.
std::pair<QPoint, QPoint> lineFromBeyondAnEdge(std::mt19937_64& rng, const QRect& bounds) {
    const int side = static_cast<int>(rng() % 4);
    const auto inside = [&](int size) { return 10 + static_cast<int>(rng() % (size - 20)); };
    QPoint from(inside(bounds.width()), inside(bounds.height()));
    if (side < 2)
        from.setX(side == 0 ? -1 - static_cast<int>(rng() % 7) : bounds.width() + 6);
    else
        from.setY(side == 2 ? -1 - static_cast<int>(rng() % 7) : bounds.height() + 6);
    const QPoint to(inside(bounds.width()), inside(bounds.height()));
    return {from, to};
}

} // namespace

// Lines handed in again and again from a small pool, in two pens and two
// widths, some wholly beyond the bounds (clipped to nothing) and some cut:
// repeats left out before clipping paint what drawing every one does.
TEST(DrawList, RepeatedInputsOfAPenPaintAsDrawingEachOne) {
    std::mt19937_64 rng(31);
    ListDrawing drawing;
    size_t leftOut = 0;
    for (int n = 0; n < 300; ++n) {
        std::vector<std::array<int64_t, 4>> pool;
        const auto at = [&](int size) { return static_cast<int64_t>(rng() % (size + 60)) - 30; };
        for (int k = 0; k < 6; ++k) pool.push_back({at(64), at(48), at(64), at(48)});
        SidePictures side(QRect(0, 0, 64, 48));
        size_t handed = 0;
        for (int k = static_cast<int>(rng() % 200); k-- > 0; ++handed) {
            const auto& [x1, y1, x2, y2] = pool[rng() % pool.size()];
            const QRgb colour = rng() % 4 == 0 ? qRgb(200, 0, 0) : qRgb(255, 255, 255);
            const int width = rng() % 6 == 0 ? 3 : 1;
            side.line(x1, y1, x2, y2, colour, width);
        }
        ASSERT_TRUE(side.drawnAlike(drawing)) << "picture " << n;
        leftOut += handed - side.lines.lines().size();
    }
    EXPECT_GT(leftOut, 1000u); // repeats were left out
}

// Crowded pictures of long slanted lines (many crossing the edges), vertical
// lines, bars and wide marks in several colours, through the list against
// drawing every line in order: on a device of the view's size, where a window
// holds the view (translated and clipped to it) and on a larger device that
// shows what lies beyond the view's edges.
TEST(DrawList, LeavesOutAndComposesOnlyWhatDrawingInOrderWouldHide) {
    std::mt19937_64 rng(23);
    std::uniform_int_distribution<int> pct(0, 99);
    const QRect bounds(0, 0, 90, 70);
    ListDrawing drawing;
    size_t covered = 0, nearEdge = 0, composed = 0;
    for (int n = 0; n < 240; ++n) {
        const int setting = n % 3; // 0: view-sized device, 1: clipped window, 2: larger device
        SidePictures side(bounds, setting == 0 ? bounds.size() : bounds.size() + QSize(30, 24));
        if (setting != 0) side.placeAt(QPoint(11, 9), setting == 1);
        const QRgb colours[] = {qRgb(255, 255, 255), qRgb(255, 255, 255), qRgb(200, 40, 0),
                                qRgb(0, 90, 250)};
        for (int k = 60 + pct(rng) % 100; k-- > 0;) {
            const int kind = pct(rng);
            const QRgb colour = colours[pct(rng) % 4];
            // Ends anywhere near the view, many converging on a few points.
            const auto end = [&](int size) -> int64_t {
                return pct(rng) < 40 ? size / 2 + pct(rng) % 5 : pct(rng) * (size + 30) / 100 - 15;
            };
            int64_t x1 = end(bounds.width()), y1 = end(bounds.height());
            int64_t x2 = end(bounds.width()), y2 = end(bounds.height());
            if (kind < 15) {
                side.line(x1, y1, x1, y2, colour); // vertical
            } else if (kind < 30) {
                side.bar(x1, x2, 10 + 20 * (pct(rng) % 3), colour);
            } else {
                side.line(x1, y1, kind < 35 ? x1 + 10 : x2, kind < 35 ? y1 + 10 : y2, colour,
                          kind < 35 ? 3 : 1); // a wide mark, or a slanted line
            }
        }
        ASSERT_TRUE(side.drawnAlike(drawing)) << "picture " << n << " setting " << setting;
        covered += drawing.culler.counts().covered;
        nearEdge += drawing.culler.counts().nearEdge;
        composed += drawing.culler.counts().composed;
    }
    EXPECT_GT(covered, nearEdge);
    EXPECT_GT(nearEdge, 0u);
    EXPECT_GT(composed, 0u);
}

// Lines that the edge cuts, then dots (one-pixel vertical lines) painted on
// the pixels the whole line would paint, and in every other picture on
// their neighbours across as well: the cut line may paint a neighbour, so it
// is left out only in the second case.
TEST(DrawList, LinesThatAClipMayCutAreLeftOutOnlyUnderTheirNeighbours) {
    std::mt19937_64 rng(24);
    const QRect bounds(0, 0, 48, 40);
    ListDrawing drawing;
    size_t nearEdge = 0, pictures = 0;
    for (int n = 0; n < 400; ++n) {
        const bool neighbours = n % 2 == 1;
        SidePictures side(bounds);
        // Drawn unclipped: how the clip cuts it is what the list must allow for.
        const auto [from, to] = lineFromBeyondAnEdge(rng, bounds);
        const QRgb white = qRgb(255, 255, 255), blue = qRgb(0, 0, 255);
        side.one.setPen(QPen(QColor::fromRgb(white), 1));
        side.one.drawLine(from, to);
        side.lines.add(from.x(), from.y(), to.x(), to.y(), white, 1);
        const std::optional<LineShapes::Shape> shape =
            drawing.measures[0].shapes.shapeOf(to.x() - from.x(), to.y() - from.y());
        ASSERT_TRUE(shape);
        const int majorStep = (shape->xMajor ? to.x() - from.x() : to.y() - from.y()) < 0 ? -1 : 1;
        for (int s = 0; s < shape->steps; ++s)
            for (int across = neighbours ? -1 : 0; across <= (neighbours ? 1 : 0); ++across) {
                const QPoint p = shape->xMajor
                                     ? from + QPoint(s * majorStep, shape->offsets[s] + across)
                                     : from + QPoint(shape->offsets[s] + across, s * majorStep);
                if (bounds.contains(p)) side.line(p, p, blue);
            }
        ASSERT_TRUE(side.drawnAlike(drawing)) << "picture " << n << " line " << from.x() << ","
                                              << from.y() << " to " << to.x() << "," << to.y();
        nearEdge += drawing.culler.counts().nearEdge;
        pictures += neighbours;
    }
    EXPECT_EQ(nearEdge, pictures); // every line under its neighbours was left out
}

// Lines under a block of vertical lines drawn last that paint it whole, but
// for a gap in every other picture: only the pixels in the gap, and those
// outside the block, show. Long lines anywhere under a square with a gap of a
// few rows; short lines under the whole view with a gap of one pixel, on a
// device of the view's size or a larger one that shows what lies beyond its
// edges: most of those are found covered by the painted blocks and tiles alone.
TEST(DrawList, LinesUnderPaintedBlocksShowOnlyWhereTheyAreNotPainted) {
    std::mt19937_64 rng(26);
    const auto random = [&](int size, int from) { return static_cast<int>(rng() % size) + from; };
    const QRgb green = qRgb(0, 120, 0);
    ListDrawing drawing;
    size_t covered = 0, composed = 0, underPainted = 0, throughGap = 0;
    for (int n = 0; n < 140; ++n) {
        const bool shortLines = n >= 60, gap = n % 2 == 1, larger = shortLines && n % 4 >= 2;
        const QRect bounds = shortLines ? QRect(0, 0, 160, 128) : QRect(0, 0, 200, 160);
        const QPoint origin(9, 7);
        SidePictures side(
            bounds, bounds.size() + (larger ? QSize(2 * origin.x(), 2 * origin.y()) : QSize(0, 0)));
        if (larger) side.placeAt(origin, false);
        const QPoint hole = shortLines ? QPoint(random(140, 10), random(108, 10))
                                       : QPoint(random(140, 0), random(130, 0));
        for (int k = 0; k < (shortLines ? 400 : 150); ++k) {
            const QRgb colour = k % 3 ? qRgb(255, 255, 255) : qRgb(250, 0, 0);
            if (!shortLines) {
                const QPoint a(random(220, -10), random(180, -10));
                side.line(a, QPoint(random(220, -10), random(180, -10)), colour);
                continue;
            }
            // Near the hole in a quarter of the lines, so that some pass through it.
            const QPoint a = k % 4 == 0 ? hole + QPoint(random(9, -4), random(9, -4))
                                        : QPoint(random(176, -8), random(144, -8));
            side.line(a, a + QPoint(random(25, -12), random(25, -12)), colour);
        }
        const int right = shortLines ? bounds.right() : 139,
                  bottom = shortLines ? bounds.bottom() : 139;
        const int above = shortLines ? 1 : 0, below = shortLines ? 1 : 4; // the gap's rows
        for (int x = 0; x <= right; ++x) {
            if (gap && x == hole.x()) {
                side.line({x, 0}, {x, hole.y() - above}, green);
                side.line({x, hole.y() + below}, {x, bottom}, green);
            } else {
                side.line({x, 0}, {x, bottom}, green);
            }
        }
        ASSERT_TRUE(side.drawnAlike(drawing)) << "picture " << n;
        const LineCuller::Counts& counts = drawing.culler.counts();
        covered += shortLines ? 0 : counts.covered;
        composed += shortLines ? 0 : counts.composed;
        underPainted += shortLines ? counts.underPainted : 0;
        throughGap += shortLines && gap &&
                      side.direct.pixel(hole + (larger ? origin : QPoint())) != qRgb(0, 0, 0);
    }
    EXPECT_GT(covered, 0u); // under the square
    EXPECT_GT(composed, 0u);
    EXPECT_GT(underPainted, 80u * 200u); // most short lines found covered cheaply
    EXPECT_GT(throughGap, 20u);          // and the gap showed a line in most pictures
}

} // namespace

int main(int argc, char** argv) {
    // No screen needed: everything is painted into images.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
