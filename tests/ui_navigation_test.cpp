// Mouse navigation in the main window: synthesised wheel, drag and click
// events on the event explorer, the ruler and the node/rank column, checked
// against the shared view state, the scroll bars and pixels at computed places.

#include "app/main_window.h"
#include "model/trace_document.h"
#include "tests/ui_test_helpers.h"
#include "tests/ui_trace_files.h"
#include "ui/event_expl.h"
#include "ui/nr_view.h"
#include "ui/shared_view_state.h"
#include "ui/time_line.h"
#include "ui/view_marks.h"
#include "view/time_axis.h"

#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <cmath>

namespace {

// One wheel event of `notches` (120 each) at `at`.
void wheel(QWidget* target, QPoint at, double notches, Qt::KeyboardModifiers modifiers = {}) {
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(),
                      QPoint(0, static_cast<int>(notches * 120)), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

void drag(QWidget* target, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mousePress(target, Qt::LeftButton, modifiers, from);
    // In steps, as a hand moves; the last one lands on `to`.
    for (int i = 1; i <= 4; ++i) QTest::mouseMove(target, from + (to - from) * i / 4);
    QTest::mouseRelease(target, Qt::LeftButton, modifiers, to);
}

void pressButton(QWidget* target, Qt::MouseButton button) {
    QTest::mousePress(target, button, {}, QPoint(10, 10));
    QTest::mouseRelease(target, button, {}, QPoint(10, 10));
}

} // namespace

class NavigationTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    QString span_, bars_;

    struct Window {
        ZLVR_anView w;
        EventExpl* view = nullptr;
        TimeLine* ruler = nullptr;
        QScrollBar* hsb = nullptr;
        QScrollBar* vsb = nullptr;
        const ViewState& state() const { return w.viewState()->state(); }
        // The scroll bar shows the nearest step to the state's left edge.
        bool mirrored() const {
            return hsb->value() == state().offset() && view->offset() == state().offset() &&
                   ruler->offset() == state().offset();
        }
    };
    // Shown with `file` open; zoomed in, at 1 pixel per microsecond from
    // time `zoomedAt` x 100.
    std::unique_ptr<Window> open(const QString& file, std::optional<int> zoomedAt = {}) {
        auto win = std::make_unique<Window>();
        win->w.resize(600, 400);
        win->w.show();
        if (!QTest::qWaitForWindowExposed(&win->w) || !win->w.openTrace(file)) return nullptr;
        win->view = win->w.findChild<EventExpl*>("eventview");
        win->ruler = win->w.findChild<TimeLine*>("tline");
        win->hsb = win->w.findChild<QScrollBar*>("hsb");
        win->vsb = win->w.findChild<QScrollBar*>("vsb");
        if (zoomedAt) {
            for (int i = 0; i < 20; ++i) win->w.slotvZoomIn();
            win->hsb->setValue(*zoomedAt);
        }
        return win;
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        span_ = saveTrace(dir_, "span.zlv", spanTrace(1'000'000));
        bars_ = saveTrace(dir_, "bars.zlv", barsTrace());
    }

    void wheelZoomsAboutThePointerExactly() {
        const auto win = open(span_);
        QVERIFY(win);
        const ViewState& s = win->state();
        const double fit = s.zoom();
        // Rank 0's MPI_Finalize starts at 500000: put the pointer on its left end.
        const int x = static_cast<int>(500000 * fit);
        const ViewTime before = s.timeAt(x);
        wheel(win->view, QPoint(x, 100), 1);
        QCOMPARE(s.zoom(), fit * std::sqrt(2.0));
        QCOMPARE(s.timeAt(x), before);
        QVERIFY(win->mirrored());
        // Another notch about another pixel, and one on the ruler (one pixel right).
        const ViewTime at300 = s.timeAt(300);
        wheel(win->view, QPoint(300, 100), 2);
        QCOMPARE(s.timeAt(300), at300);
        const ViewTime at41 = s.timeAt(40);
        wheel(win->ruler, QPoint(41, 10), 1);
        QCOMPARE(s.timeAt(40), at41);
        QCOMPARE(s.zoom(), fit * 4);
        QVERIFY(win->mirrored());
        const ScrollRange room = zoomScrollRange(0, 1'000'000, s.step());
        QCOMPARE(std::pair(win->hsb->minimum(), win->hsb->maximum()),
                 std::pair(room.minimum, room.maximum));
        // The picture follows: the Finalize bar (yellow) begins where its time lies.
        const int bottom = win->view->height() - 40 - 10; // rank 0: the top row of three
        const int edge = static_cast<int>(std::trunc((500000 - s.startMicros()) * s.zoom()));
        QCOMPARE(rgbAt(win->view, edge + 2, bottom), QRgb(0xFFFF00));
        QCOMPARE(rgbAt(win->view, edge - 3, bottom), QRgb(0x000000));
        // The tool bar's zoom from there works in scroll steps again, from
        // the value the scroll bar shows.
        const int shownValue = win->hsb->value();
        win->w.slotvZoomIn();
        QCOMPARE(s.zoom(), fit * 8);
        QVERIFY(s.onStepGrid());
        QCOMPARE(std::pair(win->hsb->value(), s.startMicros()),
                 std::pair(shownValue, shownValue * s.step()));
        // Out beyond the fit: the fitting zoom; back undoes the tool bar's zoom.
        wheel(win->view, QPoint(x, 100), -20);
        QCOMPARE(s.zoom(), fit);
        QTest::keyClick(&win->w, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(s.zoom(), fit * 8);
    }

    void shiftWheelScrollsInTimeAndTheColumnScrollsRows() {
        const auto win = open(span_);
        QVERIFY(win);
        wheel(win->view, QPoint(200, 100), 3); // zoomed in, so that there is room
        const ViewState& s = win->state();
        const ViewTime at200 = s.timeAt(200);
        wheel(win->view, QPoint(200, 100), 1, Qt::ShiftModifier);
        QCOMPARE(s.timeAt(200 + kWheelPanPixels), at200);
        QVERIFY(win->mirrored());
        // Wheel up over the column: three rows up (the bar stops at 0).
        auto* column = win->w.findChild<NRView*>("nrview");
        wheel(column, QPoint(20, 100), 1);
        QCOMPARE(std::tuple(win->vsb->value(), win->view->pos(), column->pos()),
                 std::tuple(0, 0, 0));
        wheel(column, QPoint(20, 100), -1);
        QCOMPARE(win->vsb->value(), 3);
    }

    void dragPansInTimeAndRows() {
        const auto win = open(bars_, 1); // left edge at 100
        QVERIFY(win);
        const ViewState& s = win->state();
        const int y = win->view->height() - 30;
        const ViewTime grabbed = s.timeAt(200);
        drag(win->view, QPoint(200, y), QPoint(160, y));
        QCOMPARE(s.timeAt(160), grabbed);
        QCOMPARE(s.startTime(), 140.0L);                 // 40 pixels at 1 pixel per microsecond
        QCOMPARE(win->hsb->value(), 1);                  // 1.4 steps
        drag(win->view, QPoint(300, y), QPoint(380, y)); // back by 80
        QCOMPARE(s.startTime(), 60.0L);
        QVERIFY(win->mirrored());
        // Down by two rows: the rows above come into view, two stay below.
        drag(win->view, QPoint(300, 40), QPoint(300, 80));
        QCOMPARE(std::pair(win->vsb->value(), win->view->pos()), std::pair(1, 1));
        QCOMPARE(s.startTime(), 60.0L);
    }

    void rangeSelectionZoomAndHistory() {
        const auto win = open(span_);
        QVERIFY(win);
        const ViewState& s = win->state();
        const Viewport fitted = s.viewport();
        QSignalSpy ranges(win->w.viewState(), &SharedViewState::rangeSelected);
        drag(win->ruler, QPoint(101, 10), QPoint(301, 10));
        const auto floorAt = [&](double x) { return static_cast<qint64>(std::floor(s.timeAt(x))); };
        const ViewRange range{floorAt(100), floorAt(300)};
        QCOMPARE(s.range(), std::optional(range));
        QCOMPARE(ranges.last(),
                 (QList<QVariant>{qint64(range.start), qint64(range.end), qint64(range.length())}));
        // The band over the black above the rows, nothing outside it.
        const QColor band = kRangeColour;
        const QRgb tinted = qRgb(band.red() * band.alpha() / 255, band.green() * band.alpha() / 255,
                                 band.blue() * band.alpha() / 255);
        const QRgb inside = rgbAt(win->view, 200, 10);
        QVERIFY(std::abs(qBlue(inside) - qBlue(tinted)) <= 1 && qRed(inside) < qBlue(inside));
        QCOMPARE(rgbAt(win->view, 50, 10), QRgb(0));

        // Enter zooms to it: its start at the left edge, its length over the drawn width.
        QTest::keyClick(&win->w, Qt::Key_Return);
        const Viewport zoomed{static_cast<double>(win->view->width() - 10) / range.length(),
                              static_cast<ViewTime>(range.start)};
        QCOMPARE(s.viewport(), zoomed);
        QVERIFY(win->mirrored());
        // Back and forward with the keys and the mouse's buttons.
        QTest::keyClick(&win->w, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(s.viewport(), fitted);
        QCOMPARE(win->hsb->value(), 0);
        QTest::keyClick(&win->w, Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(s.viewport(), zoomed);
        pressButton(win->view, Qt::BackButton);
        QCOMPARE(s.viewport(), fitted);
        pressButton(win->ruler, Qt::ForwardButton);
        QCOMPARE(s.viewport(), zoomed);

        // A Shift-drag in the view selects too; a double-click on the ruler zooms.
        drag(win->view, QPoint(100, 10), QPoint(50, 10), Qt::ShiftModifier);
        const ViewRange second{floorAt(50), floorAt(100)};
        QCOMPARE(s.range(), std::optional(second));
        QTest::mouseDClick(win->ruler, Qt::LeftButton, {}, QPoint(200, 10));
        QCOMPARE(s.startTime(), static_cast<ViewTime>(second.start));
        QTest::keyClick(&win->w, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(s.viewport(), zoomed);
    }

    void clickSelectsAndClearsAndTheSelectionIsOutlined() {
        const auto win = open(bars_, 0);
        QVERIFY(win);
        win->w.slotSortByRank(); // rank 0 in the top row
        const ViewState& s = win->state();
        const int b = win->view->height() - 40, y = b - 10;
        QSignalSpy shown(win->view, &EventExpl::signalShowTxt);
        QTest::mouseClick(win->view, Qt::LeftButton, {}, QPoint(100, y));
        // Rank 0's MPI_Send, its second call, 50..150.
        QCOMPARE(s.selection(), std::optional(CallSelection{0, 1}));
        QCOMPARE(shown.count(), 1);
        const QRgb outline = kOutlineColour.rgb() & 0xFFFFFF;
        QCOMPARE(rgbAt(win->view, 50 - kOutlineGap, y), outline);
        QCOMPARE(rgbAt(win->view, 150 + kOutlineGap, y), outline);
        QCOMPARE(rgbAt(win->view, 100, b - 15), outline);
        QCOMPARE(rgbAt(win->view, 100, y), QRgb(0xFF00FF)); // the bar itself unchanged
        // Another call moves it; empty space clears it.
        QTest::mouseClick(win->view, Qt::LeftButton, {}, QPoint(230, y));
        QCOMPARE(s.selection(), std::optional(CallSelection{0, 2}));
        QCOMPARE(rgbAt(win->view, 50 - kOutlineGap, y), QRgb(0));
        QTest::mouseClick(win->view, Qt::LeftButton, {}, QPoint(175, y));
        QVERIFY(!s.selection());
        // Escape clears a selection too.
        QTest::mouseClick(win->view, Qt::LeftButton, {}, QPoint(100, y));
        QVERIFY(s.selection());
        QTest::keyClick(&win->w, Qt::Key_Escape);
        QVERIFY(!s.selection());
        QCOMPARE(shown.count(), 3);
        QCOMPARE(rgbAt(win->view, 200 - kOutlineGap, y), QRgb(0));
    }
};

QTEST_MAIN(NavigationTest)
#include "ui_navigation_test.moc"
