// How the views use their space, without a screen: rows fitted to the view
// and the marks scaled with them, the row at the top when a trace opens, a
// fitted view told from a moved one, ruler ticks counted from an origin and
// the readable ruler's labels.

#include "view/navigation.h"
#include "view/row_layout.h"
#include "view/ruler_ticks.h"
#include "view/scroll_target.h"
#include "view/time_axis.h"
#include "view/view_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

TEST(RowGeometry, TheTwentyPixelRowKeepsItsFiguresAndOthersScale) {
    EXPECT_EQ(rowGeometry(kRowHeight), RowGeometry{});
    const RowGeometry tall = rowGeometry(40);
    EXPECT_EQ(std::tuple(tall.centre, tall.markLow, tall.markHigh, tall.crossArm, tall.barWidth),
              std::tuple(20, 10, 30, 10, 6));
    // Nothing leaves its row, and the centre line stays above the lower edge
    // (the bottom row's edge is the view's height, one pixel below it).
    for (int h = 1; h <= 300; ++h) {
        const RowGeometry g = rowGeometry(h);
        ASSERT_EQ(g.height, h);
        ASSERT_TRUE(0 <= g.markLow && g.markLow <= g.centre && g.centre <= g.markHigh &&
                    g.markHigh <= h && g.centre >= 1)
            << h;
        ASSERT_TRUE(g.barWidth >= 1 && g.barWidth <= std::max(1, h / 3 + 1)) << h;
        ASSERT_GE(g.crossArm, 1) << h;
    }
    EXPECT_EQ(rowGeometry(0), rowGeometry(1));
    EXPECT_EQ(rowGeometry(-7), rowGeometry(1));
}

TEST(RowGeometry, FittedRowsFillTheViewOrShrinkToOnePixel) {
    EXPECT_EQ(fittedRowHeight(3, 371), 123);
    EXPECT_EQ(fittedRowHeight(512, 900), 1);  // 1.76 pixels: whole pixels only
    EXPECT_EQ(fittedRowHeight(2000, 900), 1); // more rows than pixels: they scroll
    EXPECT_EQ(fittedRowHeight(0, 900), kRowHeight);
    EXPECT_EQ(fittedRowHeight(4, 0), 1);
    for (int64_t n : {1, 2, 5, 17, 44, 45, 46}) {
        const int h = fittedRowHeight(n, 900);
        EXPECT_LE(n * h, 900) << n;
        EXPECT_GT(n * (h + 1), 900) << n;
    }
}

TEST(RowLayout, RowsOfAnyHeightStackFromTheBottom) {
    using Rows = std::vector<std::pair<uint32_t, int64_t>>; // (position, bottom), bottom up
    const std::vector<bool> three(3, true), four(4, true), gap{true, false, true, true, true};
    const struct {
        const std::vector<bool>& shown;
        int64_t pos;
        int height, rowHeight;
        Rows rows;
    } cases[] = {
        // The default 20-pixel rows: the pixels of ui_views_test at pos 3.
        {three, 2, 100, kRowHeight, {{1, 100}, {0, 80}}},
        {four, 4, 50, kRowHeight, {{3, 50}, {2, 30}, {1, 10}}},
        {three, 5, 100, kRowHeight, {{2, 100}, {1, 80}, {0, 60}}},
        {{}, 0, 100, kRowHeight, {}},
        // A hidden row closes the gap.
        {gap, 5, 100, 25, {{4, 100}, {3, 75}, {2, 50}, {0, 25}}},
    };
    for (const auto& c : cases) {
        const RowLayout l = layoutRows(c.shown, c.pos, c.height, c.rowHeight);
        EXPECT_EQ(l.geometry, rowGeometry(c.rowHeight));
        Rows rows;
        for (const Row& r : l.rows) rows.emplace_back(r.position, r.bottom);
        EXPECT_EQ(rows, c.rows) << c.pos << " " << c.rowHeight;
    }
    // Partner edges of rows scrolled off below lie below the view, of rows
    // beyond the top row above it; a hidden row has none.
    const RowLayout below = layoutRows(four, 2, 100);
    EXPECT_EQ(std::tuple(*below.edgeOf[3], *below.edgeOf[2], *below.edgeOf[1]),
              std::tuple(int64_t{140}, int64_t{120}, int64_t{100}));
    const RowLayout tall = layoutRows(std::vector<bool>(5, true), 5, 50);
    EXPECT_EQ(std::pair(tall.rows.size(), *tall.edgeOf[0]), std::pair(size_t{3}, int64_t{-30}));
    EXPECT_FALSE(layoutRows({true, false}, 2, 100).edgeOf[1]);
    const RowLayout off = layoutRows(gap, 4, 100, 25);
    EXPECT_EQ(*off.edgeOf[4], 125);
    EXPECT_EQ(off.rows.front().position, 3u);
    // A press on a shared boundary falls into both rows; the walk tries the lower first.
    const RowLayout l = layoutRows(gap, 5, 100, 25);
    EXPECT_TRUE(rowContains(l.rows[1], 50, 25) && rowContains(l.rows[2], 50, 25));
    EXPECT_FALSE(rowContains(l.rows[1], 49, 25));
    EXPECT_TRUE(rowContains(l.rows[1], 49, 26));
}

TEST(RowLayout, SparseLabelsNeverCrowdEachOther) {
    EXPECT_EQ(rowsPerLabel(20, 15), 1);
    EXPECT_EQ(rowsPerLabel(1, 15), 15);
    EXPECT_EQ(rowsPerLabel(4, 15), 4);
    for (int h = 1; h < 40; ++h) EXPECT_GE(rowsPerLabel(h, 15) * h, 15) << h;
    EXPECT_EQ(rowsPerLabel(0, 15), 15);
}

// The top-most row that shows whole in a layout, as the views draw it.
std::optional<uint32_t> topWholeRow(const std::vector<bool>& shown, int64_t pos, int height,
                                    int rowHeight) {
    std::optional<uint32_t> top;
    for (const Row& r : layoutRows(shown, pos, height, rowHeight).rows)
        if (r.bottom - rowHeight >= 0) top = r.position;
    return top;
}

TEST(ScrollTarget, ATraceOpensWithTheFirstRankInTheTopRow) {
    std::vector<bool> shown(100, true);
    shown[40] = false;
    for (const int rowHeight : {20, 7, 1}) {
        for (const uint32_t position : {0u, 10u, 60u}) {
            const std::optional<int64_t> pos = posWithRowAtTop(shown, position, 371, rowHeight);
            ASSERT_TRUE(pos);
            const int64_t whole = 371 / rowHeight;
            int64_t below = 0;
            for (size_t i = position + 1; i < shown.size(); ++i) below += shown[i];
            if (below + 1 <= whole) // it and all below fit: nothing scrolled off
                EXPECT_EQ(*pos, 100) << rowHeight << " " << position;
            else
                EXPECT_EQ(topWholeRow(shown, *pos, 371, rowHeight), position)
                    << rowHeight << " " << position;
        }
    }
    EXPECT_EQ(posWithRowAtTop(shown, 40, 371), std::nullopt); // hidden
    EXPECT_EQ(posWithRowAtTop(shown, 100, 371), std::nullopt);
    // Shorter rows fit more: posShowing counts them too.
    EXPECT_NE(posShowing(shown, 60, 100, 371, 20), 100); // 39 rows below, 18 in view
    EXPECT_EQ(posShowing(shown, 60, 100, 371, 7), 100);  // 53 whole rows: already in view
    EXPECT_NE(posShowing(shown, 30, 100, 371, 7), 100);  // 68 rows below
}

TEST(Navigation, OnlyAViewLeftAsTheAllButtonLeavesItIsFitted) {
    const NavigationLimits limits{-250, 99'750, 480};
    ViewState s;
    s.setZoom(limits.fitZoom());
    s.setOffset(fitScrollRange(limits.start, limits.end, s.step()).value);
    EXPECT_TRUE(isFitted(s, limits));
    EXPECT_FALSE(isFitted(s, {limits.start, limits.end, 481})); // another width
    ViewState moved = s;
    moved.setOffset(s.offset() + 1);
    EXPECT_FALSE(isFitted(moved, limits));
    ViewState zoomed = s;
    zoomed.setZoom(zoomedIn(s.zoom()));
    EXPECT_FALSE(isFitted(zoomed, limits));
    ViewState anchored = s;
    anchored.zoomAt(100, s.zoom()); // the same zoom, the left edge off the grid
    anchored.pinTimeAt(anchored.timeAt(100) + 0.5L, 100);
    EXPECT_FALSE(isFitted(anchored, limits));
}

// From any left edge and origin the ticks sit on multiples of the step
// counted from the origin, one pixel right of their place; on the step grid
// from origin 0 they are the classic ruler's.
TEST(RulerTicks, FromAnyLeftEdgeAndOriginTheyFollowTheStepGrid) {
    for (const auto& [zoom, offset] :
         {std::pair(0.00048, 0), {1.0, 7}, {0.03, -4}, {30.0, 2}, {1.0, 3}}) {
        const std::vector<RulerTick> from = rulerTicksFrom(zoom, offset * scrollStep(zoom), 480),
                                     on = rulerTicks(zoom, offset, 480);
        ASSERT_EQ(from.size(), on.size()) << zoom;
        for (size_t i = 0; i < on.size(); ++i)
            EXPECT_EQ(std::pair(from[i].x, from[i].label), std::pair(on[i].x, on[i].label));
    }
    // Left edge at 130, step 100: the first tick is 200, one pixel right of x(200) = 70.
    const std::vector<RulerTick> off = rulerTicksFrom(1.0, 130, 480);
    ASSERT_GE(off.size(), 2u);
    EXPECT_EQ(std::pair(off[0].x, off[0].label), std::pair(71, std::string("200")));
    EXPECT_EQ(off[1].x, 171);
    EXPECT_LT(off.back().x, 420);
    // The trace starts at 130, the view at 200: the first tick counts 100
    // from the start, at time 230, one pixel right of x(230) = 30.
    const std::vector<RulerTick> ticks = rulerTicksFrom(1.0, 200, 480, 130);
    ASSERT_GE(ticks.size(), 3u);
    EXPECT_EQ(std::tuple(ticks[0].x, ticks[0].label, ticks[0].time),
              std::tuple(31, std::string("100"), int64_t{100}));
    for (const int64_t origin : {int64_t{0}, int64_t{123'457}})
        for (const double zoom : {1.0, 0.0371, 0.00048}) {
            const int64_t t0 = 2'000'011;
            const int64_t step = scrollStep(zoom);
            const std::vector<RulerTick> far = rulerTicksFrom(zoom, t0, 600, origin);
            ASSERT_FALSE(far.empty()) << zoom;
            EXPECT_LT(far.front().time + origin - t0, step) << zoom; // no tick left out first
            for (const RulerTick& t : far) {
                EXPECT_EQ(t.time % step, 0) << zoom;
                EXPECT_EQ(t.x, static_cast<int>(std::trunc((t.time + origin - t0) * zoom)) + 1);
            }
        }
    // Extremes saturate, and the walk ends.
    EXPECT_LE(rulerTicksFrom(1e-12, std::numeric_limits<int64_t>::max() - 5, 480,
                             std::numeric_limits<int64_t>::min())
                  .size(),
              480u);
}

TEST(RulerTicks, TheReadableRulerSaysMicrosecondsMillisecondsOrSeconds) {
    const auto scaleOf = [](double zoom) {
        const RulerScale s = readableScale(zoom);
        return std::pair(std::string(s.unit), s.exponent);
    };
    EXPECT_EQ(scaleOf(1.0), std::pair(std::string("\u00b5s"), 0));
    EXPECT_EQ(scaleOf(0.00048), std::pair(std::string("ms"), 3));
    EXPECT_EQ(scaleOf(0.00002), std::pair(std::string("s"), 6));
    EXPECT_EQ(scaleOf(1e-8), std::pair(std::string("s"), 6)); // the classic ruler has no unit
    EXPECT_EQ(rulerScale(1e-8).exponent, 9);
}

TEST(RulerTicks, ReadableLabelsAreNeitherCutNorCrowded) {
    // The first label at x = 1 would be centred across the edge: it starts at 0.
    EXPECT_EQ(placeLabels({1, 101}, {12, 30}, 400), (std::vector<PlacedLabel>{{0, 0}, {1, 86}}));
    // Ticks 20 pixels apart under labels 30 wide: every other one stays.
    const std::vector<int> xs{1, 21, 41, 61, 81}, widths(5, 30);
    const std::vector<PlacedLabel> placed = placeLabels(xs, widths, 400);
    ASSERT_EQ(placed.size(), 3u);
    EXPECT_EQ(std::tuple(placed[0].tick, placed[1].tick, placed[2].tick), std::tuple(0, 2, 4));
    // None reaches into the unit's box.
    const std::vector<PlacedLabel> beforeUnit = placeLabels(xs, widths, 90);
    ASSERT_FALSE(beforeUnit.empty());
    EXPECT_LE(beforeUnit.back().left + 30, 90);
    EXPECT_EQ(beforeUnit.back().tick, 2u);
    // Whatever the ticks: in order, apart, inside, each by its tick.
    for (int spacing = 11; spacing < 100; spacing += 7) {
        std::vector<int> x, w;
        for (int i = 0; i < 30; ++i) {
            x.push_back(1 + i * spacing);
            w.push_back(7 + (i * 13) % 60);
        }
        int end = -1;
        for (const PlacedLabel& p : placeLabels(x, w, 700)) {
            ASSERT_GE(p.left, std::max(0, end)) << spacing;
            ASSERT_TRUE(p.left <= x[p.tick] && x[p.tick] <= p.left + w[p.tick]) << spacing;
            ASSERT_LE(p.left + w[p.tick], 700);
            end = p.left + w[p.tick] + 6;
        }
    }
}
