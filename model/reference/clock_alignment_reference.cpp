// Aligning node clocks: after the common start (alignClocksOnInit), one
// forward and one backward sweep push receives after their sends.
// Straightforward on purpose: the reference that the fast version must equal.

#include "model/reference/model_reference.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"
#include "model/wrapping_math.h"

void sweepPairReference(TTrace& trace, size_t a, size_t b, bool forward) {
    auto& procs = trace.processes;
    if (procs[a].nodeIndex == procs[b].nodeIndex) return;
    const TProcess& from = forward ? procs[a] : procs[b];
    const TProcess& to = forward ? procs[b] : procs[a];
    for (const TFunc& s : from.calls) {
        if (!(s.kind & kKindSend)) continue;
        const TLink* match = nullptr;
        for (const TLink& l : s.linkSpan())
            if (l.rank == to.rank) match = &l; // the last such link decides
        if (!match) continue;
        const int64_t sendEnd = wrapAdd(s.end, trace.nodeOffset(from.nodeIndex));
        const int64_t recvEnd = wrapAdd(match->recv->end, trace.nodeOffset(to.nodeIndex));
        if (sendEnd > recvEnd) {
            int64_t& offset = trace.nodeClocks[to.nodeIndex].offset;
            offset = wrapAdd(offset, wrapAdd(wrapSub(sendEnd, recvEnd), 10));
        }
    }
}

bool alignClocksReference(TTrace& trace, std::ostream& errors) {
    if (!alignClocksOnInit(trace, errors)) return false;
    // One forward and one backward sweep over every pair a < b on different nodes.
    const size_t n = trace.processes.size();
    for (bool forward : {true, false})
        for (size_t a = 0; a < n; ++a)
            for (size_t b = a + 1; b < n; ++b) sweepPairReference(trace, a, b, forward);
    return true;
}
