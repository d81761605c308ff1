#include "model/call_search.h"

#include "model/trace_document.h"

#include <algorithm>
#include <set>
#include <tuple>

namespace {

using Key = std::tuple<int64_t, uint32_t, uint32_t>; // display start, position, index

Key keyOf(const TTrace& trace, uint32_t position, uint32_t index) {
    const TProcess& p = *trace.processAt(position);
    return {wrapAdd(p.calls[index].start, trace.nodeOffset(p.nodeIndex)), position, index};
}

} // namespace

bool matches(const CallQuery& q, int32_t rank, const TFunc& call) {
    if (q.funcId ? call.baseFuncId() != *q.funcId : call.isSectionMarker()) return false;
    if (q.rank && rank != *q.rank) return false;
    if (q.minDuration > 0 && wrapSub(call.end, call.start) < q.minDuration) return false;
    if (q.tag && call.msgTag != *q.tag) return false;
    if (q.peer && call.peer != *q.peer) return false;
    return true;
}

std::optional<CallRef> findCall(const TTrace& trace, const CallQuery& query,
                                std::optional<CallRef> from, bool forward) {
    const uint32_t n = trace.processCount();
    std::optional<Key> origin;
    if (from && from->position < n && from->index < trace.processAt(from->position)->calls.size())
        origin = keyOf(trace, from->position, from->index);
    std::optional<Key> best;
    for (uint32_t i = 0; i < n; ++i) {
        const TProcess& p = *trace.processAt(i);
        if (query.rank && static_cast<int32_t>(p.rank) != *query.rank) continue;
        const int64_t shift = trace.nodeOffset(p.nodeIndex);
        // Call lists are read whole: a damaged file need not keep time order.
        for (uint32_t k = 0; k < p.calls.size(); ++k) {
            const TFunc& f = p.calls[k];
            const Key key{wrapAdd(f.start, shift), i, k};
            if (origin && (forward ? key <= *origin : key >= *origin)) continue;
            if (best && (forward ? key >= *best : key <= *best)) continue;
            if (!matches(query, static_cast<int32_t>(p.rank), f)) continue;
            if (query.accepts && !query.accepts(i, f)) continue;
            best = key;
        }
    }
    if (!best) return std::nullopt;
    return CallRef{std::get<1>(*best), std::get<2>(*best)};
}

std::vector<uint32_t> functionsPresent(const TTrace& trace) {
    std::set<uint32_t> ids;
    for (const TProcess& p : trace.processes)
        for (const TFunc& f : p.calls) ids.insert(f.baseFuncId());
    return {ids.begin(), ids.end()};
}
