#include "ui/event_paint.h"

#include "model/trace_document.h"
#include "model/wrapping_math.h"
#include "ui/call_skip_index.h"
#include "ui/color_palette.h"
#include "ui/paint_clip.h"
#include "ui/row_layout.h"
#include "ui/time_axis.h"
#include "ui/view_filter.h"

#include <optional>

namespace {

constexpr uint32_t kFuncInstantMark = 65;

QColor qColour(TColour c) {
    return QColor(c.r, c.g, c.b);
}

int64_t shiftOf(const TTrace& trace, uint32_t position) {
    return trace.nodeOffset(static_cast<uint32_t>(trace.nodeIndexAt(position)));
}

// The links of one call, in stored order, handed to line(x1, y1, x2, y2).
template <class Line>
void forEachLinkLine(const TTrace& trace, const TimeWindow& window, const RowLayout& layout,
                     const RankIndex& ranks, const TFunc& f, int64_t b, int64_t start, int64_t xs,
                     Line&& line) {
    for (const TLink& link : f.linkSpan()) {
        const std::optional<uint32_t> partner = ranks.positionOf(link.rank);
        if (!partner || !layout.edgeOf[*partner] || !link.recv) continue;
        const LinkEnd end =
            cutLinkAtRightEdge(b, *layout.edgeOf[*partner], start,
                               wrapAdd(link.recv->end, shiftOf(trace, *partner)), window.t1);
        line(xs, b - 10, pixelOf(window, end.time), end.edge - 10);
    }
}

} // namespace

void paintCallsReference(QPainter& painter, const QRect& bounds, const EventPaintInput& in) {
    TTrace& trace = in.trace;
    const TimeWindow window = timeWindow(in.zoom, in.offset, bounds.width());
    const RowLayout layout = layoutRows(shownPositions(trace, in.filter), in.pos, bounds.height());
    std::optional<RankIndex> ranks;
    if (in.filter.showLinks) ranks.emplace(trace);

    for (const Row& row : layout.rows) {
        const int64_t b = row.bottom;
        const int64_t nodeShift = shiftOf(trace, row.position);
        for (TFunc* f = trace.firstCall(row.position); f; f = trace.nextCall(row.position)) {
            const ClippedCall c =
                clipCall(window, wrapAdd(f->start, nodeShift), wrapAdd(f->end, nodeShift));
            if (c.place == CallPlace::Before) continue;
            if (c.place == CallPlace::After) break;

            const int64_t xs = pixelOf(window, c.start);
            painter.setPen(QPen(qColour(in.palette.colourOf(f->funcId & ~kUnfinishedFlag)), 3));
            if (f->funcId == kFuncInstantMark) {
                drawClippedLine(painter, bounds, xs - 5, b - 15, xs + 5, b - 5);
                drawClippedLine(painter, bounds, xs - 5, b - 5, xs + 5, b - 15);
            } else {
                const int64_t xe = pixelOf(window, c.end);
                drawClippedLine(painter, bounds, xs, b - 10, xe, b - 10);
                if (f->funcId & kUnfinishedFlag)
                    drawClippedLine(painter, bounds, xe, b - 5, xe, b - 15);
            }
            if (in.filter.showLinks) {
                painter.setPen(QPen(Qt::white, 1));
                forEachLinkLine(trace, window, layout, *ranks, *f, b, c.start, xs,
                                [&](int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
                                    drawClippedLine(painter, bounds, x1, y1, x2, y2);
                                });
            }
            if (c.lastInRow) break;
        }
    }
}

namespace {

// The lines of one picture, collected in drawing order and then drawn
// leaving out every line that is drawn again later with the same ends and
// width: the later one paints exactly the same pixels over it, whatever was
// drawn in between.
class LineList {
  public:
    explicit LineList(const QRect& bounds) : bounds_(bounds) {}

    void add(int64_t x1, int64_t y1, int64_t x2, int64_t y2, QRgb colour, int width) {
        constexpr int64_t kMargin = 8; // as drawClippedLine
        const ClipBox box{bounds_.left() - kMargin, bounds_.top() - kMargin,
                          bounds_.right() + kMargin, bounds_.bottom() + kMargin};
        if (const auto c = clipSegment({x1, y1, x2, y2}, box))
            lines_.push_back({static_cast<int>(c->x1), static_cast<int>(c->y1),
                              static_cast<int>(c->x2), static_cast<int>(c->y2), colour, width});
    }

    void draw(QPainter& painter) {
        std::vector<bool> later(lines_.size(), false);
        size_t capacity = 16;
        while (capacity < 2 * lines_.size()) capacity *= 2;
        std::vector<uint64_t> seen(capacity, 0);
        for (size_t i = lines_.size(); i-- > 0;) {
            const uint64_t key = keyOf(lines_[i]);
            if (key == 0) continue;
            for (size_t h = mix(key) & (capacity - 1);; h = (h + 1) & (capacity - 1)) {
                if (seen[h] == key) {
                    later[i] = true;
                    break;
                }
                if (seen[h] == 0) {
                    seen[h] = key;
                    break;
                }
            }
        }
        QRgb colour = 0;
        int width = -1;
        for (size_t i = 0; i < lines_.size(); ++i) {
            if (later[i]) continue;
            const Line& l = lines_[i];
            if (l.colour != colour || l.width != width) {
                colour = l.colour;
                width = l.width;
                painter.setPen(QPen(QColor::fromRgb(colour), width));
            }
            painter.drawLine(l.x1, l.y1, l.x2, l.y2);
        }
    }

  private:
    struct Line {
        int x1, y1, x2, y2;
        QRgb colour;
        int width;
    };
    // Ends and width packed into one word; 0 for lines that do not fit, which
    // are always drawn.
    static uint64_t keyOf(const Line& l) {
        constexpr int kBias = 16;
        const int v[4] = {l.x1 + kBias, l.y1 + kBias, l.x2 + kBias, l.y2 + kBias};
        uint64_t key = 0;
        for (int c : v) {
            if (c < 0 || c >= (1 << 15)) return 0;
            key = key << 15 | static_cast<uint64_t>(c);
        }
        if (l.width < 0 || l.width >= 8) return 0;
        return key << 3 | static_cast<uint64_t>(l.width) | uint64_t{1} << 63;
    }
    static uint64_t mix(uint64_t k) {
        k ^= k >> 33;
        k *= 0xff51afd7ed558ccdULL;
        k ^= k >> 33;
        return k;
    }

    const QRect& bounds_;
    std::vector<Line> lines_;
};

// One call as it stands in the window.
struct Placed {
    ClippedCall clip;
    int64_t xs = 0, xe = 0;
};

} // namespace

void paintCalls(QPainter& painter, const QRect& bounds, const EventPaintInput& in,
                CallSkipIndex& skipIndex) {
    TTrace& trace = in.trace;
    const TimeWindow window = timeWindow(in.zoom, in.offset, bounds.width());
    const RowLayout layout = layoutRows(shownPositions(trace, in.filter), in.pos, bounds.height());
    std::optional<RankIndex> ranks;
    if (in.filter.showLinks) ranks.emplace(trace);
    const QRgb white = qRgb(255, 255, 255);
    LineList lines(bounds);
    uint32_t lastId = ~0u;
    QRgb lastColour = 0;

    for (const Row& row : layout.rows) {
        const int64_t b = row.bottom;
        const int64_t nodeShift = shiftOf(trace, row.position);
        // Reads the call list directly rather than through the shared cursor.
        const TProcess& process = *trace.processAt(row.position);
        const TCallList& calls = process.calls;
        const auto place = [&](const TFunc& f) {
            Placed p;
            p.clip = clipCall(window, wrapAdd(f.start, nodeShift), wrapAdd(f.end, nodeShift));
            if (p.clip.place == CallPlace::Inside) {
                p.xs = pixelOf(window, p.clip.start);
                p.xe = pixelOf(window, p.clip.end);
            }
            return p;
        };

        size_t i = skipIndex.firstEndingAtOrAfter(process, nodeShift, window.t0);
        if (i >= calls.size()) continue;
        Placed cur = place(calls[i]);
        for (;;) {
            const TFunc& f = calls[i];
            if (cur.clip.place == CallPlace::After) break;
            // The next call is placed ahead: its bar may be the very same line.
            const bool more = !cur.clip.lastInRow && i + 1 < calls.size();
            Placed next;
            if (more) next = place(calls[i + 1]);
            if (cur.clip.place == CallPlace::Before) {
                if (!more) break;
                ++i;
                cur = next;
                continue;
            }

            if (f.funcId != lastId) {
                lastId = f.funcId;
                lastColour = qColour(in.palette.colourOf(f.funcId & ~kUnfinishedFlag)).rgb();
            }
            const int64_t xs = cur.xs, xe = cur.xe;
            if (f.funcId == kFuncInstantMark) {
                lines.add(xs - 5, b - 15, xs + 5, b - 5, lastColour, 3);
                lines.add(xs - 5, b - 5, xs + 5, b - 15, lastColour, 3);
            } else {
                // A bar that the next call draws again with the same ends is
                // painted over completely, whatever is drawn in between.
                const bool repainted = more && next.clip.place == CallPlace::Inside &&
                                       calls[i + 1].funcId != kFuncInstantMark && next.xs == xs &&
                                       next.xe == xe;
                if (!repainted) lines.add(xs, b - 10, xe, b - 10, lastColour, 3);
                if (f.funcId & kUnfinishedFlag) lines.add(xe, b - 5, xe, b - 15, lastColour, 3);
            }
            if (in.filter.showLinks && f.linkCount > 0) {
                forEachLinkLine(trace, window, layout, *ranks, f, b, cur.clip.start, xs,
                                [&](int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
                                    lines.add(x1, y1, x2, y2, white, 1);
                                });
            }
            if (!more) break;
            ++i;
            cur = next;
        }
    }
    lines.draw(painter);
}
