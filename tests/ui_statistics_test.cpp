// The window's statistics: the menu's items, keys and the dialogs they open,
// and the ranges the window hands the dialog: its tables over the selected
// and the visible range equal `zlv stats --from --to` cell for cell.

#include "app/main_window.h"
#include "model/trace_document.h"
#include "stats/stat_dlg.h"
#include "stats/stat_table_model.h"
#include "tests/stat_table_lines.h"
#include "tests/ui_test_helpers.h"
#include "tests/ui_trace_files.h"
#include "ui/event_expl.h"
#include "ui/shared_view_state.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QProcess>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

QStringList zlvLines(const QStringList& args) {
    QProcess zlv;
    zlv.start(ZLV_BINARY, args + QStringList{"--format", "tsv"});
    zlv.waitForFinished(60000);
    return tsvLines(zlv.readAllStandardOutput().toStdString());
}

} // namespace

class StatisticsTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    QString bars_;

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        bars_ = saveTrace(dir_, "bars.zlv", barsTrace());
    }

    // Each item of the menu, and the window's slot of that kind, open its dialog.
    void menuItemsAndSlotsOpenTheirKinds() {
        ZLVR_anView w;
        QVERIFY(w.openTrace(bars_));
        const struct {
            const char* text;
            QKeySequence key;
            const char* caption;
            void (ZLVR_anView::*slot)();
        } items[] = {
            {"&Nodes-Ranks", QKeySequence(Qt::CTRL | Qt::Key_N), "Nodes and Ranks",
             &ZLVR_anView::slotStatNodesRanks},
            {"&Process", QKeySequence(Qt::CTRL | Qt::Key_P), "Process",
             &ZLVR_anView::slotStatProcess},
            {"&Send-Recv", QKeySequence(Qt::CTRL | Qt::Key_S), "Send Receive operations",
             &ZLVR_anView::slotStatSRMatrix},
            {"Data si&ze transfered", QKeySequence(Qt::CTRL | Qt::Key_Z), "Transfered data size",
             &ZLVR_anView::slotStatSZMatrix},
            {"&Counters", QKeySequence(Qt::CTRL | Qt::Key_C), "Counters",
             &ZLVR_anView::slotStatCounters},
        };
        const QList<QAction*> actions = w.statMenu()->actions();
        QCOMPARE(actions.size(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(actions[i]->text(), QString(items[i].text));
            QCOMPARE(actions[i]->shortcut(), items[i].key);
            QAction* action = actions[i];
            const auto slot = items[i].slot;
            const std::function<void()> openers[] = {[action] { action->trigger(); },
                                                     [&w, slot] { (w.*slot)(); }};
            for (const std::function<void()>& open : openers) {
                QString caption;
                onNextModal([&](QWidget* box) {
                    if (qobject_cast<Stat_Dlg*>(box)) caption = box->windowTitle();
                });
                open();
                QCOMPARE(caption, QString(items[i].caption));
            }
        }
    }

    void tablesOverTheWindowsRangesAreTheTools() {
        ZLVR_anView w;
        w.resize(600, 400);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.openTrace(bars_));
        for (int i = 0; i < 3; ++i) w.slotvZoomIn(); // the view shows a part of the run
        const ViewState& state = w.viewState()->state();
        const int width = w.findChild<EventExpl*>("eventview")->width();
        const QStringList visible{"--from", QString::number(state.startMicros()), "--to",
                                  QString::number(state.microsAt(width))};

        // The choice while nothing, or a range of no length, is selected: no
        // selected range to take.
        const auto selectable = [&] {
            bool enabled = true;
            onNextModal([&](QWidget* box) {
                const QComboBox* choice = static_cast<Stat_Dlg*>(box)->rangeSelector();
                const auto* items = qobject_cast<const QStandardItemModel*>(choice->model());
                enabled = items->item(2)->isEnabled();
            });
            w.slotStatProcess();
            return enabled;
        };
        QVERIFY(!selectable());
        w.viewState()->selectRange(70, 70);
        QVERIFY(!selectable());

        // The receive from 60 starts in the range, the send at 50 before it.
        w.viewState()->selectRange(250, 55);
        QVERIFY(selectable());
        const QStringList selected{"--from", "55", "--to", "250"};
        const struct {
            void (ZLVR_anView::*slot)();
            const char* kind;
            bool matrix;
        } kinds[] = {{&ZLVR_anView::slotStatProcess, "process", false},
                     {&ZLVR_anView::slotStatSRMatrix, "sendrecv", true},
                     {&ZLVR_anView::slotStatSZMatrix, "datasize", true}};
        for (const auto& k : kinds) {
            const QStringList tool{"stats", k.kind, bars_};
            QStringList whole, inSelected, inVisible;
            onNextModal([&](QWidget* box) {
                auto* dlg = static_cast<Stat_Dlg*>(box);
                QComboBox* choice = dlg->rangeSelector();
                whole = tableLines(dlg->tableModel(), k.matrix);
                for (int item : {2, 1}) {
                    choice->setCurrentIndex(item);
                    emit choice->activated(item);
                    (item == 2 ? inSelected : inVisible) = tableLines(dlg->tableModel(), k.matrix);
                }
            });
            (w.*k.slot)();
            QCOMPARE(whole, zlvLines(tool));
            QCOMPARE(inSelected, zlvLines(tool + selected));
            QCOMPARE(inVisible, zlvLines(tool + visible));
            QVERIFY(inSelected != whole);
            if (!k.matrix) QVERIFY(inVisible != whole);
        }
    }
};

QTEST_MAIN(StatisticsTest)
#include "ui_statistics_test.moc"
