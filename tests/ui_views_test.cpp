// The views drawn offscreen: pixels checked at positions computed from the
// row layout and the time window (zoom 1.0: one pixel per microsecond).

#include "dialogs/palette_dlg.h"
#include "model/trace_document.h"
#include "tests/ui_test_helpers.h"
#include "tests/ui_trace_files.h"
#include "ui/event_expl.h"
#include "ui/nr_view.h"
#include "ui/time_line.h"
#include "ui/tool_bar.h"
#include "ui/tool_bar_icons.h"
#include "view/view_filter.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <memory>

namespace {

QImage shot(QWidget& w) {
    return w.grab().toImage();
}

constexpr QRgb kBlack = 0x000000, kWhite = 0xFFFFFF, kMagenta = 0xFF00FF, kRed = 0xFF0000,
               kGreen = 0x00FF00, kYellow = 0xFFFF00;

bool anyOf(const QImage& img, QRect area, QRgb colour) {
    area = area.intersected(img.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (rgbAt(img, x, y) == colour) return true;
    return false;
}

bool allBlack(const QImage& img, QRect area) {
    area = area.intersected(img.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (rgbAt(img, x, y) != kBlack) return false;
    return true;
}

// The colours at the points "x,y x,y ...".
QList<QRgb> coloursAt(const QImage& img, const QString& points) {
    QList<QRgb> colours;
    for (const QString& point : points.split(' ', Qt::SkipEmptyParts)) {
        const QStringList xy = point.split(',');
        colours.append(rgbAt(img, xy[0].toInt(), xy[1].toInt()));
    }
    return colours;
}

// White pixels along row y of x in [0, width).
QList<int> whiteAlong(const QImage& img, int y, int width) {
    QList<int> xs;
    for (int x = 0; x < width; ++x)
        if (rgbAt(img, x, y) == kWhite) xs.append(x);
    return xs;
}

} // namespace

class ViewsTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    std::unique_ptr<TTrace> trace_;

    // Rows with pos 3 and height 100: position 2 (rank 1) lowest, centre line
    // at y 90; position 1 (rank 2) at 70; position 0 (rank 0) at 50.
    struct OpenView {
        explicit OpenView(const TTrace& t) : filter(t.nodeCount(), t.processCount()) {}
        ViewFilter filter;
        EventExpl view;
    };
    std::unique_ptr<OpenView> openView(int width, bool links = false) {
        auto v = std::make_unique<OpenView>(*trace_);
        v->filter.showLinks = links;
        v->view.resize(width, 100);
        v->view.setZoom(1.0);
        v->view.setOffset(0);
        v->view.setPos(3);
        v->view.setData(trace_.get(), &v->filter);
        v->view.setOpen(true);
        return v;
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        trace_ = std::make_unique<TTrace>(saveTrace(dir_, "bars.zlv", barsTrace()).toStdString());
        QVERIFY(trace_->loaded());
        QCOMPARE(std::tuple(trace_->rankAt(0), trace_->rankAt(1), trace_->rankAt(2)),
                 std::tuple(0, 2, 1));
    }

    void closedViewIsBlack() {
        EventExpl view;
        view.resize(300, 100);
        QVERIFY(allBlack(shot(view), view.rect()));
        ViewFilter filter(trace_->nodeCount(), trace_->processCount());
        view.setData(trace_.get(), &filter); // given data but never opened
        QVERIFY(allBlack(shot(view), view.rect()));
    }

    void barsInFunctionColours() {
        const auto v = openView(600);
        const QImage img = shot(v->view);
        // Rank 0: MPI_Send 50..150, a gap, the unfinished 0x803 (magenta, end tick at 260);
        // rank 1: MPI_Recv, MPI_Wait (no palette entry: white), the cross of mark 65,
        // 10 x 10 around its start; rank 2: MPI_Irecv, MPI_Finalize.
        QCOMPARE(coloursAt(img, "100,50 190,50 230,50 260,46 230,46 200,90 350,90 140,70 510,70 "
                                "400,90 396,86 404,86 400,81"),
                 (QList<QRgb>{kMagenta, kBlack, kMagenta, kMagenta, kBlack, kRed, kWhite, kGreen,
                              kYellow, kWhite, kWhite, kWhite, kBlack}));
        // Nothing above the three rows, nothing in the last 10 pixels.
        QVERIFY(allBlack(img, QRect(0, 0, 600, 38)));
        QVERIFY(allBlack(img, QRect(592, 0, 8, 100)));
        // Links are off: the line from (50, 50) to (300, 90) is absent.
        QVERIFY(!anyOf(img, QRect(125, 60, 1, 4), kWhite));
    }

    void linksAreWhiteLinesCutAtTheRightEdge() {
        const QImage img = shot(openView(600, true)->view);
        // From the send's start on its centre line to the receive's end on the partner's.
        QVERIFY(anyOf(img, QRect(125, 61, 1, 3), kWhite));
        QVERIFY(anyOf(img, QRect(250, 81, 1, 3), kWhite));
        QVERIFY(anyOf(img, QRect(299, 88, 3, 3), kWhite));
        // The unfinished send has no partner: no line leaves it.
        QVERIFY(allBlack(img, QRect(262, 53, 40, 6)));

        // Cut at the right edge.
        const QImage cut = shot(openView(210, true)->view); // t1 = 200
        // Partner edge 100 becomes 60 + 40 * (200 - 50) / (300 - 50) = 84: ends at (200, 74).
        QVERIFY(anyOf(cut, QRect(198, 73, 3, 3), kWhite));
        QVERIFY(!anyOf(cut, QRect(202, 56, 8, 30), kWhite));
        QCOMPARE(rgbAt(cut, 199, 90), kRed); // the receive is clipped at t1 too
    }

    void filterAndScrolling() {
        const auto v = openView(600);
        const uint32_t flags[] = {1, 0};
        v->filter.setNodeMask(2, flags); // hides rank 1 (node index 1)
        v->view.Update();
        const QImage img = shot(v->view);
        // Rank 2 moved into the bottom row, rank 0 down by 20.
        QCOMPARE(coloursAt(img, "140,90 100,70"), (QList<QRgb>{kGreen, kMagenta}));
        QVERIFY(allBlack(img, QRect(0, 0, 600, 58)));

        v->view.setPos(0); // every process scrolled off
        v->view.Update();
        QVERIFY(allBlack(shot(v->view), v->view.rect()));
    }

    void pressReportsTheCallUnderThePointer() {
        const auto v = openView(600);
        EventExpl& view = v->view;
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        // Each report as "position:line" (bars.zlv gives each call a line of its own).
        QStringList hits;
        connect(&view, &EventExpl::signalShowTxt, [&](unsigned position, TFunc* call) {
            hits << QString("%1:%2").arg(position).arg(call->location & 0xFFFF);
        });
        // Rank 0's send, still rank 0's row, between two bars, the right
        // button, above every row, the cross of 65, and the line shared by two
        // rows, where the lower row is tried first.
        for (const auto& [button, x, y] : {std::tuple(Qt::LeftButton, 100, 50),
                                           {Qt::LeftButton, 100, 41},
                                           {Qt::LeftButton, 175, 50},
                                           {Qt::RightButton, 100, 50},
                                           {Qt::LeftButton, 100, 30},
                                           {Qt::LeftButton, 400, 90},
                                           {Qt::LeftButton, 120, 60}})
            QTest::mouseClick(&view, button, {}, QPoint(x, y));
        QCOMPARE(hits, (QStringList{"0:17", "0:17", "2:32", "1:40"}));
    }

    void rulerTicksAndUnit() {
        TimeLine ruler;
        ruler.resize(480, 30);
        ruler.setZoom(0.00048);
        ruler.setTOffset(0);
        QImage img = shot(ruler);
        // Closed: the axis and its arrow only.
        QCOMPARE(coloursAt(img, "100,3 473,1"), (QList<QRgb>{kWhite, kWhite}));
        QVERIFY(allBlack(img, QRect(0, 6, 480, 24)));
        QVERIFY(allBlack(img, QRect(0, 0, 470, 2)));

        ruler.setOpen(true);
        img = shot(ruler);
        const QList<int> ticks = whiteAlong(img, 1, 470);
        QCOMPARE(ticks, (QList<int>{1, 97, 193, 289, 385}));
        for (int x : ticks) QVERIFY(!allBlack(img, QRect(x - 20, 10, 40, 15))); // labels
        QVERIFY(!allBlack(img, QRect(440, 10, 38, 15)));                        // "[ms]"
        QVERIFY(allBlack(img, QRect(410, 10, 28, 20)));                         // no tick at 481

        // A 1-microsecond trace fitted to the width: the ruler still advances.
        ruler.setZoom(30.0);
        QCOMPARE(whiteAlong(shot(ruler), 1, 470), (QList<int>{1, 91, 181, 271, 361}));
    }

    void nodeRankColumn() {
        NRView column;
        column.resize(80, 100);
        QSignalSpy updated(&column, &NRView::signalUpdated);
        ViewFilter filter(trace_->nodeCount(), trace_->processCount());
        column.setPos(3);
        column.setData(trace_.get(), &filter);
        QCOMPARE(updated.count(), 0); // closed: draws, does not signal
        QImage img = shot(column);
        QCOMPARE(coloursAt(img, "79,50"), (QList<QRgb>{kWhite})); // right border
        QVERIFY(allBlack(img, QRect(0, 0, 79, 100)));

        column.setOpen(true);
        QCOMPARE(updated.count(), 1);
        img = shot(column);
        // Two framed boxes per row, left edges at x = 1 and 40 (half = 40), rows
        // 40..100; each outline stays inside its 39 x 20 box: right edges at 39
        // and 78, the bottom row's lower edge at 99 inside the widget.
        QCOMPARE(
            coloursAt(
                img,
                "1,50 40,50 1,70 40,70 1,90 40,90 20,40 39,90 78,90 20,99 60,99 20,79 0,90 78,30"),
            (QList<QRgb>{kWhite, kWhite, kWhite, kWhite, kWhite, kWhite, kWhite, kWhite, kWhite,
                         kWhite, kWhite, kWhite, kBlack, kBlack}));
        QVERIFY(allBlack(img, QRect(0, 0, 79, 39)));

        const uint32_t flags[] = {1, 0};
        filter.setNodeMask(2, flags);
        column.refresh();
        QCOMPARE(updated.count(), 2);
        img = shot(column);
        QCOMPARE(rgbAt(img, 1, 70), kWhite);
        QVERIFY(allBlack(img, QRect(0, 0, 79, 59)));

        column.setUpdatesEnabled(false);
        column.setPos(2);
        QCOMPARE(updated.count(), 2); // updates off: nothing at all
        column.setUpdatesEnabled(true);
        column.setOpen(false);
        QCOMPARE(updated.count(), 2);
    }

    void colourLegend() {
        Palette_Dlg legend;
        QCOMPARE(legend.windowTitle(), QString("Color palette"));
        QScrollArea* area = legend.rowsView();
        const QList<QLabel*> labels = area->widget()->findChildren<QLabel*>();
        // One row per palette entry: the fixed ones, then the tracer's calls.
        const ColorPalette palette;
        const TFuncNames names;
        const int count = static_cast<int>(palette.entryCount());
        QVERIFY(count > 19);
        QCOMPARE(labels.size(), count);
        QCOMPARE((QStringList{labels[0]->text(), labels[2]->text(), labels[18]->text()}),
                 (QStringList{"MPI_Init", "MPI_Send", "MPI_Comm_free"}));
        // Swatches at x = 127, y = 2 + 21 i, 20 x 20, on the grey background.
        const QImage rows = area->widget()->grab().toImage();
        QCOMPARE(rows.height(), 21 * count + 4);
        QCOMPARE(coloursAt(rows, "137,12 137,54 137,180 137,390"),
                 (QList<QRgb>{kWhite, kMagenta, QRgb(0xFFFF7F), QRgb(0x7F7F7F)}));
        for (int i = 19; i < count; ++i) {
            const uint32_t id = palette.idAt(static_cast<uint32_t>(i));
            QCOMPARE(labels[i]->text(), QString::fromStdString(names.funcName(id)));
            const TColour c = palette.colourOf(id);
            QCOMPARE(rgbAt(rows, 137, 12 + 21 * i), qRgb(c.r, c.g, c.b) & 0xFFFFFF);
        }
        QCOMPARE(rgbAt(rows, 120, 21 * count + 2), QRgb(0xC8C8C8)); // below the last row

        // The rows scroll: at the bottom of the bar the last row is in view.
        legend.show();
        QVERIFY(QTest::qWaitForWindowExposed(&legend));
        QScrollBar* bar = area->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        bar->setValue(bar->maximum());
        const QPoint last = labels.last()->mapTo(area->viewport(), QPoint(0, 0));
        QVERIFY(last.y() >= 0 && last.y() + 20 <= area->viewport()->height());
    }

    void toolBarButtonsAndIcons() {
        ToolBar bar;
        const QList<QPushButton*> buttons = bar.findChildren<QPushButton*>();
        QCOMPARE(buttons.size(), 9);
        QCOMPARE(buttons[4]->text(), QString("All"));
        QCOMPARE(buttons[2]->shortcut(), QKeySequence(Qt::Key_Equal));
        QCOMPARE(buttons[8]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
        // The signal each button's click sends, left to right.
        void (ToolBar::*const expected[])() = {
            &ToolBar::signalfOpen,    &ToolBar::signalfClose,   &ToolBar::signalvZoomIn,
            &ToolBar::signalvZoomOut, &ToolBar::signalvZoomAll, &ToolBar::signalvPalette,
            &ToolBar::signalFltMenu,  &ToolBar::signalStatMenu, &ToolBar::signalCheck};
        for (int i = 0; i < 9; ++i) {
            if (i > 0) QVERIFY(buttons[i - 1]->x() < buttons[i]->x());
            QSignalSpy spy(&bar, expected[i]);
            buttons[i]->click();
            QCOMPARE(spy.count(), 1);
        }
        // Every icon drawn, each its own.
        const QImage icons[] = {openIcon().toImage(),    closeIcon().toImage(),
                                zoomInIcon().toImage(),  zoomOutIcon().toImage(),
                                paletteIcon().toImage(), filterIcon().toImage(),
                                statsIcon().toImage(),   checkIcon().toImage()};
        for (int i = 0; i < 8; ++i) {
            int opaque = 0;
            for (int p = 0; p < 25 * 25; ++p)
                opaque += qAlpha(icons[i].pixel(p % 25, p / 25)) == 255;
            QVERIFY(opaque > 40 && qAlpha(icons[i].pixel(0, 0)) == 0);
            for (int j = i + 1; j < 8; ++j) QVERIFY(icons[i] != icons[j]);
        }
    }
};

QTEST_MAIN(ViewsTest)
#include "ui_views_test.moc"
