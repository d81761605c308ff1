#include "gen_test_support.h"
#include "model/trace_model.h"

#include <gtest/gtest.h>

namespace {

GenOptions withFaults(GenPattern pattern, unsigned faults) {
    GenOptions o = genOptions(pattern, 6, 3, 2);
    o.faults = faults;
    return o;
}

uint64_t flaggedCalls(const TTrace& t) {
    uint64_t n = 0;
    for (const TProcess& p : t.processes)
        for (const TFunc& f : p.calls) n += (f.funcId & kUnfinishedFlag) != 0;
    return n;
}

// A planted fault the loader does not notice: the trace loads silently.
void expectSilentLoad(const LoadedGen& g) {
    ASSERT_TRUE(g.result.ok) << g.result.error;
    EXPECT_TRUE(g.trace->loaded());
    EXPECT_EQ(g.errors, "");
}

} // namespace

TEST(GenFaults, NoInitMakesTheLoaderReportTheLastNodeAndFail) {
    const LoadedGen g = generateAndLoad(withFaults(GenPattern::Ring, kFaultNoInit));
    ASSERT_TRUE(g.result.ok);
    EXPECT_FALSE(g.trace->loaded());
    // Ranks 4 and 5 live on the last node, index 2.
    EXPECT_EQ(g.errors, "Process with rank 4 has no Init functions\n"
                        "Process with rank 5 has no Init functions\n"
                        "Process(es) from node 2 hase(have) no Init functions\n");
    for (const TProcess& p : g.trace->processes)
        EXPECT_EQ(p.calls.front().funcId == kFuncInit, p.nodeIndex != 2) << "rank " << p.rank;
}

TEST(GenFaults, UnfinishedFlagsOnlyTheLastCallOfTheLastRank) {
    const LoadedGen g = generateAndLoad(withFaults(GenPattern::Stencil, kFaultUnfinished));
    expectSilentLoad(g);
    EXPECT_EQ(flaggedCalls(*g.trace), 1u);
    EXPECT_EQ(g.trace->processOfRank(5)->calls.back().funcId, kFuncFinalize | kUnfinishedFlag);
}

TEST(GenFaults, UnfreedCommStaysOpenOnEveryProcess) {
    for (GenPattern pattern : {GenPattern::Ring, GenPattern::Collectives}) {
        const LoadedGen clean = generateAndLoad(withFaults(pattern, 0), "clean.zlv");
        const LoadedGen g = generateAndLoad(withFaults(pattern, kFaultUnfreedComm));
        expectSilentLoad(g);
        for (const TProcess& p : clean.trace->processes) EXPECT_TRUE(p.openCommList().empty());
        for (const TProcess& p : g.trace->processes) {
            const auto open = p.openCommList();
            ASSERT_EQ(open.size(), 1u) << "rank " << p.rank;
            const TComm* comm = p.findComm(open[0].id, 1);
            ASSERT_NE(comm, nullptr);
            EXPECT_EQ(p.calls[comm->createdAt].funcId, kFuncCommDup);
            EXPECT_EQ(comm->size, 6u);
        }
    }
}

TEST(GenFaults, LostRecvLeavesOneSendWithoutLink) {
    const LoadedGen clean = generateAndLoad(withFaults(GenPattern::MasterWorker, 0), "clean.zlv");
    const LoadedGen g = generateAndLoad(withFaults(GenPattern::MasterWorker, kFaultLostRecv));
    expectSilentLoad(g);
    EXPECT_EQ(totalLinks(*g.trace), totalLinks(*clean.trace));
    uint64_t unlinked = 0;
    for (const TProcess& p : g.trace->processes)
        for (const TFunc* s : callsOf(p, kFuncSend))
            if (s->linkCount == 0) {
                ++unlinked;
                EXPECT_EQ(p.rank, 0u);
                EXPECT_EQ(s->peer, 1);
            }
    EXPECT_EQ(unlinked, 1u);
    uint64_t recvs = 0, cleanRecvs = 0;
    for (const TProcess& p : g.trace->processes) recvs += callsOf(p, kFuncRecv).size();
    for (const TProcess& p : clean.trace->processes) cleanRecvs += callsOf(p, kFuncRecv).size();
    EXPECT_EQ(recvs, cleanRecvs);
}

TEST(GenFaults, FaultsCombine) {
    const LoadedGen g = generateAndLoad(
        withFaults(GenPattern::Mixed, kFaultUnfinished | kFaultUnfreedComm | kFaultLostRecv));
    expectSilentLoad(g);
    EXPECT_EQ(flaggedCalls(*g.trace), 1u);
    for (const TProcess& p : g.trace->processes) EXPECT_EQ(p.openCommList().size(), 1u);
}
