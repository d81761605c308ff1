// Communicator membership as MPI defines it, on small hand-built traces: a
// collective's root is a rank of its communicator, the self communicator
// holds its process alone, and a wildcard source names no process. The fast
// links, the reference links, the counts, the matrix rows and the check
// must all agree.

#include "model/check_lines.h"
#include "model/reference/model_reference.h"
#include "model/trace_loader.h"
#include "model/traffic_rows.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

// Cells printed as the matrix shows them.
void PrintTo(const TrafficCell& c, std::ostream* os) {
    *os << c.sent << "/" << c.received;
}

namespace {

// (sender rank, sending call, receiver rank, receiving call)
using Link = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>;

std::set<Link> linksOf(const TTrace& t) {
    std::set<Link> links;
    for (const TProcess& s : t.processes)
        for (uint32_t k = 0; k < s.calls.size(); ++k)
            for (const TLink& l : s.calls[k].linkSpan()) {
                const TProcess& r = *t.processOfRank(static_cast<int32_t>(l.rank));
                links.insert({s.rank, k, l.rank, static_cast<uint32_t>(l.recv - r.calls.data())});
            }
    return links;
}

// The links of the loaded trace, after checking that the reference builds the same.
std::set<Link> checkedLinks(const TraceWriter& w) {
    const LoadedTrace fast = loadBytes(w.bytes());
    EXPECT_TRUE(fast.trace->loaded()) << fast.errors;
    TTrace reference;
    const TempFile file(testing::TempDir() + "membership_" + std::to_string(::getpid()) + ".zlv",
                        w.bytes());
    std::ostringstream ignored;
    EXPECT_TRUE(readTraceRecords(reference, file.path(), ignored));
    buildLinksReference(reference);
    EXPECT_EQ(linksOf(*fast.trace), linksOf(reference));
    return linksOf(*fast.trace);
}

std::vector<std::string> sendRecvLines(const TTrace& trace) {
    std::vector<std::string> lines;
    checkSendRecv(trace, lines);
    return lines;
}

// Rank r's cells toward every rank, from the matrix row and from the per-cell
// counts, which must agree.
std::vector<TrafficCell> countsOf(const TTrace& trace, int32_t r) {
    const uint32_t n = trace.processCount();
    std::vector<TrafficCell> cells(n);
    for (uint32_t c = 0; c < n; ++c)
        trace.messageCounts(r, static_cast<int32_t>(c), cells[c].sent, cells[c].received, 0);
    EXPECT_EQ(trafficRow(*trace.processOfRank(r), n, TrafficWeight::Messages, 0), cells);
    return cells;
}

void declare(TraceWriter& w, uint32_t rank) {
    w.declareProcess(rank, testNode(1));
    w.shortCall(0, kFuncInit, 0, 1);
}

constexpr uint32_t kSub = 700;

} // namespace

TEST(Membership, CollectiveRootsAreRanksOfTheirCommunicator) {
    // Three processes make one communicator whose local ranks 0, 1, 2 are the
    // global ranks 2, 0, 1: a broadcast from local root 0 (rank 2), then a
    // reduce to local root 1 (rank 0).
    const std::vector<uint32_t> members{2, 0, 1};
    TraceWriter w;
    for (uint32_t r = 0; r < 3; ++r) {
        declare(w, r);
        w.commCall(0, kFuncCommSplit, 2, 3, kSub, members);
        w.longCall(0, kFuncBcast, 4, 5, 8, 0, 0, kSub);
        w.longCall(0, kFuncReduce, 6, 7, 8, 0, 1, kSub);
    }
    const std::set<Link> expected = {{2, 2, 0, 2}, {2, 2, 1, 2}, {1, 3, 0, 3}, {2, 3, 0, 3}};
    EXPECT_EQ(checkedLinks(w), expected);

    const LoadedTrace loaded = loadBytes(w.bytes());
    EXPECT_EQ(sendRecvLines(*loaded.trace), std::vector<std::string>{});
    // The root of the broadcast sends to all three and counts its own share.
    EXPECT_EQ(countsOf(*loaded.trace, 2),
              (std::vector<TrafficCell>{{2, 0}, {1, 0}, {1, 1}})); // its reduce sends to 0
}

TEST(Membership, TheSelfCommunicatorHoldsItsProcessAlone) {
    // Each of two processes talks to itself through the self communicator:
    // a send and a receive to local rank 0, and a gather and a broadcast
    // that it roots. Nothing of it reaches the other process.
    TraceWriter w;
    for (uint32_t r = 0; r < 2; ++r) {
        declare(w, r);
        w.longCall(0, kFuncSend, 2, 3, 8, 3, 0, kSelfComm);
        w.longCall(0, kFuncRecv, 4, 5, 8, 3, 0, kSelfComm);
        w.longCall(0, kFuncGather, 6, 7, 8, 0, 0, kSelfComm);
        w.longCall(0, kFuncBcast, 8, 9, 8, 0, 0, kSelfComm);
    }
    EXPECT_EQ(checkedLinks(w), std::set<Link>{});

    const LoadedTrace loaded = loadBytes(w.bytes());
    EXPECT_EQ(sendRecvLines(*loaded.trace), std::vector<std::string>{});
    // Send, gather (as its own sender) and broadcast: 3 sent to itself; the
    // receive, the gather and the broadcast (as its own receiver): 3 received.
    EXPECT_EQ(countsOf(*loaded.trace, 0), (std::vector<TrafficCell>{{3, 3}, {0, 0}}));
    EXPECT_EQ(countsOf(*loaded.trace, 1), (std::vector<TrafficCell>{{0, 0}, {3, 3}}));
    // The figures with data sizes follow the same members.
    EXPECT_EQ(trafficRow(*loaded.trace->processOfRank(1), 2, TrafficWeight::Bytes, 0),
              (std::vector<TrafficCell>{{0, 0}, {24, 24}}));
}

TEST(Membership, WildcardSourcesNameNoProcess) {
    // Ranks 0 and 1 share a communicator that rank 2 does not know (so its
    // calls on it address global ranks). Rank 0 receives from any source on
    // it, and from local rank 1 with another tag.
    const std::vector<uint32_t> members{0, 1};
    TraceWriter w;
    declare(w, 0);
    w.commCall(0, kFuncCommSplit, 2, 3, kSub, members);
    w.longCall(0, kFuncRecv, 4, 5, 8, 5, -1, kSub);
    w.longCall(0, kFuncRecv, 6, 7, 8, 6, 1, kSub);
    declare(w, 1);
    w.commCall(0, kFuncCommSplit, 2, 3, kSub, members);
    w.longCall(0, kFuncSend, 4, 5, 8, 6, 0, kSub);
    declare(w, 2);
    w.longCall(0, kFuncSend, 2, 3, 8, 5, 0, kSub);
    // Only the named sender is linked; the non-member's send stays unlinked.
    EXPECT_EQ(checkedLinks(w), (std::set<Link>{{1, 2, 0, 3}}));
}
