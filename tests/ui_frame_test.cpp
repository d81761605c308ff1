// The main frame around the view: accelerators from the menu bar, settings
// kept between runs, the load notice, the tool tip, the details panel with
// "go to partner", find next/previous, and the events filter.

#include "app/details_panel.h"
#include "app/find_bar.h"
#include "app/main_frame.h"
#include "dialogs/event_filter_dlg.h"
#include "model/trace_document.h"
#include "stats/stat_dlg.h"
#include "tests/ui_frame_setup.h"
#include "tests/ui_test_helpers.h"
#include "tests/ui_trace_files.h"
#include "ui/event_expl.h"
#include "view/view_filter.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolTip>

#include <functional>

namespace {

// Runs `check` on the next modal dialog to appear, then closes it; waits
// for it a while, and is dropped when `owner` goes first.
void onNextModal(QObject* owner, std::function<void(QWidget*)> check, int tries = 200) {
    QTimer::singleShot(tries == 200 ? 0 : 10, owner, [owner, check, tries] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            check(w);
            w->close();
        } else if (tries > 0) {
            onNextModal(owner, check, tries - 1);
        }
    });
}

} // namespace

class FrameTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    QString bars_, garbage_, truncated_;

    // A key pressed in the frame, made the active window again first (a
    // closed dialog leaves no window active offscreen).
    static void press(MainFrame& f, Qt::Key key, Qt::KeyboardModifiers mods = {}) {
        QApplication::setActiveWindow(&f);
        QVERIFY(QTest::qWaitForWindowActive(&f));
        QTest::keyClick(&f, key, mods);
    }
    static EventExpl* eventView(MainFrame& f) { return f.findChild<EventExpl*>("eventview"); }

    // The centre line of the row of `rank` after openBars.
    static int rowY(MainFrame& f, int rank) {
        return eventView(f)->height() - (2 - rank) * 20 - 10;
    }
    static int64_t selectedStart(MainFrame& f) {
        const TTrace* t = f.view()->trace();
        return t->processAt(f.selection()->position)->calls[f.selection()->index].start;
    }

  private slots:
    void initTestCase() {
        QVERIFY(useSettingsIn(dir_, "frame-test"));
        bars_ = saveTrace(dir_, "bars.zlv", barsTrace(), "[files]\n3:solver.c\n");
        TraceWriter junk;
        junk.raw(std::string("this is not a trace at all\n"));
        garbage_ = saveTrace(dir_, "garbage.zlv", junk);
        const std::string bytes = barsTrace().bytes();
        TraceWriter cut;
        cut.raw(bytes.substr(0, bytes.size() - 5));
        truncated_ = saveTrace(dir_, "truncated.zlv", cut);
    }

    void acceleratorsWorkFromTheMenuBar() {
        MainFrame f;
        openBars(f, bars_);
        const auto ranks = [&] {
            const TTrace* t = f.view()->trace();
            return QList<int>{t->rankAt(0), t->rankAt(1), t->rankAt(2)};
        };
        // Ctrl+N stays the node sort button's; Ctrl+R the rank button's.
        press(f, Qt::Key_N, Qt::ControlModifier);
        QTRY_COMPARE(ranks(), (QList<int>{0, 2, 1}));
        press(f, Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(ranks(), (QList<int>{0, 1, 2}));
        // The popup menus' keys work with no popup shown.
        press(f, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(f.view()->viewFilter()->showLinks && f.view()->linksItem()->isChecked());
        QString caption;
        onNextModal(&f, [&](QWidget* w) { caption = w->windowTitle(); });
        press(f, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(caption, QString("Nodes and Ranks"));
        onNextModal(&f, [&](QWidget* w) { caption = w->windowTitle(); });
        press(f, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(caption, QString("Transfered data size"));
        // The tool bar's keys, and the frame's own.
        // bars.zlv lasts 520 µs.
        press(f, Qt::Key_1);
        QTRY_COMPARE(f.view()->zoom(), eventView(f)->width() / 520.0);
        QVERIFY(!f.findChild<QToolBar*>("findToolBar")->isVisible());
        press(f, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(f.findChild<QToolBar*>("findToolBar")->isVisible());
        QCOMPARE(f.windowTitle(), "ZELVOR Analyzer - " + bars_);
        press(f, Qt::Key_X, Qt::ControlModifier);
        QTRY_VERIFY(!f.view()->isOpen());
        QCOMPARE(f.windowTitle(), QString("ZELVOR Analyzer"));
    }

    void settingsAreRestored() {
        QSettings().clear();
        QRect placed;
        {
            MainFrame f;
            f.show();
            f.setGeometry(40, 50, 820, 610);
            QVERIFY(f.view()->openTrace(bars_));
            QVERIFY(!f.view()->openTrace(garbage_)); // failed opens are not remembered
            placed = f.geometry();
            f.close();
        }
        MainFrame again;
        QCOMPARE(again.geometry().size(), placed.size());
        QCOMPARE(again.recentFiles(), QStringList{QFileInfo(bars_).absoluteFilePath()});
        QCOMPARE(QSettings().value("files/lastDirectory").toString(),
                 QFileInfo(bars_).absolutePath());
        QMenu* recent = again.findChild<QMenu*>("recentMenu");
        QCOMPARE(recent->actions().size(), 1);
        recent->actions()[0]->trigger();
        QVERIFY(again.view()->isOpen());
    }

    void loadProblemsAreShown() {
        MainFrame f;
        f.show();
        QVERIFY(f.view()->openTrace(truncated_));
        QMessageBox* notice = f.loadNotice();
        QVERIFY(notice && notice->isVisible() && !notice->isModal());
        QCOMPARE(notice->icon(), QMessageBox::Warning);
        QVERIFY(notice->text().contains("loaded only in part"));
        QVERIFY(notice->informativeText().contains("Input file is truncated"));
        QVERIFY(f.loadLabel()->text().startsWith("Loaded in part"));

        QVERIFY(!f.view()->openTrace(garbage_));
        notice = f.loadNotice();
        QVERIFY(notice && notice->isVisible());
        QCOMPARE(notice->icon(), QMessageBox::Critical);
        QCOMPARE(notice->windowTitle(), QString("Not a trace"));
        QVERIFY(notice->text().contains("is no trace"));
        QCOMPARE(f.loadLabel()->text(), QString("Not loaded"));

        QVERIFY(f.view()->openTrace(bars_));
        QCOMPARE(f.loadLabel()->text(), QString());
    }

    void toolTipShowsEveryField() {
        MainFrame f;
        openBars(f, bars_);
        const QPoint overSend(100, rowY(f, 0));
        const QString text = f.toolTipAt(overSend);
        for (const char* line :
             {"Function: MPI_Send", "Rank: 0", "Start: 50 µs", "End: 150 µs", "Duration: 100 µs",
              "Peer: 1", "Size: 8", "File: solver.c", "Line: 17"})
            QVERIFY2(text.contains(QString::fromUtf8(line)), line);
        QCOMPARE(f.toolTipAt(QPoint(170, rowY(f, 0))), QString()); // between two bars
        QHelpEvent help(QEvent::ToolTip, overSend, eventView(f)->mapToGlobal(overSend));
        QApplication::sendEvent(eventView(f), &help);
        QTRY_COMPARE(QToolTip::text(), text);
    }

    void detailsFollowTheClickAndThePartner() {
        MainFrame f;
        openBars(f, bars_);
        QTest::mouseClick(eventView(f), Qt::LeftButton, {}, QPoint(100, rowY(f, 0)));
        DetailsPanel* d = f.details();
        QCOMPARE(d->field("Function"), QString("MPI_Send"));
        QCOMPARE(d->partners()->count(), 1);

        auto* partner = d->findChild<QPushButton*>("goPartner");
        partner->click();
        QCOMPARE(d->field("Function"), QString("MPI_Recv"));
        QCOMPARE(d->field("Rank"), QString("1"));
        QCOMPARE(f.view()->trace()->rankAt(f.selection()->position), 1);
        partner->click(); // and back to the sender
        QCOMPARE(d->field("Function"), QString("MPI_Send"));
        QCOMPARE(d->field("Rank"), QString("0"));

        d->findChild<QPushButton*>("nextCall")->click();
        QCOMPARE(d->field("Start"), QString::fromUtf8("200 µs"));
        d->findChild<QPushButton*>("previousCall")->click();
        d->findChild<QPushButton*>("previousCall")->click();
        QCOMPARE(d->field("Function"), QString("MPI_Init"));
        QVERIFY(!d->findChild<QPushButton*>("previousCall")->isEnabled());
    }

    void findGoesThroughTimeOrder() {
        MainFrame f;
        openBars(f, bars_);
        press(f, Qt::Key_F, Qt::ControlModifier);
        QList<int64_t> starts;
        for (int i = 0; i < 7; ++i) {
            press(f, Qt::Key_F3);
            starts << selectedStart(f);
        }
        QCOMPARE(starts, (QList<int64_t>{0, 0, 0, 50, 60, 100, 200}));
        press(f, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(selectedStart(f), int64_t{100});

        FindBar* bar = f.findBar();
        bar->function()->setCurrentIndex(bar->function()->findText("MPI_Send"));
        // Typed keys go to the field, not to the tool bar's "1" (zoom to fit).
        const double zoom = f.view()->zoom();
        bar->rank()->setFocus();
        QTest::keyClicks(bar->rank(), "10");
        QCOMPARE(std::pair(bar->rank()->text(), f.view()->zoom()), std::pair(QString("10"), zoom));
        bar->rank()->setText("0");
        press(f, Qt::Key_F3);
        QCOMPARE(selectedStart(f), int64_t{200});
        press(f, Qt::Key_F3); // no later send: the selection stays
        QCOMPARE(selectedStart(f), int64_t{200});
        press(f, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(selectedStart(f), int64_t{50});
        bar->minDuration()->setText("0.08 ms"); // 80 µs: only the first send is as long
        press(f, Qt::Key_F3);
        QCOMPARE(selectedStart(f), int64_t{50});
        bar->rank()->setText("zero");
        press(f, Qt::Key_F3);
        QCOMPARE(selectedStart(f), int64_t{50});

        // Go to time: 0.3 ms lands in the first half of the window (step 100).
        QScrollBar* hsb = f.findChild<QScrollBar*>("hsb");
        hsb->setValue(hsb->minimum());
        bar->time()->setText("0.3 ms");
        QTest::keyClick(bar->time(), Qt::Key_Return);
        const int64_t t0 = int64_t{hsb->value()} * 100;
        QVERIFY(t0 > 0 && t0 <= 300 && 300 - t0 < eventView(f)->width() / 2);
    }

    void eventsFilterHidesAFunction() {
        MainFrame f;
        openBars(f, bars_);
        EventExpl* ev = eventView(f);
        const QPoint send(100, rowY(f, 0)), recv(100, rowY(f, 1));
        QCOMPARE(rgbAt(ev, send.x(), send.y()), qRgb(255, 0, 255) & 0xFFFFFF);
        QCOMPARE(rgbAt(ev, recv.x(), recv.y()), qRgb(255, 0, 0) & 0xFFFFFF);
        QStringList offered;
        onNextModal(&f, [&](QWidget* w) {
            auto* dlg = static_cast<EventFilter_Dlg*>(w);
            for (QCheckBox* box : dlg->boxes()) {
                offered << box->text();
                QVERIFY(box->isChecked());
                if (box->text() == "MPI_Send") box->setChecked(false);
            }
            dlg->findChild<QPushButton*>("done")->click();
        });
        press(f, Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(offered, (QStringList{"MPI_Init", "MPI_Finalize", "MPI_Send", "MPI_Recv",
                                       "MPI_Irecv", "MPI_Wait", "Function 65"}));
        QVERIFY(!f.view()->viewFilter()->funcVisible(kFuncSend));
        QCOMPARE(rgbAt(ev, send.x(), send.y()), 0u);
        QCOMPARE(rgbAt(ev, recv.x(), recv.y()), qRgb(255, 0, 0) & 0xFFFFFF);
        QCOMPARE(f.filterLabel()->text(), QString("Hidden: 1 function"));
        QCOMPARE(f.toolTipAt(send), QString()); // not hit either

        // All again: None then All, and Done.
        onNextModal(&f, [](QWidget* w) {
            w->findChild<QPushButton*>("none")->click();
            w->findChild<QPushButton*>("all")->click();
            w->findChild<QPushButton*>("done")->click();
        });
        f.view()->slotFltEvents();
        QCOMPARE(rgbAt(ev, send.x(), send.y()), qRgb(255, 0, 255) & 0xFFFFFF);
        QCOMPARE(f.filterLabel()->text(), QString());
    }
};

QTEST_MAIN(FrameTest)
#include "ui_frame_test.moc"
