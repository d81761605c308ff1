#include "model/check_lines.h"

#include "tests/written_trace.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

const Lines kCleanRun = {"Check for terminations...",
                         "Done",
                         "Check for communicators...",
                         "Done",
                         "Check send/receive correspondence...",
                         "Done",
                         "Checking complete"};

} // namespace

// The framing of a clean run, of chosen checks and of a second run: the CLI
// and dialog tests.
TEST(CheckLines, TerminationFollowsRowOrderAndPrintsRanks) {
    // Declared so that sorting by node puts rank 2 first, then 0, then 1.
    // Every node has an MPI_Init, so that the trace loads with its database.
    TraceWriter w;
    w.declareProcess(2, nodeIdFromOctets(10, 0, 0, 3));
    w.shortCall(makeLocation(1, 3), kFuncInit, 0, 10);
    w.longCall(makeLocation(7, 9), kFuncSend | kUnfinishedFlag, 5, 8, 4, 0, 0, kWorldComm);
    w.shortCall(makeLocation(1, 42), kFuncRecv | kUnfinishedFlag, 20, 30);
    w.declareProcess(0, nodeIdFromOctets(10, 0, 0, 1));
    w.shortCall(makeLocation(1, 1), kFuncInit, 0, 10);
    // An unfinished call that is not the last one is not a finding.
    w.shortCall(makeLocation(1, 1), kFuncWait | kUnfinishedFlag, 0, 10);
    w.shortCall(makeLocation(9, 77), 0x7FF | kUnfinishedFlag, 10, 20);
    w.declareProcess(1, nodeIdFromOctets(10, 0, 0, 1));
    FdbContents db;
    db.files = {{1, "main.c"}};
    auto trace = openWrittenTrace(w, &db);
    ASSERT_TRUE(trace->loaded());
    ASSERT_EQ(trace->rankAt(0), 2);

    Lines lines;
    EXPECT_EQ(checkTerminations(*trace, lines), 3u);
    EXPECT_EQ(
        lines,
        (Lines{"Function MPI_Recv was termitated for idle", "\tProcess rank 2. Location main.c:42",
               "Function Unknown was termitated for idle", "\tProcess rank 0. Location Unknown:77",
               "\tProcess rank 1 has no functions"}));

    trace->sortByRank();
    lines.clear();
    checkTerminations(*trace, lines);
    EXPECT_EQ(lines.front(), "Function Unknown was termitated for idle");
    EXPECT_EQ(lines.back(), "\tProcess rank 2. Location main.c:42");
}

TEST(CheckLines, EveryUnfreedCommunicatorIsReportedBeyond256) {
    TraceWriter w;
    w.declareProcess(0, nodeIdFromOctets(10, 0, 0, 1));
    w.shortCall(0, kFuncInit, 0, 0);
    const uint32_t members[] = {0};
    const uint32_t created = 300;
    for (uint32_t i = 0; i < created; ++i)
        w.commCall(makeLocation(1, 100 + i), kFuncCommDup, i, i, 1000 + i, members);
    // Freed ones are not reported; the free names the communicator by identifier.
    w.commCall(makeLocation(1, 1), kFuncCommFree, 400, 401, 1000, {});
    w.commCall(makeLocation(1, 2), kFuncCommFree, 402, 403, 1299, {});
    w.declareProcess(1, nodeIdFromOctets(10, 0, 0, 1));
    w.commCall(makeLocation(2, 7), kFuncCommSplit, 0, 1, 5000, members);
    FdbContents db;
    db.files = {{1, "comm.c"}};
    auto trace = openWrittenTrace(w, &db);
    ASSERT_TRUE(trace->loaded());

    Lines lines;
    EXPECT_EQ(checkCommunicators(*trace, lines), created - 2 + 1);
    ASSERT_EQ(lines.size(), created - 2 + 1);
    EXPECT_EQ(lines.front(), "In process with rank 0 new communicator was created (1001) at "
                             "comm.c:101, , but it was not destroyed");
    EXPECT_EQ(lines[created - 3], "In process with rank 0 new communicator was created (1298) at "
                                  "comm.c:398, , but it was not destroyed");
    EXPECT_EQ(lines.back(), "In process with rank 1 new communicator was created (5000) at "
                            "Unknown:7, , but it was not destroyed");
}

// Rank gaps in the send/receive check: TrafficRows against per-cell counts.
TEST(CheckLines, EmptyTraceGivesTheFramingAlone) {
    EXPECT_EQ(runChecks(TTrace{}, {}).lines, kCleanRun);
}

TEST(CheckLines, FindingLinesNameTheirProcess) {
    using T = CheckLineTarget;
    EXPECT_EQ(checkLineTarget("\tProcess rank 12 has no functions"), (T{12, false}));
    EXPECT_EQ(checkLineTarget("\tProcess rank 3. Location main.c:7"), (T{3, true}));
    EXPECT_EQ(checkLineTarget("In process with rank 0 new communicator was created (5) at x:1, , "
                              "but it was not destroyed"),
              (T{0, false}));
    EXPECT_EQ(
        checkLineTarget("\tNumber of sent messages not equal to number of receive one (4 to 9)"),
        (T{4, false}));
    for (const char* other : {"Check for terminations...", "Done", "Checking complete",
                              "Function MPI_Recv was termitated for idle", "\tProcess rank x",
                              "\tProcess rank 99999999999 has no functions"})
        EXPECT_EQ(checkLineTarget(other), std::nullopt) << other;
}
