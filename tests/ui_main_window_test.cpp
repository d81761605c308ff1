// The main window through its open path: state, zoom, scroll bars, keys,
// sorting, links toggle, failed opens, extreme traces, the call box, and the
// check, filter and statistics commands.

#include "app/main_window.h"
#include "dialogs/check_dlg.h"
#include "model/trace_document.h"
#include "tests/ui_test_helpers.h"
#include "tests/ui_trace_files.h"
#include "ui/event_expl.h"
#include "ui/nr_view.h"
#include "ui/time_line.h"
#include "ui/tool_bar.h"
#include "view/view_filter.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <iostream>
#include <limits>
#include <sstream>
#include <tuple>

namespace {

// White pixels down the left border of the node/rank column's boxes: 20 per row.
int labelledRowPixels(NRView* nrview) {
    const QImage image = nrview->grab().toImage();
    int white = 0;
    for (int y = 0; y < image.height(); ++y) white += rgbAt(image, 1, y) == 0xFFFFFF;
    return white;
}

// Counts the paint events a widget receives: grab() paints afresh anyway, so
// only this shows that a view redrew by itself.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int count = 0;

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        count += e->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    QString span_, bars_, empty_, garbage_, point_, extreme_;

    struct Parts {
        QScrollBar* hsb;
        QScrollBar* vsb;
        EventExpl* eventview;
        TimeLine* tline;
        NRView* nrview;
    };
    static Parts parts(ZLVR_anView& w) {
        return {w.findChild<QScrollBar*>("hsb"), w.findChild<QScrollBar*>("vsb"),
                w.findChild<EventExpl*>("eventview"), w.findChild<TimeLine*>("tline"),
                w.findChild<NRView*>("nrview")};
    }
    // Zoom, scroll bars and the positions the views were given.
    static std::tuple<double, int, int, int, int, int, int> state(ZLVR_anView& w) {
        const Parts p = parts(w);
        return {w.zoom(),         p.hsb->minimum(), p.hsb->maximum(),  p.hsb->value(),
                p.vsb->maximum(), p.vsb->value(),   p.eventview->pos()};
    }
    // Shown, with bars.zlv open at zoom 1.0 (step 100), scrolled to the start.
    static void openBarsZoomedIn(ZLVR_anView& w, const QString& bars) {
        w.resize(600, 400);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.openTrace(bars));
        for (int i = 0; i < 20; ++i) w.slotvZoomIn();
        parts(w).hsb->setValue(0);
    }
    // Opens `file` with the loader's messages to std::cerr kept in `errors`.
    static bool openQuietly(ZLVR_anView& w, const QString& file, std::string& errors) {
        std::ostringstream kept;
        std::streambuf* saved = std::cerr.rdbuf(kept.rdbuf());
        const bool opened = w.openTrace(file);
        std::cerr.rdbuf(saved);
        errors = kept.str();
        return opened;
    }
    static void verifyClosed(ZLVR_anView& w) {
        const Parts p = parts(w);
        QVERIFY(!w.isOpen() && !w.trace() && !w.viewFilter() && !w.linksItem()->isChecked());
        QCOMPARE(w.windowTitle(), QString("ZELVOR Analyzer"));
        QCOMPARE(std::tuple(p.hsb->minimum(), p.hsb->maximum(), p.hsb->value(), p.vsb->maximum()),
                 std::tuple(0, 0, 0, 0));
        QVERIFY(!p.eventview->isOpen() && !p.tline->isOpen() && !p.nrview->isOpen());
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        span_ = saveTrace(dir_, "span.zlv", spanTrace(1'000'000));
        bars_ = saveTrace(dir_, "bars.zlv", barsTrace(), "[files]\n3:solver.c\n");
        empty_ = saveTrace(dir_, "empty.zlv", TraceWriter());
        TraceWriter junk;
        junk.raw(std::string("this is not a trace at all\n"));
        garbage_ = saveTrace(dir_, "garbage.zlv", junk);
        point_ = saveTrace(dir_, "point.zlv", spanTrace(0));
        extreme_ = saveTrace(
            dir_, "extreme.zlv",
            extremeTrace(std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()));
    }

    void startsClosedAndIgnoresCommands() {
        ZLVR_anView w;
        const Parts p = parts(w);
        QVERIFY(p.hsb && p.vsb && p.eventview && p.tline && p.nrview);
        QCOMPARE(w.findChild<QPushButton*>("NodeButton")->text(), QString("node"));
        verifyClosed(w);

        // None of these may do anything: no menu pops up, no dialog opens.
        bool sawPopup = false;
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            if (QWidget* shown = shownModal()) {
                sawPopup = true;
                shown->close();
            }
        });
        closer.start(10);
        for (auto slot :
             {&ZLVR_anView::slotvZoomIn, &ZLVR_anView::slotvZoomOut, &ZLVR_anView::slotvZoomAll,
              &ZLVR_anView::slotSortByNode, &ZLVR_anView::slotSortByRank,
              &ZLVR_anView::slotShowLinks, &ZLVR_anView::slotFltMenu, &ZLVR_anView::slotStatMenu,
              &ZLVR_anView::slotCheck, &ZLVR_anView::slotFltNodes, &ZLVR_anView::slotFltProcess,
              &ZLVR_anView::slotStatNodesRanks, &ZLVR_anView::slotStatProcess,
              &ZLVR_anView::slotStatSRMatrix, &ZLVR_anView::slotStatCounters,
              &ZLVR_anView::slotStatSZMatrix, &ZLVR_anView::slotfClose})
            (w.*slot)();
        closer.stop();
        QVERIFY(!sawPopup);
        QTest::keyClick(&w, Qt::Key_Up);
        QTest::keyClick(&w, Qt::Key_Right);
        verifyClosed(w);

        // The legend works without a trace.
        QString title;
        onNextModal([&](QWidget* d) { title = d->windowTitle(); });
        w.slotvPalette();
        QCOMPARE(title, QString("Color palette"));
    }

    void openFitsTheTrace() {
        ZLVR_anView w; // never shown: the event view keeps its 480 pixels
        const Parts p = parts(w);
        QCOMPARE(p.eventview->width(), 480);
        QVERIFY(w.openTrace(span_));
        QVERIFY(w.isOpen());
        QCOMPARE(w.windowTitle(), "ZELVOR Analyzer - " + span_);
        QCOMPARE(state(w), std::tuple(0.00048, 0, 5, 0, 3, 3, 3));
        QCOMPARE(std::tuple(p.nrview->pos(), p.eventview->zoom(), p.tline->zoom()),
                 std::tuple(3, 0.00048, 0.00048));
        QVERIFY(p.eventview->isOpen() && p.tline->isOpen() && p.nrview->isOpen());
        QVERIFY(p.eventview->updatesEnabled() && p.tline->updatesEnabled());
        QVERIFY(!w.viewFilter()->showLinks);

        for (int i = 0; i < 2; ++i) w.slotvZoomIn();
        QCOMPARE(state(w), std::tuple(0.00192, -1, 21, 0, 3, 3, 3));
        QCOMPARE(p.tline->zoom(), 0.00192);
        p.hsb->setValue(7);
        QCOMPARE(std::pair(p.eventview->offset(), p.tline->offset()), std::pair(7, 7));

        w.slotvZoomOut();
        // The scroll bar keeps its value, in scroll units.
        QCOMPARE(std::pair(w.zoom(), p.hsb->value()), std::pair(0.00096, 7));
        for (int i = 0; i < 2; ++i) w.slotvZoomOut();
        QCOMPARE(w.zoom(), 0.00048); // not below the fitting zoom
        for (int i = 0; i < 20; ++i) w.slotvZoomIn();
        QCOMPARE(w.zoom(), 1.0);
        w.slotvZoomAll();
        QCOMPARE(state(w), std::tuple(0.00048, 0, 5, 0, 3, 3, 3));
    }

    void arrowKeysMoveTheScrollBars() {
        ZLVR_anView w;
        const Parts p = parts(w);
        QVERIFY(w.openTrace(span_));
        // Up first: the vertical bar is already at its maximum.
        const std::tuple<Qt::Key, int, int> keys[] = {{Qt::Key_Up, 3, 0},    {Qt::Key_Down, 2, 0},
                                                      {Qt::Key_Right, 2, 1}, {Qt::Key_Right, 2, 2},
                                                      {Qt::Key_Left, 2, 1},  {Qt::Key_A, 2, 1}};
        for (const auto& [key, row, column] : keys) {
            QTest::keyClick(&w, key);
            QCOMPARE(std::tuple(p.vsb->value(), p.eventview->pos(), p.nrview->pos(), p.hsb->value(),
                                p.tline->offset()),
                     std::tuple(row, row, row, column, column));
        }
    }

    void toolBarKeys() {
        ZLVR_anView w;
        w.show();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QVERIFY(w.openTrace(span_));
        const double fit = w.zoom();
        // A button's accelerator clicks it after a short animation ("1" and
        // Ctrl+X: the frame's test).
        for (const auto& [key, times] :
             {std::pair(Qt::Key_Equal, 2), {Qt::Key_Equal, 4}, {Qt::Key_Minus, 2}}) {
            QTest::keyClick(&w, key);
            QTRY_COMPARE(w.zoom(), times * fit);
        }
    }

    void linksToggleAndReopen() {
        ZLVR_anView w;
        QVERIFY(w.openTrace(bars_));
        w.slotShowLinks();
        const auto links = [&] {
            return std::pair(w.linksItem()->isChecked(), bool(w.viewFilter()->showLinks));
        };
        QCOMPARE(links(), std::pair(true, true));
        w.linksItem()->trigger(); // the menu item: toggles back
        QCOMPARE(links(), std::pair(false, false));
        w.linksItem()->trigger();
        QCOMPARE(links(), std::pair(true, true));
        w.slotfClose();
        verifyClosed(w);
        QVERIFY(w.openTrace(bars_));
        QCOMPARE(links(), std::pair(false, false));
        QCOMPARE(w.filterMenu()->actions().size(), 4);
        QCOMPARE(w.filterMenu()->actions()[0]->text(), QString("&Events"));
    }

    void longLoadsShowTheirProgressBlockASecondOpenAndCanBeCancelled() {
        ZLVR_anView w;
        w.setLoadProgressDelay(0); // every load counts as long
        bool sawProgress = false, secondOpenRefused = false;
        // Runs only if the load lets events through while it goes on.
        QTimer::singleShot(0, &w, [&] {
            auto* dialog = w.findChild<QProgressDialog*>();
            sawProgress =
                dialog && dialog->isVisible() && dialog->value() > 0 && dialog->value() < 1000;
            secondOpenRefused = !w.openTrace(bars_);
        });
        QVERIFY(w.openTrace(span_));
        QVERIFY(sawProgress && secondOpenRefused && w.isOpen());
        QVERIFY(w.findChild<QProgressDialog*>() == nullptr);
        QCOMPARE(w.trace()->processCount(), 3u); // the first file, not the refused one

        // A cancelled load leaves the window closed and usable.
        bool cancelled = false;
        QTimer::singleShot(0, &w, [&] {
            auto* dialog = w.findChild<QProgressDialog*>();
            if (!dialog) return;
            dialog->cancel();
            cancelled = true;
        });
        std::string errors;
        QVERIFY(!openQuietly(w, bars_, errors) && cancelled);
        verifyClosed(w);
        QVERIFY(errors.empty()); // a cancel is not a failure
        QVERIFY(w.findChild<QProgressDialog*>() == nullptr);
        QVERIFY(w.openTrace(bars_) && w.isOpen());
        QCOMPARE(w.trace()->processCount(), 3u);
    }

    void failedOpensLeaveTheWindowClosed() {
        ZLVR_anView w;
        for (const QString& bad : {empty_, garbage_, dir_.filePath("missing.zlv")}) {
            QVERIFY(w.openTrace(span_));
            w.slotShowLinks();
            std::string errors;
            QVERIFY(!openQuietly(w, bad, errors));
            verifyClosed(w);
            if (bad != empty_) QVERIFY(!errors.empty()); // the loader's own message
            w.slotvZoomIn();                             // still usable
            QVERIFY(w.openTrace(bars_) && w.isOpen());
            w.slotfClose();
        }
    }

    void sortingReordersTheRows() {
        ZLVR_anView w;
        openBarsZoomedIn(w, bars_);
        const Parts p = parts(w);
        const int bottom = p.eventview->height() - 10;
        // Loaded by node: ranks 0, 2, 1; the bottom row holds rank 1 (MPI_Recv,
        // red); by rank it holds rank 2 (MPI_Irecv 100..180, green).
        QCOMPARE(rgbAt(p.eventview, 200, bottom), QRgb(0xFF0000));
        for (const auto& [button, lowest, x, colour] :
             {std::tuple("RankButton", 2, 140, 0x00FF00), {"NodeButton", 1, 200, 0xFF0000}}) {
            w.findChild<QPushButton*>(button)->click();
            QCOMPARE(w.trace()->rankAt(2), lowest);
            QCOMPARE(rgbAt(p.eventview, x, bottom), QRgb(colour));
        }
    }

    void doubleClickShowsTheCallInformation() {
        ZLVR_anView w;
        openBarsZoomedIn(w, bars_);
        const Parts p = parts(w);
        w.slotSortByRank(); // rank 0 at position 0, the top row
        const int y = p.eventview->height() - 40 - 10;
        // A click only selects: no box, so that the press can begin a drag.
        bool boxOnClick = false;
        onNextModal([&](QWidget*) { boxOnClick = true; });
        QTest::mouseClick(p.eventview, Qt::LeftButton, {}, QPoint(100, y));
        QApplication::processEvents();
        QVERIFY(!boxOnClick);
        QString caption, text;
        onNextModal([&](QWidget* box) {
            caption = box->windowTitle();
            text = static_cast<QMessageBox*>(box)->text();
        });
        QTest::mouseDClick(p.eventview, Qt::LeftButton, {}, QPoint(100, y));
        QCOMPARE(caption, QString("display text"));
        QCOMPARE(text, QString("File: solver.c\nLine: 17\nNode: 10.0.0.1\nRank: 0\nFunction: "
                               "MPI_Send"));
        // Enter shows the selected call as well.
        text.clear();
        onNextModal([&](QWidget* box) { text = static_cast<QMessageBox*>(box)->text(); });
        QTest::keyClick(&w, Qt::Key_Return);
        QVERIFY(text.endsWith("Function: MPI_Send"));
    }

    void shortAndExtremeTraces() {
        // End equal to start: a fitting zoom (the ruler's ticks: ui_views_test).
        ZLVR_anView w;
        const Parts p = parts(w);
        QVERIFY(w.openTrace(point_));
        QCOMPARE(w.zoom(), 480.0);
        QVERIFY(p.hsb->minimum() <= p.hsb->value() && p.hsb->value() <= p.hsb->maximum());
        w.slotvZoomAll();
        w.slotvZoomOut();
        QCOMPARE(w.zoom(), 480.0); // not below the fit
        w.slotvZoomIn();
        QCOMPARE(w.zoom(), 1.0);

        // Times at both ends of the 64-bit range.
        QVERIFY(w.openTrace(extreme_));
        QVERIFY(std::isfinite(w.zoom()) && w.zoom() > 0.0);
        for (int i = 0; i < 70; ++i) w.slotvZoomIn();
        QCOMPARE(w.zoom(), 1.0);
        for (int value : {p.hsb->minimum(), 0, p.hsb->maximum()}) {
            p.hsb->setValue(value);
            const QImage img = p.eventview->grab().toImage();
            // The MPI_Recv from 10 to the end of time covers the row from
            // x = 0, except when the window lies before it.
            if (value >= 0) QCOMPARE(rgbAt(img, 200, p.eventview->height() - 10), QRgb(0xFF0000));
            p.tline->grab();
        }
        w.slotvZoomAll();
        p.eventview->grab();
    }

    void checkCommandRunsTheChecks() {
        ZLVR_anView w;
        QVERIFY(w.openTrace(bars_));
        QString output;
        onNextModal([&](QWidget* box) {
            QVERIFY(qobject_cast<Check_Dlg*>(box));
            box->findChild<QPushButton*>("start")->click();
            output = box->findChild<QPlainTextEdit*>("output")->toPlainText();
        });
        w.slotCheck();
        QVERIFY(output.contains("Function MPI_Send was termitated for idle"));
    }

    void filterDoneHidesRowsInBothViews() {
        ZLVR_anView w;
        w.resize(800, 400);
        w.show();
        QVERIFY(w.openTrace(bars_));
        const Parts p = parts(w);
        const int rowsBefore = labelledRowPixels(p.nrview);
        QVERIFY(rowsBefore > 0);
        QApplication::processEvents(); // pending paints of the opening do not count
        PaintCounter nrPaints(p.nrview), eventPaints(p.eventview);
        // What Cancel and Done do to the mask is the dialog test's part.
        // Unchecks the box `off` of the dialog a filter command opens, or
        // every box when `off` is -1, then Done.
        const auto filterWith = [&](void (ZLVR_anView::*slot)(), int off) {
            QString caption;
            onNextModal([&](QWidget* box) {
                caption = box->windowTitle();
                const QList<QCheckBox*> boxes = box->findChildren<QCheckBox*>();
                for (int i = 0; i < boxes.size(); ++i) boxes[i]->setChecked(off >= 0 && i != off);
                box->findChild<QPushButton*>("done")->click();
            });
            (w.*slot)();
            return caption;
        };
        QCOMPARE(filterWith(&ZLVR_anView::slotFltProcess, 1), QString("Rank filter"));
        QCOMPARE(w.viewFilter()->rankMask(), (std::vector<uint32_t>{1, 0, 1}));
        // Both views drew at once, the column with one row fewer.
        QVERIFY(nrPaints.count > 0 && eventPaints.count > 0);
        QCOMPARE(labelledRowPixels(p.nrview), rowsBefore * 2 / 3);
        QCOMPARE(filterWith(&ZLVR_anView::slotFltNodes, -1), QString("Node filter"));
        QCOMPARE(labelledRowPixels(p.nrview), 0);
    }

    void renderVerb() {
        auto render = [&](QStringList args) {
            QProcess zlv;
            zlv.start(ZLV_BINARY, QStringList{"render"} + args);
            zlv.waitForFinished(60000);
            return zlv.exitCode();
        };
        const QString out = dir_.filePath("bars.png");
        QCOMPARE(render({bars_, "-o", out, "--size", "500x300", "--links", "--zoom-in", "20",
                         "--hsb", "0", "--sort", "rank"}),
                 0);
        const QImage img(out);
        QCOMPARE(img.size(), QSize(500, 300));
        bool magenta = false;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) magenta |= rgbAt(img, x, y) == 0xFF00FF;
        QVERIFY(magenta);
        QCOMPARE(render({empty_, "-o", dir_.filePath("empty.png")}), 1);
        QVERIFY(!QFile::exists(dir_.filePath("empty.png")));
        for (const QStringList& bad : {QStringList{dir_.filePath("missing.zlv"), "-o", out},
                                       {bars_, "-o", out, "--size", "500"},
                                       {bars_, "-o", out, "--sort", "time"}})
            QCOMPARE(render(bad), 2);
    }
};

QTEST_MAIN(MainWindowTest)
#include "ui_main_window_test.moc"
