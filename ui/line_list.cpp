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
#include <climits>
#include <cstdint>
#include <iterator>
#include <optional>
#include <span>

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

bool insideBox(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const ClipBox& box) {
    const auto inside = [&](int64_t x, int64_t y) {
        return box.left <= x && x <= box.right && box.top <= y && y <= box.bottom;
    };
    return inside(x1, y1) && inside(x2, y2);
}

// Sets l's ends to the segment's part inside the box (as clipSegment finds
// it); false when none is. `inside`: whether the segment is wholly inside,
// as nearly every line is. Written field by field: a whole segment handed
// back through memory and read again at once stalls the store buffer.
template <class Line>
bool clipInto(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const ClipBox& box, bool inside,
              Line& l) {
    if (!inside) {
        const auto c = clipSegmentCut({x1, y1, x2, y2}, box);
        if (!c) return false;
        x1 = c->x1, y1 = c->y1, x2 = c->x2, y2 = c->y2;
    }
    l.x1 = static_cast<int>(x1);
    l.y1 = static_cast<int>(y1);
    l.x2 = static_cast<int>(x2);
    l.y2 = static_cast<int>(y2);
    return true;
}

} // namespace

LineList::LineList(const QRect& bounds) {
    reset(bounds);
}

void LineList::reset(const QRect& bounds) {
    bounds_ = bounds;
    clip_ = {bounds.left() - kMargin, bounds.top() - kMargin, bounds.right() + kMargin,
             bounds.bottom() + kMargin};
    lines_.clear();
    lastInput_.size = kNoInput;
    forgetRun();
    counts_ = {};
    statesCounted_ = true;
}

void LineList::add(int64_t x1, int64_t y1, int64_t x2, int64_t y2, QRgb colour, int width) {
    // The very line handed in just before, with nothing added since, adds
    // nothing: it paints the same pixels again.
    const LastInput in{x1, y1, x2, y2, colour, width, lines_.size()};
    if (lastInput_ == in) return;
    lastInput_ = in;
    const ClipBox& box = clip_;
    Line l{0, 0, 0, 0, colour, width};
    if (!clipInto(x1, y1, x2, y2, box, insideBox(x1, y1, x2, y2, box), l)) return;
    // Lines of one pen that follow one another paint the same pixels in any
    // order: of equal ones among them (as clipped), one is enough.
    const bool samePen =
        !lines_.empty() && lines_.back().colour == colour && lines_.back().width == width;
    if (!samePen)
        forgetRun();
    else if (!enterRun(l))
        return;
    lines_.push_back(l);
    lastInput_.size = lines_.size();
}

void LineList::append(std::span<LineList> later, PaintHelper* helper) {
    // Each part copied to its place: megabytes, worth two threads.
    std::vector<size_t> at(later.size() + 1, lines_.size());
    for (size_t k = 0; k < later.size(); ++k) at[k + 1] = at[k] + later[k].lines_.size();
    lines_.resize(at.back());
    const auto copy = [&](uint32_t k) {
        std::copy(later[k].lines_.begin(), later[k].lines_.end(), lines_.begin() + at[k]);
    };
    if (helper && later.size() > 1)
        helper->run(static_cast<uint32_t>(later.size()), copy);
    else
        for (size_t k = 0; k < later.size(); ++k) copy(static_cast<uint32_t>(k));
    forgetRun(); // equal lines on both sides of a seam are simply both kept
    lastInput_.size = kNoInput;
    for (LineList& part : later) {
        part.lines_.clear();
        part.forgetRun();
        part.lastInput_.size = kNoInput;
    }
}

void LineList::forgetRun() {
    runStart_ = lines_.size();
    ++runCount_;
    if (runHashed_) {
        for (uint32_t h : runUsed_) runSlots_[h] = 0;
        runUsed_.clear();
        runHashed_ = false;
    }
}

bool LineList::enterRun(const Line& l) {
    // Lines of the run share l's pen: equal when their ends are.
    const uint64_t key = keyOf(l.x1, l.y1, l.x2, l.y2, l.width);
    if (key == 0) return true; // not kept track of
    if (!runHashed_) {
        for (size_t i = runStart_; i < lines_.size(); ++i) {
            const Line& o = lines_[i];
            if (o.x1 == l.x1 && o.y1 == l.y1 && o.x2 == l.x2 && o.y2 == l.y2) return false;
        }
        if (lines_.size() - runStart_ < kRunScan) return true;
        // The run outgrows comparing one by one: its keys go into the table.
        if (runSlots_.empty()) runSlots_.assign(kRunSlots, 0);
        runHashed_ = true;
        for (size_t i = runStart_; i < lines_.size(); ++i) {
            const Line& o = lines_[i];
            if (const uint64_t k = keyOf(o.x1, o.y1, o.x2, o.y2, o.width)) enterRunTable(k);
        }
    }
    return enterRunTable(key);
}

bool LineList::enterRunTable(uint64_t key) {
    if (runUsed_.size() >= kRunSlots / 2) return true; // not kept track of
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
    const ClipBox& box = clip_;
    Line l{0, 0, 0, 0, colour, 0};
    if (clipInto(xs, y, xe, y, box, insideBox(xs, y, xe, y, box), l)) {
        lines_.push_back(l);
        forgetRun(); // the run starts after the bar
    }
}

namespace {

// What a band decides for a line, where it names no piece.
enum Shown : uint32_t {
    kWhole = 0xFFFFFFFFu,        // drawn whole, in order
    kNotHere = 0xFFFFFFFEu,      // nothing of it is in the band
    kDrawnAgain = 0xFFFFFFFDu,   // left out: drawn again later
    kCovered = 0xFFFFFFFCu,      // left out: later lines paint every pixel
    kNearEdge = 0xFFFFFFFBu,     // the same, for a line that a clip may cut
    kUnderPainted = 0xFFFFFFFAu, // the same, found by wholly painted blocks or tiles alone
    kComposed = 0xFFFFFFF9u,     // drawn as the pixels that stay
    kFirstShown = kComposed,     // values below name a piece
};

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

double msSince(std::chrono::steady_clock::time_point& t) {
    const auto now = std::chrono::steady_clock::now();
    const double ms = std::chrono::duration<double, std::milli>(now - t).count();
    t = now;
    return ms;
}

} // namespace

// What every band of rows works with alike.
struct LineList::Setup {
    // Fills stand in for strokes, and measured shapes for lines.
    bool measuring = false;
    // Pixels are marked: no clip cuts into the bounds.
    bool knowPixels = false;
    // Nothing beyond the bounds is paintable either.
    bool onlyBounds = false;
    // Lines are cut by the device's edges alone.
    bool deviceEdges = false;
    QTransform deviceTransform;
    QSize deviceSize;
    QPoint toDevice;
    // Where pixels are known: the device, an image of 32-bit pixels, at the
    // bounds' corner (composed pixels are written there).
    unsigned char* corner = nullptr;
    ptrdiff_t bytesPerLine = 0;
};

// Last to first: what each line still shows in the band's rows. A vertical
// one-pixel line shows the rows that no later one covers (whole, in pieces
// or not at all); a line whose pixels are known shows unless later lines
// paint all of them; any other line shows unless drawn again later.
void LineList::findShown(Band& band, LineMeasures& m, const Setup& setup) {
    std::vector<uint32_t>& state = band.state;
    std::vector<uint32_t>& pieceEnd = band.pieceEnd;
    std::vector<ColumnCover::Run>& pieces = band.pieces;
    ColumnCover& cover = band.cover;
    PixelCover& pixels = m.pixels;
    BarExtents& bars = m.bars;
    state.assign(lines_.size(), kNotHere);
    pieceEnd.resize(lines_.size()); // read only where state names a piece
    pieces.clear();
    cover.reset(bounds_.left() - kMargin, bounds_.right() + kMargin);
    band.edgeCut = 0;
    const bool knowPixels = setup.knowPixels;
    if (knowPixels) pixels.reset(band.pixels); // not looked at otherwise
    const QRect device(QPoint(0, 0), setup.deviceSize);
    // Lines whose pixels are not known: left out when drawn again later.
    // Sized by use: where pixels are known, few lines come here.
    KeySet& seen = band.seen;
    seen.clear();
    const auto drawnAgain = [&](const Line& l) {
        const uint64_t key = keyOf(l.x1, l.y1, l.x2, l.y2, l.width == 0 ? 3 : l.width);
        return key != 0 && seen.insertSeen(key);
    };
    band.barRects.clear();
    band.barRectOf.assign(lines_.size(), 0);
    // Pixels that no later line paints or may paint are final whenever they
    // are drawn, so they are composed: written last, at once. That holds
    // because every pixel of the band that a line kept for drawing paints is
    // marked, painted or maybe painted, before the lines before it are met.
    // A line drawn in order after all keeps the pixels it composed: they
    // take its colour either way.
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
    const int64_t firstRow = band.firstRow, lastRow = band.lastRow;
    // A line paints within 3 pixels of its ends' box (a vertical one-pixel
    // line just its rows): others leave this band alone. The lines that do
    // are listed first, without a branch, since lines of both bands come
    // mixed.
    std::vector<uint32_t>& mine = band.lines;
    mine.resize(lines_.size());
    size_t count = 0;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Line& l = lines_[i];
        const int64_t reach = 3 - 3 * ((l.width == 1) & (l.x1 == l.x2));
        mine[count] = static_cast<uint32_t>(i);
        count +=
            std::max(l.y1, l.y2) + reach >= firstRow && std::min(l.y1, l.y2) - reach <= lastRow;
    }

    for (size_t k = count; k-- > 0;) {
        const size_t i = mine[k];
        const Line& l = lines_[i];
        const int top = std::min(l.y1, l.y2), bottom = std::max(l.y1, l.y2);
        const bool vertical = l.width == 1 && l.x1 == l.x2;
        state[i] = kWhole;
        if (vertical) {
            // Its rows in the band; it shows whole there unless later
            // lines cover some.
            const int first = static_cast<int>(std::max<int64_t>(top, firstRow));
            const int last = static_cast<int>(std::min<int64_t>(bottom, lastRow));
            const bool beyond = first != top || last != bottom; // other bands have rows of it
            const size_t before = pieces.size();
            cover.add(l.x1, first, last, pieces);
            if (pieces.size() == before) {
                state[i] = kCovered;
                continue;
            }
            // The rows it shows are painted from here back; where no later
            // line may paint them either, they are composed.
            size_t outside = 0;
            bool fresh = false;
            bool inOrder = false;
            // Rows beyond the bounds are drawn in order, unless their pixels
            // are known and nothing there can be painted: then they show
            // nothing.
            const size_t beyondCounts = knowPixels && setup.onlyBounds ? 0 : 1;
            for (size_t p = before; p < pieces.size(); ++p) {
                int from = pieces[p].first, to = pieces[p].second;
                const size_t rows = static_cast<size_t>(to - from + 1);
                if (!knowPixels || l.x1 < bounds_.left() || l.x1 > bounds_.right()) {
                    outside += rows * beyondCounts;
                    continue;
                }
                from = std::max(from, bounds_.top());
                to = std::min(to, bounds_.bottom());
                if (from > to) {
                    outside += rows * beyondCounts;
                    continue;
                }
                outside += (rows - static_cast<size_t>(to - from + 1)) * beyondCounts;
                fresh |= pixels.paintColumnKnown(l.x1, from, to, l.colour, inOrder);
            }
            if (outside == 0 && !fresh) {
                state[i] = kCovered;
                pieces.resize(before);
            } else if (outside == 0 && !inOrder) {
                state[i] = kComposed;
                pieces.resize(before);
            } else if (beyond || pieces.size() > before + 1 ||
                       pieces[before] != ColumnCover::Run{first, last}) {
                state[i] = static_cast<uint32_t>(before);
                pieceEnd[i] = static_cast<uint32_t>(pieces.size());
            } else {
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
            if (setup.measuring && innerBar) r = bars.rectOf(l.x1, l.x2, l.y1);
            if (r) {
                band.barRects.push_back(*r);
                band.barRectOf[i] = static_cast<uint32_t>(band.barRects.size());
            }
            if (knowPixels && r) {
                if (!r->isEmpty() && !pixels.paintAny(*r)) state[i] = kCovered;
            } else if (drawnAgain(l)) {
                state[i] = kDrawnAgain;
            } else if (knowPixels) {
                pixels.mayPaint(box(l, 3));
            }
            continue;
        }
        // A one-pixel line paints within one pixel of its ends' box: well
        // inside the bounds, where later lines paint every pixel of that, it
        // shows nothing, whatever its shape. A clip that cuts it moves its
        // pixels by a pixel across at most: where nothing beyond the bounds
        // is paintable, the same holds of the part of a box one pixel larger
        // within them. Blocks first, then, for short lines, tiles.
        const bool wellInside = inner(l, 3);
        if (knowPixels && l.width == 1 && (wellInside || setup.onlyBounds)) {
            const QRect reachBox = box(l, wellInside ? 1 : 2);
            if (pixels.blocksPainted(reachBox) ||
                (reachBox.width() <= kFewTiles && reachBox.height() <= kFewTiles &&
                 pixels.tilesPainted(reachBox))) {
                state[i] = kUnderPainted;
                continue;
            }
        }
        std::optional<LineShapes::Shape> shape;
        if (knowPixels && l.width == 1) shape = m.shapes.shapeOf(l.x2 - l.x1, l.y2 - l.y1);
        if (!shape) {
            if (drawnAgain(l))
                state[i] = kDrawnAgain;
            else if (knowPixels)
                pixels.mayPaint(box(l, 3));
            continue;
        }
        bool known = wellInside;
        if (!known && setup.deviceEdges) {
            const QPoint from = QPoint(l.x1, l.y1) + setup.toDevice;
            const QPoint to = QPoint(l.x2, l.y2) + setup.toDevice;
            if (device.contains(from) && device.contains(to)) {
                known = true; // nothing cuts it
            } else if (const auto cut = m.edgeShapes.shapeOf(from.x(), from.y(), to.x(), to.y())) {
                shape = cut;
                known = true;
                ++band.edgeCut;
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
        // The steps from..to band by band, a band being the steps within one
        // row of tiles (one column, for lines of one pixel per column):
        // fn(from, to) for those with pixels (or neighbours, `reach` across)
        // in tiles that are not wholly painted; stops when fn returns false.
        // Bands of blocks of tiles first.
        const auto forEachBand = [&](int firstStep, int lastStep, int reachAcross, auto&& fn) {
            const int origin = xMajor ? bounds_.left() : bounds_.top();
            const int start = xMajor ? l.x1 : l.y1, base = xMajor ? l.y1 : l.x1;
            const auto area = [&](int from, int to) { // offsets run one way
                const int lo = std::min(offsets[from], offsets[to]) - reachAcross + base;
                const int hi = std::max(offsets[from], offsets[to]) + reachAcross + base;
                const int a = start + from * majorStep, b = start + to * majorStep;
                const int first = std::min(a, b), last = std::max(a, b);
                return xMajor ? QRect(QPoint(first, lo), QPoint(last, hi))
                              : QRect(QPoint(lo, first), QPoint(hi, last));
            };
            const auto bandEnd = [&](int from, int size) {
                const int in = (start + from * majorStep - origin) & (size - 1);
                return std::min(lastStep, from + (majorStep > 0 ? size - 1 - in : in));
            };
            for (int from = firstStep; from <= lastStep;) {
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
            // Its steps in the band's rows: rows run one way along the steps
            // (one a step where it is steep, else found by a search).
            int firstStep = 0, lastStep = shape->steps - 1;
            if ((top < firstRow || bottom > lastRow) && !xMajor) {
                // A row per step: the band's rows are a range of steps.
                const auto step = [&](int64_t s) {
                    return static_cast<int>(std::clamp<int64_t>(s, 0, shape->steps));
                };
                if (majorStep > 0) {
                    firstStep = step(firstRow - l.y1);
                    lastStep = step(lastRow - l.y1 + 1) - 1;
                } else {
                    firstStep = step(l.y1 - lastRow);
                    lastStep = step(l.y1 - firstRow + 1) - 1;
                }
            } else if (top < firstRow || bottom > lastRow) {
                const auto rowOf = [&](int s) { return int64_t{pointOf(s, 0).y()}; };
                const bool down = rowOf(lastStep) >= rowOf(0);
                const auto firstWhere = [&](auto&& holds) { // holds from some step on
                    int a = 0, b = shape->steps;
                    while (a < b) {
                        const int mid = a + (b - a) / 2;
                        if (holds(mid))
                            b = mid;
                        else
                            a = mid + 1;
                    }
                    return a;
                };
                if (down) {
                    firstStep = firstWhere([&](int s) { return rowOf(s) >= firstRow; });
                    lastStep = firstWhere([&](int s) { return rowOf(s) > lastRow; }) - 1;
                } else {
                    firstStep = firstWhere([&](int s) { return rowOf(s) <= lastRow; });
                    lastStep = firstWhere([&](int s) { return rowOf(s) < firstRow; }) - 1;
                }
            }
            // Band by band of tiles along the steps (in blocks first), where
            // the tiles are not wholly painted: the steps' pixels lie in the
            // tiles of the band's ends, marked a tile's word at a time. A
            // later line may paint a pixel: then the line is drawn in order.
            bool fresh = false, inOrder = false;
            // Where its offset across stays for 8 steps or more on average
            // (steep or flat lines), run by run of one offset: a piece of
            // one column or row.
            if (lastStep >= firstStep &&
                lastStep - firstStep + 1 >=
                    8 * (std::abs(offsets[lastStep] - offsets[firstStep]) + 1)) {
                const int start = xMajor ? l.x1 : l.y1, base = xMajor ? l.y1 : l.x1;
                for (int s = firstStep; s <= lastStep;) {
                    // The last step of the run, found by its offset.
                    const int run = std::abs(offsets[s] - offsets[0]);
                    const int e = std::min<int>(lastStep, shape->runStarts[run + 1] - 1);
                    const int a = start + s * majorStep, b = start + e * majorStep;
                    fresh |= pixels.paintRunKnown(!xMajor, base + offsets[s], std::min(a, b),
                                                  std::max(a, b), l.colour, inOrder);
                    s = e + 1;
                }
            } else {
                const int origin = xMajor ? pixels.origin().x() : pixels.origin().y();
                const int start = xMajor ? l.x1 : l.y1;
                // Step 0 from the corner, along the longer axis and across.
                const int majorAt0 = start - origin;
                const int minorAt0 =
                    xMajor ? l.y1 - pixels.origin().y() : l.x1 - pixels.origin().x();
                const auto bandEnd = [&](int from, int size) {
                    const int in = (start + from * majorStep - origin) & (size - 1);
                    return std::min(lastStep, from + (majorStep > 0 ? size - 1 - in : in));
                };
                for (int from = firstStep; from <= lastStep;) {
                    const int to = bandEnd(from, PixelCover::kBlock);
                    if (pixels.blocksPainted(pointOf(from, 0), pointOf(to, 0))) {
                        from = to + 1;
                        continue;
                    }
                    int along = majorAt0 + from * majorStep; // of step f
                    for (int f = from; f <= to;) {
                        // Along the longer axis the band is in one tile; across,
                        // in those of its ends.
                        const int in0 = along & (PixelCover::kTile - 1);
                        const int t =
                            std::min(to, f + (majorStep > 0 ? PixelCover::kTile - 1 - in0 : in0));
                        const int majorTile = along >> PixelCover::kTileShift;
                        const int minorTile = (minorAt0 + offsets[f]) >> PixelCover::kTileShift;
                        const auto tileOf = [&](int minor) {
                            return xMajor ? pixels.tileAt(majorTile, minor)
                                          : pixels.tileAt(minor, majorTile);
                        };
                        const size_t first = tileOf(minorTile);
                        const size_t other =
                            tileOf((minorAt0 + offsets[t]) >> PixelCover::kTileShift);
                        if (!pixels.tileFull(first) || !pixels.tileFull(other)) {
                            uint64_t masks[2] = {0, 0}; // of the first tile and the other
                            int in = in0;
                            if (xMajor) {
                                for (int s = f; s <= t; ++s, in += majorStep) {
                                    const int across = minorAt0 + offsets[s];
                                    masks[(across >> PixelCover::kTileShift) != minorTile] |=
                                        uint64_t{1} << ((across & (PixelCover::kTile - 1))
                                                            << PixelCover::kTileShift |
                                                        in);
                                }
                            } else {
                                for (int s = f; s <= t; ++s, in += majorStep) {
                                    const int across = minorAt0 + offsets[s];
                                    masks[(across >> PixelCover::kTileShift) != minorTile] |=
                                        uint64_t{1} << (in << PixelCover::kTileShift |
                                                        (across & (PixelCover::kTile - 1)));
                                }
                            }
                            fresh |= pixels.paintKnown(first, masks[0], l.colour, inOrder);
                            if (masks[1] != 0)
                                fresh |= pixels.paintKnown(other, masks[1], l.colour, inOrder);
                        }
                        along += (t - f + 1) * majorStep;
                        f = t + 1;
                    }
                    from = to + 1;
                }
            }
            if (!fresh)
                state[i] = kCovered;
            else if (!inOrder)
                state[i] = kComposed;
            continue;
        }
        // Where a clip may cut it: left out when later lines paint every
        // pixel it might paint in the bounds, else drawn as it comes.
        bool covered = setup.onlyBounds;
        if (covered)
            forEachBand(0, shape->steps - 1, 1, [&](int from, int to) {
                for (int s = from; s <= to && covered; ++s)
                    for (int shift = -1; shift <= 1 && covered; ++shift) {
                        const QPoint p = pointOf(s, shift);
                        covered = !pixels.holds(p.x(), p.y()) || pixels.tilePainted(p.x(), p.y()) ||
                                  pixels.isPainted(p.x(), p.y());
                    }
                return covered;
            });
        if (covered) {
            state[i] = kNearEdge;
            continue;
        }
        // What it may paint: its whole line's pixels and their neighbours
        // across (those of a pixel beyond the bounds may lie inside).
        for (int s = 0; s < shape->steps; ++s) {
            const QPoint p = pointOf(s, 0);
            if (pixels.holds(p.x(), p.y())) {
                pixels.mayPaintNear(p.x(), p.y(), xMajor);
                continue;
            }
            for (int shift = -1; shift <= 1; shift += 2) {
                const QPoint q = pointOf(s, shift);
                if (pixels.holds(q.x(), q.y())) pixels.mayPaint(q.x(), q.y());
            }
        }
    }
    // The lines it draws in order, in order.
    band.inOrder.clear();
    for (size_t k = 0; k < count; ++k)
        if (state[mine[k]] == kWhole || state[mine[k]] < kFirstShown)
            band.inOrder.push_back(mine[k]);
}

const LineList::Counts& LineList::counts() const {
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

void LineList::draw(QPainter& painter, std::span<LineMeasures> measures, PaintHelper* helper,
                    size_t linesWorthSharing) {
    auto clock = std::chrono::steady_clock::now();
    counts_ = {};
    counts_.lines = lines_.size();
    statesCounted_ = true;
    if (measures.empty()) return;
    Setup setup;
    setup.deviceTransform = painter.deviceTransform();
    // Fills stand in for strokes, and measured shapes for lines, only where
    // painting is plain: opaque, unblended, without antialiasing.
    const bool plain = !painter.testRenderHint(QPainter::Antialiasing) &&
                       painter.opacity() == 1.0 &&
                       painter.compositionMode() == QPainter::CompositionMode_SourceOver;
    setup.measuring = plain && measures[0].bars.begin(setup.deviceTransform, bounds_);
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
        counts_.bandMs[b] = msSince(started);
    };
    if (bandCount == 1) {
        work(0);
    } else {
        helper->run(2, work);
        // Rows shared anew as the bands' times per row were, half way there.
        const double upperRows = static_cast<double>(split - bounds_.top());
        const double lowerRows = static_cast<double>(bounds_.height()) - upperRows;
        const double upper = counts_.bandMs[0] / upperRows, lower = counts_.bandMs[1] / lowerRows;
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
    counts_.coverMs = msSince(clock);

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
        const int lineWidth = l.width == 0 ? 3 : l.width;
        if (l.colour != colour || lineWidth != width) {
            colour = l.colour;
            width = lineWidth;
            painter.setPen(QPen(QColor::fromRgb(colour), width));
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
    counts_.orderedMs = msSince(clock);
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
    counts_.composedMs = msSince(clock);
}
