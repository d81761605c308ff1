// Traces mends_program.c under mpirun -np 4: communicators made by calls the
// format does not name, collectives on MPI_COMM_SELF, matched probes, a
// nested MPI_Comm_free, polls, the record limit, pausing, and a trace that
// cannot be written.

#include "format/tracer_calls.h"
#include "model/check_lines.h"
#include "model/trace_model.h"
#include "traced_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

namespace {

using Ranks = std::vector<uint32_t>;

using TracedMends = TracedRunTest;

LoadedRun traced(const char* mode, const char* base, const std::string& env = "") {
    return runAndLoad(ZLV_MENDS_PROGRAM, mode, false, base, env);
}

// The run succeeded and its trace loads without a message.
bool ranCleanly(const LoadedRun& r) {
    EXPECT_EQ(r.run.exitStatus, 0) << r.run.log;
    EXPECT_TRUE(r.loaded.trace->loaded());
    EXPECT_EQ(r.loaded.loaderMessages, "");
    return r.run.exitStatus == 0 && r.loaded.trace->loaded();
}

// f(rank, process) for each of the 4 ranks, failures naming the rank.
template <class F>
void eachRank(const TTrace& t, F f) {
    for (int rank = 0; rank < 4; ++rank) {
        SCOPED_TRACE("rank " + std::to_string(rank));
        f(rank, *t.processOfRank(rank));
    }
}

// The communicator a process declared with this creating call, in creation order.
std::vector<const TComm*> commsMadeBy(const TProcess& p, uint32_t funcId) {
    std::vector<const TComm*> out;
    for (const TComm& c : p.comms)
        if (c.createdAt < p.calls.size() && p.calls[c.createdAt].funcId == funcId)
            out.push_back(&c);
    return out;
}

void expectUnnamedMakingCallsDeclareAndUse(const TTrace& t) {
    const TProcess& outside = *t.processOfRank(0);
    EXPECT_EQ(callsWith(outside, otherCallId(kOtherCommCreate)).size(), 1u)
        << "rank 0 got MPI_COMM_NULL: the call without a member list";
    uint32_t subId = 0;
    for (int rank = 1; rank < 4; ++rank) {
        SCOPED_TRACE("rank " + std::to_string(rank));
        const TProcess& p = *t.processOfRank(rank);
        const auto made = commsMadeBy(p, commCallId(kCommCreate));
        ASSERT_EQ(made.size(), 1u);
        EXPECT_EQ(made[0]->members, (Ranks{1, 2, 3}));
        EXPECT_GT(made[0]->freedAt, made[0]->createdAt);
        if (rank == 1) subId = made[0]->id;
        EXPECT_EQ(made[0]->id, subId) << "every member records the same identifier";
        const TFunc& bcast = *callsWith(p, kFuncBcast).front();
        EXPECT_EQ(std::pair(bcast.comm, bcast.peer), std::pair(subId, 1));
    }
    // The other making calls: each communicator has the world's members and
    // the collective on it carries its identifier.
    const std::tuple<CommCall, uint32_t> uses[] = {
        {kCommSplitType, otherCallId(kOtherAllreduce)},
        {kCommIdup, kFuncBcast},
        {kCommDistGraphAdjacent, kFuncSend},
        {kCommIntercommMerge, kFuncReduce},
        {kCommCreateGroup, kFuncBcast},
        {kCommGraphCreate, kFuncReduce},
        {kCommDistGraphCreate, otherCallId(kOtherAllreduce)},
        {kCommDupWithInfo, kFuncBcast}};
    eachRank(t, [&](int, const TProcess& p) {
        for (const auto& [call, usedBy] : uses) {
            SCOPED_TRACE("call " + std::to_string(call));
            const auto made = commsMadeBy(p, commCallId(call));
            ASSERT_EQ(made.size(), 1u);
            EXPECT_EQ(made[0]->members, (Ranks{0, 1, 2, 3}));
            const auto on = std::count_if(p.calls.begin(), p.calls.end(), [&](const TFunc& f) {
                return f.funcId == usedBy && f.comm == made[0]->id;
            });
            EXPECT_EQ(on, 1);
        }
    });
}

void expectEverySendLinkedAndCompletedOnce(const TTrace& t) {
    size_t sends = 0;
    eachRank(t, [&](int, const TProcess& p) {
        for (const TFunc& f : p.calls) {
            if (f.funcId != kFuncSend && f.funcId != kFuncIsend) continue;
            SCOPED_TRACE("tag " + std::to_string(f.msgTag));
            ++sends;
            ASSERT_EQ(f.linkCount, 1u);
            EXPECT_EQ(static_cast<int32_t>(f.links[0].rank), globalPeer(p, f));
            const TFunc& recv = *f.links[0].recv;
            EXPECT_EQ(std::tuple(recv.msgTag, recv.size, recv.comm),
                      std::tuple(f.msgTag, f.size, f.comm));
        }
    });
    // sub 1, graph ring 4, probes 2, polling 4, shared handles 2
    EXPECT_EQ(sends, 13u);
    // Each send completes once, in order, even two under one handle.
    const auto waits = callsWith(*t.processOfRank(0), kFuncWaitIsend);
    std::vector<uint32_t> tags;
    for (const TFunc* w : waits)
        if (w->msgTag >= 90) tags.push_back(w->msgTag);
    EXPECT_EQ(tags, (std::vector<uint32_t>{90, 91}));
}

void expectMatchedProbesReceiveFromTheSource(const TTrace& t) {
    const TProcess& p2 = *t.processOfRank(2);
    const auto probe = callsWith(p2, otherCallId(kOtherMprobe));
    ASSERT_EQ(probe.size(), 1u);
    const TFunc& mrecv = *(probe[0] + 1);
    EXPECT_EQ(std::tuple(probe[0]->peer, probe[0]->msgTag, probe[0]->size),
              std::tuple(0, 70u, 32u));
    EXPECT_EQ(std::tuple(mrecv.funcId, mrecv.peer, mrecv.msgTag, mrecv.size, mrecv.comm),
              std::tuple(kFuncRecv, 0, 70u, 32u, kWorldComm));
    // MPI_Imrecv: an MPI_Irecv of the probed message, completed by its wait.
    const TProcess& p1 = *t.processOfRank(1);
    const auto found = callsWith(p1, otherCallId(kOtherImprobe));
    ASSERT_EQ(found.size(), 1u);
    const TFunc& posted = *(found[0] + 1);
    const TFunc& waited = *(found[0] + 2);
    EXPECT_EQ(std::tuple(posted.funcId, posted.peer, posted.msgTag, posted.size),
              std::tuple(kFuncIrecv, 3, 71u, 8u));
    EXPECT_EQ(std::tuple(waited.funcId, waited.peer, waited.msgTag),
              std::tuple(kFuncWaitIrecv, 3, 71u));
}

void expectSelfCollectivesOnSelf(const TTrace& t) {
    eachRank(t, [&](int, const TProcess& p) {
        for (uint32_t func : {kFuncGather, kFuncBcast}) {
            const auto onSelf = std::count_if(p.calls.begin(), p.calls.end(), [&](const TFunc& f) {
                return f.funcId == func && f.comm == kSelfComm && f.peer == 0 && f.size == 4;
            });
            EXPECT_EQ(onSelf, 1) << "function " << func;
        }
    });
}

// A nested MPI_Comm_free leaves no communicator open for the checks.
void expectNestedFreeAfterOuterAndEveryCheckPassed(const TTrace& t) {
    std::vector<std::string> lines;
    EXPECT_EQ(checkTerminations(t, lines) + checkCommunicators(t, lines) + checkSendRecv(t, lines),
              0u)
        << (lines.empty() ? "" : lines.front());
    eachRank(t, [&](int, const TProcess& p) {
        const auto dups = commsMadeBy(p, kFuncCommDup);
        ASSERT_EQ(dups.size(), 2u);
        const TFunc& outer = p.calls[dups[0]->freedAt];
        const TFunc& inner = p.calls[dups[1]->freedAt];
        EXPECT_EQ(dups[1]->freedAt, dups[0]->freedAt + 1);
        EXPECT_LE(outer.start, inner.start);
        EXPECT_LE(inner.end, outer.end);
    });
}

void expectPollRunsWithTheirCount(const TTrace& t) {
    const std::tuple<int, uint32_t, uint32_t, uint32_t> pollers[] = {
        {1, otherCallId(kOtherTestPolls), 5, 73}, {2, otherCallId(kOtherIprobePolls), 4, 75}};
    for (const auto& [rank, func, polls, goTag] : pollers) {
        SCOPED_TRACE("rank " + std::to_string(rank));
        const TProcess& p = *t.processOfRank(rank);
        const auto runs = callsWith(p, func);
        ASSERT_FALSE(runs.empty());
        // The first run: exactly the polls before the go-ahead, then the go-ahead.
        const auto first = std::find_if(runs.begin(), runs.end(), [&](const TFunc* f) {
            return (f + 1)->funcId == kFuncSend && (f + 1)->msgTag == goTag;
        });
        ASSERT_NE(first, runs.end());
        EXPECT_EQ((*first)->size, polls);
        EXPECT_LE((*first)->start, (*first)->end);
        EXPECT_EQ((*first)->kind, 0u) << "neither a send nor a receive";
        EXPECT_LE(runs.size(), 2u) << "the polls after the go-ahead make at most one more run";
    }
}

// One run of the normal mode for every check of it: the runs take seconds.
TEST_F(TracedMends, NormalRunRecordsEveryShapeTruly) {
    const LoadedRun r = traced("normal", "mends");
    ASSERT_TRUE(ranCleanly(r));
    const TTrace& t = *r.loaded.trace;
    expectUnnamedMakingCallsDeclareAndUse(t);
    expectEverySendLinkedAndCompletedOnce(t);
    expectMatchedProbesReceiveFromTheSource(t);
    expectSelfCollectivesOnSelf(t);
    expectNestedFreeAfterOuterAndEveryCheckPassed(t);
    expectPollRunsWithTheirCount(t);
    if (!HasFailure()) std::filesystem::remove_all(r.run.dir);
}

TEST_F(TracedMends, RecordLimitCutsEveryProcessVisiblyAndKeepsTheTraceValid) {
    const LoadedRun r = traced("normal", "cut", "ZLV_MAX_RECORDS=12");
    ASSERT_TRUE(ranCleanly(r));
    EXPECT_NE(r.run.log.find("stopped recording after 12 call records"), std::string::npos)
        << r.run.log;
    eachRank(*r.loaded.trace, [](int, const TProcess& p) {
        // MPI_Init, the 12 calls, the cut, MPI_Finalize
        ASSERT_EQ(p.calls.size(), 15u);
        EXPECT_EQ(std::tuple(p.calls[0].funcId, p.calls[13].funcId, p.calls[14].funcId),
                  std::tuple(kFuncInit, otherCallId(kOtherRecordingCut), kFuncFinalize));
        EXPECT_LE(p.calls[12].end, p.calls[13].start);
    });
    std::filesystem::remove_all(r.run.dir);
}

TEST_F(TracedMends, PausedCallsAreLeftOutButTheirCommunicatorsAreNot) {
    const LoadedRun r = traced("pause", "paused");
    ASSERT_TRUE(ranCleanly(r));
    eachRank(*r.loaded.trace, [](int rank, const TProcess& p) {
        EXPECT_EQ(callsWith(p, otherCallId(kOtherBarrier)).size(), rank == 0 ? 0u : 1u);
        const auto made = commsMadeBy(p, kFuncCommDup);
        ASSERT_EQ(made.size(), 1u);
        const auto bcast = callsWith(p, kFuncBcast);
        ASSERT_EQ(bcast.size(), 1u);
        EXPECT_EQ(bcast[0]->comm, made[0]->id);
        EXPECT_EQ(bcast[0]->linkCount, rank == 0 ? 3u : 0u);
    });
    std::filesystem::remove_all(r.run.dir);
}

TEST_F(TracedMends, TraceThatCannotBeWrittenIsOneLineAndTheProgramRuns) {
    const std::string missing = "/nonexistent-zlv-dir";
    const TracedRun run = runTraced(ZLV_MENDS_PROGRAM, "pause", false, missing + "/sub/trace", 4);
    EXPECT_EQ(run.exitStatus, 0) << run.log;
    size_t lines = 0; // the tracer's lines; mpirun may add its own
    for (size_t at = run.log.find("zlvtrace:"); at != std::string::npos;
         at = run.log.find("zlvtrace:", at + 1))
        ++lines;
    EXPECT_EQ(lines, 1u) << run.log;
    EXPECT_NE(run.log.find("zlvtrace: no trace is written: directory " + missing +
                           "/sub does not exist; set ZLV_TRACE"),
              std::string::npos)
        << run.log;
    std::filesystem::remove_all(run.dir);
}

} // namespace
