// The fast analysis against the plain reference, on random traces (every
// corner of the reader and the links), generated runs, and random
// collectives over halves, reused identifiers, self and unknown
// communicators, with unfinished calls and skewed clocks.
#include "analysis/collective_instances.h"
#include "analysis/rank_balance.h"
#include "analysis/reference/analysis_reference.h"
#include "analysis/scoped_calls.h"
#include "analysis/wait_index.h"
#include "format/tracer_calls.h"
#include "tests/gen_test_support.h"
#include "tests/support/random_trace.h"
#include "tests/written_trace.h"
#include "tools/gen/trace_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <tuple>

// Readable failures: the figures by field.
void PrintTo(const WaitTotals& t, std::ostream* os) {
    *os << "{" << t.instances << " " << t.waiting << " " << t.wait << " " << t.max << "}";
}
void PrintTo(const WaitInstance& w, std::ostream* os) {
    *os << "{" << waitKindName(w.kind) << " " << w.rank << ":" << w.call << " f" << w.funcId << " @"
        << w.start << " " << w.wait << " <- " << w.partnerRank << ":" << w.partnerCall << "}";
}

namespace {

void expectSameWaits(const WaitStates& fast, const WaitStates& reference) {
    EXPECT_EQ(fast.byKind, reference.byKind);
    EXPECT_EQ(fast.byRank, reference.byRank);
    EXPECT_EQ(fast.byFunction, reference.byFunction);
    EXPECT_EQ(fast.worst, reference.worst);
    EXPECT_EQ(fast.runTimeSum, reference.runTimeSum);
}

// Collectives of every kind on the world, on two halves that share one
// identifier (freed and made again as one communicator now and then), on
// the self communicator and on identifiers never created; with point-to-point
// pairs in between and some calls unfinished.
std::string randomCollectives(uint64_t seed) {
    std::mt19937_64 rng(seed);
    const uint32_t ranks = 2 + rng() % 7, rounds = 5 + rng() % 30;
    const uint32_t funcs[] = {kFuncBcast,
                              kFuncScatter,
                              kFuncGatherv,
                              kFuncReduce,
                              otherCallId(kOtherAllreduce),
                              otherCallId(kOtherAlltoallv),
                              otherCallId(kOtherExscan),
                              otherCallId(kOtherBarrier)};
    // Every rank draws the same plan; only the times differ.
    std::vector<std::pair<uint32_t, uint32_t>> plan; // (function, communicator or 0 = reshape)
    for (uint32_t i = 0; i < rounds; ++i) {
        const uint32_t c = rng() % 10;
        plan.emplace_back(funcs[rng() % std::size(funcs)], c < 4   ? kWorldComm
                                                           : c < 7 ? 300
                                                           : c < 8 ? kSelfComm
                                                           : c < 9 ? 777
                                                                   : 0);
    }
    TraceWriter w;
    for (uint32_t r = 0; r < ranks; ++r) {
        w.declareProcess(r, testNode(static_cast<uint8_t>(1 + r % 3)));
        int64_t t = static_cast<int64_t>(rng() % 50);
        w.shortCall(0, kFuncInit, t, t + 10);
        t += 20;
        bool whole = false; // 300 is one communicator of all ranks, else two halves
        std::vector<uint32_t> members;
        auto reshape = [&] {
            members.clear();
            for (uint32_t m = 0; m < ranks; ++m)
                if (whole || (m < ranks / 2) == (r < ranks / 2)) members.push_back(m);
            w.commCall(0, kFuncCommSplit, t, t + 3, 300, members);
            t += 5;
        };
        reshape();
        for (const auto& [func, comm] : plan) {
            const int64_t start = t + static_cast<int64_t>(rng() % 40);
            const int64_t end = start + static_cast<int64_t>(rng() % 30);
            t = end + 1;
            if (comm == 0) {
                w.commCall(0, kFuncCommFree, start, end, 300, {});
                whole = !whole;
                reshape();
                continue;
            }
            const uint32_t flag = rng() % 15 == 0 ? kUnfinishedFlag : 0;
            w.longCall(0, func | flag, start, end, 4, 0, static_cast<int32_t>(rng() % 2), comm);
            if (rng() % 3 == 0) { // a pair exchange with the neighbour
                const auto peer = static_cast<int32_t>((r ^ 1) % ranks);
                w.longCall(0, r % 2 ? kFuncRecv : kFuncSend, t, t + rng() % 9, 16, 1, peer,
                           kWorldComm);
                t += 10;
            }
        }
        w.shortCall(0, kFuncFinalize, t, t + 5);
    }
    return w.bytes();
}

// A range around the middle of the run and a few ranks, drawn from the seed.
std::vector<AnalysisScope> scopesFor(TTrace& trace, uint64_t seed) {
    std::mt19937_64 rng(seed);
    const int64_t start = trace.startTime(), end = trace.endTime();
    const int64_t span = std::max<int64_t>(1, wrapSub(end, start));
    const int64_t from = wrapAdd(start, static_cast<int64_t>(rng() % static_cast<uint64_t>(span)));
    const int64_t to = wrapAdd(from, 1 + static_cast<int64_t>(rng() % static_cast<uint64_t>(span)));
    std::vector<int32_t> ranks;
    for (uint32_t r = 0; r < trace.processCount(); ++r)
        if (rng() % 2) ranks.push_back(static_cast<int32_t>(r));
    std::vector<AnalysisScope> scopes = {{}, {TimeRange{from, to}, 0, {}}, {{}, 0, ranks}};
    if (from < to) scopes.push_back({TimeRange{from, to}, 1, ranks});
    // A range from the start of one call to the start of another: calls at
    // either edge fall in or out by the rule, not by chance.
    const TProcess& p = trace.processes[rng() % trace.processCount()];
    if (!p.calls.empty()) {
        const int64_t offset = trace.nodeOffset(p.nodeIndex);
        const auto edge = [&] { return wrapAdd(p.calls[rng() % p.calls.size()].start, offset); };
        const int64_t a = edge(), b = edge();
        scopes.push_back({TimeRange{std::min(a, b), std::max(a, b)}, 0, {}});
    }
    return scopes;
}

// The waits of every scope, found anew and read from an index, against the
// reference.
void expectSameWaitsOf(TTrace& trace, const std::vector<AnalysisScope>& scopes,
                       const WaitIndex& index) {
    for (const AnalysisScope& scope : scopes) {
        const WaitStates reference = referenceWaitStates(trace, scope, 40);
        expectSameWaits(waitStates(trace, scope, 40), reference);
        expectSameWaits(waitStates(trace, scope, 40, &index), reference);
    }
}

// The waiting parts the picture marks: every wait above 0 of the reference
// whose [start, start + wait) meets the window, per rank in call order.
void expectWaitingParts(TTrace& trace, const WaitIndex& index, const TimeRange& window) {
    const WaitStates all = referenceWaitStates(trace, {}, UINT32_MAX);
    for (const ScopedProcess& p : scopedProcesses(trace, {})) {
        std::vector<WaitIndex::WaitingPart> expected;
        for (const WaitInstance& w : all.worst) {
            const int64_t to = wrapAdd(w.start, w.wait);
            if (w.rank == p.rank && w.start < window.to && to > window.from && w.start < to)
                expected.push_back({w.call, w.start, to});
        }
        std::sort(expected.begin(), expected.end(),
                  [](const auto& a, const auto& b) { return a.call < b.call; });
        auto parts = index.waitingParts(p, window);
        std::stable_sort(parts.begin(), parts.end(),
                         [](const auto& a, const auto& b) { return a.call < b.call; });
        EXPECT_EQ(parts, expected) << "rank " << p.rank;
    }
}

// The fast figures against the reference; the index and windows given are
// used in place of ones made for the trace as it now is.
void expectSameFigures(TTrace& trace, uint64_t seed, const WaitIndex* madeIndex = nullptr,
                       const TraceWindows* madeWindows = nullptr) {
    const std::optional<TraceWindows> ownWindows =
        madeWindows ? std::nullopt : std::optional<TraceWindows>(std::in_place, trace);
    const TraceWindows& windows = madeWindows ? *madeWindows : *ownWindows;
    const std::optional<WaitIndex> ownIndex =
        madeIndex ? std::nullopt : std::optional<WaitIndex>(std::in_place, trace);
    const WaitIndex& index = madeIndex ? *madeIndex : *ownIndex;
    const std::vector<AnalysisScope> scopes = scopesFor(trace, seed);
    expectSameWaitsOf(trace, scopes, index);
    for (const AnalysisScope& scope : scopes)
        if (scope.range) expectWaitingParts(trace, index, *scope.range);
    for (const AnalysisScope& scope : scopes) {
        const Profile reference = referenceProfile(trace, scope);
        EXPECT_EQ(profile(trace, scope), reference);
        EXPECT_EQ(profile(trace, scope, &windows), reference);
        // The balance's groups split each rank's time in calls.
        const std::vector<RankBalance> balance = rankBalance(trace, scope, &windows);
        ASSERT_EQ(balance.size(), reference.ranks.size());
        for (size_t i = 0; i < balance.size(); ++i) {
            const RankBalance& b = balance[i];
            int64_t inCalls = 0;
            for (int64_t g : b.inGroup) inCalls = wrapAdd(inCalls, g);
            const RankFigures& r = reference.ranks[i];
            EXPECT_EQ((std::tuple{b.rank, b.runTime, inCalls, b.outside}),
                      (std::tuple{r.rank, r.runTime, r.inCalls, r.outside}));
        }
        const MessageSizes sizes = referenceMessageSizes(trace, scope);
        EXPECT_EQ(messageSizes(trace, scope), sizes);
        EXPECT_EQ(messageSizes(trace, scope, &windows), sizes);
    }
    EXPECT_EQ(clockQuality(trace), referenceClockQuality(trace));
}

} // namespace

TEST(AnalysisReference, RandomTracesAndCollectives) {
    for (uint64_t seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE(seed);
        auto loaded =
            loadBytes(seed <= 150 ? randomTraceBytes(seed) : randomCollectives(seed - 150));
        ASSERT_TRUE(seed <= 150 || loaded.trace->loaded()) << loaded.errors;
        expectSameFigures(*loaded.trace, seed);
        // The collectives do make members wait somewhere.
        if (seed == 151) {
            EXPECT_FALSE(waitStates(*loaded.trace, {}, 1).worst.empty());
        }
    }
}

TEST(AnalysisReference, GeneratedPatterns) {
    for (GenPattern pattern : {GenPattern::Ring, GenPattern::Stencil, GenPattern::MasterWorker,
                               GenPattern::Collectives, GenPattern::Mixed}) {
        SCOPED_TRACE(patternName(pattern));
        GenOptions options = genOptions(pattern, 12, 3, 3);
        options.skewUs = 400;
        options.faults = pattern == GenPattern::Mixed ? kFaultUnfinished : 0;
        const LoadedGen g = generateAndLoad(options);
        ASSERT_TRUE(g.result.ok && g.trace->loaded());
        expectSameFigures(*g.trace, 7);
    }
}

TEST(AnalysisReference, IndexesKeepToTheirProcessesWhenRowsAreSorted) {
    uint32_t moved = 0; // traces whose rows the sort did reorder
    for (uint64_t seed = 11; seed <= 20; ++seed) {
        SCOPED_TRACE(seed);
        auto loaded = loadBytes(randomCollectives(seed));
        ASSERT_TRUE(loaded.trace->loaded()) << loaded.errors;
        TTrace& trace = *loaded.trace;
        trace.sortByRank();
        const WaitIndex index(trace);
        const TraceWindows windows(trace);
        EXPECT_GT(index.entryCount(), 0u);
        trace.sortByNode();
        bool reordered = false;
        for (uint32_t i = 0; i < trace.processCount(); ++i)
            reordered |= trace.rankAt(i) != static_cast<int32_t>(i);
        moved += reordered;
        expectSameFigures(trace, seed, &index, &windows);
        // An index of another trace is not read.
        auto other = loadBytes(randomCollectives(seed + 100));
        const WaitIndex otherIndex(*other.trace);
        expectSameWaits(waitStates(trace, {}, 40, &otherIndex), referenceWaitStates(trace, {}, 40));
    }
    EXPECT_GT(moved, 0u);
}

TEST(AnalysisReference, RealProgram) {
    TTrace trace(ZLV_SOURCE_DIR "/examples/scalapack_lu.zlv");
    ASSERT_TRUE(trace.loaded());
    expectSameFigures(trace, 3);
    // Its grid's row and column communicators carry broadcasts, reductions and
    // MPI_Allreduce: every kind but the barrier's waits somewhere.
    const WaitStates w = waitStates(trace, {}, 0);
    for (uint32_t k = 0; k + 1 < kWaitKinds; ++k) EXPECT_GT(w.byKind[k].waiting, 0u) << k;
}

namespace {

// What the wait walk reads of each process's instances: its calls that can
// wait with their instances' arrivals, and the linked sends handed over.
using WaitingRow = std::tuple<uint32_t, uint32_t, CollectiveKind, bool, int32_t, uint32_t, int64_t>;
struct InstancesSeen {
    std::vector<std::vector<WaitingRow>> waiting;
    std::vector<std::vector<uint32_t>> sends;
    bool operator==(const InstancesSeen&) const = default;
};

InstancesSeen instancesSeen(std::span<const ScopedProcess> procs, unsigned workers) {
    InstancesSeen seen;
    seen.waiting.resize(procs.size());
    seen.sends.resize(procs.size());
    // One worker reads each process: its list is written by that worker alone.
    const CollectiveInstances inst(
        procs, workers, [&](unsigned, uint32_t i, std::span<const uint32_t> run) {
            seen.sends[i].insert(seen.sends[i].end(), run.begin(), run.end());
        });
    for (uint32_t i = 0; i < procs.size(); ++i)
        inst.forEachWaitingCall(
            i,
            [&](const MemberCall& m) {
                const Arrival& a = inst.waitedFor(m);
                seen.waiting[i].emplace_back(m.call, m.funcId, m.kind, m.root, a.rank, a.call,
                                             a.start);
            },
            [](uint32_t) {});
    return seen;
}

} // namespace

// The same instances and linked sends on any number of workers; each
// process's linked sends handed on once, in call order.
void expectSameInstancesOnAnyWorkers(const TTrace& trace) {
    const std::vector<ScopedProcess> procs = scopedProcesses(trace, {});
    const InstancesSeen one = instancesSeen(procs, 1);
    for (unsigned workers : {2u, 3u, 8u}) EXPECT_EQ(instancesSeen(procs, workers), one);
    for (size_t i = 0; i < procs.size(); ++i) {
        std::vector<uint32_t> sends;
        const TCallList& calls = procs[i].process->calls;
        for (uint32_t k = 0; k < calls.size(); ++k)
            if (calls[k].linkCount &&
                (calls[k].funcId == kFuncSend || calls[k].funcId == kFuncIsend))
                sends.push_back(k);
        EXPECT_EQ(one.sends[i], sends) << "rank " << procs[i].rank;
    }
}

TEST(CollectiveInstances, SameForAnyNumberOfWorkersWithEveryLinkedSendHandedOnce) {
    for (uint64_t seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE(seed);
        auto loaded = loadBytes(seed % 2 ? randomCollectives(seed) : randomTraceBytes(seed));
        expectSameInstancesOnAnyWorkers(*loaded.trace);
    }
    // Enough processes that every worker reads some of them.
    for (GenPattern pattern : {GenPattern::Collectives, GenPattern::Mixed}) {
        GenOptions options = genOptions(pattern, 96, 4, 4);
        options.skewUs = 300;
        const LoadedGen g = generateAndLoad(options);
        ASSERT_TRUE(g.result.ok && g.trace->loaded());
        expectSameInstancesOnAnyWorkers(*g.trace);
    }
}

TEST(CollectiveInstances, WhatMembersWaitForDoesNotDependOnTheOrderOffered) {
    // Ranks 1 and 3 tie for the latest non-root start, ranks 2 and 5 both
    // claim the root: the lower rank wins each.
    std::vector<std::pair<bool, Arrival>> offers = {{false, {3, 10, 50}},
                                                    {true, {5, 1, 40}},
                                                    {false, {1, 7, 50}},
                                                    {true, {2, 4, 60}},
                                                    {false, {4, 2, 20}}};
    const std::tuple<CollectiveKind, int32_t, uint32_t, int64_t> expected[] = {
        {CollectiveKind::OneToAll, 2, 4, 60}, // the root
        {CollectiveKind::AllToOne, 1, 7, 50}, // the latest other than a root
        {CollectiveKind::AllToAll, 2, 4, 60}, // the latest of all
        {CollectiveKind::Barrier, 2, 4, 60}};
    auto byRank = [](const auto& a, const auto& b) { return a.second.rank < b.second.rank; };
    for (const auto& [kind, rank, call, start] : expected) {
        std::sort(offers.begin(), offers.end(), byRank);
        int orders = 0;
        do {
            // All in one, and split between two workers whose finds are merged.
            Arrival all, first, second;
            for (size_t k = 0; k < offers.size(); ++k) {
                if (!isWaitedFor(kind, offers[k].first)) continue;
                offerWaitedFor(all, kind, offers[k].second);
                offerWaitedFor(k < 2 ? first : second, kind, offers[k].second);
            }
            offerWaitedFor(second, kind, first);
            for (const Arrival& a : {all, second})
                EXPECT_EQ(std::tuple(a.rank, a.call, a.start), std::tuple(rank, call, start))
                    << static_cast<int>(kind);
            ++orders;
        } while (std::next_permutation(offers.begin(), offers.end(), byRank));
        EXPECT_EQ(orders, 120);
    }
}
