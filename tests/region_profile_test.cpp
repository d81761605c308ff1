// The region profile worked out by hand: nested and recursive user regions
// of an OTF2 archive, the sections of a .zlv trace, ranges cutting both; and
// visits of any times made to nest.

#include "analysis/analysis_tables.h"
#include "analysis/region_profile.h"
#include "analysis/scoped_calls.h"
#include "model/region_visits.h"
#include "otf2/open_trace.h"
#include "tests/otf2_test_archives.h"
#include "tests/table_rows.h"
#include "tests/written_trace.h"

#include <otf2/otf2.h>

#include <gtest/gtest.h>

#include <sstream>

namespace {

using Rows = std::vector<RegionFigures>;

// A range given in raw times of the trace's one node.
TimeRange raw(const TTrace& t, int64_t from, int64_t to) {
    return {from + t.nodeOffset(0), to + t.nodeOffset(0)};
}

// Both ways of answering a range give the same profile; that profile.
RegionProfile inRange(const TTrace& t, AnalysisScope scope) {
    const TraceWindows windows(t);
    const RegionProfile walked = regionProfile(t, scope);
    EXPECT_EQ(regionProfile(t, scope, &windows), walked);
    return walked;
}

// Rank 0: main [0,100] holds MPI_Init [1,10], MPI_Finalize [90,95] and
// solver [20,80]; solver holds halo [30,50] (an MPI_Send [35,40] and pack
// [42,44], which makes no call), an MPI_Barrier [60,70] and itself again
// [72,78] around an MPI_Barrier [73,75]. Rank 1: main [0,100] with Init and
// Finalize as rank 0 and compute [20,60] around an MPI_Sendrecv [30,40],
// which becomes two calls spanning the same time.
std::string nestedArchive() {
    TestArchive a(freshArchiveDir("region_profile"), 2);
    for (uint32_t r = 0; r < 2; ++r) {
        a.enter(r, 0, "main");
        a.call(r, 1, 10, "MPI_Init");
    }
    a.enter(0, 20, "solver");
    a.enter(0, 30, "halo");
    a.send(0, 35, 40, 1, 0, 8);
    a.call(0, 42, 44, "pack");
    a.leave(0, 50, "halo");
    a.call(0, 60, 70, "MPI_Barrier");
    a.enter(0, 72, "solver");
    a.call(0, 73, 75, "MPI_Barrier");
    a.leave(0, 78, "solver");
    a.leave(0, 80, "solver");

    a.enter(1, 20, "compute");
    a.enter(1, 30, "MPI_Sendrecv");
    OTF2_EvtWriter_MpiSend(a.ev(1), nullptr, 30, 0, TestArchive::kWorld, 1, 8);
    OTF2_EvtWriter_MpiRecv(a.ev(1), nullptr, 40, 0, TestArchive::kWorld, 0, 8);
    a.leave(1, 40, "MPI_Sendrecv");
    a.leave(1, 60, "compute");
    for (uint32_t r = 0; r < 2; ++r) {
        a.call(r, 90, 95, "MPI_Finalize");
        a.leave(r, 100, "main");
    }
    a.close();
    return a.path();
}

std::unique_ptr<TTrace> openArchive(const std::string& path) {
    std::ostringstream db, errors;
    auto t = openTraceFile(path, db, errors);
    EXPECT_TRUE(t && t->loaded()) << errors.str();
    return t;
}

} // namespace

TEST(RegionProfile, NestedAndRecursiveRegionsOfAnArchive) {
    const auto trace = openArchive(nestedArchive());
    const TTrace& t = *trace;
    // main: 100 less solver 60 and the 14 µs of Init and Finalize. Outer
    // solver: 60 less halo 20, the inner solver 6 and the barrier 10; the inner
    // one 6 less its barrier 2, its inclusive time already in the outer one's.
    // compute: 40 less the 10 µs the two parts of the Sendrecv share.
    const RegionProfile whole = regionProfile(t, {});
    EXPECT_EQ(whole.regions, (Rows{{"main", 2, 200, 72},
                                   {"compute", 1, 40, 30},
                                   {"solver", 2, 60, 28},
                                   {"halo", 1, 20, 13},
                                   {"pack", 1, 2, 2}}));
    EXPECT_EQ(whole.runTimeSum, 188); // 1 .. 95 on each rank
    EXPECT_EQ(allRows(regionProfileTable(whole))[2],
              (Cells{"solver", "2", "60", "28", "30.00", "31.91", "14.89"}));

    // [35, 74) cuts main, both solvers, halo and the last barrier.
    EXPECT_EQ(inRange(t, {raw(t, 35, 74), 0, {}}).regions, (Rows{{"compute", 1, 25, 20},
                                                                 {"main", 2, 78, 14},
                                                                 {"solver", 2, 39, 13},
                                                                 {"halo", 1, 15, 8},
                                                                 {"pack", 1, 2, 2}}));
    // From 45 on, pack is gone, and so is rank 1 with --rank 0.
    const RegionProfile late = inRange(t, {raw(t, 45, 74), 0, {0}});
    EXPECT_EQ(late.regions, (Rows{{"solver", 2, 29, 13}, {"halo", 1, 5, 5}, {"main", 1, 29, 0}}));
    EXPECT_EQ(late.runTimeSum, 29);
}

TEST(RegionProfile, SectionsOfAZlvTraceFromMarkerToMarker) {
    TraceWriter w;
    w.declareProcess(0, testNode(1));
    w.shortCall(0, kFuncInit, 0, 100);
    w.sectionMarker(5, 200);
    w.longCall(0, kFuncRecv, 300, 400, 8, 0, 1, kWorldComm);
    w.sectionMarker(7, 500);
    w.longCall(0, kFuncSend, 600, 650, 8, 0, 1, kWorldComm);
    w.sectionMarker(5, 700);
    w.sectionMarker(5, 750); // the section current already: no new visit
    w.longCall(0, kFuncSend, 800, 820, 8, 0, 1, kWorldComm);
    w.sectionMarker(0, 850);
    w.shortCall(0, kFuncFinalize, 900, 1000);
    w.declareProcess(1, testNode(1));
    w.shortCall(0, kFuncInit, 0, 100);
    w.sectionMarker(7, 100); // never switched back: to the end of the last call
    w.longCall(0, kFuncRecv, 150, 160, 8, 0, 0, kWorldComm);
    w.shortCall(0, kFuncFinalize, 900, 1000);
    const FdbContents db{{{5, "solver"}, {7, "io"}}, {}};
    const auto trace = openWrittenTrace(w, &db);
    ASSERT_TRUE(trace->loaded());
    const TTrace& t = *trace;

    const RegionProfile whole = regionProfile(t, {});
    EXPECT_EQ(whole.regions, (Rows{{"io", 2, 1100, 940}, {"solver", 2, 450, 330}}));
    EXPECT_EQ(allRows(regionProfileTable(whole)).front(),
              (Cells{"io", "2", "1100", "940", "550.00", "55.00", "47.00"}));
    // [600, 760) cuts io on both ranks and the second solver visit only.
    EXPECT_EQ(inRange(t, {raw(t, 600, 760), 0, {}}).regions,
              (Rows{{"io", 2, 260, 210}, {"solver", 1, 60, 60}}));
    // Without sections there are no rows.
    EXPECT_TRUE(regionProfile(t, {raw(t, 0, 150), 0, {0}}).regions.empty());
}

TEST(RegionVisits, AnyTimesAreMadeToNest) {
    // A child entered before its parent and left after it, a sibling entered
    // inside the one before, a depth skipping levels, a leave before the entry.
    std::vector<TRegionVisit> v = {
        {100, 200, 1, 0}, {90, 250, 2, 1}, {150, 160, 3, 1}, {170, 180, 4, 5}, {300, 250, 5, 0}};
    nestRegionVisits(v);
    EXPECT_EQ(v, (std::vector<TRegionVisit>{{100, 200, 1, 0},
                                            {100, 200, 2, 1},
                                            {200, 200, 3, 1},
                                            {200, 200, 4, 2},
                                            {300, 300, 5, 0}}));
}
