// The pure geometry of the views: scroll step, zoom, scroll ranges, time to
// pixel, links, ruler ticks and segment clipping (rows: view_space_test).

#include "view/row_layout.h"
#include "view/ruler_ticks.h"
#include "view/segment_clip.h"
#include "view/time_axis.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <tuple>

namespace {
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int kIntMin = std::numeric_limits<int>::min();
constexpr int kIntMax = std::numeric_limits<int>::max();

// Structured results as one comparable value each.
std::tuple<int, int, int> fields(const ScrollRange& r) {
    return {r.minimum, r.maximum, r.value};
}
std::tuple<int64_t, int64_t, int64_t> fields(const TimeWindow& w) {
    return {w.step, w.t0, w.t1};
}
std::tuple<int64_t, int64_t> fields(const LinkEnd& l) {
    return {l.edge, l.time};
}
std::tuple<CallPlace, int64_t, int64_t, bool> fields(const ClippedCall& c) {
    return {c.place, c.start, c.end, c.lastInRow};
}
} // namespace

class GeometryTest : public QObject {
    Q_OBJECT
  private slots:
    void scrollStepRoundsToLeadingDigit() {
        // T = 100 / zoom, rounded down to its leading digit; below 1 the step is 1.
        QList<int64_t> steps;
        for (double zoom : {100.0 / 3456.0, 1.0, 100.0 / 99.5, 0.00048, 0.00192, 0.00002, 0.1,
                            100.0 / 999.9, 480.0, 100.5, 0.0, std::nan(""), 1e-300})
            steps << scrollStep(zoom);
        QCOMPARE(steps, (QList<int64_t>{3000, 100, 90, 200000, 50000, 5000000, 1000, 900, 1, 1, 1,
                                        1, 9'000'000'000'000'000'000}));
    }

    // Fitting, zooming in to 1.0 and out to the fit: ui_main_window_test.
    void zoomSteps() {
        // Zero-length and backwards runs count as 1 microsecond; the
        // largest possible run does not overflow.
        QCOMPARE(fittingZoom(480, 5000, 5000), 480.0);
        QCOMPARE(fittingZoom(480, 5000, 4000), 480.0);
        const double widest = fittingZoom(480, kMin, kMax);
        QVERIFY(widest > 0.0 && std::isfinite(widest));
        QVERIFY(std::abs(widest - 480.0 / 18446744073709551615.0) < 1e-30);
    }

    void scrollRanges() {
        // A trace opened and zoomed in twice: ui_main_window_test.
        QCOMPARE(fields(fitScrollRange(-250, 1000, 100)), std::tuple(-3, 10, -2));
        QCOMPARE(fields(fitScrollRange(kMin, kMax, 100)), std::tuple(kIntMin, kIntMax, kIntMin));
        QCOMPARE(fields(zoomScrollRange(kMin, kMax, 1)), std::tuple(kIntMin, kIntMax, 0));
    }

    void timeWindowAndPixels() {
        const TimeWindow w = timeWindow(1.0, 2, 600);
        QCOMPARE(fields(w), std::tuple(int64_t(100), int64_t(200), int64_t(790)));
        QCOMPARE(std::pair(pixelOf(w, 250), pixelOf(w, 150)), std::pair(int64_t(50), int64_t(-50)));
        const TimeWindow z = timeWindow(0.47, 0, 2138); // t1 = 2128 / 0.47 = 4527
        QCOMPARE(std::pair(z.t1, pixelOf(z, 1000)), std::pair(int64_t(4527), int64_t(470)));

        // Extremes: no overflow, pixels limited.
        const TimeWindow far = timeWindow(1.0, kIntMax, 600);
        QCOMPARE(std::tuple(far.t0, pixelOf(far, kMax), pixelOf(far, kMin)),
                 std::tuple(int64_t(kIntMax) * 100, kPixelLimit, -kPixelLimit));
        const TimeWindow wide = timeWindow(1e-17, kIntMax, 600);
        QCOMPARE(std::pair(wide.t0, wide.t1), std::pair(kMax, kMax));
        const TimeWindow neg = timeWindow(1e-17, kIntMin, 600);
        QCOMPARE(neg.t0, kMin);
        QVERIFY(neg.t1 > neg.t0);

        // The inline path gives trunc() of the span times the zoom, clamped,
        // near the limits and at the extremes of time as well.
        std::mt19937_64 rng(5);
        const auto plain = [](const TimeWindow& tw, int64_t t) {
            const double x = std::trunc(timeSpan(tw.t0, t) * tw.zoom);
            if (std::isnan(x)) return int64_t{0};
            return static_cast<int64_t>(
                std::clamp(x, -static_cast<double>(kPixelLimit), static_cast<double>(kPixelLimit)));
        };
        for (int n = 0; n < 200000; ++n) {
            TimeWindow tw;
            tw.zoom = std::ldexp(static_cast<double>(rng() % 1000 + 1) / 1000.0,
                                 -static_cast<int>(rng() % 60));
            const int64_t scale = int64_t{1} << (rng() % 63);
            tw.t0 = static_cast<int64_t>(rng() % 2 ? rng() : rng() % uint64_t(scale)) *
                    (rng() % 2 ? 1 : -1);
            // Times wrap around in the unsigned domain: the sums may leave int64_t's range.
            const auto wrapped = [](int64_t a, uint64_t b) {
                return static_cast<int64_t>(static_cast<uint64_t>(a) + b);
            };
            int64_t t = wrapped(tw.t0, rng() % uint64_t(scale) - uint64_t(scale / 2));
            if (n % 7 == 0) { // about the limit
                const double reach = std::min(static_cast<double>(kPixelLimit) / tw.zoom, 0x1p62);
                t = wrapped(tw.t0, static_cast<uint64_t>(reach) + rng() % 5 - 2);
            }
            if (n % 11 == 0) t = rng() % 2 ? kMax : kMin;
            QCOMPARE(pixelOf(tw, t), plain(tw, t));
        }
        QCOMPARE(pixelOf(neg, kMax), int64_t(184));
    }

    void clippingCalls() {
        const TimeWindow w = timeWindow(1.0, 1, 1010); // t0 100, t1 1100
        // Starting exactly at t1: a zero-length bar that ends the row.
        const std::tuple<int64_t, int64_t, CallPlace, int64_t, int64_t, bool> cases[] = {
            {50, 150, CallPlace::Inside, 100, 150, false},
            {10, 99, CallPlace::Before, 10, 99, false},
            {1101, 1200, CallPlace::After, 1101, 1200, false},
            {1100, 1100, CallPlace::Inside, 1100, 1100, true},
            {900, 5000, CallPlace::Inside, 900, 1100, true},
            {900, 1099, CallPlace::Inside, 900, 1099, false}};
        for (const auto& [start, end, place, from, to, last] : cases) {
            const ClippedCall c = clipCall(w, start, end);
            QCOMPARE(c.place, place);
            if (place == CallPlace::Inside) QCOMPARE(fields(c), std::tuple(place, from, to, last));
        }
    }

    void linkCutAtRightEdge() {
        // t1 = 1000, zoom 0.47: from (0, 90) to (470, 70).
        using End = std::tuple<int64_t, int64_t>;
        QCOMPARE(fields(cutLinkAtRightEdge(100, 60, 0, 2000, 1000)), End(80, 1000));
        // Upwards the edge itself is truncated: 100 - 40 / 3 = 86.67 gives 86.
        QCOMPARE(fields(cutLinkAtRightEdge(100, 60, 0, 3000, 1000)), End(86, 1000));
        QCOMPARE(fields(cutLinkAtRightEdge(100, 60, 0, 900, 1000)), End(60, 900));
        QCOMPARE(fields(cutLinkAtRightEdge(60, 1000060, 0, 3000, 1000)),
                 End(60 + 1000000 / 3, 1000));
        const LinkEnd huge = cutLinkAtRightEdge(100, 60, kMin, kMax, 0);
        QCOMPARE(huge.time, int64_t(0));
        QVERIFY(huge.edge <= 100 && huge.edge >= 60);
    }

    void rulerTicksAndLabels() {
        // Where the ticks lie: the ruler's pixels in ui_views_test.
        QStringList labels, units;
        for (const RulerTick& tick : rulerTicks(0.00048, 0, 480))
            labels << QString::fromStdString(tick.label);
        QCOMPARE(labels, (QStringList{"0", "200", "400", "600", "800"}));
        for (double zoom : {0.00048, 1.0, 0.00002, 1e-8}) units << rulerScale(zoom).unit;
        QCOMPARE(units, (QStringList{"[ms]", "[mks]", "[s]", ""}));
        QCOMPARE(rulerTicks(0.00002, 0, 480)[1].label, std::string("5"));
        QCOMPARE(tickLabel(1234567, 0), std::string("1.23457e+06"));
        QCOMPARE(tickLabel(1500, 3), std::string("1.5"));
        QVERIFY(rulerTicks(1.0, 0, 61).empty());
        QCOMPARE(rulerTicks(1.0, 0, 62).size(), size_t(1));
        // A 1-microsecond trace fitted into 480 pixels: the step stays 1 and
        // the ticks advance.
        QCOMPARE(rulerTicks(480.0, 0, 480).size(), size_t(1));
        QVERIFY(rulerTicks(0.0, 0, 480).empty());
        // Scrolled far: labels stay finite, no overflow.
        QVERIFY(!rulerTicks(1e-17, kIntMax, 480).empty());
    }

    void segmentClipping() {
        // Against Liang-Barsky as written plainly (every edge divided for,
        // std::lround): the same cut for segments inside, near, across
        // and far from a box, of every slope.
        const auto plainClip = [](const Segment& sg, const ClipBox& b) -> std::optional<Segment> {
            const auto in = [&](int64_t x, int64_t y) {
                return b.left <= x && x <= b.right && b.top <= y && y <= b.bottom;
            };
            if (in(sg.x1, sg.y1) && in(sg.x2, sg.y2)) return sg;
            const double x1 = double(sg.x1), y1 = double(sg.y1);
            const double dx = double(sg.x2) - x1, dy = double(sg.y2) - y1;
            double u0 = 0.0, u1 = 1.0;
            const double p[4] = {-dx, dx, -dy, dy};
            const double q[4] = {x1 - double(b.left), double(b.right) - x1, y1 - double(b.top),
                                 double(b.bottom) - y1};
            for (int i = 0; i < 4; ++i) {
                if (p[i] == 0.0 && q[i] < 0.0) return std::nullopt;
                if (p[i] == 0.0) continue;
                const double u = q[i] / p[i];
                if (p[i] < 0.0)
                    u0 = std::max(u0, u);
                else
                    u1 = std::min(u1, u);
                if (u0 > u1) return std::nullopt;
            }
            return Segment{std::lround(x1 + u0 * dx), std::lround(y1 + u0 * dy),
                           std::lround(x1 + u1 * dx), std::lround(y1 + u1 * dy)};
        };
        std::mt19937_64 clipRng(17);
        const ClipBox view{-8, -8, 1927, 1087};
        for (int n = 0; n < 300000; ++n) {
            const int64_t reach = int64_t{1} << (clipRng() % 46);
            const auto coord = [&](int64_t lo, int64_t hi) {
                return lo - reach +
                       static_cast<int64_t>(clipRng() % uint64_t(hi - lo + 2 * reach + 1));
            };
            Segment sg{coord(view.left, view.right), coord(view.top, view.bottom),
                       coord(view.left, view.right), coord(view.top, view.bottom)};
            if (n % 5 == 0) sg.x2 = sg.x1;       // vertical
            if (n % 7 == 0) sg.y2 = sg.y1;       // horizontal
            if (n % 11 == 0) sg.x1 = view.right; // on an edge
            QCOMPARE(clipSegment(sg, view), plainClip(sg, view));
        }

        // Cut ends round as std::lround does: halves, their neighbours, large values.
        std::mt19937_64 rng(9);
        for (int n = 0; n < 200000; ++n) {
            const double whole =
                std::ldexp(static_cast<double>(rng() % 1000000), static_cast<int>(rng() % 50)) *
                (rng() % 2 ? 1 : -1);
            double v = whole + (rng() % 2 ? 0.5 : static_cast<double>(rng() % 1000) / 1000.0);
            if (n % 3 == 0) v = std::nextafter(v, rng() % 2 ? 1e300 : -1e300);
            QCOMPARE(roundHalfAway(v), static_cast<int64_t>(std::lround(v)));
        }
        for (double v : {0.0, -0.0, 0.49999999999999994, -0.49999999999999994, 0.5, -0.5, 2.5, -2.5,
                         4503599627370495.5, 9007199254740993.0, -9007199254740993.0, 1e18, -1e18})
            QCOMPARE(roundHalfAway(v), static_cast<int64_t>(std::lround(v)));
    }
};

QTEST_MAIN(GeometryTest)
#include "ui_geometry_test.moc"
