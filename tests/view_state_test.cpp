// The view library without a screen: the view state's place and zoom, its
// history, and the time index and hit test against a walk of every call from
// the first.

#include "model/trace_document.h"
#include "model/wrapping_math.h"
#include "view/hit_test.h"
#include "view/navigation.h"
#include "view/row_layout.h"
#include "view/time_index.h"
#include "view/view_filter.h"
#include "view/view_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

TEST(ViewState, OnTheStepGridTheLeftEdgeFollowsTheStep) {
    ViewState s;
    s.setZoom(0.00048); // step 200000
    s.setOffset(3);
    EXPECT_TRUE(s.onStepGrid());
    EXPECT_EQ(s.startMicros(), 600000);
    EXPECT_EQ(s.startTime(), 600000.0L);
    // The tool bar's zoom keeps the scroll value: 3 x the new step.
    s.setZoom(0.00192); // step 50000
    EXPECT_EQ(std::pair(s.offset(), s.startMicros()), std::pair(3, int64_t{150000}));
    EXPECT_EQ(s.timeAt(96), 150000.0L + 96.0L / static_cast<ViewTime>(0.00192));
}

TEST(ViewState, AnAnchoredZoomKeepsTheTimeUnderThePixelExactly) {
    ViewState s;
    s.setZoom(0.001);
    s.setOffset(7); // step 100000: left edge 700000
    for (const double x : {0.0, 1.0, 123.0, 479.5}) {
        for (const double zoom : {0.0013, 0.7, 0.001 * 1.4142135623730951}) {
            ViewState z = s;
            const ViewTime before = z.timeAt(x);
            z.zoomAt(x, zoom);
            EXPECT_EQ(z.timeAt(x), before) << x << " " << zoom;
            EXPECT_EQ(z.zoom(), zoom);
            EXPECT_FALSE(z.onStepGrid());
            // The scroll value is the nearest step to the new left edge.
            const ViewTime steps = z.startTime() / static_cast<ViewTime>(z.step());
            EXPECT_LE(std::abs(steps - z.offset()), 0.5L);
            // Twice in a row, about other pixels, as a wheel does.
            const ViewTime again = z.timeAt(x / 2);
            z.zoomAt(x / 2, zoom * 1.5);
            EXPECT_EQ(z.timeAt(x / 2), again);
        }
    }
    // Far from zero every microsecond is still told apart.
    ViewState far;
    far.setViewport({1.0, static_cast<ViewTime>(int64_t{1} << 62) + 1});
    EXPECT_EQ(far.startMicros(), (int64_t{1} << 62) + 1);
}

TEST(ViewState, APinnedTimeStaysUnderTheMouseAndAScrollValueReturnsToTheGrid) {
    ViewState s;
    s.setZoom(0.5);
    s.setOffset(10); // step 200: left edge 2000
    const ViewTime grabbed = s.timeAt(300);
    s.pinTimeAt(grabbed, 260); // dragged 40 pixels left
    EXPECT_EQ(s.timeAt(260), grabbed);
    EXPECT_EQ(s.startTime(), 2080.0L);
    EXPECT_EQ(s.offset(), 10); // 10.4 steps
    s.setOffset(11);
    EXPECT_TRUE(s.onStepGrid());
    EXPECT_EQ(s.startMicros(), 2200);
}

TEST(ViewState, HistoryGoesBackAndForwardAndForgetsTheFutureOnANewZoom) {
    ViewState s;
    s.setZoom(0.01);
    s.setOffset(0);
    const Viewport first = s.viewport();
    s.remember();
    s.zoomAt(100, 0.02);
    const Viewport second = s.viewport();
    s.remember();
    s.remember(); // the same place twice is one entry
    s.zoomAt(50, 0.08);
    const Viewport third = s.viewport();

    // Back to the start, forward to the end, and back once more; each step is
    // taken before the next is asked for.
    const std::pair<bool, std::optional<Viewport>> walk[] = {
        {true, second}, {true, first},         {true, std::nullopt}, {false, second},
        {false, third}, {false, std::nullopt}, {true, second}};
    for (const auto& [back, expected] : walk) {
        const std::optional<Viewport> got = back ? s.back() : s.forward();
        EXPECT_EQ(got, expected) << (back ? "back to " : "forward to ") << expected.has_value();
        if (got) s.setViewport(*got);
    }
    s.remember();
    s.zoomAt(0, 0.5);
    EXPECT_FALSE(s.canGoForward());
}

TEST(Navigation, ZoomsStayBetweenTheFitAndOnePixelPerMicrosecond) {
    const NavigationLimits l{1000, 101000, 510}; // fit 0.0051
    EXPECT_EQ(l.clampZoom(1e-9), l.fitZoom());
    EXPECT_EQ(l.clampZoom(5.0), 1.0);
    EXPECT_EQ(wheelZoom(0.01, 2, l), 0.02);
    // A range whose zoom is in bounds starts at the left edge and fills
    // the drawn 500 pixels.
    EXPECT_EQ(viewportOfRange({2000, 7000}, l), (Viewport{0.1, 2000}));
    // Too short for 1 pixel per microsecond: centred at that zoom.
    EXPECT_EQ(viewportOfRange({5000, 5100}, l), (Viewport{1.0, 5050 - 250}));
    // The left edge stays in the scroll bar's room at that zoom (step
    // 10000: values 0 to 11).
    EXPECT_EQ(l.clampStart(-1e9, 0.01), 0);
    EXPECT_EQ(l.clampStart(1e9, 0.01), 110000);
}

TEST(ViewState, ARangeOverTheWholeTimeAxisKeepsItsOrderAndASaturatedLength) {
    constexpr int64_t lo = std::numeric_limits<int64_t>::min();
    constexpr int64_t hi = std::numeric_limits<int64_t>::max();
    ViewState s;
    s.setRange(hi, lo);
    EXPECT_EQ(*s.range(), (ViewRange{lo, hi}));
    EXPECT_EQ(s.range()->length(), hi);
    s.setRange(-5, 7);
    EXPECT_EQ(s.range()->length(), 12);
    const NavigationLimits l{lo, hi, 510};
    const Viewport v = viewportOfRange(*s.range(), l);
    EXPECT_TRUE(std::isfinite(v.zoom) && v.zoom > 0);
}

namespace {

// Processes of calls with random, partly overlapping times, in start order,
// some of them long and on a node with a clock shift.
std::unique_ptr<TTrace> randomTrace(std::mt19937_64& rng) {
    auto trace = std::make_unique<TTrace>();
    trace->nodeClocks.resize(2);
    trace->nodeClocks[1].offset = static_cast<int64_t>(rng() % 200) - 100;
    for (uint32_t p = 0; p < 4; ++p) {
        TProcess process(p % 2, 0, p);
        int64_t t = static_cast<int64_t>(rng() % 50);
        for (size_t i = rng() % 400; i-- > 0;) {
            TFunc f;
            f.funcId = 3;
            f.start = t;
            f.end = t + (rng() % 20 == 0 ? static_cast<int64_t>(rng() % 3000)
                                         : static_cast<int64_t>(rng() % 30));
            t += static_cast<int64_t>(rng() % 25);
            process.addCall(std::move(f));
        }
        trace->processes.push_back(std::move(process));
    }
    return trace;
}

// The press as the view walks it: every call of the row from the first.
std::optional<CallSelection> walkedHit(TTrace& trace, const TimeWindow& w, const RowLayout& layout,
                                       int64_t x, int64_t y) {
    for (const Row& row : layout.rows) {
        if (!rowContains(row, y)) continue;
        const int64_t shift =
            trace.nodeOffset(static_cast<uint32_t>(trace.nodeIndexAt(row.position)));
        const TCallList& calls = trace.processAt(row.position)->calls;
        for (size_t i = 0; i < calls.size(); ++i) {
            const ClippedCall c =
                clipCall(w, wrapAdd(calls[i].start, shift), wrapAdd(calls[i].end, shift));
            if (c.place == CallPlace::Before) continue;
            if (c.place == CallPlace::After) break;
            const int64_t xs = pixelOf(w, c.start), xe = pixelOf(w, c.end);
            if (xs <= x && x <= xe) return CallSelection{row.position, i};
            if (x < xe || c.lastInRow) break;
        }
    }
    return std::nullopt;
}

} // namespace

TEST(TimeIndex, AnswersAsAWalkOverEveryCallDoes) {
    std::mt19937_64 rng(2026);
    for (int n = 0; n < 20; ++n) {
        auto trace = randomTrace(rng);
        TimeIndex index(*trace);
        for (int q = 0; q < 60; ++q) {
            const uint32_t position = static_cast<uint32_t>(rng() % 4);
            const int64_t shift = index.shiftAt(position);
            const TCallList& calls = trace->processAt(position)->calls;
            const int64_t t0 = static_cast<int64_t>(rng() % 6000) - 200;
            const int64_t t1 = t0 + static_cast<int64_t>(rng() % 500);
            std::vector<size_t> overlapping;
            std::optional<size_t> at;
            // Calls are in start order: the one at t0 is the first overlapping
            // call that starts by t0.
            for (size_t i = 0; i < calls.size(); ++i) {
                const int64_t s = wrapAdd(calls[i].start, shift), e = wrapAdd(calls[i].end, shift);
                if (s > t1) break;
                if (e < t0) continue;
                overlapping.push_back(i);
                if (!at && s <= t0) at = i;
            }
            ASSERT_EQ(index.callsOverlapping(position, t0, t1), overlapping) << n << " " << q;
            ASSERT_EQ(index.callAt(position, t0), at) << n << " " << q;
        }
        // The press, over random windows and points, and after a sort.
        for (int q = 0; q < 80; ++q) {
            if (q == 40) trace->sortByRank();
            const double zoom = std::ldexp(1.0, -static_cast<int>(rng() % 8));
            const TimeWindow w = timeWindowAt(zoom, static_cast<int64_t>(rng() % 4000) - 100, 400);
            ViewFilter filter(2, 4);
            const RowLayout layout = layoutRows(shownPositions(*trace, filter), 4, 100);
            const int64_t x = static_cast<int64_t>(rng() % 410),
                          y = 20 + static_cast<int64_t>(rng() % 80);
            ASSERT_EQ(callUnder(index, w, layout, x, y), walkedHit(*trace, w, layout, x, y))
                << n << " " << q << " at " << x << "," << y;
        }
    }
}

TEST(TimeIndex, LinksEndingInARangeOfRows) {
    TTrace trace;
    for (uint32_t r = 0; r < 3; ++r) {
        TProcess p(0, 0, r);
        TFunc f;
        f.start = 10 * r;
        f.end = 10 * r + 5;
        p.addCall(std::move(f));
        trace.processes.push_back(std::move(p));
    }
    TFunc& send = trace.processes[0].calls[0];
    send.addLink(2, &trace.processes[2].calls[0]);
    send.addLink(1, &trace.processes[1].calls[0]);
    send.addLink(1, nullptr); // never received
    const TimeIndex index(trace);
    const auto found = index.linksEndingInRows(0, 0, 1, 2, 2);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(std::tuple(found[0].call, found[0].link, found[0].partner), std::tuple(0u, 0u, 2u));
    EXPECT_EQ(index.linksEndingInRows(0, 0, 1, 0, 2).size(), 2u);
    EXPECT_TRUE(index.linksEndingInRows(0, 1, 1, 0, 2).empty());
}
