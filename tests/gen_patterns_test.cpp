#include "gen_test_support.h"
#include "model/trace_model.h"
#include "tools/gen/gen_patterns.h"
#include "tools/gen/gen_pingpong.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <tuple>

namespace {

// Checks that hold for every generated trace without faults: a silent load,
// MPI_Init first and MPI_Finalize last, calls in time order, and every link
// ending after its send on the corrected clocks.
void expectSoundTrace(const LoadedGen& g) {
    ASSERT_TRUE(g.result.ok) << g.result.error;
    ASSERT_TRUE(g.trace);
    EXPECT_TRUE(g.trace->loaded());
    EXPECT_EQ(g.trace->databaseResult(), 1);
    EXPECT_EQ((std::vector<std::string>{g.errors, g.dbMessages, g.stdoutText, g.stderrText}),
              std::vector<std::string>(4));
    uint64_t calls = 0;
    for (const TProcess& p : g.trace->processes) {
        ASSERT_FALSE(p.calls.empty());
        calls += p.calls.size();
        EXPECT_EQ(p.calls.front().funcId, kFuncInit) << "rank " << p.rank;
        EXPECT_EQ(p.calls.back().funcId, kFuncFinalize) << "rank " << p.rank;
        for (size_t k = 1; k < p.calls.size(); ++k) {
            EXPECT_GE(p.calls[k].start, p.calls[k - 1].start) << "rank " << p.rank << " call " << k;
            EXPECT_GE(p.calls[k].end, p.calls[k].start);
        }
        const int64_t sendOffset = g.trace->nodeOffset(p.nodeIndex);
        for (const TFunc& s : p.calls)
            for (const TLink& l : s.linkSpan()) {
                const TProcess* to = g.trace->processOfRank(static_cast<int32_t>(l.rank));
                ASSERT_NE(to, nullptr);
                EXPECT_GT(l.recv->end + g.trace->nodeOffset(to->nodeIndex), s.end + sendOffset);
            }
    }
    EXPECT_EQ(calls, g.result.calls);
}

uint32_t createdComm(const TProcess& p, uint32_t funcId) {
    const auto c = callsOf(p, funcId);
    return c.empty() ? 0 : c.front()->comm;
}

uint64_t linksOnComm(const TTrace& t, uint32_t comm) {
    uint64_t n = 0;
    for (const TProcess& p : t.processes)
        for (const TFunc& f : p.calls)
            if (f.comm == comm) n += f.linkCount;
    return n;
}

} // namespace

// The ring pattern's links, call by call, and its nodes: the golden files of
// zlv_cli_golden. The mixed pattern, byte for byte: GenExample below.

TEST(GenStencil, HaloLinksRunFromIsendToTheWaitForIrecvOfEachNeighbour) {
    const uint32_t n = 12, k = 3;
    const LoadedGen g = generateAndLoad(genOptions(GenPattern::Stencil, n, 2, k));
    expectSoundTrace(g);
    const uint32_t px = 3, py = 4; // 12 ranks: the most square grid
    const uint64_t directedNeighbours = 2 * (uint64_t{py} * (px - 1) + uint64_t{px} * (py - 1));
    EXPECT_EQ(totalLinks(*g.trace), directedNeighbours * k);
    for (const TProcess& p : g.trace->processes) {
        for (const TFunc& f : p.calls) {
            if (f.funcId != kFuncIsend) {
                EXPECT_EQ(f.linkCount, 0u) << "function " << f.funcId;
                continue;
            }
            ASSERT_EQ(f.linkCount, 1u);
            const TLink& l = f.links[0];
            EXPECT_EQ(
                std::tuple(l.rank, l.recv->funcId, l.recv->peer, l.recv->msgTag, l.recv->comm),
                std::tuple(static_cast<uint32_t>(f.peer), kFuncWaitIrecv,
                           static_cast<int32_t>(p.rank), f.msgTag, f.comm));
            const int dx = static_cast<int>(l.rank % px) - static_cast<int>(p.rank % px);
            const int dy = static_cast<int>(l.rank / px) - static_cast<int>(p.rank / px);
            EXPECT_EQ(std::abs(dx) + std::abs(dy), 1) << p.rank << " -> " << l.rank;
        }
        EXPECT_TRUE(p.openCommList().empty());
    }
}

TEST(GenMasterWorker, TasksResultsAndStopsAreAllLinked) {
    const uint32_t n = 5, k = 8;
    const LoadedGen g = generateAndLoad(genOptions(GenPattern::MasterWorker, n, 2, k));
    expectSoundTrace(g);
    EXPECT_EQ(totalLinks(*g.trace), 2 * uint64_t{k} * (n - 1) + (n - 1));
    const TProcess& master = *g.trace->processOfRank(0);
    std::set<uint32_t> tasksPerWorker;
    for (uint32_t w = 1; w < n; ++w) {
        const TProcess& worker = *g.trace->processOfRank(static_cast<int32_t>(w));
        const auto results = callsOf(worker, kFuncSend);
        tasksPerWorker.insert(static_cast<uint32_t>(results.size()));
        for (const TFunc* s : results) {
            ASSERT_EQ(s->linkCount, 1u);
            EXPECT_EQ(
                std::tuple(s->links[0].rank, s->links[0].recv->peer, s->links[0].recv->msgTag),
                std::tuple(0u, static_cast<int32_t>(w), kTagResult));
        }
        // The last message a worker gets is the stop.
        const auto recvs = callsOf(worker, kFuncRecv);
        ASSERT_FALSE(recvs.empty());
        EXPECT_EQ(recvs.back()->msgTag, kTagStop);
        EXPECT_EQ(recvs.size(), results.size() + 1); // one task per result
    }
    // Uneven work: not every worker gets the same number of tasks.
    EXPECT_GT(tasksPerWorker.size(), 1u);
    EXPECT_EQ(callsOf(master, kFuncRecv).size(), uint64_t{k} * (n - 1));
}

TEST(GenCollectives, RootedCollectivesLinkOverWorldDupAndSubCommunicators) {
    const uint32_t n = 8, k = 2, half = n / 2, rowLength = 2; // 8 ranks: 2 x 4 grid
    const LoadedGen g = generateAndLoad(genOptions(GenPattern::Collectives, n, 2, k));
    expectSoundTrace(g);
    const TTrace& t = *g.trace;
    const TProcess& r0 = *t.processOfRank(0);
    // Six rooted collectives per iteration over the world, one over its duplicate.
    EXPECT_EQ(linksOnComm(t, kWorldComm), uint64_t{k} * 6 * (n - 1));
    EXPECT_EQ(linksOnComm(t, createdComm(r0, kFuncCommDup)), uint64_t{k} * (n - 1));
    // The lower half and the first row keep local rank = global rank.
    EXPECT_EQ(linksOnComm(t, createdComm(r0, kFuncCommSplit)), uint64_t{k} * 2 * (half - 1));
    EXPECT_EQ(linksOnComm(t, createdComm(r0, kFuncCartSub)), uint64_t{k} * (rowLength - 1));
    // Elsewhere the root is known only by its local rank: fully linked or not at all.
    const TProcess& top = *t.processOfRank(n - 1);
    const uint64_t upper = linksOnComm(t, createdComm(top, kFuncCommSplit));
    EXPECT_TRUE(upper == 0 || upper == uint64_t{k} * 2 * (n - half - 1)) << upper;

    for (const TProcess& p : t.processes) {
        EXPECT_TRUE(p.openCommList().empty()) << "rank " << p.rank;
        EXPECT_EQ(callsOf(p, kFuncCommFree).size(), 4u);
        for (const TFunc& f : p.calls)
            for (const TLink& l : f.linkSpan()) {
                EXPECT_EQ(std::pair(l.recv->funcId, l.recv->comm), std::pair(f.funcId, f.comm));
                // The n-th such collective on one side meets the n-th on the other.
                const TProcess& to = *t.processOfRank(static_cast<int32_t>(l.rank));
                auto nth = [](const TProcess& q, const TFunc* c) {
                    size_t i = 0;
                    for (const TFunc& x : q.calls) {
                        if (&x == c) return i;
                        if (x.funcId == c->funcId && x.comm == c->comm && x.location == c->location)
                            ++i;
                    }
                    return SIZE_MAX;
                };
                EXPECT_EQ(nth(p, &f), nth(to, l.recv));
            }
    }
    // The creating calls carry their members as global ranks.
    const TComm* row = top.findComm(createdComm(top, kFuncCartSub), 10);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->members, (std::vector<uint32_t>{6, 7}));
}

TEST(GenPingPong, EverySizeBouncesBlockingThenNonBlockingAndRepeatsTheSameBytes) {
    const std::vector<uint32_t> sizes = pingPongSizes();
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.front(), 1u);
    EXPECT_EQ(sizes.back(), kPingMaxSize);
    EXPECT_TRUE(std::is_sorted(sizes.begin(), sizes.end()));
    EXPECT_EQ(std::set<uint32_t>(sizes.begin(), sizes.end()).size(), sizes.size());
    for (const uint32_t s : {2u, 5u, 13u, 16u, 19u, kPingMaxSize - 3})
        EXPECT_TRUE(std::binary_search(sizes.begin(), sizes.end(), s)) << s;

    const uint32_t k = 2;
    GenOptions o = genOptions(GenPattern::PingPong, 2, 2, k);
    o.skewUs = 5000;
    const LoadedGen g = generateAndLoad(o);
    expectSoundTrace(g);
    ASSERT_EQ(g.trace->processes.size(), 2u);
    // Per size and side: Send, Recv, Irecv, Isend and the two waits.
    EXPECT_EQ(g.result.calls, 2 * (2 + uint64_t{k} * sizes.size() * 6));
    for (const TProcess& p : g.trace->processes) {
        const int32_t other = 1 - static_cast<int32_t>(p.rank);
        std::vector<uint32_t> sent; // sizes in call order, one per send
        for (const TFunc& f : p.calls) {
            const bool sends = f.funcId == kFuncSend || f.funcId == kFuncIsend;
            ASSERT_EQ(f.linkCount, sends ? 1u : 0u)
                << "rank " << p.rank << " function " << f.funcId;
            if (!sends) continue;
            sent.push_back(f.size);
            const TLink& l = f.links[0];
            EXPECT_EQ(std::tuple(l.rank, l.recv->funcId, l.recv->peer, l.recv->size),
                      std::tuple(static_cast<uint32_t>(other),
                                 f.funcId == kFuncSend ? kFuncRecv : kFuncWaitIrecv,
                                 static_cast<int32_t>(p.rank), f.size));
        }
        std::vector<uint32_t> expected;
        for (uint32_t it = 0; it < k; ++it)
            for (const uint32_t s : sizes) expected.insert(expected.end(), {s, s});
        EXPECT_EQ(sent, expected) << "rank " << p.rank;
    }
    // Its database names its own source file; the bytes repeat with the seed.
    EXPECT_NE(readWholeFile(g.result.fdbPath).find("pingpong.c"), std::string::npos);
    const LoadedGen again = generateAndLoad(o, "again.zlv");
    EXPECT_TRUE(readWholeFile(again.path) == readWholeFile(g.path));
    EXPECT_EQ(checkOptions(genOptions(GenPattern::PingPong, 3, 2, 1)),
              "--ranks must be 2 for pingpong");
}

// Skewed node clocks: pinned byte for byte by GenExample and the golden ring
// trace; undone by clock alignment in the AlignClocks tests.

TEST(GenOptionsCheck, RejectsRunsThatCannotBeSimulated) {
    EXPECT_EQ(checkOptions(GenOptions{}), "");
    for (const auto& spoil : std::initializer_list<void (*)(GenOptions&)>{
             [](GenOptions& o) { o.ranks = 1; }, [](GenOptions& o) { o.nodes = o.ranks + 1; },
             [](GenOptions& o) { o.iterations = 0; }}) {
        GenOptions o;
        spoil(o);
        EXPECT_NE(checkOptions(o), "");
        EXPECT_FALSE(generateTrace(o, (genScratchDir() / "x.zlv").string()).ok);
    }
    // Without a three-character extension the database would overwrite the trace.
    const GenResult r = generateTrace(GenOptions{}, (genScratchDir() / "trace.data").string());
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(std::filesystem::exists(genScratchDir() / "trace.data"));
    EXPECT_EQ(patternFromName("master-worker"), GenPattern::MasterWorker);
    EXPECT_EQ(patternFromName("Ring"), std::nullopt);
    EXPECT_EQ(faultFromName("lost-recv"), kFaultLostRecv);
}

TEST(GenExample, BundledExampleIsWhatItsDocumentedCommandMakesAndSeedsMatter) {
    // examples/README.md: zlv gen mixed examples/mixed.zlv --ranks 8 --nodes 2
    //   --iterations 10 --seed 1 --skew-us 20000
    GenOptions o = genOptions(GenPattern::Mixed, 8, 2, 10);
    o.seed = 1;
    o.skewUs = 20000;
    const LoadedGen g = generateAndLoad(o, "mixed.zlv");
    expectSoundTrace(g);
    const std::filesystem::path examples = std::filesystem::path(ZLV_SOURCE_DIR) / "examples";
    EXPECT_TRUE(readWholeFile(g.path) == readWholeFile(examples / "mixed.zlv"))
        << "regenerate the example with the command in examples/README.md";
    EXPECT_EQ(readWholeFile(g.result.fdbPath), readWholeFile(examples / "mixed.fdb"));
    EXPECT_LT(std::filesystem::file_size(examples / "mixed.zlv"), 1u << 20);
    // The same seed gives the same bytes (above); another seed other bytes, same names.
    o.seed = 2;
    const LoadedGen other = generateAndLoad(o, "other.zlv");
    expectSoundTrace(other);
    EXPECT_FALSE(readWholeFile(other.path) == readWholeFile(g.path));
    EXPECT_EQ(readWholeFile(other.result.fdbPath), readWholeFile(g.result.fdbPath));
}
