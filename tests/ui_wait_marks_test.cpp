// The Analysis menu's marks of waiting time: with the toggle on, the part of
// a call spent waiting for its partner is darker than the rest of its bar;
// off, the picture is the plain one, pixel for pixel.

#include "app/main_frame.h"
#include "model/trace_document.h"
#include "tests/test_support.h"
#include "tests/ui_trace_files.h"
#include "ui/event_expl.h"
#include "view/row_layout.h"
#include "view/time_axis.h"

#include <QAction>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Two ranks on one node. Rank 0's MPI_Recv 200..1000 waits for rank 1's
// MPI_Send, which starts at 600: it waits 400 µs, from 200 to 600. The send
// finds its receiver waiting already and waits 0.
TraceWriter lateSenderTrace() {
    TraceWriter w;
    for (uint32_t r = 0; r < 2; ++r) {
        w.declareProcess(r, testNode(1));
        w.shortCall(0, kFuncInit, 0, 100);
        if (r == 0)
            w.longCall(0, kFuncRecv, 200, 1000, 64, 5, 1, kWorldComm);
        else
            w.longCall(0, kFuncSend, 600, 650, 64, 5, 0, kWorldComm);
        w.shortCall(0, kFuncFinalize, 1100, 1200);
    }
    return w;
}

} // namespace

class WaitMarksTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    QString trace_;

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.filePath("settings"));
        QCoreApplication::setOrganizationName("ZELVOR-test");
        QCoreApplication::setApplicationName("wait-marks-test");
        trace_ = saveTrace(dir_, "late.zlv", lateSenderTrace());
    }

    void marksDarkenOnlyTheWaitingPart() {
        MainFrame f;
        f.resize(1000, 600);
        f.show();
        QVERIFY(f.view()->openTrace(trace_));
        auto* view = f.findChild<EventExpl*>("eventview");
        QAction* toggle = f.findChild<QAction*>("markWaitsAction");
        QVERIFY(view && toggle && toggle->isCheckable() && !toggle->isChecked());
        QCoreApplication::processEvents();
        const QImage plain = view->grab().toImage();

        // Where rank 0's receive is drawn.
        const TTrace& trace = *f.view()->trace();
        const ViewState& s = view->viewState()->state();
        const TimeWindow window = timeWindowAt(s.zoom(), s.startMicros(), view->width());
        const RowLayout layout =
            layoutRows(std::vector<bool>(trace.processCount(), true), s.pos(), view->height());
        uint32_t position = 0;
        while (trace.rankAt(position) != 0) ++position;
        const int y = int(*layout.edgeOf[position] - 10);
        const int64_t shift = trace.nodeOffset(0);
        const int waiting = int(pixelOf(window, 400 + shift));
        const int rest = int(pixelOf(window, 800 + shift));
        const int edge = int(pixelOf(window, 600 + shift));
        QVERIFY(rest - waiting > 20);
        QCOMPARE(plain.pixelColor(waiting, y), plain.pixelColor(rest, y)); // one bar, one colour

        toggle->setChecked(true);
        QCoreApplication::processEvents();
        const QImage marked = view->grab().toImage();
        QVERIFY(marked.pixelColor(waiting, y) != marked.pixelColor(rest, y));
        QVERIFY(marked.pixelColor(waiting, y).lightness() <
                plain.pixelColor(waiting, y).lightness());
        // The mark ends where the send starts; the rest and the other rows stay.
        QCOMPARE(marked.pixelColor(edge + 2, y), plain.pixelColor(edge + 2, y));
        QVERIFY(marked.pixelColor(edge - 2, y) != plain.pixelColor(edge - 2, y));
        QCOMPARE(marked.pixelColor(rest, y), plain.pixelColor(rest, y));
        for (const Row& row : layout.rows)
            if (row.position != position)
                QCOMPARE(marked.copy(0, int(row.bottom - 20), marked.width(), 20),
                         plain.copy(0, int(row.bottom - 20), plain.width(), 20));

        toggle->setChecked(false);
        QCoreApplication::processEvents();
        QCOMPARE(view->grab().toImage(), plain);

        // A trace opened while the toggle is on is marked from its first paint.
        toggle->setChecked(true);
        f.view()->slotfClose();
        QVERIFY(f.view()->openTrace(trace_));
        QCoreApplication::processEvents();
        QCOMPARE(view->grab().toImage(), marked);
    }
};

QTEST_MAIN(WaitMarksTest)
#include "ui_wait_marks_test.moc"
