// Aligning node clocks without walking every pair of processes. The sweeps
// visit only the links, in exactly the order in which a walk over all pairs
// (a < b, then the calls of one process, then the links of one call) would
// reach them, so every comparison sees the same offsets as in that walk.
//
// Only applying a step depends on the order; finding the steps and fetching
// the two end times they compare does not, so workers do that for blocks of
// senders while the sweep itself runs in order over compact arrays.

#include "model/memory_advice.h"
#include "model/parallel_work.h"
#include "model/rank_positions.h"
#include "model/receiver_counts.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"
#include "model/wrapping_math.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <unordered_map>
#include <vector>

namespace {

// One comparison: a send's end against its receive's end (raw node times).
struct Comparison {
    // Left unset: a sender's list is sized first and then every entry written.
    Comparison() {}
    Comparison(uint32_t receiver_, int64_t sendEnd_, int64_t recvEnd_)
        : receiver(receiver_), sendEnd(sendEnd_), recvEnd(recvEnd_) {}
    uint32_t receiver; // position of the receiving process
    int64_t sendEnd;
    int64_t recvEnd;
};

// Calls fn(receiverPosition, linkIndex) for each sending call's last link to
// each receiving process: the sweeps look only at that one.
template <typename Fn>
void forEachDecidingLink(const TFunc& s, const RankPositions& positions,
                         std::vector<uint64_t>& seenStamp, uint64_t stamp, Fn&& fn) {
    for (uint32_t l = s.linkCount; l-- > 0;) {
        positions.forEach(s.links[l].rank, [&](uint32_t receiver) {
            if (seenStamp[receiver] == stamp) return;
            seenStamp[receiver] = stamp;
            fn(receiver, l);
        });
    }
}

// Which calls of a process send and have links, one bit per call. Only
// these take part in the sweeps, which walk a process two or three times; most
// calls are others.
void collectLinkedSends(const TProcess& from, std::vector<uint64_t>& out) {
    out.assign((from.calls.size() + 63) / 64, 0);
    for (uint32_t k = 0; k < from.calls.size(); ++k) {
        const TFunc& s = from.calls[k];
        const bool linked = (s.kind & kKindSend) && s.linkCount != 0;
        out[k / 64] |= uint64_t{linked} << (k % 64);
    }
}

// Calls fn(receiver, call, link) for every comparison whose sender is at
// position `a`, whose linked sends are `linkedSends`, in call order; pairs
// on one node compare nothing.
template <typename Fn>
void forEachComparisonOf(const std::vector<TProcess>& procs, uint32_t a,
                         const std::vector<uint64_t>& linkedSends, const RankPositions& positions,
                         std::vector<uint64_t>& seenStamp, uint64_t& stamp, Fn&& fn) {
    const TProcess& from = procs[a];
    for (size_t word = 0; word < linkedSends.size(); ++word) {
        for (uint64_t bits = linkedSends[word]; bits != 0; bits &= bits - 1) {
            const auto k = static_cast<uint32_t>(word * 64 + std::countr_zero(bits));
            // The calls lie apart and little is done per call: ask for
            // both cache lines of a call well ahead.
            const char* ahead = reinterpret_cast<const char*>(from.calls.data() + k + 48);
            __builtin_prefetch(ahead);
            __builtin_prefetch(ahead + sizeof(TFunc) - 1);
            const TFunc& s = from.calls[k];
            forEachDecidingLink(s, positions, seenStamp, ++stamp, [&](uint32_t b, uint32_t l) {
                if (b != a && procs[b].nodeIndex != from.nodeIndex) fn(b, k, l);
            });
        }
    }
}

// Call k of `from` against link l's receive, on receiver position b.
Comparison comparisonOf(const TProcess& from, uint32_t b, uint32_t k, uint32_t l) {
    const TFunc& s = from.calls[k];
    return {b, s.end, s.links[l].recvEnd(s.end)};
}

void applyComparison(std::vector<TNodeClock>& clocks, uint32_t fromNode, uint32_t toNode,
                     int64_t rawSendEnd, int64_t rawRecvEnd) {
    const int64_t sendEnd = wrapAdd(rawSendEnd, clocks[fromNode].offset);
    const int64_t recvEnd = wrapAdd(rawRecvEnd, clocks[toNode].offset);
    if (sendEnd > recvEnd) {
        int64_t& offset = clocks[toNode].offset;
        offset = wrapAdd(offset, wrapAdd(wrapSub(sendEnd, recvEnd), 10));
    }
}

// Per worker: the stamps of forEachDecidingLink and the slots that file one
// sender's comparisons. A cache line of its own: workers write these all the time.
struct alignas(64) WorkerState {
    std::vector<uint64_t> seenStamp;
    uint64_t stamp = 0;
    ReceiverCounts receivers; // files one sender's comparisons
    ReceiverCounts::Counts counts;
    std::vector<Comparison> inCallOrder; // one sender's forward comparisons

    void resize(uint32_t n) {
        seenStamp.assign(n, 0);
        receivers.resize(n);
    }
};

} // namespace

bool alignClocks(TTrace& trace, std::ostream& errors, unsigned threads, ProgressStep* progress,
                 LinkedSends* linked) {
    if (!alignClocksOnInit(trace, errors)) return false;

    const std::vector<TProcess>& procs = trace.processes;
    std::vector<TNodeClock>& clocks = trace.nodeClocks;
    const auto n = static_cast<uint32_t>(procs.size());
    // Each process's linked sends: those link building found, by their call
    // list; the others collected in the first walk.
    std::vector<std::vector<uint64_t>> linkedSends(n);
    std::vector<uint8_t> listed(n, 0);
    if (linked) {
        std::unordered_map<const TFunc*, uint32_t> listOf;
        for (uint32_t x = 0; x < linked->owner.size() && x < linked->calls.size(); ++x)
            if (linked->owner[x]) listOf.emplace(linked->owner[x], x);
        for (uint32_t a = 0; a < n; ++a) {
            if (procs[a].calls.empty()) continue;
            const auto it = listOf.find(procs[a].calls.data());
            if (it == listOf.end()) continue;
            linkedSends[a] = std::move(linked->calls[it->second]);
            listed[a] = 1;
        }
        *linked = {};
    }
    const RankPositions positions(procs);
    const unsigned workers = std::max(1u, std::min<unsigned>(workersFor(procs, threads), n));
    std::vector<WorkerState> state(workers);
    for (WorkerState& s : state) s.resize(n);

    // The backward sweep visits receivers in order; its comparisons are filed
    // per receiver, senders ascending. To fill those buckets in parallel, the
    // senders are cut into one contiguous range per worker and each range's
    // comparisons per receiver are counted in the forward walk.
    const unsigned ranges = workers;
    const std::vector<uint32_t> rangeStart = rangesByCalls(procs, ranges);
    auto rangeOf = [&](uint32_t a) {
        return static_cast<unsigned>(std::upper_bound(rangeStart.begin(), rangeStart.end(), a) -
                                     rangeStart.begin() - 1);
    };
    // counts[worker][range * n + receiver]
    std::vector<std::vector<uint64_t>> counts(workers, std::vector<uint64_t>(size_t{ranges} * n));

    // Forward sweep: pairs a < b, walking A's sends to B, a in the outer loop:
    // one sender's comparisons, ordered by (b, call), follow each other. The
    // senders of a block are walked once in parallel, each sender's
    // comparisons kept in call order (a few thousand, in the cache) and then
    // filed per receiver, receivers ascending and call order within one
    // receiver, without a sort; then applied in order.
    // A block holds up to 64 senders, but with few processes each sender
    // has millions of comparisons: then a block ends after a sixteenth of the
    // calls, or one sender per worker, so that only some are filed at once.
    constexpr uint32_t kBlock = 64;
    // A sender's comparisons kept in call order up to this many (6 MB).
    constexpr size_t kKeptComparisons = size_t{1} << 18;
    std::vector<std::vector<Comparison>> filed(kBlock); // per sender of the block
    // Room for them from the start (a small trace asks for little): taken
    // as it is used, without copying as it grows.
    const auto calls = static_cast<size_t>(callCount(procs));
    for (WorkerState& s : state) reserveUpTo(s.inCallOrder, std::min(kKeptComparisons, calls));
    const uint64_t blockCalls = std::max<uint64_t>(calls / 16, 64);
    for (uint32_t blockStart = 0, blockSize = 0; blockStart < n; blockStart += blockSize) {
        uint64_t inBlock = 0;
        for (blockSize = 0; blockStart + blockSize < n && blockSize < kBlock &&
                            (blockSize < workers || inBlock < blockCalls);
             ++blockSize)
            inBlock += procs[blockStart + blockSize].calls.size();
        if (progress && progress->cancelled()) return false;
        parallelFor(workers, blockSize, [&](unsigned w, uint32_t item) {
            const uint32_t a = blockStart + item;
            WorkerState& ws = state[w];
            uint64_t* backwardCount = counts[w].data() + size_t{rangeOf(a)} * n;
            const TProcess& from = procs[a];
            ws.receivers.start();
            ws.inCallOrder.clear();
            bool kept = true; // all of the sender's comparisons are in inCallOrder
            if (!listed[a]) collectLinkedSends(from, linkedSends[a]);
            forEachComparisonOf(procs, a, linkedSends[a], positions, ws.seenStamp, ws.stamp,
                                [&](uint32_t b, uint32_t k, uint32_t l) {
                                    if (b < a) {
                                        ++backwardCount[b];
                                        return;
                                    }
                                    ws.receivers.count(b);
                                    if (!kept) return;
                                    if (ws.inCallOrder.size() == kKeptComparisons) {
                                        kept = false;
                                        return;
                                    }
                                    ws.inCallOrder.push_back(comparisonOf(from, b, k, l));
                                });
            const uint64_t total = ws.receivers.inOrder(ws.counts);
            ws.receivers.placeAt(ws.counts, 0);
            std::vector<Comparison>& out = filed[item];
            out.resize(total); // untouched yet: huge pages where it is large
            adviseHugePages(out.data(), total * sizeof(Comparison));
            if (kept) {
                for (const Comparison& c : ws.inCallOrder) out[ws.receivers.next(c.receiver)++] = c;
                return;
            }
            // Too many to keep a second copy of (the root of collectives
            // over everyone): walked again, filed straight to their places.
            forEachComparisonOf(procs, a, linkedSends[a], positions, ws.seenStamp, ws.stamp,
                                [&](uint32_t b, uint32_t k, uint32_t l) {
                                    if (b >= a)
                                        out[ws.receivers.next(b)++] = comparisonOf(from, b, k, l);
                                });
        });
        for (uint32_t item = 0; item < blockSize; ++item) {
            const uint32_t fromNode = procs[blockStart + item].nodeIndex;
            for (const Comparison& c : filed[item])
                applyComparison(clocks, fromNode, procs[c.receiver].nodeIndex, c.sendEnd,
                                c.recvEnd);
            // A huge sender's room is not kept for the others.
            if (filed[item].capacity() > kKeptComparisons)
                std::vector<Comparison>().swap(filed[item]);
        }
        // The forward sweep is about two thirds of the work.
        if (progress) progress->report(uint64_t{blockStart + blockSize} * 2, uint64_t{n} * 3);
    }
    std::vector<std::vector<Comparison>>().swap(filed);

    // Backward sweep: pairs a < b, walking B's sends to A, a in the outer loop.
    // Bucket a holds range 0's comparisons to a, then range 1's, and so on.
    struct Filed {
        uint32_t fromNode;
        int64_t sendEnd;
        int64_t recvEnd;
    };
    std::vector<uint64_t> bucketStart(size_t{n} + 1, 0);
    std::vector<std::vector<uint64_t>> fill(ranges, std::vector<uint64_t>(n));
    uint64_t at = 0;
    for (uint32_t a = 0; a < n; ++a) {
        bucketStart[a] = at;
        for (unsigned r = 0; r < ranges; ++r) {
            fill[r][a] = at;
            for (unsigned w = 0; w < workers; ++w) at += counts[w][size_t{r} * n + a];
        }
    }
    bucketStart[n] = at;
    std::vector<std::vector<uint64_t>>().swap(counts);
    // Receivers are taken in rounds of at most a sixteenth of the calls' worth
    // of comparisons (a receiver with more makes a round of its own), each
    // round walking the senders again: with few processes, all comparisons
    // at once would need room for a third of the links.
    const uint64_t roundSize = std::max<uint64_t>(calls / 16, 64);
    uint64_t largestRound = 0;
    std::vector<uint32_t> roundStart{0};
    for (uint32_t a = 0; a < n; ++a) {
        if (a > roundStart.back() &&
            bucketStart[a + 1] - bucketStart[roundStart.back()] > roundSize)
            roundStart.push_back(a);
        largestRound = std::max(largestRound, bucketStart[a + 1] - bucketStart[roundStart.back()]);
    }
    roundStart.push_back(n);
    // Not zeroed: the workers write every entry, and fill fresh pages in parallel.
    std::unique_ptr<Filed[]> backward(new Filed[largestRound]);
    adviseHugePages(backward.get(), largestRound * sizeof(Filed));
    for (size_t round = 0; round + 1 < roundStart.size(); ++round) {
        const uint32_t first = roundStart[round], end = roundStart[round + 1];
        const uint64_t base = bucketStart[first];
        const bool last = end == n;
        parallelFor(workers, ranges, [&](unsigned w, uint32_t r) {
            std::vector<uint64_t>& next = fill[r];
            // Only senders after the round's first receiver compare with it.
            for (uint32_t b = std::max(rangeStart[r], first + 1); b < rangeStart[r + 1]; ++b) {
                const TProcess& from = procs[b];
                forEachComparisonOf(procs, b, linkedSends[b], positions, state[w].seenStamp,
                                    state[w].stamp, [&](uint32_t a, uint32_t k, uint32_t l) {
                                        if (a > b || a < first || a >= end) return;
                                        const TFunc& s = from.calls[k];
                                        backward[next[a]++ - base] = {from.nodeIndex, s.end,
                                                                      s.links[l].recvEnd(s.end)};
                                    });
                if (last) std::vector<uint64_t>().swap(linkedSends[b]);
            }
        });
        for (uint32_t a = first; a < end; ++a) {
            const uint32_t toNode = procs[a].nodeIndex;
            for (uint64_t x = bucketStart[a] - base; x < bucketStart[a + 1] - base; ++x)
                applyComparison(clocks, backward[x].fromNode, toNode, backward[x].sendEnd,
                                backward[x].recvEnd);
        }
    }
    return true;
}
