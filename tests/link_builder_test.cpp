// Matching sends to receives: point-to-point by communicator and tag in call
// order, non-blocking at the receive's wait, collectives per sender.

#include "tests/test_support.h"

#include <gtest/gtest.h>

namespace {

// Rank r on its own node 10.0.0.(r+1), starting with MPI_Init.
void begin(TraceWriter& w, uint32_t rank) {
    w.declareProcess(rank, testNode(static_cast<uint8_t>(rank + 1)));
    w.shortCall(0, kFuncInit, 0, 10);
}

void p2p(TraceWriter& w, uint32_t func, int64_t t, int32_t peer, uint32_t tag,
         uint32_t comm = kWorldComm) {
    w.longCall(0, func, t, t + 5, 16, tag, peer, comm);
}

struct LinkRef {
    uint32_t fromRank;
    size_t fromCall;
    uint32_t toRank;
    size_t toCall;
    bool operator==(const LinkRef&) const = default;
};

std::vector<LinkRef> allLinks(const TTrace& t) {
    std::vector<LinkRef> out;
    for (const TProcess& p : t.processes)
        for (size_t k = 0; k < p.calls.size(); ++k)
            for (const TLink& l : p.calls[k].linkSpan())
                out.push_back({p.rank, k, l.rank, callIndexOf(*t.processOfRank(l.rank), l.recv)});
    std::sort(out.begin(), out.end(), [](const LinkRef& a, const LinkRef& b) {
        return std::tie(a.fromRank, a.fromCall, a.toRank) <
               std::tie(b.fromRank, b.fromCall, b.toRank);
    });
    return out;
}

} // namespace

TEST(BuildLinks, PointToPointByTagInCallOrder) {
    TraceWriter w;
    begin(w, 0);
    p2p(w, kFuncSend, 100, 1, 5); // call 1
    p2p(w, kFuncSend, 200, 1, 5); // call 2
    p2p(w, kFuncSend, 300, 1, 9); // call 3: no receive with tag 9
    begin(w, 1);
    p2p(w, kFuncRecv, 150, 0, 7);  // call 1: tag 7, no send with tag 7
    p2p(w, kFuncRecv, 160, 0, 5);  // call 2 <- send 1
    p2p(w, kFuncRecv, 260, 0, 5);  // call 3 <- send 2
    p2p(w, kFuncRecv, 270, -1, 9); // wildcard source: never linked
    const auto r = loadBytes(w.bytes());
    ASSERT_TRUE(r.trace->loaded()) << r.errors;
    EXPECT_EQ(allLinks(*r.trace), (std::vector<LinkRef>{{0, 1, 1, 2}, {0, 2, 1, 3}}));
}

TEST(BuildLinks, NonBlockingLinksIsendToTheReceivesWait) {
    TraceWriter w;
    begin(w, 0);
    p2p(w, kFuncIsend, 100, 1, 3);
    p2p(w, kFuncWaitIsend, 110, 1, 3);
    begin(w, 1);
    p2p(w, kFuncIrecv, 90, 0, 3);
    p2p(w, kFuncWaitIrecv, 120, 0, 3);
    const auto r = loadBytes(w.bytes());
    ASSERT_TRUE(r.trace->loaded()) << r.errors;
    EXPECT_EQ(allLinks(*r.trace), (std::vector<LinkRef>{{0, 1, 1, 2}}));
}

TEST(BuildLinks, CollectivesLinkTheRootOncePerOtherMember) {
    TraceWriter w;
    for (uint32_t r = 0; r < 4; ++r) {
        begin(w, r);
        w.longCall(0, kFuncBcast, 100, 110, 8, 0, 0, kWorldComm);  // root 0
        w.longCall(0, kFuncReduce, 200, 210, 8, 0, 2, kWorldComm); // root 2
    }
    const auto r = loadBytes(w.bytes());
    ASSERT_TRUE(r.trace->loaded()) << r.errors;
    const auto links = allLinks(*r.trace);
    const TProcess& root = *r.trace->processOfRank(0);
    ASSERT_EQ(root.calls[1].linkCount, 3u);
    for (const TLink& l : root.calls[1].linkSpan()) EXPECT_EQ(l.recv->funcId, kFuncBcast);
    // Every non-root Reduce sends to root 2's Reduce.
    EXPECT_EQ(std::count_if(links.begin(), links.end(),
                            [](const LinkRef& l) { return l.toRank == 2 && l.toCall == 2; }),
              3);
    EXPECT_EQ(links.size(), 6u);
}

TEST(BuildLinks, SubCommunicatorsTranslateRanks) {
    // Ranks 1 and 3 form communicator 800 as local ranks 0 and 1.
    TraceWriter w;
    const std::vector<uint32_t> members{1, 3};
    for (uint32_t r = 0; r < 4; ++r) {
        begin(w, r);
        if (r == 1 || r == 3) w.commCall(0, kFuncCommSplit, 20, 30, 800, members);
        if (r == 1) p2p(w, kFuncSend, 100, 1, 4, 800); // to local 1 = rank 3
        if (r == 3) p2p(w, kFuncRecv, 100, 0, 4, 800); // from local 0 = rank 1
        if (r == 0) p2p(w, kFuncRecv, 100, 1, 4, 800); // unknown comm: peer is global 1
    }
    const auto r = loadBytes(w.bytes());
    ASSERT_TRUE(r.trace->loaded()) << r.errors;
    EXPECT_EQ(allLinks(*r.trace), (std::vector<LinkRef>{{1, 2, 3, 2}}));
}

TEST(BuildLinks, ActualRanksWhenDeclarationsAreOutOfOrder) {
    // Rank 5 declared first, then rank 2: positions differ from ranks.
    TraceWriter w;
    begin(w, 5);
    p2p(w, kFuncSend, 100, 2, 1);
    begin(w, 2);
    p2p(w, kFuncRecv, 100, 5, 1);
    const auto r = loadBytes(w.bytes());
    ASSERT_TRUE(r.trace->loaded()) << r.errors;
    EXPECT_EQ(allLinks(*r.trace), (std::vector<LinkRef>{{5, 1, 2, 1}}));
}

TEST(BuildLinks, UnfinishedCallsTakeNoPart) {
    TraceWriter w;
    begin(w, 0);
    p2p(w, kFuncSend | kUnfinishedFlag, 100, 1, 1);
    begin(w, 1);
    p2p(w, kFuncRecv, 100, 0, 1);
    const auto r = loadBytes(w.bytes());
    EXPECT_TRUE(allLinks(*r.trace).empty());
}
