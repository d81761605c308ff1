#include "ui/line_culler.h"

#include "ui/bar_runs.h"
#include "ui/column_cover.h"
#include "ui/line_culler_stages.h"
#include "ui/paint_sink.h"
#include "ui/pixel_cover.h"

#include <QImage>
#include <QPaintEngine>
#include <QPen>
#include <QRegion>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <span>

using namespace line_culler_detail;

namespace {

// What of the device the painter can paint, in device pixels: the device
// within the system clip and the painter's own clip.
QRegion paintableRegion(QPainter& painter) {
    const QPaintDevice* device = painter.device();
    const QPaintEngine* engine = painter.paintEngine();
    if (!device || !engine) return {};
    QRegion region(QRect(0, 0, device->width(), device->height()));
    const QRegion system = engine->systemClip();
    if (!system.isEmpty()) region &= system;
    if (painter.hasClipping()) region &= painter.deviceTransform().map(painter.clipRegion());
    return region;
}

} // namespace

const LineCuller::Counts& LineCuller::counts() const {
    if (statesCounted_) return counts_;
    statesCounted_ = true;
    // What became of the lines not drawn in order: the bands' states merged.
    const std::span<const Band> bands(bands_.data(), countedBands_);
    for (size_t i = 0;
         i < lines_.size() && !bands.empty() && bands[0].state.size() == lines_.size(); ++i) {
        bool drawn = false, composed = false, covered = false, nearEdge = false,
             underPainted = false;
        for (const Band& band : bands) {
            const uint32_t s = band.state[i];
            drawn |= s == kWhole || s < kFirstShown;
            composed |= s == kComposed;
            covered |= s == kCovered || s == kNearEdge || s == kUnderPainted;
            nearEdge |= s == kNearEdge;
            underPainted |= s == kUnderPainted;
        }
        if (drawn) continue;
        counts_.composed += composed;
        if (!composed && covered) {
            ++counts_.covered;
            counts_.nearEdge += nearEdge;
            counts_.underPainted += underPainted;
        }
    }
    return counts_;
}

// How the painter paints: what of the device it can paint, whether fills
// may stand in for strokes and where pixels are known.
LineCuller::Setup LineCuller::setupFor(QPainter& painter, LineMeasures& first) {
    Setup setup;
    setup.deviceTransform = painter.deviceTransform();
    // Fills stand in for strokes, and measured shapes for lines, only where
    // painting is plain: opaque, unblended, without antialiasing.
    const bool plain = !painter.testRenderHint(QPainter::Antialiasing) &&
                       painter.opacity() == 1.0 &&
                       painter.compositionMode() == QPainter::CompositionMode_SourceOver;
    setup.measuring = plain && first.bars.begin(setup.deviceTransform, bounds_);
    // A clip that cuts a line makes the rasteriser start from the cut ends:
    // the pixels of lines that cross the edge of what is paintable are known
    // only to lie within one pixel across of those of the whole line.
    const QRegion paintable = setup.measuring ? paintableRegion(painter) : QRegion();
    const QRect deviceBounds = setup.deviceTransform.mapRect(bounds_);
    // Marking pixels starts with clearing a bit per pixel of the bounds:
    // worth it where there are many lines for the size of the picture.
    constexpr int64_t kPixelsPerLine = 1024;
    const bool manyLines = static_cast<int64_t>(lines_.size()) * kPixelsPerLine >=
                           int64_t{bounds_.width()} * bounds_.height();
    // Composed pixels are written straight into the device: an image of
    // 32-bit pixels (where the painter paints too; it holds it unshared).
    QPaintDevice* const device = painter.device();
    QImage* const image =
        device && device->devType() == QInternal::Image ? static_cast<QImage*>(device) : nullptr;
    const bool plainImage = image && (image->format() == QImage::Format_RGB32 ||
                                      image->format() == QImage::Format_ARGB32 ||
                                      image->format() == QImage::Format_ARGB32_Premultiplied);
    setup.knowPixels = setup.measuring && manyLines && plainImage &&
                       QRegion(deviceBounds).subtracted(paintable).isEmpty();
    if (setup.knowPixels) {
        setup.bytesPerLine = image->bytesPerLine();
        setup.corner = const_cast<unsigned char*>(image->constBits()) +
                       static_cast<ptrdiff_t>(deviceBounds.top()) * setup.bytesPerLine +
                       static_cast<ptrdiff_t>(deviceBounds.left()) * 4;
    }
    setup.onlyBounds = setup.knowPixels && paintable.subtracted(QRegion(deviceBounds)).isEmpty();
    // Where the bounds are the whole device and nothing else clips (neither
    // the painter nor the system, as a window's backing store does), a line
    // is cut only by the device's edges: lines inside it are not cut, and
    // the pixels of lines that leave it through one edge are measured.
    setup.deviceSize =
        painter.device() ? QSize(painter.device()->width(), painter.device()->height()) : QSize();
    const bool clipFree = !painter.hasClipping() && painter.paintEngine() &&
                          painter.paintEngine()->systemClip().isEmpty();
    setup.deviceEdges =
        setup.onlyBounds && clipFree && deviceBounds == QRect(QPoint(0, 0), setup.deviceSize);
    setup.toDevice = deviceBounds.topLeft() - bounds_.topLeft();
    return setup;
}

// The cover pass, in one band of rows or two; returns how many.
size_t LineCuller::findShownInBands(std::span<LineMeasures> measures, const Setup& setup,
                                    PaintHelper* helper, size_t linesWorthSharing) {
    // The rows in two bands, each worked out on a thread of its own, where
    // the picture is worth it: a line is drawn where either band draws it.
    // Bands meet at a whole block (in small pictures a tile) so that their
    // blocks line up, where the last picture's times say they take about as
    // long.
    const int align =
        bounds_.height() >= 4 * PixelCover::kBlock ? PixelCover::kBlock : PixelCover::kTile;
    const bool share = measures.size() >= 2 && helper && lines_.size() >= linesWorthSharing &&
                       bounds_.height() >= 2 * align;
    const size_t bandCount = share ? 2 : 1;
    counts_.bands = bandCount;
    constexpr int64_t kFar = int64_t{1} << 40;
    const int64_t tiles = bounds_.height() / align;
    const int64_t split =
        bounds_.top() +
        std::clamp<int64_t>(std::llround(upperShare_ * static_cast<double>(tiles)), 1, tiles - 1) *
            align;
    for (size_t b = 0; b < bandCount; ++b) {
        Band& band = bands_[b];
        band.firstRow = b == 0 ? -kFar : split;
        band.lastRow = bandCount == 1 ? kFar : b == 0 ? split - 1 : kFar;
        const int top = static_cast<int>(std::max<int64_t>(band.firstRow, bounds_.top()));
        const int bottom = static_cast<int>(std::min<int64_t>(band.lastRow, bounds_.bottom()));
        band.pixels = QRect(bounds_.left(), top, bounds_.width(), std::max(0, bottom - top + 1));
        if (b > 0 && setup.measuring) measures[b].bars.begin(setup.deviceTransform, bounds_);
        if (setup.deviceEdges) measures[b].edgeShapes.begin(setup.deviceSize);
    }
    const auto work = [&](uint32_t b) {
        auto started = std::chrono::steady_clock::now();
        findShown(bands_[b], measures[b], setup);
        bandMs_[b] = msSince(started);
    };
    if (bandCount == 1) {
        work(0);
    } else {
        helper->run(2, work);
        // Rows shared anew as the bands' times per row were, half way there.
        const double upperRows = static_cast<double>(split - bounds_.top());
        const double lowerRows = static_cast<double>(bounds_.height()) - upperRows;
        const double upper = bandMs_[0] / upperRows, lower = bandMs_[1] / lowerRows;
        if (upper > 0 && lower > 0) {
            const double balanced = lower / (upper + lower);
            upperShare_ = std::clamp((upperShare_ + balanced) / 2, 0.1, 0.9);
        }
    }
    for (size_t b = 0; b < bandCount; ++b) {
        measures[b].shapes.end();
        measures[b].edgeShapes.end();
        counts_.edgeCut += bands_[b].edgeCut;
    }
    return bandCount;
}

// What shows, in order: bars filled (in runs of one colour) where their
// rectangles are known, other lines stroked whole or in their pieces.
void LineCuller::drawShown(QPainter& painter, std::span<LineMeasures> measures, const Setup& setup,
                           size_t bandCount) {
    QRgb colour = 0;
    int width = -1;
    BarRuns runs(bounds_.left() - 2 * kMargin, bounds_.right() + 2 * kMargin);
    // Opaque rectangles within the bounds are filled straight into the image
    // where pixels are known (then the bounds are the image's, unclipped).
    const auto fill = [&](const QRect& r, QRgb c) {
        if (!setup.knowPixels || !bounds_.contains(r)) {
            painter.fillRect(r, QColor::fromRgb(c));
            return;
        }
        const QRgb opaque = c | 0xff000000u;
        unsigned char* row = setup.corner +
                             static_cast<ptrdiff_t>(r.top() - bounds_.top()) * setup.bytesPerLine +
                             static_cast<ptrdiff_t>(r.left() - bounds_.left()) * 4;
        for (int y = r.top(); y <= r.bottom(); ++y, row += setup.bytesPerLine)
            std::fill_n(reinterpret_cast<QRgb*>(row), r.width(), opaque);
    };
    const std::span<Band> bands(bands_.data(), bandCount);
    countedBands_ = bandCount;
    statesCounted_ = false;
    std::vector<ColumnCover::Run>& joined = joinedPieces_;
    // The lines that some band draws in order, in order.
    const std::vector<uint32_t>* inOrder = &bands_[0].inOrder;
    if (bandCount == 2) {
        inOrderJoined_.clear();
        std::set_union(bands_[0].inOrder.begin(), bands_[0].inOrder.end(),
                       bands_[1].inOrder.begin(), bands_[1].inOrder.end(),
                       std::back_inserter(inOrderJoined_));
        inOrder = &inOrderJoined_;
    }
    for (const uint32_t i : *inOrder) {
        bool whole = false;
        for (const Band& band : bands) whole |= band.state[i] == kWhole;
        const Line& l = lines_[i];
        if (l.width == 0) {
            const QRect* r = nullptr;
            for (const Band& band : bands)
                if (band.barRectOf[i] != 0) r = &band.barRects[band.barRectOf[i] - 1];
            if (r) {
                if (!r->isEmpty() && !runs.add(*r, l.colour)) {
                    runs.flush(fill);
                    if (!runs.add(*r, l.colour)) fill(*r, l.colour);
                }
                ++counts_.filled;
                ++counts_.drawn;
                continue;
            }
        }
        runs.flush(fill);
        const int lineWidth = l.width == 0 ? DrawList::kBarWidth : l.width;
        if (l.colour != colour || lineWidth != width) {
            colour = l.colour;
            width = lineWidth;
            painter.setPen(penOf(colour, width));
        }
        // The pieces of a vertical line, top to bottom, the bands' joined
        // where they meet; whole where they make up the line.
        joined.clear();
        if (!whole)
            for (const Band& band : bands) {
                const uint32_t s = band.state[i];
                if (s >= kFirstShown) continue;
                for (uint32_t p = s; p < band.pieceEnd[i]; ++p) {
                    const ColumnCover::Run& run = band.pieces[p];
                    if (!joined.empty() && joined.back().second + 1 == run.first)
                        joined.back().second = run.second;
                    else
                        joined.push_back(run);
                }
            }
        if (whole || (joined.size() == 1 &&
                      joined[0] == ColumnCover::Run{std::min(l.y1, l.y2), std::max(l.y1, l.y2)})) {
            painter.drawLine(l.x1, l.y1, l.x2, l.y2);
            ++counts_.drawn;
            continue;
        }
        ++counts_.shortened;
        for (const ColumnCover::Run& run : joined) {
            painter.drawLine(l.x1, run.first, l.x1, run.second);
            ++counts_.drawn;
        }
    }
    runs.flush(fill);
    counts_.fills = runs.fills();
    for (size_t b = 0; b < bandCount; ++b) measures[b].bars.end();
}

void LineCuller::draw(QPainter& painter, const DrawList& lines, std::span<LineMeasures> measures,
                      PaintHelper* helper, size_t linesWorthSharing, PaintSink* sink) {
    auto clock = std::chrono::steady_clock::now();
    lines_ = lines.lines();
    bounds_ = qRectOf(lines.bounds());
    counts_ = {};
    counts_.lines = lines_.size();
    statesCounted_ = true;
    if (measures.empty()) return;
    const Setup setup = setupFor(painter, measures[0]);
    const size_t bandCount = findShownInBands(measures, setup, helper, linesWorthSharing);
    const double coverMs = msSince(clock);
    drawShown(painter, measures, setup, bandCount);
    const double orderedMs = msSince(clock);
    // The composed pixels last, straight into the image, each band's rows
    // by the thread that found them.
    const auto compose = [&](uint32_t b) {
        measures[b].pixels.writeComposed(
            setup.corner +
                static_cast<ptrdiff_t>(bands_[b].pixels.top() - bounds_.top()) * setup.bytesPerLine,
            setup.bytesPerLine);
    };
    if (setup.knowPixels) {
        if (bandCount == 1)
            compose(0);
        else
            helper->run(2, compose);
    }
    const double composedMs = msSince(clock);
    if (sink) {
        sink->coverMs = coverMs;
        sink->orderedMs = orderedMs;
        sink->composedMs = composedMs;
        std::copy(std::begin(bandMs_), std::end(bandMs_), sink->bandMs);
        sink->counts = counts();
    }
}
