// Traces calls_program.c under mpirun -np 4 and checks the trace with the
// project's own loader: record counts, links, communicators, locations,
// sections, counters, and what an aborted run leaves.

#include "format/tracer_calls.h"
#include "model/check_lines.h"
#include "traced_run.h"

#include "model/trace_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>

namespace {

using Counts = std::map<uint32_t, int>;

// What calls_program.c's normal mode calls on each of its 4 ranks.
Counts expectedCounts(int rank) {
    const bool r0 = rank == 0;
    Counts c;
    c[kFuncInit] = 1;
    c[kFuncFinalize] = 1;
    // ring, any-source gather at 0, Sendrecv, dup-comm message 0->1, half-comm message
    c[kFuncSend] = 1 + (r0 ? 0 : 1) + 1 + (r0 ? 1 : 0) + (rank < 2 ? 1 : 0);
    c[kFuncRecv] = 1 + (r0 ? 3 : 0) + 1 + (rank == 1 ? 1 : 0) + (rank >= 2 ? 1 : 0);
    // Waitall pair, Wait pair, Waitany phase, Test/Waitsome pair
    c[kFuncIsend] = 1 + 1 + (r0 ? 0 : 1) + 1;
    c[kFuncIrecv] = 1 + 1 + (r0 ? 3 : 0) + 1;
    // each wait, and two starts of a persistent send and receive with their
    // waits, then their MPI_Request_free
    c[kFuncWaitIsend] = c[kFuncIsend] += 2;
    c[kFuncWaitIrecv] = c[kFuncIrecv] += 2;
    c[otherCallId(kOtherRequestFree)] = 2;
    // a cancelled receive: its posting is marked cancelled, its wait received nothing
    c[otherCallId(kOtherCancelledIrecv)] = 1;
    c[kFuncWait] = 1;
    c[kFuncBcast] = 2 + 1 + 1; // world twice, half, row
    c[kFuncReduce] = c[kFuncScatter] = c[kFuncScatterv] = c[kFuncGather] = c[kFuncGatherv] = 1;
    c[kFuncCommDup] = 2;
    c[kFuncCommSplit] = c[kFuncCartCreate] = c[kFuncCartSub] = 1;
    c[kFuncCommFree] = 4;
    c[otherCallId(kOtherBarrier)] = c[otherCallId(kOtherAllreduce)] = 1;
    return c;
}

// Runs of unsuccessful MPI_Test polls depend on timing here: left out
// (mends_program.c polls deterministically).
Counts countsOf(const TProcess& p) {
    Counts c;
    for (const TFunc& f : p.calls)
        if (!f.isSectionMarker() && f.funcId != otherCallId(kOtherTestPolls)) ++c[f.funcId];
    return c;
}

using TracedProgram = TracedRunTest;

// f(rank, process) for each of the 4 ranks, failures naming the rank.
template <class F>
void eachRank(const TTrace& t, F f) {
    for (int rank = 0; rank < 4; ++rank) {
        SCOPED_TRACE("rank " + std::to_string(rank));
        f(rank, *t.processOfRank(rank));
    }
}

void expectCleanLoad(const LoadedRun& r) {
    ASSERT_EQ(r.run.exitStatus, 0) << r.run.log;
    ASSERT_TRUE(r.loaded.trace->loaded()) << r.loaded.loaderMessages;
    EXPECT_EQ(r.loaded.loaderMessages + r.loaded.databaseMessages, "");
    EXPECT_EQ(r.loaded.trace->databaseResult(), 1);
    EXPECT_FALSE(std::filesystem::exists(r.run.partsDir())) << "parts left behind";
}

void expectCountsAndOrder(TTrace& t) {
    ASSERT_EQ(t.processCount(), 4u);
    ASSERT_TRUE(t.processOfRank(0) && t.processOfRank(3));
    eachRank(t, [&](int rank, const TProcess& p) {
        EXPECT_EQ(countsOf(p), expectedCounts(rank));
        ASSERT_FALSE(p.calls.empty());
        EXPECT_EQ(std::pair(p.calls.front().funcId, p.calls.back().funcId),
                  std::pair(kFuncInit, kFuncFinalize));
        for (size_t i = 1; i < p.calls.size(); ++i) {
            EXPECT_LE(p.calls[i - 1].start, p.calls[i].start) << "call " << i;
            EXPECT_LE(p.calls[i].start, p.calls[i].end) << "call " << i;
        }
        EXPECT_NE(p.nodeId, 0u);
        EXPECT_EQ(p.nodeId, t.processOfRank(0)->nodeId); // one host
    });
}

void expectPointToPointLinks(TTrace& t) {
    size_t links = 0, receives = 0; // cancelled receives are neither
    for (int rank = 0; rank < 4; ++rank) {
        const TProcess& p = *t.processOfRank(rank);
        for (const TFunc& f : p.calls) {
            // Sources come from the status, so wildcard receives link too.
            if (f.funcId == kFuncWaitIrecv || f.funcId == kFuncRecv) {
                EXPECT_GE(f.peer, 0);
                ++receives;
            }
            if (f.funcId == kFuncWaitIsend || f.funcId == kFuncIrecv) {
                EXPECT_EQ(f.linkCount, 0u);
            }
            if (f.funcId != kFuncSend && f.funcId != kFuncIsend) continue;
            SCOPED_TRACE("rank " + std::to_string(rank) + " tag " + std::to_string(f.msgTag));
            ASSERT_EQ(f.linkCount, 1u);
            ++links;
            const TLink& link = f.links[0];
            EXPECT_EQ(static_cast<int32_t>(link.rank), globalPeer(p, f));
            // A blocking send feeds a receive; the receive of an Isend is its wait.
            EXPECT_TRUE(link.recv->funcId == kFuncRecv || link.recv->funcId == kFuncWaitIrecv);
            EXPECT_EQ(std::pair(link.recv->msgTag, link.recv->comm), std::pair(f.msgTag, f.comm));
            EXPECT_EQ(globalPeer(*t.processOfRank(static_cast<int32_t>(link.rank)), *link.recv),
                      rank);
        }
    }
    EXPECT_EQ(links, receives) << "every receive was fed by exactly one send";
}

void expectWorldCollectiveLinks(TTrace& t) {
    const TProcess& root = *t.processOfRank(0);
    const auto bcasts = callsWith(root, kFuncBcast);
    ASSERT_GE(bcasts.size(), 2u);
    for (int k = 0; k < 2; ++k) {
        const TFunc& b = *bcasts[static_cast<size_t>(k)];
        EXPECT_EQ(b.comm, kWorldComm);
        ASSERT_EQ(b.linkCount, 3u);
        std::set<uint32_t> ranks;
        for (const TLink& l : b.linkSpan()) {
            ranks.insert(l.rank);
            EXPECT_EQ(std::pair(l.recv->funcId, l.recv->linkCount), std::pair(kFuncBcast, 0u));
        }
        EXPECT_EQ(ranks, (std::set<uint32_t>{1, 2, 3}));
    }
    // Reduce at root 1: the three others each link to it.
    for (int rank : {0, 2, 3}) {
        const auto reduce = callsWith(*t.processOfRank(rank), kFuncReduce);
        ASSERT_EQ(reduce.size(), 1u);
        ASSERT_EQ(reduce[0]->linkCount, 1u);
        EXPECT_EQ(reduce[0]->links[0].rank, 1u);
    }
}

// The created communicators in creation order: dup, split, cart, sub, leak.
void expectCommunicators(TTrace& t) {
    std::map<int, std::vector<uint32_t>> idsOf;
    eachRank(t, [&](int rank, const TProcess& p) {
        ASSERT_EQ(p.comms.size(), 7u);
        EXPECT_EQ(std::pair(p.comms[0].id, p.comms[1].id), std::pair(kWorldComm, kSelfComm));
        std::set<uint32_t> distinct;
        for (size_t i = 2; i < 7; ++i) {
            const TComm& c = p.comms[i];
            idsOf[rank].push_back(c.id);
            distinct.insert(c.id);
            EXPECT_TRUE(c.id != kWorldComm && c.id != kSelfComm && c.id != 0u) << c.id;
            EXPECT_LT(c.createdAt, p.calls.size());
            if (i < 6)
                EXPECT_GT(c.freedAt, c.createdAt) << "communicator " << i;
            else
                EXPECT_EQ(c.freedAt, 0u) << "the planted communicator is never freed";
        }
        EXPECT_EQ(distinct.size(), 5u) << "identifiers are never reused";
        using Ranks = std::vector<uint32_t>;
        EXPECT_EQ(p.comms[2].members, (Ranks{0, 1, 2, 3}));
        EXPECT_EQ(p.comms[3].members, (rank % 2 == 0 ? Ranks{0, 2} : Ranks{1, 3}));
        EXPECT_EQ(p.comms[5].members, (rank < 2 ? Ranks{0, 1} : Ranks{2, 3}));
        const auto open = p.openCommList();
        ASSERT_EQ(open.size(), 1u);
        const TFunc& leak = p.calls[p.comms[6].createdAt];
        EXPECT_EQ(std::tuple(open[0].id, open[0].location, leak.funcId),
                  std::tuple(p.comms[6].id, leak.location, kFuncCommDup));
    });
    // The same communicator has the same identifier on every member; the two
    // halves of a split (1 = by parity, 3 = by row) have different ones.
    for (int rank = 1; rank < 4; ++rank)
        for (size_t k = 0; k < 5; ++k) {
            const bool same = k == 1 ? rank % 2 == 0 : k == 3 ? rank < 2 : true;
            EXPECT_EQ(idsOf[rank][k] == idsOf[0][k], same) << "rank " << rank << " comm " << k;
        }
}

void expectWildcardAndSendrecvDetails(TTrace& t) {
    // Wildcard sources as received: every receive is linked (expectPointToPointLinks).
    // Rank 1's receive on the duplicate used both wildcards.
    const TProcess& p1 = *t.processOfRank(1);
    const auto onDup = std::find_if(p1.calls.begin(), p1.calls.end(), [&](const TFunc& f) {
        return f.funcId == kFuncRecv && f.comm == p1.comms[2].id;
    });
    ASSERT_NE(onDup, p1.calls.end());
    EXPECT_EQ(std::tuple(onDup->peer, onDup->msgTag, onDup->size), std::tuple(0, 50u, 4u));
    // MPI_Sendrecv: a send record and a receive record over the same time.
    eachRank(t, [](int rank, const TProcess& p) {
        const auto sr = std::find_if(p.calls.begin(), p.calls.end(),
                                     [](const TFunc& f) { return f.msgTag == 40; });
        ASSERT_NE(sr, p.calls.end());
        ASSERT_NE(sr + 1, p.calls.end());
        EXPECT_EQ(std::tuple(sr->funcId, sr->peer, (sr + 1)->funcId, (sr + 1)->peer),
                  std::tuple(kFuncSend, (rank + 1) % 4, kFuncRecv, (rank + 3) % 4));
        EXPECT_EQ(std::pair(sr->start, sr->end), std::pair((sr + 1)->start, (sr + 1)->end));
    });
}

// A posted receive ends up with what it received: on every rank the
// MPI_Irecv records and the "MPI_Wait for Irecv" records describe the same
// messages, wildcard receives included; the cancelled one is marked as such.
void expectPostedReceivesTellWhatTheyReceived(TTrace& t) {
    using Message = std::tuple<int32_t, uint32_t, uint32_t, uint32_t>; // peer, tag, size, comm
    eachRank(t, [](int rank, const TProcess& p) {
        std::multiset<Message> posted, completed;
        for (const TFunc& f : p.calls) {
            const Message m{f.peer, f.msgTag, f.size, f.comm};
            if (f.funcId == kFuncIrecv) posted.insert(m);
            if (f.funcId == kFuncWaitIrecv) completed.insert(m);
        }
        EXPECT_EQ(posted, completed);
        const auto cancelled = callsWith(p, otherCallId(kOtherCancelledIrecv));
        ASSERT_EQ(cancelled.size(), 1u);
        EXPECT_EQ(std::tuple(cancelled[0]->msgTag, cancelled[0]->peer, cancelled[0]->kind),
                  std::tuple(77u, (rank + 3) % 4, 0u)); // the peer as posted
    });
}

// One run for every check of it: the runs take seconds.
TEST_F(TracedProgram, PreloadedRunLoadsCleanlyLinksKeepsCommunicatorsAndHasAddresses) {
    const LoadedRun r = runAndLoad(ZLV_CALLS_PLAIN, "normal", true, "plain");
    expectCleanLoad(r);
    ASSERT_FALSE(HasFailure());
    TTrace& t = *r.loaded.trace;
    expectCountsAndOrder(t);
    expectPointToPointLinks(t);
    expectWorldCollectiveLinks(t);
    expectWildcardAndSendrecvDetails(t);
    expectPostedReceivesTellWhatTheyReceived(t);
    expectCommunicators(t);
    // The checks pass but for the planted communicator.
    std::vector<std::string> lines;
    EXPECT_EQ(checkTerminations(t, lines), 0u);
    EXPECT_EQ(checkSendRecv(t, lines), 0u) << (lines.empty() ? "" : lines.front());
    EXPECT_EQ(checkCommunicators(t, lines), 4u); // the one leaked dup, on every rank
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("In process with rank 0 new communicator was created"),
              std::string::npos);
    // Calls are located by return address: file 0, one line per call site.
    EXPECT_EQ(t.fileName(0), "(return-address)");
    std::set<uint32_t> sites;
    for (const TProcess& p : t.processes)
        for (const TFunc& f : p.calls) {
            EXPECT_EQ(f.location >> 16, 0u);
            sites.insert(f.location & 0xFFFF);
        }
    EXPECT_GT(sites.size(), 20u) << "different call sites give different lines";
    EXPECT_TRUE(t.counters().empty());
}

TEST_F(TracedProgram, InstrumentedRunHasFilesLinesSectionsAndCounters) {
    const LoadedRun r = runAndLoad(ZLV_CALLS_INSTRUMENTED, "normal", false, "instrumented");
    expectCleanLoad(r);
    TTrace& t = *r.loaded.trace;
    expectCountsAndOrder(t);
    expectCommunicators(t);
    eachRank(t, [&](int rank, const TProcess& p) {
        std::vector<size_t> markers;
        for (size_t i = 0; i < p.calls.size(); ++i) {
            const TFunc& f = p.calls[i];
            if (f.isSectionMarker()) {
                markers.push_back(i);
                continue;
            }
            const std::string file = t.fileName(f.location >> 16);
            EXPECT_TRUE(file.ends_with("calls_program.c")) << file;
            EXPECT_GT(f.location & 0xFFFF, 0u);
        }
        // "exchange" opens after MPI_Init and closes after the Sendrecv.
        ASSERT_EQ(markers.size(), 2u);
        EXPECT_EQ(std::tuple(markers[0], t.sectName(p.calls[markers[0]].location),
                             p.calls[markers[1]].location, p.calls[markers[1] - 1].msgTag),
                  std::tuple(size_t{1}, "exchange", 0u, 40u));
        uint64_t sent = 0, received = 0;
        const int right = (rank + 1) % 4;
        p.countMessages(right, sent, received, p.calls[markers[0]].location);
        EXPECT_GE(sent, 4u) << "the exchange section's sends to the right neighbour";
    });
    const auto counters = t.counters();
    ASSERT_EQ(counters.size(), 4u);
    for (size_t i = 0; i < counters.size(); ++i) {
        EXPECT_EQ(std::pair(counters[i].rank, counters[i].times), std::pair(uint32_t(i), 5u));
        EXPECT_TRUE(t.fileName(counters[i].location >> 16).ends_with("calls_program.c"));
    }
}

// A failed run leaves its parts; merged, they load cleanly with 4 processes.
LoadedTrace mergedFailedRun(const TracedRun& run) {
    EXPECT_NE(run.exitStatus, 0);
    EXPECT_TRUE(std::filesystem::exists(run.partsDir())) << run.log;
    EXPECT_EQ(mergeParts(run), 0) << run.log;
    LoadedTrace loaded = loadTrace(run.tracePath());
    EXPECT_TRUE(loaded.trace->loaded()) << loaded.loaderMessages;
    EXPECT_EQ(std::pair(loaded.loaderMessages, loaded.trace->processCount()),
              std::pair(std::string(), 4u));
    return loaded;
}

TEST_F(TracedProgram, AbortedRunLeavesUnfinishedCallsForTheMerge) {
    const TracedRun run = runTraced(ZLV_CALLS_PLAIN, "abort", true, "aborted");
    EXPECT_NE(run.log.find("zlv-merge"), std::string::npos) << run.log;
    const LoadedTrace loaded = mergedFailedRun(run);
    ASSERT_FALSE(HasFailure());
    eachRank(*loaded.trace, [](int rank, const TProcess& p) {
        ASSERT_GT(p.calls.size(), 10u) << "the exchange before the abort is kept";
        for (size_t i = 0; i + 1 < p.calls.size(); ++i)
            EXPECT_EQ(p.calls[i].funcId & kUnfinishedFlag, 0u);
        const TFunc& last = p.calls.back();
        if (rank == 1) {
            EXPECT_EQ(last.funcId, otherCallId(kOtherAbort) | kUnfinishedFlag);
        } else {
            // Killed while waiting for rank 1's message.
            EXPECT_EQ(std::tuple(last.funcId, last.peer, last.msgTag),
                      std::tuple(kFuncRecv | kUnfinishedFlag, 1, 99u));
            EXPECT_GE(last.end, last.start);
        }
    });
    if (!HasFailure()) std::filesystem::remove_all(run.dir);
}

TEST_F(TracedProgram, RunEndingWithoutFinalizeStillLeavesItsParts) {
    const TracedRun run = runTraced(ZLV_CALLS_PLAIN, "leave", true, "left");
    const LoadedTrace loaded = mergedFailedRun(run);
    ASSERT_FALSE(HasFailure());
    TTrace& t = *loaded.trace;
    const TProcess& quitter = *t.processOfRank(0);
    ASSERT_FALSE(quitter.calls.empty());
    EXPECT_EQ(quitter.calls.back().funcId, otherCallId(kOtherBarrier)) << "its last call, finished";
    for (int rank = 1; rank < 4; ++rank) {
        const TFunc& last = t.processOfRank(rank)->calls.back();
        EXPECT_EQ(last.funcId, kFuncRecv | kUnfinishedFlag) << "rank " << rank;
    }
    if (!HasFailure()) std::filesystem::remove_all(run.dir);
}

} // namespace
