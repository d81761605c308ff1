// Matching sends to receives, pair by pair of processes, in call order.
// Straightforward on purpose: the reference that the fast version must equal.

#include "model/reference_pairs.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"

#include <vector>

namespace {

// Whether `other` belongs to the communicator of call k of p, and its local rank there.
// A communicator the process does not know makes every rank a member, as itself.
struct Membership {
    bool member;
    int32_t localRank;
};

Membership membershipOf(const TProcess& p, const TFunc& call, uint32_t k, int32_t other) {
    const TComm* comm = p.findComm(call.comm, k);
    if (!comm) return {true, other};
    const int32_t local = comm->toLocal(other);
    return {local != -1, local};
}

} // namespace

void linkPairReference(TTrace& trace, size_t i, size_t j, std::vector<TFunc*>& candidates) {
    TProcess& receiver = trace.processes[i];
    TProcess& sender = trace.processes[j];
    // Actual ranks, not list positions: the same for well-ordered traces.
    const auto rankI = static_cast<int32_t>(receiver.rank);
    const auto rankJ = static_cast<int32_t>(sender.rank);

    candidates.clear();
    for (uint32_t k = 0; k < receiver.calls.size(); ++k) {
        TFunc& r = receiver.calls[k];
        if (!(r.kind & kKindRecv) || r.funcId == kFuncIrecv) continue;
        const Membership m = membershipOf(receiver, r, k, rankJ);
        const bool fits = (r.kind & kKindCollective)
                              ? m.member && (r.peer == rankJ || r.peer == rankI)
                              : r.peer == m.localRank;
        if (fits) candidates.push_back(&r);
    }

    for (uint32_t k = 0; k < sender.calls.size() && !candidates.empty(); ++k) {
        TFunc& s = sender.calls[k];
        if (!(s.kind & kKindSend) || (s.kind & kKindWait)) continue;
        const bool collective = (s.kind & kKindCollective) != 0;
        const Membership m = membershipOf(sender, s, k, rankI);
        if (collective ? !m.member : s.peer != m.localRank) continue;
        for (auto it = candidates.begin(); it != candidates.end(); ++it) {
            const TFunc& r = **it;
            if (r.comm != s.comm) continue;
            if (collective ? r.funcId != s.funcId : r.msgTag != s.msgTag) continue;
            s.addLink(static_cast<uint32_t>(rankI), *it);
            candidates.erase(it);
            break;
        }
    }
}

bool buildLinksReference(TTrace& trace) {
    const size_t n = trace.processes.size();
    std::vector<TFunc*> candidates;
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j)
            if (i != j) linkPairReference(trace, i, j, candidates);
    return true;
}
