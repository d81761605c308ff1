#include "model/stat_tables.h"

#include "tests/table_rows.h"
#include "tests/written_trace.h"

#include <gtest/gtest.h>

namespace {

void declare(TraceWriter& w, uint32_t rank, uint8_t host = 1) {
    w.declareProcess(rank, nodeIdFromOctets(192, 168, 0, host));
}

} // namespace

TEST(ProcessTable, TimesAndPercentagesPerRank) {
    TraceWriter w;
    declare(w, 1);
    w.shortCall(0, kFuncInit, 0, 300);
    w.longCall(0, kFuncWaitIsend, 300, 400, 4, 0, 0, kWorldComm); // a wait counts as sending
    w.longCall(0, kFuncWaitIrecv, 400, 500, 4, 0, 0, kWorldComm);
    w.shortCall(0, kFuncWait, 500, 800); // a plain wait counts nowhere
    w.shortCall(0, kFuncFinalize | kUnfinishedFlag, 800, 900);
    declare(w, 0);
    w.shortCall(0, kFuncInit, 0, 100);
    w.shortCall(0, kFuncFinalize, 950, 1000);
    declare(w, 2);
    w.shortCall(0, kFuncInit, 5, 5); // run time 0: no percentages
    declare(w, 3);
    w.shortCall(0, kFuncInit, 0, 1234567890);
    w.shortCall(0, kFuncFinalize, 12345678900, 12345678912);
    auto trace = openWrittenTrace(w);

    const StatTable t = processTable(*trace);
    EXPECT_EQ(t.columnLabels,
              (Cells{"Rank", "Time [us]", "Init [us]", "Init [%]", "Finalize [us]", "Finalize [%]",
                     "Send [us]", "Send [%]", "Recv [us]", "Recv [%]"}));
    EXPECT_TRUE(t.rowLabels.empty());
    const auto rows = allRows(t);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (Cells{"0", "1000", "100", "10", "50", "5", "0", "0", "0", "0"}));
    EXPECT_EQ(rows[1],
              (Cells{"1", "900", "300", "33.33", "0", "0", "100", "11.11", "100", "11.11"}));
    EXPECT_EQ(rows[2], (Cells{"2", "0", "0", "", "0", "", "0", "", "0", ""}));
    EXPECT_EQ(rows[3], (Cells{"3", "1.234567891e+10", "1234567890", "10", "12", "9.72e-08", "0",
                              "0", "0", "0"}));
}

TEST(NodesRanksTable, DottedAddressesByRankAndGaps) {
    TraceWriter w;
    declare(w, 2, 2);
    declare(w, 0, 1);
    declare(w, 1, 1);
    declare(w, 3, 2);
    auto trace = openWrittenTrace(w);
    trace->sortByNode();
    const StatTable t = nodesRanksTable(*trace);
    EXPECT_EQ(t.columnLabels, (Cells{"Node", "nodeIP", "Ranks"}));
    EXPECT_EQ(allRows(t), (std::vector<Cells>{{"1", "192.168.0.1", "0"},
                                              {"1", "192.168.0.1", "1"},
                                              {"0", "192.168.0.2", "2"},
                                              {"0", "192.168.0.2", "3"}}));

    // Ranks 0 and 7 in a trace of two: row 1 has no process and stays empty.
    TraceWriter gap;
    declare(gap, 0);
    declare(gap, 7);
    auto gapped = openWrittenTrace(gap);
    EXPECT_EQ(allRows(nodesRanksTable(*gapped)),
              (std::vector<Cells>{{"0", "192.168.0.1", "0"}, {"", "", ""}}));
    EXPECT_EQ(allRows(processTable(*gapped))[1], (Cells{"1", "", "", "", "", "", "", "", "", ""}));
    EXPECT_EQ(allRows(trafficTable(*gapped, TrafficWeight::Messages, 0))[1], (Cells{"", ""}));
}

TEST(CountersTable, RanksFilesAndFallbacks) {
    TraceWriter w;
    w.counter(5, makeLocation(1, 12)); // before any declaration
    declare(w, 0);
    w.shortCall(0, kFuncInit, 0, 1);
    w.counter(7, makeLocation(9, 65535)); // file beyond the table
    w.counter(3, makeLocation(2, 12));    // inside the table, unnamed
    w.counter(4294967295u, makeLocation(1, 0));
    FdbContents db;
    db.files = {{1, "a.c"}, {3, "c.c"}};
    auto trace = openWrittenTrace(w, &db);
    ASSERT_TRUE(trace->loaded());
    const StatTable t = countersTable(*trace);
    EXPECT_EQ(t.columnLabels, (Cells{"Rank", "File:Line", "Times"}));
    EXPECT_EQ(allRows(t), (std::vector<Cells>{{"0", "a.c:0", "4294967295"},
                                              {"0", ":12", "3"},
                                              {"0", "Unknown:65535", "7"},
                                              {"4294967295", "a.c:12", "5"}}));

    TTrace empty;
    EXPECT_EQ(countersTable(empty).rowCount, 0u);
    EXPECT_EQ(trafficTable(empty, TrafficWeight::Bytes, 0).columnLabels.size(), 0u);
}

// Which calls count, rooted collectives and sums past 32 bits: TrafficRows
// against the per-cell counts; the cells' text: the zlv stats tests.
TEST(TrafficTable, SectionsListAndFilter) {
    TraceWriter w;
    declare(w, 0);
    w.shortCall(0, kFuncInit, 0, 0);
    w.longCall(0, kFuncSend, 0, 1, 1, 0, 1, kWorldComm); // section 0
    w.sectionMarker(5, 2);
    w.longCall(0, kFuncSend, 3, 4, 1, 0, 1, kWorldComm);
    w.longCall(0, kFuncSend, 4, 5, 1, 0, 1, kWorldComm);
    w.sectionMarker(2, 6);
    w.longCall(0, kFuncRecv, 7, 8, 1, 0, 1, kWorldComm);
    declare(w, 1);
    w.sectionMarker(5, 0);
    w.sectionMarker(9, 1);
    FdbContents db;
    db.sections = {{1, "setup"}, {5, "solve"}};
    auto trace = openWrittenTrace(w, &db);
    ASSERT_TRUE(trace->loaded());

    std::vector<std::pair<uint32_t, std::string>> items;
    for (const auto& item : sectionItems(*trace)) items.emplace_back(item.id, item.name);
    EXPECT_EQ(items, (std::vector<std::pair<uint32_t, std::string>>{
                         {0, "ZLVR_MAIN_SECT"}, {2, ""}, {5, "solve"}, {9, "Unknown (9)"}}));

    auto cell01 = [&](uint32_t section) {
        return trafficTable(*trace, TrafficWeight::Messages, section).rowCells(0)[1];
    };
    EXPECT_EQ(cell01(0), "3/1");
    EXPECT_EQ(cell01(5), "2/0");
    EXPECT_EQ(cell01(2), "0/1");
    EXPECT_EQ(cell01(9), "0/0");
}
