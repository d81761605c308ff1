#include "ui/line_culler.h"

#include "ui/column_cover.h"
#include "ui/line_culler_stages.h"
#include "ui/pixel_cover.h"
#include "view/key_set.h"

#include <algorithm>
#include <cstdint>

using namespace line_culler_detail;

namespace {

constexpr int kFewTiles = 4 * PixelCover::kTile; // pixels across a box worth looking at by tiles

} // namespace

// Last to first: what each line still shows in the band's rows. A vertical
// one-pixel line shows the rows that no later one covers (whole, in pieces
// or not at all); a line whose pixels are known shows unless later lines
// paint all of them; any other line shows unless drawn again later.
void LineCuller::findShown(Band& band, LineMeasures& m, const Setup& setup) {
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
        const uint64_t key =
            DrawList::keyOf(l.x1, l.y1, l.x2, l.y2, l.width == 0 ? DrawList::kBarWidth : l.width);
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
