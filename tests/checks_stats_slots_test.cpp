// The main window's check, filter and statistics commands: nothing without a
// trace; with one, each opens its dialog, and the filter's "Done" changes
// what both views show at once.
#include "checks/check_dlg.h"
#include "checks/fltnr_dlg.h"
#include "stats/stat_dlg.h"
#include "tests/ui_trace_files.h"
#include "ui/event_expl.h"
#include "ui/main_window.h"
#include "ui/nr_view.h"
#include "ui/view_filter.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QImage>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

using Slot = void (ZLVR_anView::*)();
const Slot kDialogSlots[] = {&ZLVR_anView::slotCheck,        &ZLVR_anView::slotFltNodes,
                             &ZLVR_anView::slotFltProcess,   &ZLVR_anView::slotStatNodesRanks,
                             &ZLVR_anView::slotStatProcess,  &ZLVR_anView::slotStatSRMatrix,
                             &ZLVR_anView::slotStatCounters, &ZLVR_anView::slotStatSZMatrix};

// Runs act on the modal dialog that the next slot call opens; act closes it.
void onModal(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [act] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        act(modal);
        if (modal->isVisible()) modal->close();
    });
}

// White pixels down the left border of the node/rank column's boxes: 20 per row.
int labelledRowPixels(NRView* nrview) {
    const QImage image = nrview->grab().toImage();
    int white = 0;
    for (int y = 0; y < image.height(); ++y) white += (image.pixel(1, y) & 0xFFFFFF) == 0xFFFFFF;
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

// A shown window with bars.zlv open.
struct OpenWindow {
    QTemporaryDir dir;
    ZLVR_anView window;
    OpenWindow() {
        window.resize(800, 400);
        window.show();
        EXPECT_TRUE(window.openTrace(saveTrace(dir, "bars.zlv", barsTrace())));
    }
};

} // namespace

TEST(DialogSlots, DoNothingWithoutATrace) {
    ZLVR_anView window;
    bool sawDialog = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            sawDialog = true;
            modal->close();
        }
    });
    closer.start(10);
    for (Slot slot : kDialogSlots) (window.*slot)();
    EXPECT_FALSE(sawDialog);
}

TEST(DialogSlots, OpenTheirDialogsOnTheOpenTrace) {
    OpenWindow open;
    ZLVR_anView& window = open.window;
    ASSERT_TRUE(window.isOpen());

    onModal([](QWidget* modal) {
        auto* dlg = qobject_cast<Check_Dlg*>(modal);
        ASSERT_NE(dlg, nullptr);
        dlg->findChild<QPushButton*>("start")->click();
        EXPECT_TRUE(dlg->findChild<QPlainTextEdit*>("output")->toPlainText().contains(
            "Function MPI_Send was termitated for idle"));
    });
    window.slotCheck();

    const struct {
        Slot slot;
        const char* caption;
    } statistics[] = {{&ZLVR_anView::slotStatNodesRanks, "Nodes and Ranks"},
                      {&ZLVR_anView::slotStatProcess, "Process"},
                      {&ZLVR_anView::slotStatSRMatrix, "Send Receive operations"},
                      {&ZLVR_anView::slotStatCounters, "Counters"},
                      {&ZLVR_anView::slotStatSZMatrix, "Transfered data size"}};
    for (const auto& stat : statistics) {
        QString caption;
        onModal([&caption](QWidget* modal) {
            ASSERT_NE(qobject_cast<Stat_Dlg*>(modal), nullptr);
            caption = modal->windowTitle();
        });
        (window.*stat.slot)();
        EXPECT_EQ(caption, stat.caption);
    }
}

TEST(DialogSlots, FilterDoneHidesInBothViews) {
    OpenWindow open;
    ZLVR_anView& window = open.window;
    ASSERT_TRUE(window.isOpen());
    auto* nrview = window.findChild<NRView*>("nrview");
    auto* eventview = window.findChild<EventExpl*>("eventview");
    const int rowsBefore = labelledRowPixels(nrview);
    ASSERT_GT(rowsBefore, 0);
    QApplication::processEvents(); // pending paints of the opening do not count
    PaintCounter nrPaints(nrview), eventPaints(eventview);

    // What Cancel and Done do to the mask is the dialog test's part.
    onModal([](QWidget* modal) {
        EXPECT_EQ(modal->windowTitle(), "Rank filter");
        modal->findChildren<QCheckBox*>()[1]->setChecked(false);
        modal->findChild<QPushButton*>("done")->click();
    });
    window.slotFltProcess();
    EXPECT_EQ(window.viewFilter()->rankMask(), (std::vector<uint32_t>{1, 0, 1}));
    // Both views drew at once, the column with one row fewer.
    EXPECT_GT(nrPaints.count, 0);
    EXPECT_GT(eventPaints.count, 0);
    EXPECT_EQ(labelledRowPixels(nrview), rowsBefore * 2 / 3);

    onModal([](QWidget* modal) {
        EXPECT_EQ(modal->windowTitle(), "Node filter");
        for (QCheckBox* box : modal->findChildren<QCheckBox*>()) box->setChecked(false);
        modal->findChild<QPushButton*>("done")->click();
    });
    window.slotFltNodes();
    EXPECT_EQ(labelledRowPixels(nrview), 0);
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
