// The painter's walk into its draw list, without a screen: against the plain
// walk of every call, on random traces and viewports, walked whole or in
// parts that are joined; and the indexes and the set it folds calls by.

#include "paint_test_traces.h"

#include "model/call_search.h"
#include "model/trace_document.h"
#include "model/wrapping_math.h"
#include "view/call_blocks.h"
#include "view/call_skip_index.h"
#include "view/color_palette.h"
#include "view/draw_list.h"
#include "view/draw_walk.h"
#include "view/key_set.h"
#include "view/reference/walk_reference.h"
#include "view/row_layout.h"
#include "view/segment_clip.h"
#include "view/time_axis.h"
#include "view/time_index.h"
#include "view/view_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <sstream>
#include <tuple>
#include <vector>

namespace {

struct Plain {
    int x1, y1, x2, y2;
    PackedRgb colour;
    int width;
    auto operator<=>(const Plain&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Plain& l) {
    return out << "(" << l.x1 << "," << l.y1 << ")-(" << l.x2 << "," << l.y2 << ") #" << std::hex
               << l.colour << std::dec << " w" << l.width;
}

// What a list of opaque lines paints, in a form where lists that paint alike
// by the two rules the walk leaves lines out by compare equal: a line with
// the same ends and width as a later one paints nothing that stays, and the
// lines of a run of one pen paint the same pixels in any order.
std::vector<std::vector<Plain>> paintedForm(const std::vector<Plain>& lines) {
    std::set<std::tuple<int, int, int, int, int>> later;
    std::vector<Plain> kept;
    for (auto l = lines.rbegin(); l != lines.rend(); ++l)
        if (later.insert({l->x1, l->y1, l->x2, l->y2, l->width}).second) kept.push_back(*l);
    std::reverse(kept.begin(), kept.end());
    std::vector<std::vector<Plain>> runs;
    for (const Plain& l : kept) {
        if (runs.empty() || runs.back().front().colour != l.colour ||
            runs.back().front().width != l.width)
            runs.emplace_back();
        runs.back().push_back(l);
    }
    for (auto& run : runs) std::sort(run.begin(), run.end());
    return runs;
}

// The plain walk's lines, clipped as the draw list clips them.
std::vector<Plain> referenceLines(TTrace& trace, const ViewFilter& filter,
                                  const ColorPalette& palette, const TimeWindow& window,
                                  const RowLayout& layout, const PixelRect& bounds) {
    const int64_t m = DrawList::kClipMargin;
    const ClipBox box{bounds.left() - m, bounds.top() - m, bounds.right() + m, bounds.bottom() + m};
    std::vector<Plain> lines;
    walkCallsReference(trace, filter, palette, window, layout,
                       [&](int64_t x1, int64_t y1, int64_t x2, int64_t y2, PackedRgb c, int w) {
                           if (const auto s = clipSegment({x1, y1, x2, y2}, box))
                               lines.push_back({static_cast<int>(s->x1), static_cast<int>(s->y1),
                                                static_cast<int>(s->x2), static_cast<int>(s->y2), c,
                                                w});
                       });
    return lines;
}

// The walk's lines, rows walked in `parts` lists of their own and joined.
std::vector<Plain> walkedLines(const DrawWalk& walk, const PixelRect& bounds, size_t parts,
                               std::mt19937_64& rng) {
    std::vector<size_t> from{0};
    for (size_t k = 1; k < parts; ++k)
        from.push_back(std::max(from.back(), static_cast<size_t>(rng() % (walk.rowCount() + 1))));
    from.push_back(walk.rowCount());
    std::sort(from.begin(), from.end());
    DrawList first(bounds);
    std::vector<DrawList> later(parts - 1, DrawList(bounds));
    for (size_t k = 0; k < parts; ++k)
        walk.walk(from[k], from[k + 1], k == 0 ? first : later[k - 1]);
    first.append(later);
    std::vector<Plain> lines;
    for (const DrawList::Line& l : first.lines())
        lines.push_back(
            {l.x1, l.y1, l.x2, l.y2, l.colour, l.width == 0 ? DrawList::kBarWidth : l.width});
    return lines;
}

} // namespace

// Random viewports over traces of every kind, with links, hidden nodes,
// ranks and functions and fitted rows now and then: the walk paints what the
// plain walk paints, and leaves much of it out on the way.
TEST(DrawWalk, PaintsWhatThePlainWalkPaints) {
    std::mt19937_64 rng(4711);
    std::uniform_int_distribution<int> pct(0, 99);
    std::unique_ptr<TTrace> (*const makers[])(std::mt19937_64&, int) = {
        randomTrace, denseTrace, plainRunsTrace, generatedTrace};
    const ColorPalette palette;
    size_t plainLines = 0, walkedCount = 0;
    for (int n = 0; n < 24; ++n) {
        auto trace = makers[n % 4](rng, 300 + n);
        ASSERT_TRUE(trace);
        TimeIndex index(*trace);
        const TimeSpan span = spanOf(*trace);
        const std::vector<uint32_t> functions = functionsPresent(*trace);
        for (int v = 0; v < 12; ++v) {
            const PixelRect bounds{0, 0, 200 + pct(rng) * 5, 70 + pct(rng) * 3};
            const double fit = fittingZoom(bounds.width - 10, span.lo, span.hi);
            const double zoom = std::min(1.0, fit * std::ldexp(1.0, pct(rng) % 9));
            const int64_t step = scrollStep(zoom);
            const int64_t lo = span.lo / step - 3, hi = span.hi / step + 3;
            const int offset = static_cast<int>(lo + static_cast<int64_t>(rng() % (hi - lo + 1)));
            const int pos = static_cast<int>(rng() % (trace->processCount() + 3));
            const ViewFilter filter = randomViewFilter(rng, *trace, 70, functions);
            const int rowHeight = pct(rng) < 70 ? kRowHeight : 1 + pct(rng) % 40;

            const TimeWindow window = timeWindow(zoom, offset, bounds.width);
            const RowLayout layout =
                layoutRows(shownPositions(*trace, filter), pos, bounds.height, rowHeight);
            const std::vector<Plain> plain =
                referenceLines(*trace, filter, palette, window, layout, bounds);
            const DrawWalk walk(*trace, filter, palette, window, layout, index);
            const std::vector<Plain> walked = walkedLines(walk, bounds, 1 + rng() % 4, rng);
            const auto expected = paintedForm(plain), got = paintedForm(walked);
            if (expected != got) {
                const auto [e, g] =
                    std::mismatch(expected.begin(), expected.end(), got.begin(), got.end());
                FAIL() << "trace " << n << " viewport " << v << " zoom " << zoom << " offset "
                       << offset << " pos " << pos << " links " << filter.showLinks << " rows of "
                       << rowHeight << ": " << expected.size() << " runs against " << got.size()
                       << "; first differing run " << (e - expected.begin()) << " starts "
                       << (e != expected.end() ? e->front() : Plain{}) << " against "
                       << (g != got.end() ? g->front() : Plain{});
            }
            plainLines += plain.size();
            walkedCount += walked.size();
        }
    }
    EXPECT_LT(walkedCount * 5, plainLines * 4); // folding and repeats left out over a fifth
}

// Links beyond what a block counts (a made-up file): the block is never
// passed over, so its count is never used.
TEST(CallBlocks, LinkSumsBeyond32BitsKeepTheBlockFromBeingPassedOver) {
    CallBlocks index;
    TProcess huge;
    for (size_t i = 0; i < 2 * CallBlocks::kSize; ++i) {
        TFunc f;
        f.funcId = kFuncWait;
        f.start = f.end = 10;
        f.linkCount = i < CallBlocks::kSize ? 0x7fffffffu : 1u;
        huge.calls.push_back(std::move(f));
    }
    const CallBlocks::ProcessBlocks& kept = index.prepare(huge);
    EXPECT_FALSE(kept.blocks[0].plain);
    EXPECT_TRUE(kept.blocks[1].plain);
    EXPECT_EQ(kept.blocks[1].linkSum, CallBlocks::kSize);
}

TEST(CallSkipIndex, FindsTheFirstCallEndingAtOrAfterTheTime) {
    std::mt19937_64 rng(3);
    CallSkipIndex index;
    for (int n = 0; n < 50; ++n) {
        TProcess p;
        const size_t count = rng() % 300;
        for (size_t i = 0; i < count; ++i) {
            TFunc f;
            f.start = static_cast<int64_t>(rng() % 1000);
            f.end = f.start + static_cast<int64_t>(rng() % 50) - 5;
            p.calls.push_back(std::move(f));
        }
        if (n == 1 && count > 0) p.calls[0].end = INT64_MAX; // wraps once shifted
        const int64_t shift = static_cast<int64_t>(rng() % 100) - 50;
        index.clear();
        const CallSkipIndex& reading = index; // looks only, walking where not prepared
        // The first call from `from` on ending at or after t0, walked.
        const auto walked = [&](int64_t by, int64_t t0, size_t from) {
            while (from < count && wrapAdd(p.calls[from].end, by) < t0) ++from;
            return from;
        };
        for (int64_t t0 = -100; t0 <= 1200; t0 += 7) {
            const size_t from = count ? rng() % (count + 1) : 0;
            SCOPED_TRACE("trace " + std::to_string(n) + " t0 " + std::to_string(t0) + " from " +
                         std::to_string(from));
            ASSERT_EQ(reading.firstEndingAtOrAfter(p, shift, t0), walked(shift, t0, 0));
            ASSERT_EQ(index.firstEndingAtOrAfter(p, shift, t0), walked(shift, t0, 0));
            // Prepared for another shift, the reading index must not use those blocks.
            ASSERT_EQ(reading.firstEndingAtOrAfter(p, shift + 1000, t0),
                      walked(shift + 1000, t0, 0));
            // And from any call on.
            ASSERT_EQ(index.nextEndingAtOrAfter(p, shift, t0, from), walked(shift, t0, from));
            ASSERT_EQ(reading.nextEndingAtOrAfter(p, shift, t0, from), walked(shift, t0, from));
        }
    }
}

// Spread over tables that grow: each key is new once, then held, until cleared.
TEST(KeySet, TellsKeysSeenBeforeAcrossGrowthAndClearing) {
    std::mt19937_64 rng(28);
    KeySet set;
    for (int round = 0; round < 3; ++round) {
        set.clear();
        // Distinct, some of them small (they sit close in the table).
        std::vector<uint64_t> keys;
        std::set<uint64_t> distinct;
        for (int k = 0; k < 5000; ++k) {
            const uint64_t key = (rng() >> (round * 24)) | 1;
            if (distinct.insert(key).second) keys.push_back(key);
        }
        for (uint64_t key : keys) ASSERT_FALSE(set.insertSeen(key));
        EXPECT_EQ(set.size(), keys.size());
        for (uint64_t key : keys) ASSERT_TRUE(set.insertSeen(key));
        EXPECT_EQ(set.size(), keys.size());
    }
    set.clear();
    EXPECT_EQ(set.size(), 0u);
    EXPECT_FALSE(set.insertSeen(12345));
}
