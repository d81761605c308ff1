// OTF2 archives in the main frame: the rows and bars are what the archive's
// events say, and a broken archive shows the load notice and leaves the
// window usable.

#include "app/main_frame.h"
#include "model/trace_document.h"
#include "tests/otf2_test_archives.h"
#include "tests/ui_frame_setup.h"
#include "ui/event_expl.h"
#include "view/color_palette.h"
#include "view/row_layout.h"
#include "view/time_axis.h"
#include "view/view_filter.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

namespace {

// Nanosecond ticks, as Score-P writes them.
constexpr uint64_t kTicksPerMicro = 1000;

// Three ranks, 0 and 2 on host0, 1 on host1; every MPI_Init ends at 100 µs.
// Rank 0 sends rank 1 eight bytes from 300 to 700 µs, which rank 1 receives
// from 250 to 800 µs.
std::string writeRun(const std::string& dir) {
    TestArchive a(dir, 3, {0, 1, 0});
    a.writer().clock(1000 * 1000 * kTicksPerMicro, 0, 0);
    const auto us = [](uint64_t t) { return t * kTicksPerMicro; };
    a.initAll(us(0), us(100));
    a.send(0, us(300), us(700), 1, 1, 8);
    a.recv(1, us(250), us(800), 0, 1, 8);
    for (uint32_t r = 0; r < 3; ++r) a.call(r, us(900), us(950), "MPI_Finalize");
    a.close();
    return a.path();
}

QRgb rgbOf(TColour c) {
    return qRgb(c.r, c.g, c.b) & 0xFFFFFF;
}

} // namespace

class Otf2FrameTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    QString run_, cut_, garbage_;

    static EventExpl* eventView(MainFrame& f) { return f.findChild<EventExpl*>("eventview"); }

    // Where the event explorer draws time t (µs, display time) on the row of
    // `rank`, from the view's own state: x, and the row's centre line.
    static QPoint pointOf(MainFrame& f, int32_t rank, int64_t t) {
        const TTrace& trace = *f.view()->trace();
        const ViewState& s = f.view()->viewState()->state();
        EventExpl* ev = eventView(f);
        const TimeWindow window = timeWindowAt(s.zoom(), s.startMicros(), ev->width());
        const RowLayout layout =
            layoutRows(shownPositions(trace, *f.view()->viewFilter()), s.pos(), ev->height());
        for (const Row& row : layout.rows)
            if (trace.rankAt(row.position) == rank)
                return QPoint(static_cast<int>(pixelOf(window, t)),
                              static_cast<int>(row.bottom - kRowHeight / 2));
        return QPoint(-1, -1);
    }
    static QRgb rgbAt(MainFrame& f, QPoint at) {
        return eventView(f)->grab().toImage().pixel(at) & 0xFFFFFF;
    }
    // The display time of a raw call time of `rank`.
    static int64_t shown(MainFrame& f, int32_t rank, int64_t raw) {
        const TTrace& trace = *f.view()->trace();
        return raw + trace.nodeOffset(trace.processOfRank(rank)->nodeIndex);
    }

  private slots:
    void initTestCase() {
        QVERIFY(useSettingsIn(dir_, "otf2-frame-test"));
        run_ = QString::fromStdString(writeRun(dir_.filePath("run").toStdString()));
        // The same run with the events of rank 1 cut short.
        cut_ = QString::fromStdString(writeRun(dir_.filePath("cut").toStdString()));
        std::filesystem::resize_file(dir_.filePath("cut/traces/1.evt").toStdString(), 40);
        QVERIFY(QDir().mkpath(dir_.filePath("garbage")));
        garbage_ = dir_.filePath("garbage/traces.otf2");
        QFile junk(garbage_);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("this is no anchor file\n");
    }

    void rowsAndBarsAreTheArchivesEvents() {
        MainFrame f;
        f.resize(900, 400);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QVERIFY(f.view()->openTrace(run_));
        QVERIFY(!f.loadNotice()); // nothing to tell
        const TTrace& trace = *f.view()->trace();
        // Rows by node, as for a .zlv trace: host0's ranks 0 and 2, then host1's rank 1.
        QList<int> ranks;
        QStringList nodes;
        for (uint32_t pos = 0; pos < trace.processCount(); ++pos) {
            ranks << trace.rankAt(pos);
            nodes << QString::fromStdString(trace.nodeNameAt(pos));
        }
        QCOMPARE(ranks, (QList<int>{0, 2, 1}));
        QCOMPARE(nodes, (QStringList{"host0", "host0", "host1"}));

        for (int i = 0; i < 20; ++i) f.view()->slotvZoomIn();
        f.findChild<QScrollBar*>("hsb")->setValue(0);
        // The send, ticks in microseconds: the middle of its bar, and a
        // point of its row before it begins.
        const TFunc& send = trace.processOfRank(0)->calls.at(1);
        QCOMPARE(std::pair(send.start, send.end), std::pair(int64_t{300}, int64_t{700}));
        const QPoint inSend = pointOf(f, 0, shown(f, 0, 500));
        const QPoint beforeSend = pointOf(f, 0, shown(f, 0, 250));
        QVERIFY(inSend.x() > 0 && inSend.x() < eventView(f)->width() - 10 && inSend.y() > 0);
        const ColorPalette palette;
        QCOMPARE(rgbAt(f, inSend), rgbOf(palette.colourOf(kFuncSend)));
        QVERIFY(rgbAt(f, beforeSend) != rgbOf(palette.colourOf(kFuncSend)));
        // The receive on rank 1's row, already under way at 260 µs.
        QVERIFY(palette.colourOf(kFuncRecv) != palette.colourOf(kFuncSend));
        QCOMPARE(rgbAt(f, pointOf(f, 1, shown(f, 1, 260))), rgbOf(palette.colourOf(kFuncRecv)));
        // What is drawn there is what the hit test finds.
        const QString tip = f.toolTipAt(inSend);
        QVERIFY2(tip.contains("Function: MPI_Send") && tip.contains("Node: host0"),
                 qPrintable(tip));
    }

    void brokenArchivesShowTheNoticeAndTheWindowStaysUsable() {
        MainFrame f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        // Cut events (how the library reports them depends on the cut): what was read is shown.
        QVERIFY(f.view()->openTrace(cut_));
        QMessageBox* notice = f.loadNotice();
        QVERIFY(notice && notice->isVisible() && !notice->isModal());
        QCOMPARE(notice->icon(), QMessageBox::Warning);
        QVERIFY(notice->text().contains("loaded only in part"));
        QVERIFY2(notice->informativeText().contains("OTF2 events of location 1 "),
                 qPrintable(notice->informativeText()));
        QVERIFY(f.loadLabel()->text().startsWith("Loaded in part"));
        QCOMPARE(f.view()->trace()->processCount(), 3u);
        QCOMPARE(f.view()->trace()->processOfRank(0)->calls.size(), 3u);

        // No archive at all: nothing is open, the notice says why.
        QVERIFY(!f.view()->openTrace(garbage_));
        notice = f.loadNotice();
        QVERIFY(notice && notice->isVisible());
        QCOMPARE(notice->icon(), QMessageBox::Critical);
        QCOMPARE(notice->windowTitle(), QString("Not a trace"));
        QVERIFY2(notice->informativeText().startsWith("OTF2 archive"),
                 qPrintable(notice->informativeText()));
        QVERIFY(!f.view()->isOpen());
        QCOMPARE(f.loadLabel()->text(), QString("Not loaded"));

        // Still usable.
        f.view()->slotvZoomIn();
        QVERIFY(f.view()->openTrace(run_));
        QVERIFY(f.view()->isOpen());
        QCOMPARE(f.loadLabel()->text(), QString());
        const double zoom = f.view()->zoom();
        f.view()->slotvZoomIn();
        QVERIFY(f.view()->zoom() > zoom);
    }
};

QTEST_MAIN(Otf2FrameTest)
#include "ui_otf2_frame_test.moc"
