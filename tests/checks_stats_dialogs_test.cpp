// The check, filter and statistics dialogs under the offscreen platform:
// widgets found by object name, their texts and states, the masks written on
// "Done" only, and the statistics tables equal to `zlv stats` cell for cell.
#include "dialogs/check_dlg.h"
#include "dialogs/filter_mask_edit.h"
#include "model/stat_tables.h"
#include "stats/stat_dlg.h"
#include "stats/stat_table_model.h"
#include "tests/stat_table_lines.h"
#include "tests/ui_test_helpers.h"
#include "tests/written_trace.h"
#include "tests/zlv_tool_run.h"
#include "view/view_filter.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

// Failures show QString values as text.
void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

// Four ranks on two nodes: rank 1 sends to 2 in section 5, rank 3 ends
// inside an unfinished call, rank 0 leaks a communicator, rank 2 has a counter.
TraceWriter sampleWriter() {
    TraceWriter w;
    const uint32_t members[] = {0, 1};
    for (uint32_t r = 0; r < 4; ++r) {
        w.declareProcess(r, nodeIdFromOctets(192, 168, 0, r < 2 ? 1 : 2));
        w.shortCall(makeLocation(1, 3), kFuncInit, 0, 100);
        if (r == 0) w.commCall(makeLocation(1, 8), kFuncCommSplit, 100, 110, 400, members);
        w.sectionMarker(r == 1 ? 5 : 2, 120);
        if (r == 1) w.longCall(makeLocation(1, 9), kFuncSend, 130, 160, 64, 0, 2, kWorldComm);
        if (r == 2) w.longCall(makeLocation(1, 9), kFuncRecv, 130, 170, 64, 0, 1, kWorldComm);
        if (r == 2) w.counter(9, makeLocation(1, 30));
        w.shortCall(makeLocation(1, 12), r == 3 ? kFuncRecv | kUnfinishedFlag : kFuncFinalize, 200,
                    300);
    }
    return w;
}

const FdbContents& sampleDb() {
    static const FdbContents db{.sections = {{5, "solve"}}, .files = {{1, "main.c"}}};
    return db;
}

// A written trace (sampleWriter() with sampleDb() by default) as files, loaded.
struct SampleTrace {
    explicit SampleTrace(const std::string& stem, const TraceWriter& w = sampleWriter(),
                         const FdbContents* db = &sampleDb())
        : path(saveWrittenTrace(w, db, stem)), trace(path, quiet, quiet) {}
    std::string path;
    std::ostringstream quiet;
    TTrace trace;
};

// Ranks 0 to 4 on one node, each running from 0 to the end given, whose
// run times a sort of their texts would put in another order.
constexpr int64_t kEnds[] = {900, 100, 10000, 40, 5000};

TraceWriter runTimesWriter() {
    TraceWriter w;
    for (uint32_t r = 0; r < std::size(kEnds); ++r) {
        w.declareProcess(r, nodeIdFromOctets(10, 0, 0, 1));
        w.shortCall(makeLocation(1, 1), kFuncInit, 0, 0);
        w.shortCall(makeLocation(1, 2), kFuncFinalize, kEnds[r] / 2, kEnds[r]);
    }
    return w;
}

// An item of a combo box chosen as a person chooses it.
void choose(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
}

void clickHeader(QHeaderView* header, int section) {
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

TEST(CheckDialog, WidgetsAndRepeatedRuns) {
    SampleTrace s("check_dialog");
    Check_Dlg dlg(nullptr, &s.trace);
    EXPECT_EQ(dlg.windowTitle(), "Checking");
    EXPECT_TRUE(dlg.isModal());

    auto* tabs = dlg.findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ((QStringList{tabs->tabText(0), tabs->tabText(1)}),
              (QStringList{"Checking", "Config"}));
    EXPECT_EQ(dlg.findChild<QGroupBox*>("gb")->title(), "Check for");
    const char* names[] = {"cb_term", "cb_comm", "cb_srpr"};
    const char* texts[] = {"Abnormal termination", "Communicators", "send/recv"};
    for (int i = 0; i < 3; ++i) {
        auto* box = dlg.findChild<QCheckBox*>(names[i]);
        ASSERT_NE(box, nullptr) << names[i];
        EXPECT_EQ(box->text(), texts[i]);
        EXPECT_TRUE(box->isChecked());
    }

    auto* output = dlg.findChild<QPlainTextEdit*>("output");
    auto* start = dlg.findChild<QPushButton*>("start");
    ASSERT_TRUE(output && start);
    EXPECT_TRUE(output->isReadOnly() && output->toPlainText().isEmpty());
    EXPECT_EQ(start->text(), "Start");

    start->click();
    const QString first = output->toPlainText();
    const QStringList lines = first.split('\n');
    ASSERT_EQ(lines.size(), 10);
    EXPECT_EQ((QStringList{lines[1], lines[2], lines[5], lines[9]}),
              (QStringList{"Function MPI_Recv was termitated for idle",
                           "\tProcess rank 3. Location main.c:12",
                           "In process with rank 0 new communicator was created (400) at "
                           "main.c:8, , but it was not destroyed",
                           "Checking complete"}));
    start->click();
    EXPECT_EQ(output->toPlainText(), first);
    // The tool prints the same lines.
    EXPECT_EQ(zlv("check " + s.path).out, first.toStdString() + "\n");

    for (const char* name : names) dlg.findChild<QCheckBox*>(name)->setChecked(false);
    start->click();
    EXPECT_EQ(output->toPlainText(), "Checking complete");
}

// The boxes show the mask as it is; "Done" writes the choice, "Cancel" leaves it.
TEST(FilterDialog, BoxesShowTheMaskDoneWritesItAndCancelLeavesIt) {
    ViewFilter filter(2, 4);
    onNextModal([](QWidget* dlg) {
        EXPECT_EQ(dlg->windowTitle(), "Rank filter");
        auto boxes = dlg->findChildren<QCheckBox*>();
        EXPECT_EQ(boxes.size(), 4);
        for (int i = 0; i < boxes.size(); ++i) {
            EXPECT_EQ(boxes[i]->text(), QString("Rank %1").arg(i));
            EXPECT_TRUE(boxes[i]->isChecked() && boxes[i]->isVisible()) << i;
        }
        if (boxes.size() > 2) boxes[2]->setChecked(false);
        dlg->findChild<QPushButton*>("done")->click();
    });
    EXPECT_TRUE(editFilterMask(nullptr, filter, FilterMask::Ranks));
    EXPECT_EQ(filter.rankMask(), (std::vector<uint32_t>{1, 1, 0, 1}));
    EXPECT_EQ(filter.nodeMask(), (std::vector<uint32_t>{1, 1}));

    onNextModal([](QWidget* dlg) {
        auto boxes = dlg->findChildren<QCheckBox*>();
        EXPECT_EQ((QList<bool>{boxes[1]->isChecked(), boxes[2]->isChecked()}),
                  (QList<bool>{true, false})); // the last choice is shown again
        boxes[0]->setChecked(false);
        dlg->findChild<QPushButton*>("cancel")->click();
    });
    EXPECT_FALSE(editFilterMask(nullptr, filter, FilterMask::Ranks));
    EXPECT_EQ(filter.rankMask(), (std::vector<uint32_t>{1, 1, 0, 1}));

    onNextModal([](QWidget* dlg) {
        EXPECT_EQ(dlg->windowTitle(), "Node filter");
        for (QCheckBox* box : dlg->findChildren<QCheckBox*>()) box->setChecked(false);
        dlg->findChild<QPushButton*>("done")->click();
    });
    EXPECT_TRUE(editFilterMask(nullptr, filter, FilterMask::Nodes));
    EXPECT_EQ(filter.nodeMask(), (std::vector<uint32_t>{0, 0}));
}

// The section choice of a matrix recomputes it: tables equal to the tool's
// --section; which cells a section counts is the stat tables' test.
TEST(StatDialog, EveryKindAndSectionMatchesTheToolCellForCell) {
    SampleTrace s("dialog");
    ASSERT_TRUE(s.trace.loaded());
    const char* kinds[] = {"nodes", "process", "sendrecv", "counters", "datasize"};
    const char* captions[] = {"Nodes and Ranks", "Process", "Send Receive operations", "Counters",
                              "Transfered data size"};
    for (int kind = 1; kind <= 5; ++kind) {
        SCOPED_TRACE(kinds[kind - 1]);
        Stat_Dlg dlg(nullptr, kind, &s.trace);
        EXPECT_EQ(dlg.windowTitle(), captions[kind - 1]);
        const bool matrix = kind == 3 || kind == 5;
        EXPECT_EQ(dlg.findChild<QComboBox*>() != nullptr, matrix);
        auto* view = dlg.findChild<QTableView*>("table");
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->verticalHeader()->isHidden(), !matrix);
        const std::string tool = std::string("stats ") + kinds[kind - 1] + " " + s.path;
        const QStringList whole = tsvLines(zlv(tool + " --format tsv").out);
        EXPECT_EQ(tableLines(view->model(), matrix), whole);
        if (!matrix) continue;
        auto* sections = dlg.findChild<QComboBox*>("sections");
        ASSERT_NE(sections, nullptr);
        QStringList texts; // section 2 lies inside the table, unnamed
        for (int i = 0; i < sections->count(); ++i) texts << sections->itemText(i);
        EXPECT_EQ(texts, (QStringList{"ZLVR_MAIN_SECT", "", "solve"}));
        EXPECT_EQ(sections->currentIndex(), 0);
        choose(sections, 2);
        const QStringList solve = tsvLines(zlv(tool + " --format tsv --section 5").out);
        EXPECT_NE(solve, whole);
        EXPECT_EQ(tableLines(view->model(), matrix), solve);
        emit sections->activated(0);
        EXPECT_EQ(tableLines(view->model(), matrix), whole);
    }
}

TEST(StatDialog, RangeChoiceMatchesTheToolOverTheSameRange) {
    SampleTrace s("ranges");
    TTrace& trace = s.trace;
    ASSERT_TRUE(trace.loaded());
    // Both ranges begin after the one send and receive start (the matrices
    // count nothing) and cut the processes' calls differently.
    const int64_t t0 = trace.startTime();
    const StatRanges ranges{{t0 + 150, t0 + 400}, TimeRange{t0 + 135, t0 + 250}};
    const auto tool = [&](const char* kind, std::optional<TimeRange> range,
                          const std::string& more = "") {
        std::string args = std::string("stats ") + kind + " " + s.path + " --format tsv" + more;
        if (range)
            args += " --from " + std::to_string(range->from) + " --to " + std::to_string(range->to);
        return tsvLines(zlv(args).out);
    };

    const struct {
        int kind;
        const char* name;
    } ranged[] = {{2, "process"}, {3, "sendrecv"}, {5, "datasize"}};
    for (const auto& k : ranged) {
        SCOPED_TRACE(k.name);
        const bool matrix = k.kind != 2;
        Stat_Dlg dlg(nullptr, k.kind, &trace, ranges);
        QComboBox* choice = dlg.rangeSelector();
        ASSERT_NE(choice, nullptr);
        EXPECT_EQ(dlg.findChild<QComboBox*>("range"), choice);
        EXPECT_EQ(choice->count(), 3);
        EXPECT_EQ(choice->currentIndex(), 0); // the whole run, as without a choice
        const QAbstractItemModel* model = dlg.table()->model();
        EXPECT_EQ(tableLines(model, matrix), tool(k.name, std::nullopt));

        // Each range's table is the tool's over that range.
        choose(choice, 2);
        EXPECT_EQ(tableLines(model, matrix), tool(k.name, ranges.selected));
        choose(choice, 1);
        if (!matrix) {
            EXPECT_NE(tool(k.name, ranges.visible), tool(k.name, ranges.selected));
        }
        EXPECT_EQ(tableLines(model, matrix), tool(k.name, ranges.visible));
        if (matrix) { // a section on top of the range
            choose(dlg.sectionSelector(), 2);
            EXPECT_EQ(tableLines(model, matrix), tool(k.name, ranges.visible, " --section 5"));
            emit dlg.sectionSelector()->activated(0);
            // The legend's scale ends at the most sent in the range: nothing here.
            EXPECT_TRUE(dlg.legend()->text().endsWith("&nbsp;0</td></tr></table>"))
                << dlg.legend()->text().toStdString();
        }
        choose(choice, 0);
        EXPECT_EQ(tableLines(model, matrix), tool(k.name, std::nullopt));
        if (k.kind == 5) {
            EXPECT_TRUE(dlg.legend()->text().endsWith("&nbsp;64</td></tr></table>"));
        }
    }

    // No range restricts the other kinds: no choice. Without a selected
    // range its item cannot be chosen and choosing it changes nothing.
    for (int kind : {1, 4})
        EXPECT_EQ(Stat_Dlg(nullptr, kind, &trace, ranges).rangeSelector(), nullptr);
    EXPECT_EQ(Stat_Dlg(nullptr, 2, &trace).rangeSelector(), nullptr);
    Stat_Dlg dlg(nullptr, 2, &trace, StatRanges{ranges.visible, std::nullopt});
    const auto* items = qobject_cast<const QStandardItemModel*>(dlg.rangeSelector()->model());
    ASSERT_NE(items, nullptr);
    EXPECT_FALSE(items->item(2)->isEnabled());
    EXPECT_TRUE(items->item(1)->isEnabled());
    emit dlg.rangeSelector()->activated(2);
    EXPECT_EQ(tableLines(dlg.table()->model(), false), tool("process", std::nullopt));
}

TEST(StatDialog, LargeMatrixRowsOnDemand) {
    // A ring of 400 ranks: 160000 cells, made only for the rows asked for.
    TraceWriter w;
    const uint32_t n = 400;
    for (uint32_t r = 0; r < n; ++r) {
        w.declareProcess(r, 1);
        w.shortCall(0, kFuncInit, 0, 1);
        w.longCall(0, kFuncSend, 1, 2, 8, 0, static_cast<int32_t>((r + 1) % n), kWorldComm);
        w.longCall(0, kFuncRecv, 2, 3, 8, 0, static_cast<int32_t>((r + n - 1) % n), kWorldComm);
    }
    auto trace = openWrittenTrace(w);
    Stat_Dlg dlg(nullptr, 3, trace.get());
    const QAbstractItemModel* model = dlg.findChild<QTableView*>("table")->model();
    ASSERT_EQ(std::pair(model->rowCount(), model->columnCount()), std::pair(400, 400));
    auto cell = [&](int r, int c) { return model->index(r, c).data().toString(); };
    EXPECT_EQ((QStringList{cell(399, 0), cell(399, 398), cell(399, 1)}),
              (QStringList{"1/0", "0/1", "0/0"}));
    EXPECT_EQ(model->headerData(399, Qt::Vertical).toString(), "399");
}

TEST(CheckDialog, DoubleClickOnAFindingNamesItsProcess) {
    SampleTrace s("check_jump");
    Check_Dlg dlg(nullptr, &s.trace);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    dlg.findChild<QPushButton*>("start")->click();
    auto* output = dlg.findChild<QPlainTextEdit*>("output");
    const QStringList lines = output->toPlainText().split('\n');
    const int heading = static_cast<int>(lines.indexOf("Check for terminations..."));
    const auto lineCentre = [&](int n) {
        QTextCursor at(output->document()->findBlockByNumber(n));
        return output->cursorRect(at).center();
    };
    QTest::mouseDClick(output->viewport(), Qt::LeftButton, {}, lineCentre(heading));
    EXPECT_TRUE(dlg.isVisible()); // a heading names nothing
    EXPECT_FALSE(dlg.target());

    // Rank 3 ended inside an unfinished call: its line names that call.
    const int ended = static_cast<int>(lines.indexOf(QRegularExpression("\tProcess rank 3\\..*")));
    ASSERT_GE(ended, 0);
    QTest::mouseDClick(output->viewport(), Qt::LeftButton, {}, lineCentre(ended));
    ASSERT_TRUE(dlg.target());
    EXPECT_EQ(std::pair(dlg.target()->rank, dlg.target()->lastCall), std::pair(3, true));
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST(StatDialog, TablesSortCopyExportAndColour) {
    SampleTrace s("tables");
    Stat_Dlg dlg(nullptr, 5, &s.trace);
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    auto* view = dlg.findChild<QTableView*>("table");
    auto* model = static_cast<StatTableModel*>(view->model());
    QHeaderView* header = view->horizontalHeader();
    // Opened in the table's own order, with every column in sight.
    EXPECT_GE(view->viewport()->width(), header->length());
    const auto rowLabels = [&] {
        QStringList labels;
        for (int r = 0; r < model->rowCount(); ++r)
            labels << model->headerData(r, Qt::Vertical).toString();
        return labels;
    };
    EXPECT_EQ(rowLabels(), (QStringList{"0", "1", "2", "3"}));

    // Column 2's header as a click sets it sorts by what was sent to rank
    // 2: only rank 1 sent (64 bytes); equal cells keep their order.
    header->setSortIndicator(2, Qt::AscendingOrder);
    EXPECT_EQ(rowLabels(), (QStringList{"0", "2", "3", "1"}));
    header->setSortIndicator(2, Qt::DescendingOrder);
    EXPECT_EQ(rowLabels(), (QStringList{"1", "0", "2", "3"}));

    // Rank 1's row: its cells toward ranks 1 and 2, copied as TSV.
    const int row1 = static_cast<int>(rowLabels().indexOf("1"));
    view->selectionModel()->select(QItemSelection(model->index(row1, 1), model->index(row1, 2)),
                                   QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(dlg.selectionText(), "0/0\t64/0\n");
    view->setFocus();
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "0/0\t64/0\n");

    // Numbers right-aligned; cells coloured by what they sent, to the most.
    const QModelIndex sent = model->index(row1, 2);
    EXPECT_TRUE(sent.data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
    EXPECT_EQ(sent.data(Qt::BackgroundRole).value<QColor>(), StatTableModel::heatColour(1.0));
    const int row2 = static_cast<int>(rowLabels().indexOf("2"));
    EXPECT_EQ(model->index(row2, 1).data().toString(), "0/64");
    EXPECT_EQ(model->index(row2, 1).data(Qt::BackgroundRole).value<QColor>(), QColor(Qt::white));
    ASSERT_NE(dlg.legend(), nullptr);
    EXPECT_TRUE(dlg.legend()->text().startsWith("Rows send, columns receive"));
    EXPECT_TRUE(dlg.legend()->text().contains("bytes"));

    // Export: the tool's CSV, whatever the sort.
    const std::string csv = s.path + ".csv";
    ASSERT_TRUE(dlg.exportCsv(QString::fromStdString(csv)));
    std::ifstream in(csv, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(written, zlv("stats datasize " + s.path + " --format csv").out);
    EXPECT_FALSE(dlg.exportCsv("/nonexistent-dir/x.csv"));
    std::remove(csv.c_str());
}

// A table sorted by a click on its header, as a person sorts it.
TEST(StatDialog, AClickOnAHeaderSortsTheRowsAndASecondTurnsThemRound) {
    SampleTrace s("header_sort", runTimesWriter(), nullptr);
    Stat_Dlg dlg(nullptr, 2, &s.trace); // process times
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    auto* view = dlg.findChild<QTableView*>("table");
    ASSERT_NE(view, nullptr);
    QHeaderView* header = view->horizontalHeader();
    ASSERT_TRUE(header->model()->headerData(1, Qt::Horizontal).toString().startsWith("Time"));
    const auto column = [&](int c) {
        QStringList cells;
        for (int r = 0; r < view->model()->rowCount(); ++r)
            cells << view->model()->index(r, c).data().toString().trimmed();
        return cells;
    };
    EXPECT_EQ(column(0), (QStringList{"0", "1", "2", "3", "4"}));

    // By run time, as numbers: 40, 100, 900, 5000, 10000.
    clickHeader(header, 1);
    EXPECT_EQ(header->sortIndicatorSection(), 1);
    EXPECT_EQ(column(0), (QStringList{"3", "1", "0", "4", "2"}));
    EXPECT_EQ(column(1), (QStringList{"40", "100", "900", "5000", "10000"}));
    clickHeader(header, 1);
    EXPECT_EQ(column(0), (QStringList{"2", "4", "0", "1", "3"}));
    // Another column: back to rank order.
    clickHeader(header, 0);
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(column(0).first(), header->sortIndicatorOrder() == Qt::AscendingOrder ? "0" : "4");
    std::remove(s.path.c_str());
}

int main(int argc, char** argv) {
    // Listing the tests at build time also creates the application.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
