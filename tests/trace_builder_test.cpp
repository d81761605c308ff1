// Building a document straight from calls, without a file: what a source of
// another format gets from TraceBuilder.

#include "format/tracer_calls.h"
#include "model/call_info.h"
#include "model/check_lines.h"
#include "model/trace_builder.h"
#include "model/trace_document.h"
#include "model/trace_writer.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <tuple>
#include <vector>

namespace {

constexpr uint32_t kSplitComm = 500; // made by a call: ranks 2 and 0, in that order
constexpr uint32_t kKnownComm = 700; // known from the start: ranks 1 and 0, in that order
constexpr uint32_t kMainFile = 3;

TraceCall call(uint32_t funcId, int64_t start, int64_t end, int32_t peer = 0,
               uint32_t comm = kWorldComm, uint32_t tag = 0, uint32_t size = 0) {
    return TraceCall{makeLocation(kMainFile, 10), funcId, start, end, peer, comm, tag, size};
}

// The indices of the calls of one process with that function.
std::vector<uint32_t> callsOfKind(const TProcess& p, uint32_t funcId) {
    std::vector<uint32_t> found;
    for (uint32_t k = 0; k < p.calls.size(); ++k)
        if (p.calls[k].funcId == funcId) found.push_back(k);
    return found;
}

// Three processes on two nodes: a message from rank 0 to rank 1, a broadcast
// on a communicator made by a split, a reduction on one known from the
// start, a section, a function of the source's own and counters. Local and
// global ranks differ in both communicators, so their kinds tell whether the
// builder looked the communicators up.
struct BuiltTrace {
    TTrace trace;
    std::ostringstream errors;
    bool finished = false;
    uint32_t ibarrier = 0;

    BuiltTrace() {
        TraceBuilder b(trace, errors);
        const uint32_t alpha = b.addNode("alpha", std::nullopt);
        const uint32_t beta = b.addNode("beta", nodeIdFromOctets(10, 0, 0, 2));
        const auto r0 = b.declareProcess(0, alpha);
        const auto r1 = b.declareProcess(1, beta);
        const auto r2 = b.declareProcess(2, beta);
        EXPECT_EQ(b.declareProcess(1, alpha), r1); // a known rank continues its process

        const uint32_t known[] = {1, 0};
        b.addKnownComm(r0, kKnownComm, known);
        b.addKnownComm(r1, kKnownComm, known);
        for (auto p : {r0, r1, r2}) b.addCall(p, call(kFuncInit, 0, 100));

        b.addSectionMarker(r0, 1, 150);
        b.nameSection(1, "solve");
        b.nameFile(kMainFile, "main.c");
        b.addCall(r0, call(kFuncSend, 200, 210, 1, kWorldComm, 5, 64));
        b.addCall(r1, call(kFuncRecv, 205, 260, 0, kWorldComm, 5, 64));

        const uint32_t split[] = {2, 0};
        b.addCall(r0, call(kFuncCommSplit, 300, 310, 0, kSplitComm, 0, 2), split);
        b.addCall(r2, call(kFuncCommSplit, 300, 310, 0, kSplitComm, 0, 2), split);
        b.addCall(r1, call(kFuncCommSplit, 300, 310, 0, 501, 0, 1), std::vector<uint32_t>{1});
        // Root: local rank 0, which is global rank 2.
        b.addCall(r2, call(kFuncBcast, 400, 410, 0, kSplitComm, 0, 8));
        b.addCall(r0, call(kFuncBcast, 400, 420, 0, kSplitComm, 0, 8));
        b.addCall(r2, call(kFuncCommFree, 430, 440, 0, kSplitComm), std::span<const uint32_t>());
        // Root: local rank 0, which is global rank 1.
        b.addCall(r0, call(kFuncReduce, 500, 510, 0, kKnownComm, 0, 4));
        b.addCall(r1, call(kFuncReduce, 500, 530, 0, kKnownComm, 0, 4));

        ibarrier = b.nameFunction("MPI_Ibarrier");
        EXPECT_EQ(b.nameFunction("MPI_Ibarrier"), ibarrier);
        b.addCall(r0, call(ibarrier, 600, 610));
        b.addCounter(1, 7, makeLocation(kMainFile, 20));
        b.addCounter(0, 3, makeLocation(kMainFile, 21));
        for (auto p : {r0, r1, r2}) b.addCall(p, call(kFuncFinalize, 700, 800));
        finished = b.finish();
    }

    const TProcess& rank(int32_t r) const { return *trace.processOfRank(r); }
};

} // namespace

TEST(TraceBuilder, BuildsProcessesNodesLinksAndKindsWithoutAFile) {
    const BuiltTrace b;
    const TTrace& t = b.trace;
    ASSERT_TRUE(b.finished) << b.errors.str();
    EXPECT_EQ(b.errors.str(), "");
    EXPECT_EQ(t.processCount(), 3u);
    EXPECT_EQ(t.nodeCount(), 2u);
    EXPECT_EQ(t.nodeClocks.size(), 2u); // clock alignment ran
    // A node known by name only gets an identifier no other node has.
    EXPECT_EQ(std::tuple(b.rank(0).nodeIndex, b.rank(0).nodeId, b.rank(1).nodeIndex,
                         b.rank(1).nodeId, b.rank(2).nodeIndex),
              std::tuple(0u, nodeIdFromOctets(0, 0, 0, 1), 1u, nodeIdFromOctets(10, 0, 0, 2), 1u));
    EXPECT_EQ(std::tuple(t.nodeNameAt(0), t.nodeNameAt(1)), std::tuple("alpha", "beta"));

    // The message, the broadcast from rank 2 and the reduction to rank 1.
    using Links = std::vector<std::tuple<uint32_t, uint32_t>>; // (call, link rank)
    auto linksOf = [](const TProcess& p, uint32_t funcId) {
        Links out;
        for (uint32_t k : callsOfKind(p, funcId))
            for (const TLink& l : p.calls[k].linkSpan()) out.emplace_back(k, l.rank);
        return out;
    };
    EXPECT_EQ(linksOf(b.rank(0), kFuncSend), (Links{{2, 1}}));
    EXPECT_EQ(b.rank(0).calls[2].links[0].recv, &b.rank(1).calls[1]);
    EXPECT_EQ(linksOf(b.rank(2), kFuncBcast), (Links{{2, 0}}));
    EXPECT_TRUE(linksOf(b.rank(0), kFuncBcast).empty());
    EXPECT_EQ(linksOf(b.rank(0), kFuncReduce), (Links{{5, 1}}));

    // Kinds from the local ranks: each would be the other way round with
    // global ranks.
    auto kindOf = [](const TProcess& p, uint32_t funcId) {
        return p.calls[callsOfKind(p, funcId).at(0)].kind;
    };
    EXPECT_EQ(kindOf(b.rank(2), kFuncBcast), kKindCollective | kKindSend);
    EXPECT_EQ(kindOf(b.rank(0), kFuncBcast), kKindCollective | kKindRecv);
    EXPECT_EQ(kindOf(b.rank(1), kFuncReduce), kKindCollective | kKindRecv);
    EXPECT_EQ(kindOf(b.rank(0), kFuncReduce), kKindCollective | kKindSend);
    EXPECT_EQ(kindOf(b.rank(0), kFuncSend), kKindSend);
    EXPECT_EQ(kindOf(b.rank(0), kFuncInit), kKindInitFinalize);
    EXPECT_EQ(kindOf(b.rank(0), b.ibarrier), 0u);
}

TEST(TraceBuilder, CommunicatorsMadeKnownAndFreed) {
    const BuiltTrace b;
    const TProcess& r0 = b.rank(0);
    const TComm* split = r0.findComm(kSplitComm, 3);
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(std::tuple(split->size, split->createdAt, split->toLocal(0), split->toGlobal(0)),
              std::tuple(2u, 3u, 1, 2));
    const TComm* known = r0.findComm(kKnownComm, 0);
    ASSERT_NE(known, nullptr);
    EXPECT_EQ(std::tuple(known->createdAt, known->toLocal(0), known->toLocal(2)),
              std::tuple(0u, 1, -1));
    // Rank 2 freed its copy with an empty list; rank 0 never did.
    const TComm* freed = b.rank(2).findComm(kSplitComm, 2);
    ASSERT_NE(freed, nullptr);
    EXPECT_EQ(freed->freedAt, 3u);
    std::set<uint32_t> open0, open2;
    for (const TOpenComm& c : r0.openCommList()) open0.insert(c.id);
    for (const TOpenComm& c : b.rank(2).openCommList()) open2.insert(c.id);
    // Known from the start, like the world: no call made it, so none leaks it.
    EXPECT_TRUE(open0.contains(kSplitComm));
    EXPECT_FALSE(open0.contains(kKnownComm));
    EXPECT_FALSE(open2.contains(kSplitComm));
    std::vector<std::string> lines;
    EXPECT_EQ(checkCommunicators(b.trace, lines), 2u); // rank 0's split and rank 1's 501
    for (const std::string& line : lines)
        EXPECT_EQ(line.find("(" + std::to_string(kKnownComm) + ")"), std::string::npos) << line;
    // The predefined ones are not declared twice.
    EXPECT_EQ(r0.comms.size(), 4u);
}

TEST(TraceBuilder, SectionsFilesFunctionsAndCountersAreNamed) {
    BuiltTrace b;
    const TTrace& t = b.trace;
    EXPECT_EQ(b.rank(0).calls[1].funcId, kFuncSection);
    EXPECT_EQ(b.rank(0).calls[1].location, 1u);
    EXPECT_EQ(t.sectName(1), "solve");
    EXPECT_EQ(t.funcName(b.ibarrier), "MPI_Ibarrier");
    EXPECT_EQ(t.funcName(kFuncSend), "MPI_Send");
    EXPECT_EQ(t.funcName(b.ibarrier + 1), "Unknown");

    // The call information box shows the node's and the function's names.
    const TProcess& r0 = b.rank(0);
    const uint32_t k = callsOfKind(r0, b.ibarrier).at(0);
    EXPECT_EQ(callInfoText(t, 0, r0.calls[k]),
              "File: main.c\nLine: 10\nNode: alpha\nRank: 0\nFunction: MPI_Ibarrier");
    ASSERT_EQ(t.counterList.size(), 2u); // sorted by rank
    EXPECT_EQ(std::tuple(t.counterList[0].rank, t.counterList[0].times, t.counterList[1].rank),
              std::tuple(0u, 3u, 1u));

    // An unfinished call of the source's own function is named in the checks.
    b.trace.processes[0].calls.back().funcId = b.ibarrier | kUnfinishedFlag;
    std::vector<std::string> lines;
    EXPECT_EQ(checkTerminations(b.trace, lines), 1u);
    EXPECT_EQ(lines.at(0), "Function MPI_Ibarrier was termitated for idle");
}

TEST(TraceBuilder, FunctionIdentifiersOfATraceStayClearOfEveryMeaning) {
    TTrace t;
    std::ostringstream errors;
    TraceBuilder b(t, errors);
    std::set<uint32_t> ids;
    constexpr uint32_t kNames = 5000;
    for (uint32_t k = 0; k < kNames; ++k) {
        const uint32_t id = b.nameFunction("region " + std::to_string(k));
        ids.insert(id);
        EXPECT_TRUE(isSafeOtherId(id)) << id;
        // Above the tracer's own range, and no kind of its own.
        EXPECT_GT(id, otherCallId(kOtherCallCount + 1000)) << id;
        EXPECT_EQ(TFunc::classify(id, 0, 0), 0u) << id;
    }
    EXPECT_EQ(ids.size(), kNames);
    EXPECT_EQ(t.functionNames.size(), kNames);
    EXPECT_EQ(t.funcName(*ids.begin()), "region 0");
}

TEST(TraceBuilder, NodesKnownByNameOnlyGetIdentifiersNoOtherNodeHas) {
    TTrace t;
    std::ostringstream errors;
    TraceBuilder b(t, errors);
    const uint32_t taken = nodeIdFromOctets(0, 0, 0, 1);
    const uint32_t nodes[] = {b.addNode("0.0.0.1", taken), b.addNode("cn01", std::nullopt),
                              b.addNode("cn02", std::nullopt)};
    std::set<uint32_t> ids;
    for (int32_t r = 0; r < 3; ++r) ids.insert(t.processes[b.declareProcess(r, nodes[r])].nodeId);
    EXPECT_EQ(ids, (std::set<uint32_t>{taken, nodeIdFromOctets(0, 0, 0, 2),
                                       nodeIdFromOctets(0, 0, 0, 3)}));
    EXPECT_EQ(t.nodes[1].name, "cn01");
    EXPECT_FALSE(t.nodes[1].ipv4.has_value());
}
