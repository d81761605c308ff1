#include "ui/line_list.h"

#include "ui/bar_runs.h"
#include "ui/column_cover.h"
#include "ui/key_set.h"
#include "ui/pixel_cover.h"
#include "ui/segment_clip.h"

#include <QImage>
#include <QPaintEngine>
#include <QPen>
#include <QRegion>

#include <algorithm>
#include <chrono>
#include <optional>

namespace {

constexpr int64_t kMargin = 8;                   // as drawClippedLine
constexpr int kFewTiles = 4 * PixelCover::kTile; // pixels across a box worth looking at by tiles

// Ends and width packed into one word; 0 for lines that do not fit, which are
// always drawn.
uint64_t keyOf(int x1, int y1, int x2, int y2, int width) {
    constexpr int kBias = 16;
    const int v[4] = {x1 + kBias, y1 + kBias, x2 + kBias, y2 + kBias};
    uint64_t key = 0;
    for (int c : v) {
        if (c < 0 || c >= (1 << 15)) return 0;
        key = key << 15 | static_cast<uint64_t>(c);
    }
    if (width < 0 || width >= 8) return 0;
    return key << 3 | static_cast<uint64_t>(width) | uint64_t{1} << 63;
}

} // namespace

LineList::LineList(const QRect& bounds) {
    reset(bounds);
}

void LineList::reset(const QRect& bounds) {
    bounds_ = bounds;
    lines_.clear();
    lastInput_.reset();
    forgetRun();
    counts_ = {};
}

void LineList::add(int64_t x1, int64_t y1, int64_t x2, int64_t y2, QRgb colour, int width) {
    // The very line handed in just before, with nothing added since, adds
    // nothing: it paints the same pixels again.
    const LastInput in{x1, y1, x2, y2, colour, width, lines_.size()};
    if (lastInput_ && *lastInput_ == in) return;
    lastInput_ = in;
    const ClipBox box{bounds_.left() - kMargin, bounds_.top() - kMargin, bounds_.right() + kMargin,
                      bounds_.bottom() + kMargin};
    const auto c = clipSegment({x1, y1, x2, y2}, box);
    if (!c) return;
    const Line l{static_cast<int>(c->x1),
                 static_cast<int>(c->y1),
                 static_cast<int>(c->x2),
                 static_cast<int>(c->y2),
                 colour,
                 width};
    // Lines of one pen that follow one another paint the same pixels in any
    // order: of equal ones among them, one is enough.
    if (lines_.empty() || lines_.back().colour != colour || lines_.back().width != width)
        forgetRun();
    if (!enterRun(keyOf(l.x1, l.y1, l.x2, l.y2, width))) return;
    lines_.push_back(l);
    lastInput_->size = lines_.size();
}

void LineList::append(LineList& later) {
    forgetRun(); // equal lines on both sides of the seam are simply both kept
    lines_.insert(lines_.end(), later.lines_.begin(), later.lines_.end());
    later.lines_.clear();
    later.forgetRun();
    lastInput_.reset();
    later.lastInput_.reset();
}

void LineList::forgetRun() {
    for (uint32_t h : runUsed_) runSlots_[h] = 0;
    runUsed_.clear();
}

bool LineList::enterRun(uint64_t key) {
    if (key == 0 || runUsed_.size() >= kRunSlots / 2) return true; // not kept track of
    if (runSlots_.empty()) runSlots_.assign(kRunSlots, 0);
    for (size_t h = KeySet::mix(key) & (kRunSlots - 1);; h = (h + 1) & (kRunSlots - 1)) {
        if (runSlots_[h] == key) return false;
        if (runSlots_[h] == 0) {
            runSlots_[h] = key;
            runUsed_.push_back(static_cast<uint32_t>(h));
            return true;
        }
    }
}

void LineList::addBar(int64_t xs, int64_t xe, int64_t y, QRgb colour) {
    const ClipBox box{bounds_.left() - kMargin, bounds_.top() - kMargin, bounds_.right() + kMargin,
                      bounds_.bottom() + kMargin};
    if (const auto c = clipSegment({xs, y, xe, y}, box)) {
        forgetRun();
        lines_.push_back({static_cast<int>(c->x1), static_cast<int>(c->y1), static_cast<int>(c->x2),
                          static_cast<int>(c->y2), colour, 0});
    }
}

namespace {

// Pixels of known colour, drawn as one image: opaque where set, clear
// elsewhere. The canvas is left clear again.
void drawComposed(QPainter& painter, PixelCover& pixels,
                  const std::vector<std::pair<uint32_t, QRgb>>& composed) {
    if (composed.empty()) return;
    QImage& canvas = pixels.canvas();
    // Rows of 32-bit pixels follow one another: a pixel's index is its place.
    QRgb* const bits = reinterpret_cast<QRgb*>(canvas.bits());
    uint32_t first = composed.front().first, last = first;
    for (const auto& [index, colour] : composed) {
        first = std::min(first, index);
        last = std::max(last, index);
        bits[index] = colour | 0xff000000u;
    }
    const int top = pixels.pointOf(first).y(), bottom = pixels.pointOf(last).y();
    const QRect rows(0, top - pixels.corner().y(), canvas.width(), bottom - top + 1);
    painter.drawImage(rows.topLeft() + pixels.corner(), canvas, rows);
    // Cleared pixel by pixel where they are few, row by row where many are.
    const size_t rowPixels = static_cast<size_t>(canvas.width());
    const size_t area = rowPixels * static_cast<size_t>(bottom - top + 1);
    if (composed.size() * 8 < area) {
        for (const auto& entry : composed) bits[entry.first] = 0;
    } else {
        std::fill(bits + static_cast<size_t>(rows.top()) * rowPixels,
                  bits + static_cast<size_t>(rows.top()) * rowPixels + area, 0u);
    }
}

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

namespace {

double msSince(std::chrono::steady_clock::time_point& t) {
    const auto now = std::chrono::steady_clock::now();
    const double ms = std::chrono::duration<double, std::milli>(now - t).count();
    t = now;
    return ms;
}

} // namespace

void LineList::draw(QPainter& painter, BarExtents& bars, LineShapes& shapes,
                    EdgeLineShapes& edgeShapes, PixelCover& pixels) {
    auto clock = std::chrono::steady_clock::now();
    // Last to first: what each line still shows. A vertical one-pixel line
    // shows the rows that no later one covers (whole, in pieces or not at
    // all); a line whose pixels are known shows unless later lines paint all
    // of them; any other line shows unless drawn again later.
    enum : uint32_t { kWhole = 0xFFFFFFFFu, kNone = 0xFFFFFFFEu };
    std::vector<uint32_t>& firstPiece = firstPiece_;
    std::vector<uint32_t>& pieceEnd = pieceEnd_;
    std::vector<ColumnCover::Run>& pieces = pieces_;
    ColumnCover& cover = cover_;
    firstPiece.assign(lines_.size(), kWhole);
    pieceEnd.resize(lines_.size()); // read only where firstPiece names a piece
    pieces.clear();
    cover.reset(bounds_.left() - kMargin, bounds_.right() + kMargin);
    counts_ = {};
    counts_.lines = lines_.size();
    // Fills stand in for strokes, and measured shapes for lines, only where
    // painting is plain: opaque, unblended, without antialiasing.
    const bool measuring = !painter.testRenderHint(QPainter::Antialiasing) &&
                           painter.opacity() == 1.0 &&
                           painter.compositionMode() == QPainter::CompositionMode_SourceOver &&
                           bars.begin(painter.deviceTransform(), bounds_);
    // A clip that cuts a line makes the rasteriser start from the cut ends:
    // the pixels of lines that cross the edge of what is paintable are known
    // only to lie within one pixel across of those of the whole line.
    const QRegion paintable = measuring ? paintableRegion(painter) : QRegion();
    const QRect deviceBounds = painter.deviceTransform().mapRect(bounds_);
    // Marking pixels starts with clearing a mark per pixel of the bounds:
    // worth it where there are many lines for the size of the picture.
    constexpr int64_t kPixelsPerLine = 128;
    const bool manyLines = static_cast<int64_t>(lines_.size()) * kPixelsPerLine >=
                           int64_t{bounds_.width()} * bounds_.height();
    const bool knowPixels =
        measuring && manyLines && QRegion(deviceBounds).subtracted(paintable).isEmpty();
    const bool onlyBounds = knowPixels && paintable.subtracted(QRegion(deviceBounds)).isEmpty();
    // Where the bounds are the whole device and nothing else clips (neither
    // the painter nor the system, as a window's backing store does), a line
    // is cut only by the device's edges: lines inside it are not cut, and
    // the pixels of lines that leave it through one edge are measured.
    const QSize deviceSize =
        painter.device() ? QSize(painter.device()->width(), painter.device()->height()) : QSize();
    const bool clipFree = !painter.hasClipping() && painter.paintEngine() &&
                          painter.paintEngine()->systemClip().isEmpty();
    const bool deviceEdges =
        onlyBounds && clipFree && deviceBounds == QRect(QPoint(0, 0), deviceSize);
    const QPoint toDevice = deviceBounds.topLeft() - bounds_.topLeft();
    if (deviceEdges) edgeShapes.begin(deviceSize);
    const QRect device(QPoint(0, 0), deviceSize);
    if (knowPixels) pixels.reset(bounds_); // not looked at otherwise
    // Lines whose pixels are not known: left out when drawn again later.
    // Sized by use: where pixels are known, few lines come here.
    KeySet& seen = seen_;
    seen.clear();
    const auto drawnAgain = [&](const Line& l) {
        const uint64_t key = keyOf(l.x1, l.y1, l.x2, l.y2, l.width == 0 ? 3 : l.width);
        return key != 0 && seen.insertSeen(key);
    };
    // Bars as filled: their rectangles, found on the way back, and per line
    // 1 + the place of its rectangle (0 for none).
    std::vector<QRect>& barRects = barRects_;
    std::vector<uint32_t>& barRectOf = barRectOf_;
    barRects.clear();
    barRectOf.assign(lines_.size(), 0);
    // Pixels (by index) that no later line paints or may paint, and their
    // colour: they are final whenever they are drawn, so they are drawn last,
    // at once. That holds because every pixel of the bounds that a line kept
    // for drawing paints is marked, painted or maybe painted, before the
    // lines before it are met.
    std::vector<std::pair<uint32_t, QRgb>>& composed = composed_;
    composed.clear();
    const auto box = [](const Line& l, int grow) {
        return QRect(QPoint(std::min(l.x1, l.x2), std::min(l.y1, l.y2)),
                     QPoint(std::max(l.x1, l.x2), std::max(l.y1, l.y2)))
            .adjusted(-grow, -grow, grow, grow);
    };
    // Well inside the bounds: no clip comes near the line's pixels.
    const auto inner = [&](const Line& l, int margin) {
        return std::min(l.y1, l.y2) - margin > bounds_.top() &&
               std::max(l.y1, l.y2) + margin < bounds_.bottom() &&
               std::min(l.x1, l.x2) - margin > bounds_.left() &&
               std::max(l.x1, l.x2) + margin < bounds_.right();
    };

    for (size_t i = lines_.size(); i-- > 0;) {
        const Line& l = lines_[i];
        if (l.width == 1 && l.x1 == l.x2) {
            const size_t before = pieces.size();
            cover.add(l.x1, l.y1, l.y2, pieces);
            if (pieces.size() == before) {
                firstPiece[i] = kNone;
                continue;
            }
            // The rows it shows are painted from here back; where no later
            // line may paint them either, they are composed.
            const size_t mark = composed.size();
            size_t fresh = 0, outside = 0;
            bool inOrder = false;
            for (size_t p = before; p < pieces.size(); ++p) {
                int first = pieces[p].first, last = pieces[p].second;
                const size_t rows = static_cast<size_t>(last - first + 1);
                if (!knowPixels || l.x1 < bounds_.left() || l.x1 > bounds_.right()) {
                    outside += rows;
                    continue;
                }
                first = std::max(first, bounds_.top());
                last = std::min(last, bounds_.bottom());
                if (first > last) {
                    outside += rows;
                    continue;
                }
                outside += rows - static_cast<size_t>(last - first + 1);
                pixels.paintColumn(l.x1, first, last, [&](int y) {
                    ++fresh;
                    inOrder = inOrder || pixels.mayBePainted(l.x1, y);
                    if (!inOrder)
                        composed.emplace_back(static_cast<uint32_t>(pixels.indexOf(l.x1, y)),
                                              l.colour);
                });
            }
            if (outside == 0 && fresh == 0) {
                firstPiece[i] = kNone;
                pieces.resize(before);
                ++counts_.covered;
            } else if (outside == 0 && !inOrder) {
                firstPiece[i] = kNone;
                pieces.resize(before);
                ++counts_.composed;
            } else if (pieces.size() > before + 1 ||
                       pieces[before] !=
                           ColumnCover::Run{std::min(l.y1, l.y2), std::max(l.y1, l.y2)}) {
                composed.resize(mark);
                firstPiece[i] = static_cast<uint32_t>(before);
                pieceEnd[i] = static_cast<uint32_t>(pieces.size());
                ++counts_.shortened;
            } else {
                composed.resize(mark);
                pieces.resize(before); // shows whole
            }
            continue;
        }
        if (l.width == 0) {
            // Near the edges the clip may change how the line is rasterised:
            // those bars are stroked.
            const bool innerBar =
                l.y1 - 1 > bounds_.top() + 2 && l.y1 + 1 < bounds_.bottom() - 2 && inner(l, 3);
            std::optional<QRect> r;
            if (measuring && innerBar) r = bars.rectOf(l.x1, l.x2, l.y1);
            if (r) {
                barRects.push_back(*r);
                barRectOf[i] = static_cast<uint32_t>(barRects.size());
            }
            if (knowPixels && r) {
                if (!r->isEmpty() && pixels.paint(*r) == 0) {
                    firstPiece[i] = kNone;
                    ++counts_.covered;
                }
            } else if (drawnAgain(l)) {
                firstPiece[i] = kNone;
            } else if (knowPixels) {
                pixels.mayPaint(box(l, 3));
            }
            continue;
        }
        // A one-pixel line paints within one pixel of its ends' box: well
        // inside the bounds, where later lines paint every pixel of that, it
        // shows nothing, whatever its shape. Blocks first, then, for short
        // lines, tiles.
        if (knowPixels && l.width == 1 && inner(l, 3)) {
            const QRect reach = box(l, 1);
            if (pixels.blocksPainted(reach) ||
                (reach.width() <= kFewTiles && reach.height() <= kFewTiles &&
                 pixels.tilesPainted(reach))) {
                firstPiece[i] = kNone;
                ++counts_.covered;
                ++counts_.underPainted;
                continue;
            }
        }
        std::optional<LineShapes::Shape> shape;
        if (knowPixels && l.width == 1) shape = shapes.shapeOf(l.x2 - l.x1, l.y2 - l.y1);
        if (!shape) {
            if (drawnAgain(l))
                firstPiece[i] = kNone;
            else if (knowPixels)
                pixels.mayPaint(box(l, 3));
            continue;
        }
        bool known = inner(l, 3);
        if (!known && deviceEdges) {
            const QPoint from = QPoint(l.x1, l.y1) + toDevice, to = QPoint(l.x2, l.y2) + toDevice;
            if (device.contains(from) && device.contains(to)) {
                known = true; // nothing cuts it
            } else if (const auto cut = edgeShapes.shapeOf(from.x(), from.y(), to.x(), to.y())) {
                shape = cut;
                known = true;
                ++counts_.edgeCut;
            }
        }
        // Pixel s of the shape: s steps along the longer axis, offsets[s] across.
        const bool xMajor = shape->xMajor;
        const int majorStep = (xMajor ? l.x2 - l.x1 : l.y2 - l.y1) < 0 ? -1 : 1;
        const int16_t* offsets = shape->offsets;
        const auto pointOf = [&](int s, int shift) {
            const int a = s * majorStep, b = offsets[s] + shift;
            return xMajor ? QPoint(l.x1 + a, l.y1 + b) : QPoint(l.x1 + b, l.y1 + a);
        };
        // The steps band by band, a band being the steps within one row of
        // tiles (one column, for lines of one pixel per column): fn(from, to)
        // for those with pixels (or neighbours, `reach` across) in tiles that
        // are not wholly painted; stops when fn returns false. Bands of
        // blocks of tiles first.
        const auto forEachBand = [&](int reach, auto&& fn) {
            const int origin = xMajor ? bounds_.left() : bounds_.top();
            const int start = xMajor ? l.x1 : l.y1, base = xMajor ? l.y1 : l.x1;
            const auto area = [&](int from, int to) { // offsets run one way
                const int lo = std::min(offsets[from], offsets[to]) - reach + base;
                const int hi = std::max(offsets[from], offsets[to]) + reach + base;
                const int a = start + from * majorStep, b = start + to * majorStep;
                const int first = std::min(a, b), last = std::max(a, b);
                return xMajor ? QRect(QPoint(first, lo), QPoint(last, hi))
                              : QRect(QPoint(lo, first), QPoint(hi, last));
            };
            const auto bandEnd = [&](int from, int size) {
                const int in = (start + from * majorStep - origin) & (size - 1);
                return std::min(shape->steps - 1, from + (majorStep > 0 ? size - 1 - in : in));
            };
            for (int from = 0; from < shape->steps;) {
                const int to = bandEnd(from, PixelCover::kBlock);
                if (!pixels.blocksPainted(area(from, to)))
                    for (int f = from; f <= to;) {
                        const int t = bandEnd(f, PixelCover::kTile);
                        if (!pixels.tilesPainted(area(f, t)) && !fn(f, t)) return;
                        f = t + 1;
                    }
                from = to + 1;
            }
        };
        if (known) {
            const size_t mark = composed.size();
            bool fresh = false, inOrder = false;
            forEachBand(0, [&](int from, int to) {
                for (int s = from; s <= to; ++s) {
                    const QPoint p = pointOf(s, 0);
                    if (pixels.tilePainted(p.x(), p.y()) || !pixels.paint(p.x(), p.y())) continue;
                    fresh = true;
                    // A later line may paint it: then the line is drawn in order.
                    inOrder = inOrder || pixels.mayBePainted(p.x(), p.y());
                    if (!inOrder)
                        composed.emplace_back(static_cast<uint32_t>(pixels.indexOf(p.x(), p.y())),
                                              l.colour);
                }
                return true;
            });
            if (!fresh) {
                firstPiece[i] = kNone;
                ++counts_.covered;
            } else if (inOrder) {
                composed.resize(mark);
            } else {
                firstPiece[i] = kNone;
                ++counts_.composed;
            }
            continue;
        }
        // Where a clip may cut it: left out when later lines paint every
        // pixel it might paint in the bounds, else drawn as it comes.
        bool covered = onlyBounds;
        if (covered)
            forEachBand(1, [&](int from, int to) {
                for (int s = from; s <= to && covered; ++s)
                    for (int shift = -1; shift <= 1 && covered; ++shift) {
                        const QPoint p = pointOf(s, shift);
                        covered = !pixels.holds(p.x(), p.y()) || pixels.tilePainted(p.x(), p.y()) ||
                                  (pixels.at(p.x(), p.y()) & PixelCover::kPainted) != 0;
                    }
                return covered;
            });
        if (covered) {
            firstPiece[i] = kNone;
            ++counts_.covered;
            ++counts_.nearEdge;
            continue;
        }
        // What it may paint: its whole line's pixels and their neighbours across.
        const uint8_t near = xMajor ? PixelCover::kNearColumn : PixelCover::kNearRow;
        const auto markStep = [&](int s) {
            const QPoint p = pointOf(s, 0);
            if (pixels.holds(p.x(), p.y())) {
                pixels.at(p.x(), p.y()) |= near;
                return;
            }
            for (int shift = -1; shift <= 1; shift += 2) {
                const QPoint q = pointOf(s, shift);
                if (pixels.holds(q.x(), q.y())) pixels.at(q.x(), q.y()) |= PixelCover::kMaybe;
            }
        };
        // The steps whose pixels lie inside are one run (both coordinates run
        // one way): marked by index, the steps before and after one by one.
        int first = 0, last = shape->steps - 1;
        const auto inside = [&](int s) {
            const QPoint p = pointOf(s, 0);
            return pixels.holds(p.x(), p.y());
        };
        while (first <= last && !inside(first)) markStep(first++);
        while (last >= first && !inside(last)) markStep(last--);
        if (first <= last) {
            const QPoint p = pointOf(first, 0);
            uint8_t* const at = &pixels.at(p.x(), p.y());
            const ptrdiff_t along = xMajor ? majorStep : majorStep * pixels.stride();
            const ptrdiff_t across = xMajor ? pixels.stride() : 1;
            for (int s = first; s <= last; ++s)
                at[(s - first) * along + (offsets[s] - offsets[first]) * across] |= near;
        }
    }
    shapes.end();
    edgeShapes.end();
    counts_.coverMs = msSince(clock);

    QRgb colour = 0;
    int width = -1;
    BarRuns runs(bounds_.left() - 2 * kMargin, bounds_.right() + 2 * kMargin);
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (firstPiece[i] == kNone) continue;
        const Line& l = lines_[i];
        if (l.width == 0 && barRectOf[i] != 0) {
            const QRect& r = barRects[barRectOf[i] - 1];
            if (!r.isEmpty() && !runs.add(r, l.colour)) {
                runs.flush(painter);
                if (!runs.add(r, l.colour)) painter.fillRect(r, QColor::fromRgb(l.colour));
            }
            ++counts_.filled;
            ++counts_.drawn;
            continue;
        }
        runs.flush(painter);
        const int lineWidth = l.width == 0 ? 3 : l.width;
        if (l.colour != colour || lineWidth != width) {
            colour = l.colour;
            width = lineWidth;
            painter.setPen(QPen(QColor::fromRgb(colour), width));
        }
        if (firstPiece[i] == kWhole) {
            painter.drawLine(l.x1, l.y1, l.x2, l.y2);
            ++counts_.drawn;
            continue;
        }
        for (uint32_t p = firstPiece[i]; p < pieceEnd[i]; ++p) {
            painter.drawLine(l.x1, pieces[p].first, l.x1, pieces[p].second);
            ++counts_.drawn;
        }
    }
    runs.flush(painter);
    counts_.fills = runs.fills();
    bars.end();
    counts_.orderedMs = msSince(clock);
    drawComposed(painter, pixels, composed);
    counts_.composedMs = msSince(clock);
}
