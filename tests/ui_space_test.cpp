// How the main frame uses its space: rows fitted to the window with bars
// that scale, a fitted zoom that follows a resize, the first rank in sight
// at open, the time origin on the ruler; and the view on its own, which
// keeps its classic behaviour in all of these.

#include "app/details_panel.h"
#include "app/main_frame.h"
#include "model/trace_document.h"
#include "tests/ui_frame_setup.h"
#include "tests/ui_test_helpers.h"
#include "tests/ui_trace_files.h"
#include "ui/event_expl.h"
#include "ui/shared_view_state.h"
#include "ui/time_line.h"
#include "view/row_layout.h"
#include "view/scroll_target.h"
#include "view/view_filter.h"

#include <QAction>
#include <QApplication>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTest>

namespace {

constexpr QRgb kMagenta = 0xFF00FF, kWhite = 0xFFFFFF, kBlack = 0;

// `ranks` processes on one node, each from 0 to 200.
TraceWriter manyRanksTrace(uint32_t ranks) {
    TraceWriter w;
    for (uint32_t r = 0; r < ranks; ++r) {
        w.declareProcess(r, nodeIdFromOctets(10, 0, 0, 1));
        w.shortCall(makeLocation(1, 1), kFuncInit, 0, 0);
        w.shortCall(makeLocation(1, 2), kFuncFinalize, 100, 200);
    }
    return w;
}

EventExpl* eventView(QWidget* w) {
    return w->findChild<EventExpl*>("eventview");
}
QScrollBar* scrollBar(QWidget* w, const char* name) {
    return w->findChild<QScrollBar*>(name);
}
QAction* action(MainFrame& f, const char* name) {
    return f.findChild<QAction*>(name);
}

// Shown, then `file` open in `view` (the window itself or the frame's).
void showAndOpen(QWidget& window, ZLVR_anView* view, const QString& file) {
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(view->openTrace(file));
}

RowLayout layoutOf(ZLVR_anView* view) {
    const ViewState& s = view->viewState()->state();
    return layoutRows(shownPositions(*view->trace(), *view->viewFilter()), s.pos(),
                      eventView(view)->height(), s.rowHeight());
}

// The list position in the top row that shows whole.
std::optional<uint32_t> topWholeRow(ZLVR_anView* view) {
    std::optional<uint32_t> top;
    for (const Row& r : layoutOf(view).rows)
        if (r.bottom - view->viewState()->state().rowHeight() >= 0) top = r.position;
    return top;
}

// The centre line of the row of list position `position`, when on screen.
std::optional<int> rowCentre(ZLVR_anView* view, uint32_t position) {
    const RowLayout layout = layoutOf(view);
    for (const Row& r : layout.rows)
        if (r.position == position) return static_cast<int>(r.bottom) - layout.geometry.centre;
    return std::nullopt;
}

// The lines of a tool tip but those of the start and the end.
QStringList withoutStartAndEnd(const QString& toolTip) {
    QStringList kept;
    for (const QString& line : toolTip.split('\n'))
        if (!line.startsWith("Start:") && !line.startsWith("End:")) kept << line;
    return kept;
}

} // namespace

class SpaceTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    QString bars_, many_, late_;

  private slots:
    void initTestCase() {
        QVERIFY(useSettingsIn(dir_, "space-test"));
        bars_ = saveTrace(dir_, "bars.zlv", barsTrace());
        many_ = saveTrace(dir_, "many.zlv", manyRanksTrace(60));
        // From -130 to 870: the start lies off every step.
        late_ = saveTrace(dir_, "late.zlv", extremeTrace(-130, 870));
    }
    void init() { QSettings().clear(); }

    void fittedRowsScaleTheBarsAndFollowTheWindow() {
        MainFrame f;
        openBars(f, bars_);
        EventExpl* ev = eventView(&f);
        QCOMPARE(f.view()->viewState()->state().rowHeight(), kRowHeight);
        QCOMPARE(rgbAt(ev, 100, ev->height() - 2 * 20 - 10), kMagenta); // rank 0's send

        action(f, "fitRowsAction")->trigger();
        const auto check = [&] {
            const int h = ev->height() / 3;
            QCOMPARE(f.view()->viewState()->state().rowHeight(), h);
            const RowGeometry g = rowGeometry(h);
            QVERIFY(g.barWidth >= 5);
            const int bottom = ev->height() - 2 * h; // rank 0's row, the top one
            const int y = bottom - g.centre;
            for (int dy : {-1, 0, 1}) QCOMPARE(rgbAt(ev, 100, y + dy), kMagenta);
            QCOMPARE(rgbAt(ev, 100, y - g.barWidth), kBlack);
            QCOMPARE(rgbAt(ev, 100, y + g.barWidth), kBlack);
            QCOMPARE(rgbAt(ev, 100, ev->height() - 2 * 20 - 10), kBlack); // the 20-pixel place
            // The column's boxes span the same rows.
            QWidget* column = f.findChild<QWidget*>("nrview");
            QCOMPARE(rgbAt(column, 10, bottom - h), kWhite);
            QCOMPARE(rgbAt(column, 10, bottom - h - 2), kBlack);
            // A click at the scaled centre line hits the send.
            QTest::mouseClick(ev, Qt::LeftButton, {}, QPoint(100, y + g.barWidth / 2));
            QCOMPARE(f.details()->field("Function"), QString("MPI_Send"));
            QCOMPARE(f.view()->trace()->rankAt(f.selection()->position), 0);
            // One row down: rank 1's receive, which a 20-pixel row would miss here.
            QTest::mouseClick(ev, Qt::LeftButton, {}, QPoint(100, y + h));
            QCOMPARE(f.details()->field("Function"), QString("MPI_Recv"));
        };
        check();
        f.resize(f.width(), f.height() + 120); // taller: the rows follow
        QTRY_COMPARE(f.view()->viewState()->state().rowHeight(), ev->height() / 3);
        check();

        action(f, "fitRowsAction")->trigger();
        QCOMPARE(f.view()->viewState()->state().rowHeight(), kRowHeight);
        QCOMPARE(rgbAt(ev, 100, ev->height() - 2 * 20 - 10), kMagenta);
        action(f, "fitRowsAction")->trigger();
        f.close();
        MainFrame again; // the choice is kept
        QVERIFY(action(again, "fitRowsAction")->isChecked());
        QVERIFY(again.view()->fitRows());
    }

    void hidingRowsGivesTheFittedRowsTheirRoom() {
        QSettings().setValue("view/fitRows", true);
        MainFrame f;
        openBars(f, bars_);
        const int h = eventView(&f)->height();
        QCOMPARE(f.view()->viewState()->state().rowHeight(), h / 3);
        const uint32_t onlyRanks[] = {1, 0, 1}; // rank 1 hidden
        f.view()->viewFilter()->setRankMask(3, onlyRanks);
        emit f.view()->signalFilterChanged();
        QCOMPARE(f.view()->viewState()->state().rowHeight(), h / 2);
    }

    void rowsLowerThanTextAreLabelledEveryFewRows() {
        MainFrame f;
        f.resize(700, 420);
        showAndOpen(f, f.view(), many_);
        QWidget* column = f.findChild<QWidget*>("nrview");
        // A line across the whole node box is a box's outline.
        const auto outlines = [&] {
            const QImage image = column->grab().toImage();
            int lines = 0, lit = 0;
            for (int y = 0; y < image.height(); ++y) {
                bool across = true;
                for (int x = 2; x < column->width() / 2 - 2; ++x) {
                    const QRgb rgb = image.pixel(x, y) & 0xFFFFFF;
                    across &= rgb == kWhite;
                    lit += rgb != kBlack;
                }
                lines += across;
            }
            return std::pair(lines, lit);
        };
        QVERIFY(outlines().first > 10); // 20-pixel rows: boxes
        action(f, "fitRowsAction")->trigger();
        const int h = f.view()->viewState()->state().rowHeight();
        QVERIFY(h < column->fontMetrics().height());
        QCOMPARE(h, eventView(&f)->height() / 60);
        const auto [lines, lit] = outlines();
        QCOMPARE(lines, 0);                          // no boxes in rows this low
        QVERIFY(lit > 0);                            // but labels
        QCOMPARE(scrollBar(&f, "vsb")->value(), 60); // every row in view
    }

    void aFittedZoomFitsAgainAfterAResize() {
        MainFrame f;
        f.resize(700, 500);
        showAndOpen(f, f.view(), bars_); // fitted at open; bars.zlv lasts 520 µs
        EventExpl* ev = eventView(&f);
        const int before = ev->width();
        f.resize(900, 500);
        QTRY_VERIFY(ev->width() > before);
        QCOMPARE(f.view()->zoom(), ev->width() / 520.0);
        QCOMPARE(scrollBar(&f, "hsb")->value(), 0);
        QVERIFY(!f.view()->viewState()->state().canGoBack()); // no step of the history

        f.view()->slotvZoomIn(); // no longer fitted: the zoom stays
        const double zoomed = f.view()->zoom();
        f.resize(800, 500);
        QTRY_VERIFY(ev->width() < 900 - 100);
        QCOMPARE(f.view()->zoom(), zoomed);
        f.view()->slotvZoomAll(); // the All button fits, and so again
        f.resize(1000, 500);
        QTRY_COMPARE(f.view()->zoom(), ev->width() / 520.0);

        // The view on its own keeps the zoom it opened with.
        ZLVR_anView bare;
        showAndOpen(bare, &bare, bars_);
        const double opened = bare.zoom();
        bare.resize(bare.width() + 200, bare.height());
        QTRY_VERIFY(eventView(&bare)->width() / 520.0 != opened);
        QCOMPARE(bare.zoom(), opened);
    }

    void aTraceOpensWithTheFirstRankInSight() {
        MainFrame f;
        showAndOpen(f, f.view(), many_); // 60 rows: more than the view holds
        QScrollBar* vsb = scrollBar(&f, "vsb");
        QVERIFY(vsb->value() < vsb->maximum());
        const std::optional<uint32_t> top = topWholeRow(f.view());
        QVERIFY(top);
        QCOMPARE(f.view()->trace()->rankAt(*top), 0);

        // The classic view opens as the view on its own does: the last rows.
        action(f, "classicViewAction")->trigger();
        QVERIFY(f.view()->openTrace(many_));
        QCOMPARE(vsb->value(), vsb->maximum());
        QVERIFY(!f.findChild<TimeLine*>("tline")->readableLabels());
        action(f, "classicViewAction")->trigger();
        QVERIFY(f.findChild<TimeLine*>("tline")->readableLabels());

        ZLVR_anView bare;
        showAndOpen(bare, &bare, many_);
        QCOMPARE(scrollBar(&bare, "vsb")->value(), 60);
        QVERIFY(!bare.findChild<TimeLine*>("tline")->readableLabels());
    }

    void theTimeOriginMovesTheRulerTicks() {
        MainFrame f;
        showAndOpen(f, f.view(), late_);
        for (int i = 0; i < 20; ++i) f.view()->slotvZoomIn(); // 1 px/µs, step 100
        scrollBar(&f, "hsb")->setValue(-2);                   // left edge at -200
        auto* ruler = f.findChild<TimeLine*>("tline");
        // As loaded: ticks at -200, -100, 0 (x = 1, 101, 201); from the start
        // at -130: ticks at -130, -30, 70 (x = 71, 171, 271).
        const auto ticksAt = [&] {
            QList<bool> lit;
            for (int x : {1, 101, 71, 171}) lit << (rgbAt(ruler, x, 1) == kWhite);
            return lit;
        };
        const QList<bool> asLoaded{true, true, false, false}, fromStart{false, false, true, true};
        QCOMPARE(ticksAt(), asLoaded);
        action(f, "originStartAction")->trigger();
        QCOMPARE(f.view()->viewState()->state().timeOrigin(), int64_t{-130});
        QCOMPARE(ticksAt(), fromStart);
        // The selected range in the same times.
        f.view()->viewState()->selectRange(-30, 70);
        QCOMPARE(f.statusBar()->currentMessage(),
                 QString::fromUtf8("Range 100 to 200 µs (100 µs)"));
        action(f, "originLoadedAction")->trigger();
        QCOMPARE(ticksAt(), asLoaded);
        action(f, "originStartAction")->trigger();
        f.close();
        MainFrame again; // the choice is kept, and a trace opens with it
        QVERIFY(action(again, "originStartAction")->isChecked());
        QVERIFY(again.view()->openTrace(late_));
        QCOMPARE(again.view()->viewState()->state().timeOrigin(), int64_t{-130});
    }

    // The tool tip, the details panel and the calls found count from the
    // origin as the ruler does; as loaded, they are what they always were.
    void detailsCountFromTheTimeOrigin() {
        MainFrame f;
        openBars(f, late_); // MPI_Init -130..0, MPI_Recv 10..870; x = time
        const std::optional<int> y = rowCentre(f.view(), 0);
        QVERIFY(y);
        const QPoint overRecv(100, *y);
        const QString asLoaded = f.toolTipAt(overRecv);
        for (const char* line :
             {"Function: MPI_Recv", "Start: 10 µs", "End: 870 µs", "Duration: 860 µs"})
            QVERIFY2(asLoaded.contains(QString::fromUtf8(line)), line);
        QTest::mouseClick(eventView(&f), Qt::LeftButton, {}, overRecv);
        DetailsPanel* d = f.details();
        const auto times = [d] {
            return QStringList{d->field("Start"), d->field("End"), d->field("Duration")}.join('|');
        };
        QCOMPARE(times(), QString::fromUtf8("10 µs|870 µs|860 µs"));

        action(f, "originStartAction")->trigger(); // the panel follows at once
        QCOMPARE(times(), QString::fromUtf8("140 µs|1000 µs|860 µs"));
        const QString fromStart = f.toolTipAt(overRecv);
        QVERIFY(fromStart.contains(QString::fromUtf8("Start: 140 µs\nEnd: 1000 µs\n")));
        QCOMPARE(withoutStartAndEnd(fromStart), withoutStartAndEnd(asLoaded));
        action(f, "originLoadedAction")->trigger();
        QCOMPARE(times(), QString::fromUtf8("10 µs|870 µs|860 µs"));
        QCOMPARE(f.toolTipAt(overRecv), asLoaded);

        action(f, "originStartAction")->trigger();
        // Found calls show in the panel the same way: the first in time order
        // starts where the trace starts.
        f.clearSelection();
        f.findNext();
        QCOMPARE(d->field("Function"), QString("MPI_Init"));
        QCOMPARE(times(), QString::fromUtf8("0 µs|130 µs|130 µs"));

        action(f, "originLoadedAction")->trigger();
        QCOMPARE(times(), QString::fromUtf8("-130 µs|0 µs|130 µs"));
    }
};

QTEST_MAIN(SpaceTest)
#include "ui_space_test.moc"
