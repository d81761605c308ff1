// Node clocks: time 0 at the end of MPI_Init, per node; what a missing Init does.

#include "tests/test_support.h"

#include <gtest/gtest.h>

TEST(AlignClocks, SameNodeIsNeverComparedAndLastInitDecides) {
    TraceWriter w;
    w.declareProcess(0, testNode(1));
    w.shortCall(0, kFuncInit, 0, 300);
    w.longCall(0, kFuncSend, 400, 900, 8, 1, 1, kWorldComm);
    w.declareProcess(1, testNode(1));
    w.shortCall(0, kFuncInit, 0, 200); // last of the node: decides
    w.longCall(0, kFuncRecv, 210, 220, 8, 1, 0, kWorldComm);
    const auto r = loadBytes(w.bytes());
    ASSERT_TRUE(r.trace->loaded());
    ASSERT_EQ(r.trace->nodeClocks.size(), 1u);
    EXPECT_EQ(r.trace->nodeOffset(0), -200);
}

TEST(AlignClocks, MessagesForMissingInits) {
    TraceWriter w;
    w.declareProcess(0, testNode(1));
    w.shortCall(0, kFuncInit, 0, 0);  // Init at raw 0 still counts
    w.declareProcess(1, testNode(1)); // no calls at all
    w.declareProcess(2, testNode(2));
    w.shortCall(0, kFuncSend, 0, 10); // first call is not Init
    w.declareProcess(3, testNode(3));
    w.shortCall(0, kFuncInit, 0, 50);
    const auto r = loadBytes(w.bytes());
    EXPECT_FALSE(r.trace->loaded());
    EXPECT_EQ(r.errors, "Process with rank 1 is declared but have no functions\n"
                        "Process with rank 2 has no Init functions\n"
                        "Process(es) from node 1 hase(have) no Init functions\n");
    ASSERT_EQ(r.trace->nodeClocks.size(), 3u);
    EXPECT_EQ(r.trace->nodeOffset(0), 0);
    EXPECT_EQ(r.trace->nodeOffset(2), 0); // later nodes stay 0
    EXPECT_EQ(r.dbMessages, "");          // no database after a failed load
}

TEST(AlignClocks, ProcessListEndsSortedByNode) {
    TraceWriter w;
    for (uint32_t r = 0; r < 4; ++r) {
        w.declareProcess(r, testNode(static_cast<uint8_t>(r % 2)));
        w.shortCall(0, kFuncInit, 0, 10);
    }
    const auto r = loadBytes(w.bytes());
    std::vector<int32_t> ranks;
    for (uint32_t i = 0; i < r.trace->processCount(); ++i) ranks.push_back(r.trace->rankAt(i));
    EXPECT_EQ(ranks, (std::vector<int32_t>{0, 2, 1, 3}));
}
