// Reading the record stream: byte layout, record kinds, declarations,
// failures with their exact messages.

#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

namespace {

std::string hex(const std::string& bytes) {
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02X ", c);
        out += b;
    }
    return out;
}

} // namespace

TEST(TraceFormat, WriterProducesTheDocumentedBytes) {
    TraceWriter decl;
    decl.declareProcess(2, nodeIdFromOctets(10, 0, 0, 5));
    EXPECT_EQ(hex(decl.bytes()), "81 00 00 00 02 00 00 00 20 00 00 00 00 00 00 00 00 00 00 00 "
                                 "0A 00 00 05 00 00 00 00 ");
    TraceWriter send;
    send.longCall(makeLocation(1, 42), kFuncSend, 1000, 1250, 64, 7, 1, kWorldComm);
    EXPECT_EQ(hex(send.bytes()), "82 00 00 00 2A 00 01 00 03 00 00 00 E8 03 00 00 00 00 00 00 "
                                 "E2 04 00 00 00 00 00 00 40 00 00 00 07 00 00 00 01 00 00 00 "
                                 "5B 00 00 00 ");
}

TEST(TraceReader, EmptyFileLoadsAndFailuresHaveTheirMessages) {
    const auto empty = loadBytes("");
    EXPECT_TRUE(empty.trace->loaded() && empty.trace->isEmpty());
    EXPECT_TRUE(empty.trace->counterList.empty() && empty.trace->nodeClocks.empty());
    EXPECT_EQ(empty.errors, "");
    // An unknown tag: its message in HostileInput, what was read before it in
    // TraceDocument.FailedLoadIsShownWithRawTimes.
    {
        TraceWriter w;
        w.counter(3, 7); // allowed before a declaration
        w.shortCall(0, kFuncInit, 0, 1);
        const auto r = loadBytes(w.bytes());
        EXPECT_FALSE(r.trace->loaded());
        EXPECT_EQ(r.errors, "Input file seems to be corrapted\n");
        ASSERT_EQ(r.trace->counterList.size(), 1u);
        EXPECT_EQ(r.trace->counterList[0].rank, 0xFFFFFFFFu);
    }
    {
        std::ostringstream errors;
        TTrace t("/nonexistent/dir/x.zlv", errors, errors);
        EXPECT_FALSE(t.loaded());
        EXPECT_EQ(errors.str(), "Can't open file /nonexistent/dir/x.zlv\n");
    }
}

TEST(TraceReader, IgnoredRecordsStrayBytesAndCounters) {
    TraceWriter w;
    w.declareProcess(0, testNode(1));
    w.skipRecord66();
    w.shortCall(0, kFuncInit, 0, 1);
    w.skipRecord68();
    w.counter(5, makeLocation(2, 9));
    w.counter(1, makeLocation(1, 3));
    w.declareProcess(1, testNode(1));
    w.shortCall(0, kFuncInit, 0, 1);
    w.counter(9, makeLocation(0, 1));
    w.raw(std::vector<unsigned char>{0x82, 0x00, 0x00}); // 3 stray bytes
    const auto r = loadBytes(w.bytes());
    ASSERT_TRUE(r.trace->loaded());
    EXPECT_EQ(r.errors, "");
    EXPECT_EQ(r.trace->processes[0].calls.size(), 1u);
    // Sorted by rank, then location.
    std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> counters;
    for (const TCounter& c : r.trace->counterList)
        counters.emplace_back(c.rank, c.location, c.times);
    EXPECT_EQ(counters, (decltype(counters){{0, makeLocation(1, 3), 1},
                                            {0, makeLocation(2, 9), 5},
                                            {1, makeLocation(0, 1), 9}}));
}

TEST(TraceReader, DeclarationsContinueProcessesAndNumberNodes) {
    TraceWriter w;
    w.declareProcess(0, testNode(9));
    w.shortCall(0, kFuncInit, 0, 1);
    w.declareProcess(1, testNode(3));
    w.shortCall(0, kFuncInit, 0, 1);
    w.declareProcess(2, testNode(9));
    w.shortCall(0, kFuncInit, 0, 1);
    w.declareProcess(0, testNode(3));                // continues rank 0; its node stays
    w.longCall(0, kFuncCommDup, 2, 3, 0, 0, 0, 400); // long + 32 is a call, size 0: no list
    w.shortCall(0, kFuncFinalize, 4, 5);
    const auto r = loadBytes(w.bytes());
    ASSERT_TRUE(r.trace->loaded()) << r.errors;
    const TProcess* p0 = r.trace->processOfRank(0);
    ASSERT_NE(p0, nullptr);
    EXPECT_EQ(std::tuple(p0->nodeIndex, p0->nodeId, p0->calls.size(), p0->comms.size()),
              std::tuple(0u, testNode(9), size_t{3}, size_t{3}));
    EXPECT_EQ(p0->comms[2].createdAt, 1u); // call indices go on
    EXPECT_EQ(std::tuple(r.trace->processOfRank(1)->nodeIndex, r.trace->processOfRank(2)->nodeIndex,
                         r.trace->nodeCount()),
              std::tuple(1u, 0u, 2u));
    // Nodes are named by their address; the continuing declaration adds none.
    ASSERT_EQ(r.trace->nodes.size(), 2u);
    EXPECT_EQ(
        std::tuple(r.trace->nodes[0].name, r.trace->nodes[0].ipv4, r.trace->nodes[1].name),
        std::tuple(std::string("10.0.0.9"), std::optional(testNode(9)), std::string("10.0.0.3")));
}

TEST(TraceReader, CommunicatorRecordsAndOwnLocalRank) {
    TraceWriter w;
    w.declareProcess(0, testNode(1));
    w.shortCall(0, kFuncInit, 0, 1);
    w.declareProcess(1, testNode(1));
    w.shortCall(0, kFuncInit, 0, 1);
    const std::vector<uint32_t> members{1, 0};
    w.commCall(0, kFuncCommSplit, 2, 3, 700, members);
    w.longCall(0, kFuncBcast, 4, 5, 8, 0, 0, 700); // root local 0 = rank 1 itself
    w.commCall(0, kFuncCommFree, 6, 7, 700, {});
    w.longCall(0, kFuncBcast, 8, 9, 8, 0, 0, 700); // freed: me = own rank 1
    const auto r = loadBytes(w.bytes());
    ASSERT_TRUE(r.trace->loaded()) << r.errors;
    const TProcess& p = *r.trace->processOfRank(1);
    ASSERT_EQ(p.comms.size(), 3u);
    EXPECT_EQ(std::tuple(p.comms[2].members, p.comms[2].createdAt, p.comms[2].freedAt),
              std::tuple(TMembers(members), 1u, 3u));
    EXPECT_EQ(p.calls[1].size, 2u); // the creating call's size is the member count
    EXPECT_EQ(std::pair(p.calls[2].kind, p.calls[4].kind),
              std::pair(kKindCollective | kKindSend, kKindCollective | kKindRecv));
}
