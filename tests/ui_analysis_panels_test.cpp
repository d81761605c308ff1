// The Analysis panels of the main frame: their tables equal `zlv`'s tsv cell
// for cell over the whole run, a selected range and the visible range (which
// they follow as the view moves), and a double-click on a wait instance
// selects its waiting call.

#include "analysis/rank_balance.h"
#include "app/analysis_table.h"
#include "app/balance_panel.h"
#include "app/main_frame.h"
#include "app/profile_panel.h"
#include "app/sizes_panel.h"
#include "app/wait_panel.h"
#include "model/trace_document.h"
#include "stats/stat_table_model.h"
#include "tests/ui_frame_setup.h"
#include "tests/ui_view_moves.h"

#include <QComboBox>
#include <QDockWidget>
#include <QMenuBar>
#include <QProcess>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString runZlv(const QStringList& args) {
    QProcess zlv;
    zlv.start(ZLV_BINARY, args);
    zlv.waitForFinished(60000);
    return QString::fromUtf8(zlv.readAllStandardOutput());
}

// The table as tsv lines: the labels, then the rows as shown.
QStringList tableLines(const AnalysisTable* table) {
    const StatTableModel* m = table->tableModel();
    QStringList lines, labels;
    for (int c = 0; c < m->columnCount(); ++c)
        labels << m->headerData(c, Qt::Horizontal).toString();
    lines << labels.join('\t');
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m->columnCount(); ++c) cells << m->cellText(r, c);
        lines << cells.join('\t');
    }
    return lines;
}

// The bars of the chart in its picture: every part wider than two pixels shows
// its colour at its middle, where the figures put it, and the bar stops there.
void expectBarsOf(BalanceChart* chart, const std::vector<RankBalance>& balance) {
    QCOMPARE(chart->balance(), balance);
    const QImage img = chart->grab().toImage();
    long double longest = 0;
    for (const RankBalance& b : balance) {
        long double sum = b.outside;
        for (int64_t g : b.inGroup) sum += g;
        longest = std::max(longest, sum);
    }
    const int left = chart->barLeft(), width = chart->barWidth();
    auto pixelAt = [&](long double t) { return int(std::lround(t * width / longest)); };
    int parts = 0;
    for (size_t row = 0; row < balance.size(); ++row) {
        const int y = chart->barTop(int(row)) + BalanceChart::kBarHeight / 2;
        long double sum = 0;
        int from = 0;
        const auto shown = BalanceChart::partsOf(balance[row]);
        for (int part = 0; part < BalanceChart::kParts; ++part) {
            sum += shown[part];
            const int to = pixelAt(sum);
            if (to - from > 2) {
                QCOMPARE(img.pixelColor(left + (from + to) / 2, y), BalanceChart::partColour(part));
                ++parts;
            }
            from = to;
        }
        if (from < width - 1) QCOMPARE(img.pixelColor(left + from + 1, y), QColor(Qt::white));
    }
    QVERIFY(parts >= int(balance.size())); // every bar shows something
}

QStringList zlvLines(const QStringList& args) {
    return runZlv(args + QStringList{"--format", "tsv"}).split('\n', Qt::SkipEmptyParts);
}

QStringList rangeArgs(TimeRange r) {
    return {"--from", QString::number(r.from), "--to", QString::number(r.to)};
}

void showAndOpen(MainFrame& f, const QString& trace) {
    f.show();
    QVERIFY(f.view()->openTrace(trace));
}

// Selects a range of the run that cuts calls (its ends handed in reversed
// when `reversed`) and refreshes the panels.
TimeRange selectPart(MainFrame& f, bool reversed = false) {
    const int64_t end = f.view()->trace()->processAt(0)->calls.back().end;
    const int64_t from = end / 3 + 7, to = end / 2 + 3;
    selectRangeIn(f, reversed ? to : from, reversed ? from : to);
    f.refreshAnalysis();
    return {from, to};
}

int columnOf(const AnalysisTable* table, const QString& label) {
    const StatTableModel* m = table->tableModel();
    for (int c = 0; c < m->columnCount(); ++c)
        if (m->headerData(c, Qt::Horizontal).toString() == label) return c;
    return -1;
}

} // namespace

class AnalysisPanelsTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    QString trace_;

  private slots:
    void initTestCase() {
        QVERIFY(useSettingsIn(dir_, "analysis-panels-test"));
        trace_ = dir_.filePath("mixed.zlv");
        QProcess gen;
        gen.start(ZLV_BINARY, {"gen", "mixed", trace_, "--ranks", "6", "--nodes", "2"});
        QVERIFY(gen.waitForFinished(60000));
        QCOMPARE(gen.exitCode(), 0);
    }

    void menuShowsThePanels() {
        MainFrame f;
        auto* menu = f.findChild<QMenu*>("analysisMenu");
        QVERIFY(menu);
        QVERIFY(!f.profilePanel()->isVisibleTo(&f));
        f.findChild<QAction*>("profilePanelAction")->trigger();
        QVERIFY(f.profilePanel()->isVisibleTo(&f));
        f.findChild<QAction*>("waitPanelAction")->trigger();
        QVERIFY(f.waitPanel()->isVisibleTo(&f));
        // Before Help, as every menu of the frame.
        const QList<QAction*> bar = f.menuBar()->actions();
        QCOMPARE(bar.at(bar.size() - 2), menu->menuAction());
    }

    // Over the whole run and a selected range cutting calls, by process, by
    // rank and by region (the generated program's sections).
    void profileEqualsZlvOverEachSpan() {
        MainFrame f;
        showAndOpen(f, trace_);
        ProfilePanel* p = f.profilePanel();
        const std::pair<int, QStringList> bys[] = {
            {0, {}}, {1, {"--by", "rank"}}, {ProfilePanel::kByRegion, {"--by", "region"}}};
        QStringList whole;
        for (const auto& [choice, by] : bys) {
            p->byChoice()->setCurrentIndex(choice);
            const QStringList lines = zlvLines(QStringList{"profile", trace_} + by);
            QVERIFY(lines.size() > 2);
            QCOMPARE(tableLines(p->table()), lines);
            whole << lines;
        }
        // None selected leaves the table empty.
        p->spanChoice()->setCurrentIndex(int(AnalysisSpan::Selected));
        QCOMPARE(p->table()->tableModel()->rowCount(), 0);
        const QStringList range = rangeArgs(selectPart(f, true));
        QStringList cut;
        for (const auto& [choice, by] : bys) {
            p->byChoice()->setCurrentIndex(choice);
            cut << tableLines(p->table());
            QCOMPARE(tableLines(p->table()), zlvLines(QStringList{"profile", trace_} + by + range));
        }
        QVERIFY(cut != whole);

        // The visible range, followed after the view scrolls.
        p->byChoice()->setCurrentIndex(0);
        p->spanChoice()->setCurrentIndex(int(AnalysisSpan::Visible));
        for (int i = 0; i < 6; ++i) f.view()->slotvZoomIn();
        auto* hsb = f.findChild<QScrollBar*>("hsb");
        hsb->setValue(hsb->maximum() / 2);
        const QStringList before = tableLines(p->table());
        const auto [shownFrom, shownTo] = visibleMicros(f);
        const QStringList expected =
            zlvLines(QStringList{"profile", trace_} + rangeArgs({shownFrom, shownTo}));
        QVERIFY(expected != before);
        QTRY_COMPARE(tableLines(p->table()), expected);
    }

    void waitsEqualZlvAndJumpSelects() {
        MainFrame f;
        showAndOpen(f, trace_);
        WaitPanel* w = f.waitPanel();
        QCOMPARE(tableLines(w->totals()), zlvLines({"waits", trace_}));
        w->byChoice()->setCurrentIndex(1);
        QCOMPARE(tableLines(w->totals()), zlvLines({"waits", trace_, "--by", "rank"}));
        const QStringList worst = tableLines(w->worst());
        QCOMPARE(worst, zlvLines({"waits", trace_, "--list", QString::number(WaitPanel::kListed)}));
        QVERIFY(worst.size() > 3);

        // Sorted by call, the double-clicked row's own call is selected.
        f.findChild<QDockWidget*>("waitPanelDock")->show();
        AnalysisTable* t = w->worst();
        const int rankCol = columnOf(t, "Rank"), callCol = columnOf(t, "Call"),
                  startCol = columnOf(t, "Start [us]");
        t->sortByColumn(callCol, Qt::DescendingOrder);
        const StatTableModel* m = t->tableModel();
        for (int row : {0, 1}) {
            t->scrollTo(m->index(row, 0));
            const QRect cell = t->visualRect(m->index(row, 0));
            QVERIFY(!cell.isEmpty());
            // A click first, as a user's double-click starts with one.
            QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, cell.center());
            const std::optional<CallRef> sel = f.selection();
            QVERIFY(sel);
            const TTrace* trace = f.view()->trace();
            QCOMPARE(QString::number(trace->rankAt(sel->position)), m->cellText(row, rankCol));
            QCOMPARE(QString::number(sel->index), m->cellText(row, callCol));
            const TProcess* p = trace->processAt(sel->position);
            QCOMPARE(QString::number(p->calls[sel->index].start + trace->nodeOffset(p->nodeIndex)),
                     m->cellText(row, startCol));
        }
    }

    // The table as `zlv stats sizes`; a bar per row, its height in proportion
    // to the row's messages, painted where the chart's geometry puts it.
    void sizesTableAndBars() {
        MainFrame f;
        showAndOpen(f, trace_);
        SizesPanel* s = f.sizesPanel();
        const QStringList lines = zlvLines({"stats", "sizes", trace_});
        QCOMPARE(tableLines(s->table()), lines);
        QVERIFY(lines.size() > 2);
        BarChart* chart = s->chart();
        const auto& v = chart->values();
        QCOMPARE(qsizetype(chart->values().size()), lines.size() - 1);
        f.findChild<QDockWidget*>("sizesPanelDock")->show();
        QCoreApplication::processEvents();
        const QImage img = chart->grab().toImage();
        const int w = img.width(), h = img.height();
        QVERIFY(w >= int(v.size()) * 4 && h > 10);
        const uint64_t largest = *std::max_element(v.begin(), v.end());
        const int slot = w / int(v.size());
        for (size_t i = 0; i < v.size(); ++i) {
            QCOMPARE(QString::number(v[i]), lines[qsizetype(i) + 1].split('\t')[1]);
            const int x = int(i) * slot + slot / 2 - 1;
            const QColor bottom = img.pixelColor(x, h - 1);
            QCOMPARE(bottom == BarChart::barColour(), v[i] > 0);
            if (v[i] == largest)
                QCOMPARE(img.pixelColor(x, 0), BarChart::barColour());
            else
                QCOMPARE(img.pixelColor(x, 0), QColor(Qt::white));
        }
    }

    void balanceBarsFollowTheFiguresAndTheSpan() {
        MainFrame f;
        f.resize(900, 700);
        showAndOpen(f, trace_);
        f.findChild<QAction*>("balancePanelAction")->trigger();
        QCoreApplication::processEvents();
        BalancePanel* p = f.balancePanel();
        const TTrace& trace = *f.view()->trace();
        QCOMPARE(p->chart()->balance().size(), size_t{6});
        expectBarsOf(p->chart(), rankBalance(trace, {}));

        p->spanChoice()->setCurrentIndex(int(AnalysisSpan::Selected));
        QVERIFY(p->chart()->balance().empty());
        const std::vector<RankBalance> cut = rankBalance(trace, {selectPart(f), 0, {}});
        QVERIFY(cut != rankBalance(trace, {}));
        expectBarsOf(p->chart(), cut);
    }

    void closingEmptiesThePanels() {
        MainFrame f;
        QVERIFY(f.view()->openTrace(trace_));
        QVERIFY(f.profilePanel()->table()->tableModel()->rowCount() > 0);
        f.view()->slotfClose();
        QCOMPARE(f.profilePanel()->table()->tableModel()->rowCount(), 0);
        QCOMPARE(f.waitPanel()->worst()->tableModel()->rowCount(), 0);
        QVERIFY(f.sizesPanel()->chart()->values().empty());
        QVERIFY(f.balancePanel()->chart()->balance().empty());
    }
};

QTEST_MAIN(AnalysisPanelsTest)
#include "ui_analysis_panels_test.moc"
