#include "ui/line_list.h"

#include "ui/bar_runs.h"
#include "ui/column_cover.h"
#include "ui/segment_clip.h"

#include <QPen>

#include <algorithm>

namespace {

constexpr int64_t kMargin = 8; // as drawClippedLine

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

uint64_t mix(uint64_t k) {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdULL;
    k ^= k >> 33;
    return k;
}

// Whether an open-addressing set of nonzero keys already held `key`; adds it.
bool seenBefore(std::vector<uint64_t>& set, uint64_t key) {
    const size_t mask = set.size() - 1;
    for (size_t h = mix(key) & mask;; h = (h + 1) & mask) {
        if (set[h] == key) return true;
        if (set[h] == 0) {
            set[h] = key;
            return false;
        }
    }
}

} // namespace

LineList::LineList(const QRect& bounds) : bounds_(bounds) {}

void LineList::add(int64_t x1, int64_t y1, int64_t x2, int64_t y2, QRgb colour, int width) {
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
}

void LineList::forgetRun() {
    for (uint32_t h : runUsed_) runSlots_[h] = 0;
    runUsed_.clear();
}

bool LineList::enterRun(uint64_t key) {
    if (key == 0 || runUsed_.size() >= kRunSlots / 2) return true; // not kept track of
    if (runSlots_.empty()) runSlots_.assign(kRunSlots, 0);
    for (size_t h = mix(key) & (kRunSlots - 1);; h = (h + 1) & (kRunSlots - 1)) {
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

void LineList::draw(QPainter& painter, BarExtents& bars) {
    // Last to first: what each line still shows. A vertical one-pixel line
    // shows the rows that no later one covers (whole, in pieces or not at
    // all); any other line shows unless drawn again later.
    enum : uint32_t { kWhole = 0xFFFFFFFFu, kNone = 0xFFFFFFFEu };
    std::vector<uint32_t> firstPiece(lines_.size(), kWhole);
    std::vector<uint32_t> pieceEnd(lines_.size(), 0);
    std::vector<ColumnCover::Run> pieces;
    ColumnCover cover(bounds_.left() - kMargin, bounds_.right() + kMargin);
    size_t capacity = 16;
    while (capacity < 2 * lines_.size()) capacity *= 2;
    std::vector<uint64_t> seen(capacity, 0);
    counts_ = {lines_.size(), 0, 0, 0, 0};
    // Fills stand in for strokes only where painting is plain: opaque,
    // unblended, without antialiasing.
    const bool measuring = !painter.testRenderHint(QPainter::Antialiasing) &&
                           painter.opacity() == 1.0 &&
                           painter.compositionMode() == QPainter::CompositionMode_SourceOver &&
                           bars.begin(painter.deviceTransform(), bounds_);

    for (size_t i = lines_.size(); i-- > 0;) {
        const Line& l = lines_[i];
        if (l.width == 1 && l.x1 == l.x2) {
            const size_t before = pieces.size();
            cover.add(l.x1, l.y1, l.y2, pieces);
            if (pieces.size() == before) {
                firstPiece[i] = kNone;
            } else if (pieces.size() > before + 1 ||
                       pieces[before] !=
                           ColumnCover::Run{std::min(l.y1, l.y2), std::max(l.y1, l.y2)}) {
                firstPiece[i] = static_cast<uint32_t>(before);
                pieceEnd[i] = static_cast<uint32_t>(pieces.size());
                ++counts_.shortened;
            } else {
                pieces.resize(before); // shows whole
            }
            continue;
        }
        const uint64_t key = keyOf(l.x1, l.y1, l.x2, l.y2, l.width == 0 ? 3 : l.width);
        if (key != 0 && seenBefore(seen, key)) firstPiece[i] = kNone;
    }

    QRgb colour = 0;
    int width = -1;
    BarRuns runs(bounds_.left() - 2 * kMargin, bounds_.right() + 2 * kMargin);
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (firstPiece[i] == kNone) continue;
        const Line& l = lines_[i];
        // Near the edges the clip may change how the line is rasterised:
        // those bars are stroked.
        const bool inner = l.y1 - 1 > bounds_.top() + 2 && l.y1 + 1 < bounds_.bottom() - 2 &&
                           std::min(l.x1, l.x2) - 3 > bounds_.left() &&
                           std::max(l.x1, l.x2) + 3 < bounds_.right();
        if (l.width == 0 && inner && measuring) {
            if (const auto r = bars.rectOf(l.x1, l.x2, l.y1)) {
                if (!r->isEmpty() && !runs.add(*r, l.colour)) {
                    runs.flush(painter);
                    if (!runs.add(*r, l.colour)) painter.fillRect(*r, QColor::fromRgb(l.colour));
                }
                ++counts_.filled;
                ++counts_.drawn;
                continue;
            }
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
}
