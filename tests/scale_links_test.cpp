// The fast link building and clock alignment against the straightforward
// versions, on many random traces: the same links in the same order, the same
// offsets and the same messages.

#include "gen_test_support.h"
#include "model/reference/model_reference.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"
#include "model/trace_writer.h"
#include "tests/support/random_trace.h"
#include "tests/support/scratch_trace.h"
#include "tools/gen/trace_generator.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <tuple>
#include <vector>

namespace {

// (sender position, call, link rank, receiver position, receiver call)
using LinkRow = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t>;

std::pair<uint32_t, uint32_t> whereIs(const TTrace& t, const TFunc* f) {
    for (uint32_t p = 0; p < t.processes.size(); ++p) {
        const auto& calls = t.processes[p].calls;
        if (!calls.empty() && f >= calls.data() && f < calls.data() + calls.size())
            return {p, static_cast<uint32_t>(f - calls.data())};
    }
    return {0xFFFFFFFFu, 0xFFFFFFFFu};
}

std::vector<LinkRow> linkRows(const TTrace& t) {
    std::vector<LinkRow> rows;
    for (uint32_t p = 0; p < t.processes.size(); ++p) {
        const auto& calls = t.processes[p].calls;
        for (uint32_t k = 0; k < calls.size(); ++k)
            for (const TLink& l : calls[k].linkSpan()) {
                auto [rp, rk] = whereIs(t, l.recv);
                rows.emplace_back(p, k, l.rank, rp, rk);
            }
    }
    return rows;
}

std::vector<int64_t> offsets(const TTrace& t) {
    std::vector<int64_t> out;
    for (const TNodeClock& c : t.nodeClocks) out.push_back(c.offset);
    return out;
}

// Every link's end gap gives its receive's end, in the fast and the
// reference links alike; returns how many links had no gap (too far apart).
uint64_t expectGapsGiveReceiveEnds(const TTrace& t) {
    uint64_t unknown = 0;
    for (const TProcess& p : t.processes)
        for (const TFunc& f : p.calls)
            for (const TLink& l : f.linkSpan()) {
                EXPECT_EQ(l.recvEnd(f.end), l.recv->end);
                if (l.endGap == TLink::kGapUnknown)
                    ++unknown;
                else
                    EXPECT_EQ(f.end + l.endGap, l.recv->end);
            }
    return unknown;
}

// Links from collective and from point-to-point calls on the shared communicator.
std::pair<uint64_t, uint64_t> sharedCommLinks(const TTrace& t) {
    std::pair<uint64_t, uint64_t> links;
    for (const TProcess& p : t.processes)
        for (const TFunc& f : p.calls)
            if (f.comm == kRandomSharedComm)
                ((f.kind & kKindCollective) ? links.first : links.second) += f.linkCount;
    return links;
}

struct Compared {
    uint64_t links = 0;
    std::pair<uint64_t, uint64_t> sharedLinks;
    uint64_t linksWithoutGap = 0;
    bool aligned = false;
    std::vector<int64_t> offsets;
};

// Reads the trace twice, links and aligns it the fast and the reference way:
// the same links in the same order (before and after the sort), the same
// offsets, results and messages.
// `threads` workers build the fast links; with 1 or 3 the linked sends are
// handed on from link building to clock alignment, as the loader does.
Compared expectSameAsReference(const std::string& path, unsigned threads) {
    TTrace fast, reference;
    std::ostringstream ignored, fastErrors, referenceErrors;
    EXPECT_EQ(readTraceRecords(fast, path, ignored), readTraceRecords(reference, path, ignored));
    LinkedSends linked;
    LinkedSends* handedOn = threads % 2 == 1 ? &linked : nullptr;
    buildLinks(fast, threads, nullptr, handedOn);
    buildLinksReference(reference);
    const std::vector<LinkRow> rows = linkRows(fast);
    EXPECT_EQ(rows, linkRows(reference));
    const bool aligned = alignClocksReference(reference, referenceErrors);
    EXPECT_EQ(alignClocks(fast, fastErrors, threads, nullptr, handedOn), aligned);
    EXPECT_EQ(fastErrors.str(), referenceErrors.str());
    EXPECT_EQ(offsets(fast), offsets(reference));
    EXPECT_EQ(linkRows(fast), linkRows(reference));
    const uint64_t withoutGap = expectGapsGiveReceiveEnds(fast);
    EXPECT_EQ(expectGapsGiveReceiveEnds(reference), withoutGap);
    return {rows.size(), sharedCommLinks(reference), withoutGap, aligned, offsets(reference)};
}

} // namespace

TEST(ScaleDifferential, RandomTracesGiveTheSameLinksOffsetsAndMessages) {
    // Seeds from 5000 on: larger traces.
    RandomTraceOptions big;
    big.maxCallsPerProcess = 600;
    uint64_t linksSeen = 0, linksWithoutGap = 0, tracesWithAdjustedClocks = 0;
    std::pair<uint64_t, uint64_t> sharedLinks;
    for (uint64_t seed = 1; seed <= 5020 && !HasFailure(); seed = seed == 600 ? 5000 : seed + 1) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        TempTrace file(seed < 5000 ? randomTraceBytes(seed) : randomTraceBytes(seed, big));
        const Compared c = expectSameAsReference(file.path(), 1 + seed % 3);
        linksSeen += c.links;
        sharedLinks.first += c.sharedLinks.first;
        sharedLinks.second += c.sharedLinks.second;
        linksWithoutGap += c.linksWithoutGap;
        if (c.aligned) {
            TTrace initOnly;
            std::ostringstream ignored;
            readTraceRecords(initOnly, file.path(), ignored);
            alignClocksOnInit(initOnly, ignored);
            if (offsets(initOnly) != c.offsets) ++tracesWithAdjustedClocks;
        }
    }
    // The random traces must exercise what they compare.
    EXPECT_GT(linksSeen, 5000u);

    EXPECT_GT(sharedLinks.first, 500u); // collectives with translated roots
    EXPECT_GT(sharedLinks.second, 500u);
    EXPECT_GT(linksWithoutGap, 100u);
    EXPECT_LT(linksWithoutGap, linksSeen / 4);
    EXPECT_GT(tracesWithAdjustedClocks, 50u);
}

TEST(ScaleDifferential, PointToPointOnlyTracesGiveTheSameLinks) {
    // Senders without collectives are matched tag by tag as the candidates
    // are read; mixed tags make candidates wait for later sends.
    RandomTraceOptions options;
    options.pointToPointOnly = true;
    options.maxCallsPerProcess = 300;
    uint64_t linksSeen = 0;
    for (uint64_t seed = 1; seed <= 300 && !HasFailure(); ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        options.maxProcesses = seed % 2 == 0 ? 2 : 16;
        TempTrace file(randomTraceBytes(seed, options));
        linksSeen += expectSameAsReference(file.path(), 1 + seed % 3).links;
    }
    EXPECT_GT(linksSeen, 3000u);
}

TEST(ScaleDifferential, BuildingTwiceAppendsLikeTheReference) {
    for (uint64_t seed = 1000; seed < 1040; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        TempTrace file(randomTraceBytes(seed));
        TTrace fast, reference;
        std::ostringstream ignored;
        readTraceRecords(fast, file.path(), ignored);
        readTraceRecords(reference, file.path(), ignored);
        buildLinks(fast);
        buildLinksReference(reference);
        // Links added one by one on top of stored ones, and to sends that
        // the builds leave without any, then a second build.
        for (TTrace* t : {&fast, &reference})
            for (TProcess& p : t->processes)
                for (TFunc& f : p.calls)
                    if (f.linkCount == 1)
                        f.addLink(f.links[0].rank, f.links[0].recv);
                    else if (f.linkCount == 0 && (f.kind & kKindSend) &&
                             !t->processes[0].calls.empty())
                        f.addLink(t->processes[0].rank, t->processes[0].calls.data());
        LinkedSends linked; // none for the calls that had links before
        buildLinks(fast, 0, nullptr, &linked);
        buildLinksReference(reference);
        EXPECT_EQ(linkRows(fast), linkRows(reference));
        std::ostringstream errors;
        EXPECT_EQ(alignClocks(fast, errors, 0, nullptr, &linked),
                  alignClocksReference(reference, errors));
        EXPECT_EQ(offsets(fast), offsets(reference));
    }
}

TEST(ScaleDifferential, ASendersComparisonsApplyInTheReferenceOrder) {
    // Every receive ends before its send on the aligned clocks, by 500 us
    // plus a few, so that the order in which the comparisons are applied
    // decides the offsets: by receiver (ranks 1 and 2 share a node), then by
    // call. A receive moves the node only when its few exceed the last
    // mover's by more than 10: in call order the three messages below leave
    // the node at 520, by receiver at 516. 270,000 messages are more than
    // clock alignment keeps of one sender in call order (it walks the sender
    // again); 20,000 are fewer.
    struct Case {
        std::vector<uint32_t> to; // receiving rank of each message
        std::vector<int64_t> few; // its receive ends 500 + few us before the send
    };
    std::vector<Case> cases{{{1, 2, 1}, {5, 20, 16}}};
    for (uint32_t messages : {270'000u, 20'000u}) {
        std::mt19937 random(messages);
        Case& c = cases.emplace_back();
        for (uint32_t m = 0; m < messages; ++m) {
            c.to.push_back(1 + random() % 3);
            c.few.push_back(random() % 30);
        }
    }
    for (const Case& c : cases) {
        const auto messages = static_cast<uint32_t>(c.to.size());
        SCOPED_TRACE("messages " + std::to_string(messages));
        TraceWriter w;
        for (uint32_t rank = 0; rank < 4; ++rank) {
            const auto node = static_cast<uint8_t>(rank == 2 ? 2 : rank + 1);
            w.declareProcess(rank, nodeIdFromOctets(10, 0, 0, node));
            w.shortCall(1, kFuncInit, 0, 10);
            for (uint32_t m = 0; m < messages; ++m) {
                const int64_t sendEnd = 120 + 100 * int64_t{m};
                if (rank == 0) {
                    w.longCall(2, kFuncSend, sendEnd - 5, sendEnd, 8, m % 7,
                               static_cast<int32_t>(c.to[m]), kWorldComm);
                } else if (c.to[m] == rank) {
                    const int64_t end = sendEnd - 500 - c.few[m];
                    w.longCall(2, kFuncRecv, end - 5, end, 8, m % 7, 0, kWorldComm);
                }
            }
        }
        TempTrace file(w.bytes());
        const Compared result = expectSameAsReference(file.path(), 2);
        EXPECT_EQ(result.links, messages);
        if (messages == 3) {
            EXPECT_EQ(result.offsets, (std::vector<int64_t>{-10, 516, -10}));
        }
    }
}

TEST(ScaleDifferential, GeneratedProgramsGiveTheSameLinksAndOffsets) {
    // Realistic traffic: Cartesian and split communicators, non-blocking
    // transfers, collectives with moving roots, wildcard-free tags.
    uint64_t linksSeen = 0;
    for (uint32_t ranks : {2u, 5u, 16u, 24u}) {
        for (uint64_t seed = 1; seed <= 3; ++seed) {
            SCOPED_TRACE("ranks " + std::to_string(ranks) + " seed " + std::to_string(seed));
            GenOptions options = genOptions(GenPattern::Mixed, ranks, 1 + ranks / 4, 3);
            options.seed = seed;
            options.skewUs = 3000;
            options.faults =
                seed == 3 ? kFaultUnfinished | kFaultUnfreedComm | kFaultLostRecv | kFaultNoInit
                          : 0u;
            TempTrace file(options);
            linksSeen += expectSameAsReference(file.path(), static_cast<unsigned>(seed)).links;
        }
    }
    // Two processes with long call lists, both directions on one tag.
    for (uint64_t seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE("pingpong seed " + std::to_string(seed));
        GenOptions options = genOptions(GenPattern::PingPong, 2, 2, 3);
        options.seed = seed;
        options.skewUs = 3000;
        TempTrace file(options);
        linksSeen += expectSameAsReference(file.path(), static_cast<unsigned>(seed)).links;
    }
    EXPECT_GT(linksSeen, 1000u);
}

TEST(LoadProgress, RisesToTheEndWithoutChangingWhatIsLoaded) {
    GenOptions options = genOptions(GenPattern::Mixed, 300, 20, 4);
    options.skewUs = 3000;
    TempTrace file(options);
    const std::string& path = file.path();
    std::vector<uint32_t> seen;
    TTrace watched, plain;
    std::ostringstream ignored;
    ASSERT_TRUE(
        loadTrace(watched, path, ignored, [&](uint32_t permille) { seen.push_back(permille); }));
    ASSERT_TRUE(loadTrace(plain, path, ignored));
    EXPECT_EQ(linkRows(watched), linkRows(plain));
    EXPECT_EQ(offsets(watched), offsets(plain));

    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end()); // each value once
    EXPECT_EQ(seen.back(), 1000u);
    EXPECT_GT(seen.size(), 50u); // every step reports, not only the end

    // Cancelled while linking: nothing more is reported, nothing is kept.
    for (const uint32_t stopAt : {seen[seen.size() / 2], seen[seen.size() - 2]})
        EXPECT_LT(expectCancelledLoad(path, stopAt), 1000u);
}
