#include "ui/event_paint.h"

#include "format/func_ids.h"
#include "model/trace_document.h"
#include "model/wrapping_math.h"
#include "ui/color_palette.h"
#include "ui/line_list.h"
#include "ui/paint_cache.h"
#include "ui/paint_clip.h"
#include "view/row_layout.h"
#include "view/time_axis.h"
#include "view/time_index.h"
#include "view/view_filter.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <span>

namespace {

QColor qColour(TColour c) {
    return QColor(c.r, c.g, c.b);
}

int64_t shiftOf(const TTrace& trace, uint32_t position) {
    return trace.nodeOffset(static_cast<uint32_t>(trace.nodeIndexAt(position)));
}

// The links of one call, in stored order, handed to line(x1, y1, x2, y2).
// A receive of a hidden function is not linked.
template <class Line>
void forEachLinkLine(const TTrace& trace, const ViewFilter& filter, const TimeWindow& window,
                     const RowLayout& layout, const RankIndex& ranks, const TFunc& f, int64_t b,
                     int64_t start, int64_t xs, Line&& line) {
    for (const TLink& link : f.linkSpan()) {
        const std::optional<uint32_t> partner = ranks.positionOf(link.rank);
        if (!partner || !layout.edgeOf[*partner] || !link.recv) continue;
        if (!filter.funcVisible(link.recv->funcId)) continue;
        const LinkEnd end =
            cutLinkAtRightEdge(b, *layout.edgeOf[*partner], start,
                               wrapAdd(link.recv->end, shiftOf(trace, *partner)), window.t1);
        line(xs, b - 10, pixelOf(window, end.time), end.edge - 10);
    }
}

} // namespace

TimeWindow windowOf(const EventPaintInput& in, int width) {
    return in.start ? timeWindowAt(in.zoom, *in.start, width)
                    : timeWindow(in.zoom, in.offset, width);
}

void paintCallsReference(QPainter& painter, const QRect& bounds, const EventPaintInput& in) {
    TTrace& trace = in.trace;
    const TimeWindow window = windowOf(in, bounds.width());
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
            // A hidden call is passed over as if it were not in the list.
            if (!in.filter.funcVisible(f->funcId)) continue;

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
                forEachLinkLine(trace, in.filter, window, layout, *ranks, *f, b, c.start, xs,
                                [&](int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
                                    drawClippedLine(painter, bounds, x1, y1, x2, y2);
                                });
            }
            if (c.lastInRow) break;
        }
    }
}

namespace {

// One call as it stands in the window.
struct Placed {
    ClippedCall clip;
    int64_t xs = 0, xe = 0;
};

// The partner of a link by rank, as forEachLinkLine finds it: the first list
// position with that rank, its row's lower edge when shown and its clock
// shift. A table by rank for the usual small ranks, the rank index beyond.
class PartnerTable {
  public:
    PartnerTable(const TTrace& trace, const RowLayout& layout, const RankIndex& ranks)
        : trace_(trace), layout_(layout), ranks_(ranks) {
        const uint32_t n = trace.processCount();
        uint64_t size = 0;
        for (uint32_t i = 0; i < n; ++i)
            size = std::max<uint64_t>(size, static_cast<uint32_t>(trace.rankAt(i)) + uint64_t{1});
        size = std::min<uint64_t>(size, uint64_t{4} * n + 64);
        table_.resize(size);
        for (uint32_t i = n; i-- > 0;) { // the first position of a rank wins
            const auto rank = static_cast<uint32_t>(trace.rankAt(i));
            if (rank < size) table_[rank] = entryOf(i);
        }
    }

    struct Entry {
        bool shown = false;
        int64_t edge = 0;
        int64_t shift = 0;
    };
    Entry find(uint32_t rank) const {
        if (rank < table_.size()) return table_[rank];
        const std::optional<uint32_t> position = ranks_.positionOf(rank);
        return position ? entryOf(*position) : Entry{};
    }

  private:
    Entry entryOf(uint32_t position) const {
        if (!layout_.edgeOf[position]) return {};
        return {true, *layout_.edgeOf[position], shiftOf(trace_, position)};
    }

    const TTrace& trace_;
    const RowLayout& layout_;
    const RankIndex& ranks_;
    std::vector<Entry> table_;
};

// What walking rows into lines reads; shared by the threads that walk them.
struct RowWalk {
    const TTrace& trace;
    const EventPaintInput& in;
    const TimeWindow& window;
    const RowLayout& layout;
    const RankIndex* ranks;         // when links are shown
    const PartnerTable* partners;   // the same
    const CallSkipIndex& skipIndex; // prepared for every row's process
    const std::vector<int64_t>& rowShift;
    const std::vector<const LinkEndIndex::ProcessLinks*>& rowLinks;
    const std::vector<const CallBlocks::ProcessBlocks*>& rowBlocks;
};

constexpr size_t kPrefetchAhead = 12; // calls
constexpr size_t kBlocksAhead = 8;    // blocks of calls

// The lines of rows [first, end) of the layout, in drawing order.
void walkRows(const RowWalk& w, size_t firstRow, size_t endRow, LineList& lines) {
    const TTrace& trace = w.trace;
    const TimeWindow& window = w.window;
    const CallSkipIndex& skipIndex = w.skipIndex;
    const bool showLinks = w.in.filter.showLinks;
    // With functions hidden, calls are read one by one: the blocks and the
    // links' layout know nothing of functions.
    const ViewFilter& filter = w.in.filter;
    const bool hides = filter.hidesFunctions();
    const QRgb white = qRgb(255, 255, 255);
    uint32_t lastId = ~0u;
    QRgb lastColour = 0;
    // Colours by function id, looked up in the palette once per id and walk.
    struct ColourSlot {
        uint32_t id = ~0u;
        QRgb colour = 0;
    };
    std::array<ColourSlot, 256> colours{};
    const auto colourOf = [&](uint32_t funcId) {
        ColourSlot& slot = colours[funcId & 255];
        if (slot.id != funcId) {
            slot.id = funcId;
            slot.colour = qColour(w.in.palette.colourOf(funcId & ~kUnfinishedFlag)).rgb();
        }
        return slot.colour;
    };

    // The link line last handed in per partner rank (by its low bits), and
    // in which run of lines: a link that gives the same line again in the
    // same run adds nothing, as many links of the calls in one pixel column
    // do. Left out here, it costs no call.
    struct RecentLink {
        uint64_t run = ~uint64_t{0};
        int64_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    };
    std::array<RecentLink, 256> recent{};
    const auto addLink = [&](uint32_t rank, int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
        RecentLink& last = recent[rank & 255];
        if (last.run == lines.run() && last.x1 == x1 && last.y1 == y1 && last.x2 == x2 &&
            last.y2 == y2)
            return;
        lines.add(x1, y1, x2, y2, white, 1);
        last = {lines.run(), x1, y1, x2, y2};
    };

    for (size_t r = firstRow; r < endRow; ++r) {
        const Row& row = w.layout.rows[r];
        const int64_t b = row.bottom;
        const int64_t nodeShift = w.rowShift[r];
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
        const LinkEndIndex::ProcessLinks* links = hides ? nullptr : w.rowLinks[r];
        const CallBlocks::ProcessBlocks* blocks = hides ? nullptr : w.rowBlocks[r];
        size_t link = links ? links->firstLinkOf(calls, i) : 0; // of call i
        Placed cur = place(calls[i]);
        // Link lines [from, to) of the calls of a block from call `first` on,
        // all in `column` and the window: as the walk below draws them.
        const auto blockLinks = [&](size_t from, size_t to, int64_t column, size_t first) {
            for (size_t k = from; k < to; ++k) {
                const PartnerTable::Entry p = w.partners->find(links->ranks[k]);
                if (!p.shown) continue;
                const int64_t recvEnd = wrapAdd(links->recvEnds[k], p.shift);
                int64_t start = window.t0; // the call's start, needed only past t1
                if (recvEnd > window.t1) {
                    size_t j = first, firstOfJ = from;
                    while (firstOfJ + calls[j].linkCount <= k) firstOfJ += calls[j++].linkCount;
                    start = wrapAdd(calls[j].start, nodeShift);
                }
                const LinkEnd end = cutLinkAtRightEdge(b, p.edge, start, recvEnd, window.t1);
                addLink(links->ranks[k], column, b - 10, pixelOf(window, end.time), end.edge - 10);
            }
        };
        // Whether the links of a block's calls can be read from the links'
        // layout (or need not be read).
        const auto linksReadable = [&](const CallBlocks::Block& block) {
            return block.linkSum == 0 || !showLinks || links;
        };
        // The one pixel column in which every call of the block starts and
        // ends, all of them plain bars inside the window (none reaching its
        // end); none otherwise.
        const auto columnOf = [&](const CallBlocks::Block& block) -> std::optional<int64_t> {
            int64_t lo = 0, hi = 0;
            if (!block.plain || __builtin_add_overflow(block.lo, nodeShift, &lo) ||
                __builtin_add_overflow(block.hi, nodeShift, &hi) || lo < window.t0 ||
                hi >= window.t1)
                return std::nullopt;
            const int64_t column = pixelOf(window, lo);
            if (pixelOf(window, hi) != column) return std::nullopt;
            return column;
        };
        // `link` is the first link of call i; each way on sets both.
        for (;;) {
            const TFunc& f = calls[i];
            if (cur.clip.place == CallPlace::After) break;
            if (cur.clip.place == CallPlace::Before) {
                // Ended before the window: on to the next call that does not.
                const size_t k =
                    skipIndex.nextEndingAtOrAfter(process, nodeShift, window.t0, i + 1);
                if (k >= calls.size()) break;
                if (links)
                    link = k > i + 1 ? links->firstLinkOf(calls, k) : link + calls[i].linkCount;
                i = k;
                cur = place(calls[k]);
                continue;
            }
            if (hides && !filter.funcVisible(f.funcId)) {
                if (i + 1 >= calls.size()) break;
                cur = place(calls[++i]);
                continue;
            }
            // A block of plain calls that all fall into one pixel column (all
            // in the window, none reaching its end) draws one bar again and
            // again: when the call after the block draws it too, the block's
            // calls are passed over unread; else those before its last call,
            // whose bar paints over theirs. Their links, all starting in that
            // column, are read from the links' layout in the same order.
            if (blocks && i % CallBlocks::kSize == 0 && i + CallBlocks::kSize < calls.size()) {
                const CallBlocks::Block* block = &blocks->blocks[i / CallBlocks::kSize];
                std::optional<int64_t> column;
                if (linksReadable(*block)) column = columnOf(*block);
                if (column) {
                    // While the next block lies in the same column, so does
                    // the call after this one: passed over without reading
                    // any call.
                    bool replaced = false;
                    for (;;) {
                        // The walk reads a call again where a run of
                        // blocks ends: ask for those a few blocks ahead.
                        if (const size_t ahead = i + kBlocksAhead * CallBlocks::kSize;
                            ahead < calls.size())
                            __builtin_prefetch(calls.data() + ahead);
                        const CallBlocks::Block& next =
                            blocks->blocks[(i + CallBlocks::kSize) / CallBlocks::kSize];
                        if (columnOf(next) != column) break;
                        if (showLinks && block->linkSum > 0)
                            blockLinks(link, link + block->linkSum, *column, i);
                        link += block->linkSum;
                        i += CallBlocks::kSize;
                        block = &next;
                        if (i + CallBlocks::kSize >= calls.size() || !linksReadable(*block)) {
                            cur = place(calls[i]); // on as any call
                            replaced = true;
                            break;
                        }
                    }
                    if (replaced) continue;
                    const size_t after = i + CallBlocks::kSize;
                    const Placed then = place(calls[after]);
                    if (then.clip.place == CallPlace::Inside &&
                        calls[after].funcId != kFuncInstantMark && then.xs == *column &&
                        then.xe == *column) {
                        if (showLinks && block->linkSum > 0)
                            blockLinks(link, link + block->linkSum, *column, i);
                        link += block->linkSum;
                        i = after;
                        cur = then;
                        continue;
                    }
                    const size_t last = after - 1;
                    const uint64_t before = block->linkSum - calls[last].linkCount;
                    if (showLinks && before > 0) blockLinks(link, link + before, *column, i);
                    link += before;
                    i = last;
                    cur = place(calls[last]);
                    continue;
                }
            }
            // The next call is placed ahead: its bar may be the very same line.
            const bool more = !cur.clip.lastInRow && i + 1 < calls.size();
            Placed next;
            if (more) next = place(calls[i + 1]);
            // Calls are read one after another, a cache line each: ask for
            // those a little ahead before they are needed.
            __builtin_prefetch(calls.data() + i + kPrefetchAhead);

            if (f.funcId != lastId) {
                lastId = f.funcId;
                lastColour = colourOf(f.funcId);
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
                                       next.xe == xe && filter.funcVisible(calls[i + 1].funcId);
                if (!repainted) lines.addBar(xs, xe, b - 10, lastColour);
                if (f.funcId & kUnfinishedFlag) lines.add(xe, b - 5, xe, b - 15, lastColour, 3);
            }
            if (showLinks && f.linkCount > 0) {
                const auto line = [&](int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
                    lines.add(x1, y1, x2, y2, white, 1);
                };
                if (links) {
                    for (size_t k = link; k < link + f.linkCount; ++k) {
                        const PartnerTable::Entry p = w.partners->find(links->ranks[k]);
                        if (!p.shown) continue;
                        const LinkEnd end =
                            cutLinkAtRightEdge(b, p.edge, cur.clip.start,
                                               wrapAdd(links->recvEnds[k], p.shift), window.t1);
                        addLink(links->ranks[k], xs, b - 10, pixelOf(window, end.time),
                                end.edge - 10);
                    }
                } else {
                    forEachLinkLine(trace, filter, window, w.layout, *w.ranks, f, b, cur.clip.start,
                                    xs, line);
                }
            }
            if (!more) break;
            link += f.linkCount;
            ++i;
            cur = next;
        }
    }
}

// Images whose black is one 32-bit word per pixel.
bool fillsBlackByRows(const QImage& image) {
    const QImage::Format f = image.format();
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
           f == QImage::Format_ARGB32_Premultiplied;
}

constexpr uint32_t kBlackStrips = 4;

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
                PaintCache& cache, QImage* blackFirst) {
    const auto started = std::chrono::steady_clock::now();
    TTrace& trace = in.trace;
    const TimeWindow window = windowOf(in, bounds.width());
    const RowLayout layout = layoutRows(shownPositions(trace, in.filter), in.pos, bounds.height());
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
    const size_t parts = rowCount >= PaintCache::kWalkParts && calls >= cache.callsWorthThreads
                             ? PaintCache::kWalkParts
                             : 1;
    cache.lines.reset(bounds);
    // The image is made black in strips taken after the walk's parts, by
    // whichever thread is through with its parts first.
    const bool blackInStrips = blackFirst && parts > 1 && fillsBlackByRows(*blackFirst);
    if (blackFirst && !blackInStrips) blackFirst->fill(Qt::black);
    if (parts == 1) {
        walkRows(walk, 0, rowCount, cache.lines);
    } else {
        for (LineList& part : cache.laterParts) part.reset(bounds);
        std::array<size_t, PaintCache::kWalkParts + 1> from{};
        for (size_t part = 1; part < parts; ++part) {
            const uint64_t target = costTo[rowCount] * part / parts;
            from[part] = std::max<size_t>(
                from[part - 1],
                static_cast<size_t>(std::lower_bound(costTo.begin(), costTo.end(), target) -
                                    costTo.begin()));
        }
        from[parts] = rowCount;
        const uint32_t strips = blackInStrips ? kBlackStrips : 0;
        cache.helper.run(static_cast<uint32_t>(parts) + strips, [&](uint32_t part) {
            if (part >= parts) {
                blackStrip(*blackFirst, part - static_cast<uint32_t>(parts), strips);
                return;
            }
            const auto t = std::chrono::steady_clock::now();
            LineList& lines = part == 0 ? cache.lines : cache.laterParts[part - 1];
            walkRows(walk, from[part], from[part + 1], lines);
            cache.walkPartMs[part] =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t)
                    .count();
        });
        cache.lines.append(std::span(cache.laterParts.data(), parts - 1), &cache.helper);
    }
    cache.walkMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count();
    cache.lines.draw(painter, cache.measures, &cache.helper, cache.linesWorthSharing);
}

void paintView(QPainter& target, const QRect& bounds, const EventPaintInput& in,
               PaintCache& cache) {
    const qreal ratio = target.device() ? target.device()->devicePixelRatio() : 1.0;
    const QSize size = (QSizeF(bounds.size()) * ratio).toSize();
    if (size.isEmpty()) return;
    QImage& canvas = cache.canvas;
    if (canvas.size() != size) canvas = QImage(size, QImage::Format_RGB32);
    canvas.setDevicePixelRatio(ratio);
    {
        QPainter painter(&canvas);
        paintCalls(painter, QRect(QPoint(0, 0), bounds.size()), in, cache, &canvas);
    }
    target.drawImage(bounds.topLeft(), canvas);
}
