// The pure geometry of the views: scroll step, zoom, scroll ranges, time to
// pixel, rows, links, ruler ticks and segment clipping.

#include "ui/row_layout.h"
#include "ui/ruler_ticks.h"
#include "ui/segment_clip.h"
#include "ui/time_axis.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace {
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
} // namespace

class GeometryTest : public QObject {
    Q_OBJECT
  private slots:
    void scrollStepRoundsToLeadingDigit_data() {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<qint64>("step");
        QTest::newRow("T=3456") << 100.0 / 3456.0 << qint64(3000);
        QTest::newRow("T=100") << 1.0 << qint64(100);
        QTest::newRow("T=99.5") << 100.0 / 99.5 << qint64(90);
        QTest::newRow("zoom 0.00048") << 0.00048 << qint64(200000);
        QTest::newRow("zoom 0.00192") << 0.00192 << qint64(50000);
        QTest::newRow("zoom 0.00002") << 0.00002 << qint64(5000000);
        QTest::newRow("T=1000 exactly") << 0.1 << qint64(1000);
        QTest::newRow("T=999.9") << 100.0 / 999.9 << qint64(900);
        // Short traces: T below 1 would give step 0.
        QTest::newRow("zoom 480") << 480.0 << qint64(1);
        QTest::newRow("zoom 100.5") << 100.5 << qint64(1);
        QTest::newRow("zero zoom") << 0.0 << qint64(1);
        QTest::newRow("NaN zoom") << std::nan("") << qint64(1);
        QTest::newRow("tiny zoom") << 1e-300 << qint64(9'000'000'000'000'000'000);
    }
    void scrollStepRoundsToLeadingDigit() {
        QFETCH(double, zoom);
        QFETCH(qint64, step);
        QCOMPARE(scrollStep(zoom), step);
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

    void scrollRanges_data() {
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("end");
        QTest::addColumn<qint64>("step");
        QTest::addColumn<bool>("fit");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");
        // A trace opened and zoomed in twice: ui_main_window_test.
        QTest::newRow("negative start")
            << qint64(-250) << qint64(1000) << qint64(100) << true << -3 << 10 << -2;
        QTest::newRow("beyond int")
            << qint64(kMin) << qint64(kMax) << qint64(100) << true
            << std::numeric_limits<int>::min() << std::numeric_limits<int>::max()
            << std::numeric_limits<int>::min();
        QTest::newRow("beyond int, zoomed")
            << qint64(kMin) << qint64(kMax) << qint64(1) << false << std::numeric_limits<int>::min()
            << std::numeric_limits<int>::max() << 0;
    }
    void scrollRanges() {
        QFETCH(qint64, start);
        QFETCH(qint64, end);
        QFETCH(qint64, step);
        QFETCH(bool, fit);
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, value);
        const ScrollRange r =
            fit ? fitScrollRange(start, end, step) : zoomScrollRange(start, end, step);
        QCOMPARE(r.minimum, minimum);
        QCOMPARE(r.maximum, maximum);
        QCOMPARE(r.value, value);
    }

    void timeWindowAndPixels() {
        const TimeWindow w = timeWindow(1.0, 2, 600); // step 100
        QCOMPARE(w.step, qint64(100));
        QCOMPARE(w.t0, qint64(200));
        QCOMPARE(w.t1, qint64(790));
        QCOMPARE(pixelOf(w, 250), qint64(50));
        QCOMPARE(pixelOf(w, 150), qint64(-50));

        const TimeWindow z = timeWindow(0.47, 0, 2138); // t1 = 2128 / 0.47 = 4527
        QCOMPARE(z.t1, qint64(4527));
        QCOMPARE(pixelOf(z, 1000), qint64(470));

        // Extremes: no overflow, pixels limited.
        const TimeWindow far = timeWindow(1.0, std::numeric_limits<int>::max(), 600);
        QCOMPARE(far.t0, qint64(std::numeric_limits<int>::max()) * 100);
        QCOMPARE(pixelOf(far, kMax), kPixelLimit);
        QCOMPARE(pixelOf(far, kMin), -kPixelLimit);
        const TimeWindow wide = timeWindow(1e-17, std::numeric_limits<int>::max(), 600);
        QCOMPARE(wide.t0, kMax);
        QCOMPARE(wide.t1, kMax);
        const TimeWindow neg = timeWindow(1e-17, std::numeric_limits<int>::min(), 600);
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
        QCOMPARE(pixelOf(neg, kMax), qint64(184));
    }

    void clippingCalls() {
        const TimeWindow w = timeWindow(1.0, 1, 1010); // t0 100, t1 1100
        ClippedCall c = clipCall(w, 50, 150);
        QCOMPARE(c.place, CallPlace::Inside);
        QCOMPARE(c.start, qint64(100));
        QCOMPARE(pixelOf(w, c.end), qint64(50));
        QCOMPARE(clipCall(w, 10, 99).place, CallPlace::Before);
        QCOMPARE(clipCall(w, 1101, 1200).place, CallPlace::After);
        c = clipCall(w, 1100, 1100); // starts exactly at t1: a zero-length bar that ends the row
        QCOMPARE(c.place, CallPlace::Inside);
        QVERIFY(c.lastInRow);
        c = clipCall(w, 900, 5000);
        QCOMPARE(c.end, qint64(1100));
        QVERIFY(c.lastInRow);
        QVERIFY(!clipCall(w, 900, 1099).lastInRow);
    }

    void rowLayout_data() {
        QTest::addColumn<QList<bool>>("shown");
        QTest::addColumn<int>("pos");
        QTest::addColumn<int>("height");
        QTest::addColumn<QList<int>>("positions"); // rows bottom-up
        QTest::addColumn<QList<int>>("bottoms");
        // All shown, a hidden row closing the gap, pos 0: the pixels of ui_views_test.
        QTest::newRow("one scrolled off")
            << QList<bool>{true, true, true} << 2 << 100 << QList<int>{1, 0} << QList<int>{100, 80};
        QTest::newRow("top cut at 0") << QList<bool>{true, true, true, true} << 4 << 50
                                      << QList<int>{3, 2, 1} << QList<int>{50, 30, 10};
        QTest::newRow("pos above the count") << QList<bool>{true, true, true} << 5 << 100
                                             << QList<int>{2, 1, 0} << QList<int>{100, 80, 60};
        QTest::newRow("no processes") << QList<bool>{} << 0 << 100 << QList<int>{} << QList<int>{};
    }
    void rowLayout() {
        QFETCH(QList<bool>, shown);
        QFETCH(int, pos);
        QFETCH(int, height);
        QFETCH(QList<int>, positions);
        QFETCH(QList<int>, bottoms);
        const RowLayout layout =
            layoutRows(std::vector<bool>(shown.begin(), shown.end()), pos, height);
        QCOMPARE(qsizetype(layout.rows.size()), positions.size());
        for (qsizetype i = 0; i < positions.size(); ++i) {
            QCOMPARE(int(layout.rows[size_t(i)].position), positions[i]);
            QCOMPARE(int(layout.rows[size_t(i)].bottom), bottoms[i]);
        }
    }

    void partnerEdges() {
        // Four shown processes, pos 2: positions 3 and 2 are scrolled off.
        const RowLayout off = layoutRows({true, true, true, true}, 2, 100);
        QCOMPARE(*off.edgeOf[3], qint64(140)); // below the bottom row
        QCOMPARE(*off.edgeOf[2], qint64(120));
        QCOMPARE(*off.edgeOf[1], qint64(100));
        // Beyond the top row the edges go on above the widget.
        const RowLayout tall = layoutRows({true, true, true, true, true}, 5, 50);
        QCOMPARE(tall.rows.size(), size_t(3));
        QCOMPARE(*tall.edgeOf[0], qint64(-30));
        QVERIFY(!layoutRows({true, false}, 2, 100).edgeOf[1]);
    }

    void linkCutAtRightEdge() {
        // t1 = 1000, zoom 0.47: from (0, 90) to (470, 70).
        const LinkEnd cut = cutLinkAtRightEdge(100, 60, 0, 2000, 1000);
        QCOMPARE(cut.edge, qint64(80));
        QCOMPARE(cut.time, qint64(1000));
        // Upwards the edge itself is truncated: 100 - 40 / 3 = 86.67 gives 86.
        QCOMPARE(cutLinkAtRightEdge(100, 60, 0, 3000, 1000).edge, qint64(86));
        const LinkEnd whole = cutLinkAtRightEdge(100, 60, 0, 900, 1000);
        QCOMPARE(whole.edge, qint64(60));
        QCOMPARE(whole.time, qint64(900));
        const LinkEnd down = cutLinkAtRightEdge(60, 1000060, 0, 3000, 1000);
        QCOMPARE(down.edge, qint64(60 + 1000000 / 3));
        const LinkEnd huge = cutLinkAtRightEdge(100, 60, kMin, kMax, 0);
        QCOMPARE(huge.time, qint64(0));
        QVERIFY(huge.edge <= 100 && huge.edge >= 60);
    }

    void rulerTicksAndLabels() {
        // Where the ticks lie: the ruler's pixels in ui_views_test.
        const std::vector<RulerTick> ticks = rulerTicks(0.00048, 0, 480);
        QCOMPARE(ticks.size(), size_t(5));
        const char* labels[] = {"0", "200", "400", "600", "800"};
        for (int i = 0; i < 5; ++i) QCOMPARE(ticks[size_t(i)].label, std::string(labels[i]));
        QCOMPARE(std::string(rulerScale(0.00048).unit), std::string("[ms]"));
        QCOMPARE(std::string(rulerScale(1.0).unit), std::string("[mks]"));
        QCOMPARE(std::string(rulerScale(0.00002).unit), std::string("[s]"));
        QCOMPARE(std::string(rulerScale(1e-8).unit), std::string(""));
        QCOMPARE(rulerTicks(0.00002, 0, 480)[1].label, std::string("5"));
        QCOMPARE(tickLabel(1234567, 0), std::string("1.23457e+06"));
        QCOMPARE(tickLabel(1500, 3), std::string("1.5"));
        QVERIFY(rulerTicks(1.0, 0, 61).empty());
        QCOMPARE(rulerTicks(1.0, 0, 62).size(), size_t(1));
        // A 1-microsecond trace fitted into 480 pixels: the step stays 1 and
        // the ticks advance.
        const std::vector<RulerTick> shortRun = rulerTicks(480.0, 0, 480);
        QCOMPARE(shortRun.size(), size_t(1));
        QVERIFY(rulerTicks(0.0, 0, 480).empty());
        // Scrolled far: labels stay finite, no overflow.
        const std::vector<RulerTick> far = rulerTicks(1e-17, std::numeric_limits<int>::max(), 480);
        QVERIFY(!far.empty());
    }

    void segmentClipping() {
        const ClipBox box{0, 0, 99, 99};
        QCOMPARE(*clipSegment({10, 10, 20, 30}, box), (Segment{10, 10, 20, 30}));
        QCOMPARE(*clipSegment({-100, 50, 200, 50}, box), (Segment{0, 50, 99, 50}));
        QVERIFY(!clipSegment({-100, 150, 200, 150}, box));
        QVERIFY(!clipSegment({200, 0, 300, 99}, box));
        const Segment diagonal = *clipSegment({0, 0, 1'000'000'000'000, 1'000'000'000'000}, box);
        QCOMPARE(diagonal, (Segment{0, 0, 99, 99}));
        // A link far down leaves through the bottom edge, on its own line.
        const Segment down = *clipSegment({50, 50, 50 + 1000, 50 + 100000}, box);
        QCOMPARE(down.y2, qint64(99));
        QCOMPARE(down.x2, qint64(50));

        // Against Liang-Barsky as written plainly (every edge divided for,
        // std::lround): the same cut for segments near, across and far from
        // a box, of every slope.
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
                if (p[i] == 0.0) {
                    if (q[i] < 0.0) return std::nullopt;
                    continue;
                }
                const double u = q[i] / p[i];
                if (p[i] < 0.0) {
                    if (u > u1) return std::nullopt;
                    u0 = std::max(u0, u);
                } else {
                    if (u < u0) return std::nullopt;
                    u1 = std::min(u1, u);
                }
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
