// The fast analysis against the plain reference, on random traces (every
// corner of the reader and the links), generated runs, and random
// collectives over halves, reused identifiers, self and unknown
// communicators, with unfinished calls and skewed clocks.
#include "analysis/rank_balance.h"
#include "analysis/reference/analysis_reference.h"
#include "analysis/scoped_calls.h"
#include "analysis/wait_index.h"
#include "format/tracer_calls.h"
#include "tests/support/random_trace.h"
#include "tests/written_trace.h"
#include "tools/gen/trace_generator.h"

#include <gtest/gtest.h>

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

void expectSameFigures(TTrace& trace, uint64_t seed) {
    const TraceWindows windows(trace);
    const std::vector<AnalysisScope> scopes = scopesFor(trace, seed);
    const WaitIndex index(trace);
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

TEST(AnalysisReference, RandomTraces) {
    for (uint64_t seed = 1; seed <= 150; ++seed) {
        SCOPED_TRACE(seed);
        auto loaded = loadBytes(randomTraceBytes(seed));
        expectSameFigures(*loaded.trace, seed);
    }
}

TEST(AnalysisReference, RandomCollectives) {
    for (uint64_t seed = 1; seed <= 150; ++seed) {
        SCOPED_TRACE(seed);
        auto loaded = loadBytes(randomCollectives(seed));
        ASSERT_TRUE(loaded.trace->loaded()) << loaded.errors;
        expectSameFigures(*loaded.trace, seed);
        // The collectives do make members wait somewhere.
        if (seed == 1) {
            EXPECT_FALSE(waitStates(*loaded.trace, {}, 1).worst.empty());
        }
    }
}

TEST(AnalysisReference, GeneratedPatterns) {
    for (GenPattern pattern : {GenPattern::Ring, GenPattern::Stencil, GenPattern::MasterWorker,
                               GenPattern::Collectives, GenPattern::Mixed}) {
        SCOPED_TRACE(patternName(pattern));
        GenOptions options;
        options.pattern = pattern;
        options.ranks = 12;
        options.nodes = 3;
        options.iterations = 3;
        options.skewUs = 400;
        options.faults = pattern == GenPattern::Mixed ? kFaultUnfinished : 0;
        const std::string path = writtenTracePath(patternName(pattern));
        ASSERT_TRUE(generateTrace(options, path).ok);
        TTrace trace(path);
        ASSERT_TRUE(trace.loaded());
        expectSameFigures(trace, 7);
        std::remove(path.c_str());
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
        for (const AnalysisScope& scope : scopesFor(trace, seed)) {
            EXPECT_EQ(profile(trace, scope, &windows), referenceProfile(trace, scope));
            EXPECT_EQ(messageSizes(trace, scope, &windows), referenceMessageSizes(trace, scope));
        }
        bool reordered = false;
        for (uint32_t i = 0; i < trace.processCount(); ++i)
            reordered |= trace.rankAt(i) != static_cast<int32_t>(i);
        moved += reordered;
        expectSameWaitsOf(trace, scopesFor(trace, seed), index);
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
