// A statistics table sorted by a click on its header, as a person sorts it:
// a synthesised press and release on the header section, then the rows'
// order read back from the table.
#include "stats/stat_dlg.h"
#include "tests/written_trace.h"

#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <sstream>

namespace {

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

void clickHeader(QHeaderView* header, int section) {
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

TEST(StatDialog, AClickOnAHeaderSortsTheRowsAndASecondTurnsThemRound) {
    const std::string path = saveWrittenTrace(runTimesWriter(), nullptr, "header_sort");
    std::ostringstream quiet;
    TTrace trace(path, quiet, quiet);
    Stat_Dlg dlg(nullptr, 2, &trace); // process times
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
    std::remove(path.c_str());
}
