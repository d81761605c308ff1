#include "view/draw_walk.h"

#include "view/time_index.h"
#include "view/view_filter.h"

#include <array>

namespace {

// One call as it stands in the window.
struct Placed {
    ClippedCall clip;
    int64_t xs = 0, xe = 0;
};

constexpr size_t kPrefetchAhead = 12; // calls
constexpr size_t kBlocksAhead = 8;    // blocks of calls

} // namespace

DrawWalk::DrawWalk(TTrace& trace, const ViewFilter& filter, const ColorPalette& palette,
                   const TimeWindow& window, const RowLayout& layout, TimeIndex& index)
    : trace_(trace), filter_(filter), palette_(palette), window_(window), layout_(layout),
      skipIndex_(index.skips()) {
    if (filter.showLinks) {
        ranks_.emplace(trace);
        partners_.emplace(trace, layout, *ranks_);
    }
    // The trace's node offsets are made here too, before any thread reads them.
    trace.nodeOffset(0);
    const size_t rowCount = layout.rows.size();
    rowShift_.resize(rowCount);
    rowLinks_.assign(rowCount, nullptr);
    rowBlocks_.assign(rowCount, nullptr);
    costTo_.assign(rowCount + 1, 0);
    for (size_t r = 0; r < rowCount; ++r) {
        const uint32_t position = layout.rows[r].position;
        const TProcess& process = *trace.processAt(position);
        rowShift_[r] = shiftOf(trace, position);
        index.skips().prepare(process, rowShift_[r]);
        if (filter.showLinks) rowLinks_[r] = index.linkEnds().of(process);
        rowBlocks_[r] = &index.blocks().prepare(process);
        const size_t first = index.skips().firstEndingAtOrAfter(process, rowShift_[r], window.t0);
        const size_t end = index.skips().firstEndingAtOrAfter(process, rowShift_[r], window.t1);
        shownCalls_ += end - first;
        uint64_t cost = end - first;
        if (rowLinks_[r] && end > first)
            cost += 2 * (rowLinks_[r]->firstLinkOf(process.calls, end - 1) +
                         process.calls[end - 1].linkCount -
                         rowLinks_[r]->firstLinkOf(process.calls, first));
        costTo_[r + 1] = costTo_[r] + cost;
    }
}

void DrawWalk::walk(size_t firstRow, size_t endRow, DrawList& lines) const {
    const TTrace& trace = trace_;
    const TimeWindow& window = window_;
    const CallSkipIndex& skipIndex = skipIndex_;
    const bool showLinks = filter_.showLinks;
    // With functions hidden, calls are read one by one: the blocks and the
    // links' layout know nothing of functions.
    const ViewFilter& filter = filter_;
    const bool hides = filter.hidesFunctions();
    const PackedRgb white = packRgb(255, 255, 255);
    uint32_t lastId = ~0u;
    PackedRgb lastColour = 0;
    // Colours by function id, looked up in the palette once per id and walk.
    struct ColourSlot {
        uint32_t id = ~0u;
        PackedRgb colour = 0;
    };
    std::array<ColourSlot, 256> colours{};
    const auto colourOf = [&](uint32_t funcId) {
        ColourSlot& slot = colours[funcId & 255];
        if (slot.id != funcId) {
            slot.id = funcId;
            const TColour c = palette_.colourOf(funcId & ~kUnfinishedFlag);
            slot.colour = packRgb(c.r, c.g, c.b);
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

    const RowGeometry& g = layout_.geometry;
    // A bar of the 20-pixel row's pen is a bar the culler may measure.
    const auto addBar = [&](int64_t xs, int64_t xe, int64_t y, PackedRgb colour) {
        if (g.barWidth == DrawList::kBarWidth)
            lines.addBar(xs, xe, y, colour);
        else
            lines.add(xs, y, xe, y, colour, g.barWidth);
    };
    for (size_t r = firstRow; r < endRow; ++r) {
        const Row& row = layout_.rows[r];
        const int64_t b = row.bottom;
        const int64_t nodeShift = rowShift_[r];
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
        const LinkEndIndex::ProcessLinks* links = hides ? nullptr : rowLinks_[r];
        const CallBlocks::ProcessBlocks* blocks = hides ? nullptr : rowBlocks_[r];
        size_t link = links ? links->firstLinkOf(calls, i) : 0; // of call i
        Placed cur = place(calls[i]);
        // Link lines [from, to) of the calls of a block from call `first` on,
        // all in `column` and the window: as the walk below draws them.
        const auto blockLinks = [&](size_t from, size_t to, int64_t column, size_t first) {
            for (size_t k = from; k < to; ++k) {
                const PartnerTable::Entry p = partners_->find(links->ranks[k]);
                if (!p.shown) continue;
                const int64_t recvEnd = wrapAdd(links->recvEnds[k], p.shift);
                int64_t start = window.t0; // the call's start, needed only past t1
                if (recvEnd > window.t1) {
                    size_t j = first, firstOfJ = from;
                    while (firstOfJ + calls[j].linkCount <= k) firstOfJ += calls[j++].linkCount;
                    start = wrapAdd(calls[j].start, nodeShift);
                }
                const LinkEnd end = cutLinkAtRightEdge(b, p.edge, start, recvEnd, window.t1);
                addLink(links->ranks[k], column, b - g.centre, pixelOf(window, end.time),
                        end.edge - g.centre);
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
                const int arm = g.crossArm;
                lines.add(xs - arm, b - g.markHigh, xs + arm, b - g.markLow, lastColour,
                          g.barWidth);
                lines.add(xs - arm, b - g.markLow, xs + arm, b - g.markHigh, lastColour,
                          g.barWidth);
            } else {
                // A bar that the next call draws again with the same ends is
                // painted over completely, whatever is drawn in between.
                const bool repainted = more && next.clip.place == CallPlace::Inside &&
                                       calls[i + 1].funcId != kFuncInstantMark && next.xs == xs &&
                                       next.xe == xe && filter.funcVisible(calls[i + 1].funcId);
                if (!repainted) addBar(xs, xe, b - g.centre, lastColour);
                if (f.funcId & kUnfinishedFlag)
                    lines.add(xe, b - g.markLow, xe, b - g.markHigh, lastColour, g.barWidth);
            }
            if (showLinks && f.linkCount > 0) {
                const auto line = [&](int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
                    lines.add(x1, y1, x2, y2, white, 1);
                };
                if (links) {
                    for (size_t k = link; k < link + f.linkCount; ++k) {
                        const PartnerTable::Entry p = partners_->find(links->ranks[k]);
                        if (!p.shown) continue;
                        const LinkEnd end =
                            cutLinkAtRightEdge(b, p.edge, cur.clip.start,
                                               wrapAdd(links->recvEnds[k], p.shift), window.t1);
                        addLink(links->ranks[k], xs, b - g.centre, pixelOf(window, end.time),
                                end.edge - g.centre);
                    }
                } else {
                    forEachLinkLine(trace, filter, window, layout_, *ranks_, f, b, cur.clip.start,
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
