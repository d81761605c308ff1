// Matching sends to receives, pair by pair of processes, in call order.
// Straightforward on purpose: the reference that the fast version must equal.

#include "model/reference/model_reference.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"

#include <vector>

namespace {

// Whether `other` belongs to communicator `comm` of p, and its local rank there.
// A communicator the process does not know makes every rank a member, as itself.
struct Membership {
    bool member;
    int32_t localRank;
};

Membership membershipOf(const TProcess& p, const TComm* comm, int32_t other) {
    if (!comm) return {true, other};
    const int32_t local = p.localRankIn(comm, other);
    return {local != -1, local};
}

// A point-to-point peer names only members: a wildcard never matches.
bool namesPeer(int32_t peer, const Membership& m) {
    return m.localRank != -1 && peer == m.localRank;
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
        const TComm* comm = receiver.findComm(r.comm, k);
        const Membership m = membershipOf(receiver, comm, rankJ);
        // The root, local to the communicator, compared as a global rank.
        const int32_t root = receiver.globalRankIn(comm, r.peer);
        const bool fits = (r.kind & kKindCollective) ? m.member && (root == rankJ || root == rankI)
                                                     : namesPeer(r.peer, m);
        if (fits) candidates.push_back(&r);
    }

    for (uint32_t k = 0; k < sender.calls.size() && !candidates.empty(); ++k) {
        TFunc& s = sender.calls[k];
        if (!(s.kind & kKindSend) || (s.kind & kKindWait)) continue;
        const bool collective = (s.kind & kKindCollective) != 0;
        const Membership m = membershipOf(sender, sender.findComm(s.comm, k), rankI);
        if (collective ? !m.member : !namesPeer(s.peer, m)) continue;
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
