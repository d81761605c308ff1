// Aligning node clocks without walking every pair of processes. The sweeps
// visit only the links, in exactly the order in which a walk over all pairs
// (a < b, then the calls of one process, then the links of one call) would
// reach them, so every comparison sees the same offsets as in that walk.

#include "model/rank_positions.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"
#include "model/wrapping_math.h"

#include <algorithm>
#include <vector>

namespace {

// One comparison of a sweep: call `call` of the process at position `sender`
// and its link `link`, whose receiving process is at position `receiver`.
struct SweepStep {
    uint32_t sender;
    uint32_t receiver;
    uint32_t call;
    uint32_t link;
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

void applyStep(TTrace& trace, const SweepStep& step) {
    const TProcess& from = trace.processes[step.sender];
    const TProcess& to = trace.processes[step.receiver];
    const TFunc& s = from.calls[step.call];
    std::vector<TNodeClock>& clocks = trace.nodeClocks;
    const int64_t sendEnd = wrapAdd(s.end, clocks[from.nodeIndex].offset);
    const int64_t recvEnd = wrapAdd(s.links[step.link].recv->end, clocks[to.nodeIndex].offset);
    if (sendEnd > recvEnd) {
        int64_t& offset = clocks[to.nodeIndex].offset;
        offset = wrapAdd(offset, wrapAdd(wrapSub(sendEnd, recvEnd), 10));
    }
}

} // namespace

bool alignClocks(TTrace& trace, std::ostream& errors) {
    if (!alignClocksOnInit(trace, errors)) return false;

    const std::vector<TProcess>& procs = trace.processes;
    const auto n = static_cast<uint32_t>(procs.size());
    const RankPositions positions(procs);
    std::vector<uint64_t> seenStamp(n, 0);
    uint64_t stamp = 0;

    // Forward sweep: pairs a < b, walking A's sends to B. Sender a is the outer
    // loop, so the steps of one sender, ordered by (b, call), follow each other.
    // The same walk counts the backward sweep's steps per receiver.
    std::vector<uint64_t> bucketStart(size_t{n} + 1, 0);
    std::vector<SweepStep> steps;
    for (uint32_t a = 0; a < n; ++a) {
        steps.clear();
        const TProcess& from = procs[a];
        for (uint32_t k = 0; k < from.calls.size(); ++k) {
            const TFunc& s = from.calls[k];
            if (!(s.kind & kKindSend) || s.linkCount == 0) continue;
            forEachDecidingLink(s, positions, seenStamp, ++stamp, [&](uint32_t b, uint32_t l) {
                if (procs[b].nodeIndex == from.nodeIndex) return;
                if (b > a)
                    steps.push_back({a, b, k, l});
                else if (b < a)
                    ++bucketStart[b + 1];
            });
        }
        std::sort(steps.begin(), steps.end(), [](const SweepStep& x, const SweepStep& y) {
            return x.receiver != y.receiver ? x.receiver < y.receiver : x.call < y.call;
        });
        for (const SweepStep& step : steps) applyStep(trace, step);
    }

    // Backward sweep: pairs a < b, walking B's sends to A, a in the outer loop.
    // Generated with b and the call ascending, then filed stably by a.
    auto backwardSteps = [&](auto&& emit) {
        for (uint32_t b = 0; b < n; ++b) {
            const TProcess& from = procs[b];
            for (uint32_t k = 0; k < from.calls.size(); ++k) {
                const TFunc& s = from.calls[k];
                if (!(s.kind & kKindSend) || s.linkCount == 0) continue;
                forEachDecidingLink(s, positions, seenStamp, ++stamp, [&](uint32_t a, uint32_t l) {
                    if (a < b && procs[a].nodeIndex != from.nodeIndex) emit(SweepStep{b, a, k, l});
                });
            }
        }
    };
    for (uint32_t a = 0; a < n; ++a) bucketStart[a + 1] += bucketStart[a];
    // The bucket says the receiver: 12 bytes a step, one step per link.
    struct BucketedStep {
        uint32_t sender, call, link;
    };
    std::vector<BucketedStep> backward(bucketStart[n]);
    std::vector<uint64_t> fill(bucketStart.begin(), bucketStart.end() - 1);
    backwardSteps([&](const SweepStep& step) {
        backward[fill[step.receiver]++] = {step.sender, step.call, step.link};
    });
    for (uint32_t a = 0; a < n; ++a)
        for (uint64_t x = bucketStart[a]; x < bucketStart[a + 1]; ++x)
            applyStep(trace, {backward[x].sender, a, backward[x].call, backward[x].link});
    return true;
}
