#include "analysis/reference/analysis_reference.h"

#include "analysis/collective_kinds.h"
#include "model/trace_document.h"

#include <map>
#include <tuple>

namespace {

// Every process of the trace that the statistics take: the first with each
// rank below the process count, by scanning the list.
const TProcess* processOfRank(const TTrace& trace, uint32_t rank) {
    if (rank >= trace.processCount()) return nullptr;
    for (const TProcess& p : trace.processes)
        if (p.rank == rank) return &p;
    return nullptr;
}

bool rankInScope(const AnalysisScope& scope, uint32_t rank) {
    if (scope.ranks.empty()) return true;
    for (int32_t r : scope.ranks)
        if (r == static_cast<int32_t>(rank)) return true;
    return false;
}

int64_t corrected(const TTrace& trace, const TProcess& p, int64_t t) {
    return wrapAdd(t, trace.nodeOffset(p.nodeIndex));
}

uint32_t sectionOf(const TProcess& p, uint32_t callIndex) {
    uint32_t section = 0;
    for (uint32_t k = 0; k <= callIndex; ++k)
        if (p.calls[k].isSectionMarker()) section = p.calls[k].location;
    return section;
}

int64_t runTimeIn(const TTrace& trace, const TProcess& p, const AnalysisScope& scope) {
    if (p.calls.empty()) return 0;
    if (!scope.range) return wrapSub(p.calls.back().end, p.calls.front().start);
    return scope.range->overlap(corrected(trace, p, p.calls.front().start),
                                corrected(trace, p, p.calls.back().end));
}

} // namespace

Profile referenceProfile(const TTrace& trace, const AnalysisScope& scope) {
    std::map<uint32_t, FunctionFigures> functions;
    std::vector<RankFigures> ranks;
    for (uint32_t rank = 0; rank < trace.processCount(); ++rank) {
        const TProcess* p = processOfRank(trace, rank);
        if (!p || !rankInScope(scope, rank)) continue;
        RankFigures r{static_cast<int32_t>(rank), runTimeIn(trace, *p, scope), 0, 0};
        for (uint32_t k = 0; k < p->calls.size(); ++k) {
            const TFunc& f = p->calls[k];
            if (f.isSectionMarker()) continue;
            if (scope.section && sectionOf(*p, k) != scope.section) continue;
            int64_t d = wrapSub(f.end, f.start);
            if (scope.range) {
                const int64_t s = corrected(trace, *p, f.start), e = corrected(trace, *p, f.end);
                const bool zeroInRange = s == e && s >= scope.range->from && s < scope.range->to;
                const int64_t hi = std::min(e, scope.range->to);
                const int64_t lo = std::max(s, scope.range->from);
                d = hi > lo ? wrapSub(hi, lo) : 0;
                if (d == 0 && !zeroInRange) continue;
            }
            FunctionFigures& ff = functions[f.funcId & ~kUnfinishedFlag];
            ff.funcId = f.funcId & ~kUnfinishedFlag;
            ff.add(d);
            r.inCalls = wrapAdd(r.inCalls, d);
        }
        ranks.push_back(r);
    }
    std::vector<FunctionFigures> list;
    for (const auto& [id, f] : functions) list.push_back(f);
    return finishProfile(std::move(list), std::move(ranks));
}

MessageSizes referenceMessageSizes(const TTrace& trace, const AnalysisScope& scope) {
    MessageSizes out;
    for (uint32_t rank = 0; rank < trace.processCount(); ++rank) {
        const TProcess* p = processOfRank(trace, rank);
        if (!p || !rankInScope(scope, rank)) continue;
        for (uint32_t k = 0; k < p->calls.size(); ++k) {
            const TFunc& f = p->calls[k];
            if (!(f.kind & kKindSend) || (f.kind & kKindWait) || (f.kind & kKindCollective))
                continue;
            if (scope.section && sectionOf(*p, k) != scope.section) continue;
            if (scope.range && !scope.range->holds(corrected(trace, *p, f.start))) continue;
            uint32_t bin = 0;
            while (bin < 32 && (uint64_t{1} << bin) <= f.size) ++bin;
            out.bins[bin].messages += 1;
            out.bins[bin].bytes += f.size;
        }
    }
    return out;
}

namespace {

struct Member {
    uint32_t rank;
    uint32_t call;
    int64_t start;
    bool root;
};

// (identifier, lifetime, smallest member, function, k) -> the members' calls.
using InstanceKey = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t>;

void addWait(WaitStates& out, std::map<uint32_t, WaitTotals>& byRank,
             std::map<uint32_t, WaitTotals>& byFunction, const WaitInstance& w) {
    out.byKind[static_cast<uint32_t>(w.kind)].add(w.wait);
    byRank[w.rank].add(w.wait);
    byFunction[w.funcId].add(w.wait);
    if (w.wait > 0) out.worst.push_back(w);
}

bool callInScope(const TTrace& trace, const TProcess& p, uint32_t k, const AnalysisScope& scope) {
    if (!rankInScope(scope, p.rank)) return false;
    if (scope.section && sectionOf(p, k) != scope.section) return false;
    return !scope.range || scope.range->holds(corrected(trace, p, p.calls[k].start));
}

std::map<InstanceKey, std::vector<Member>> collectiveInstances(const TTrace& trace) {
    std::map<InstanceKey, std::vector<Member>> instances;
    for (uint32_t rank = 0; rank < trace.processCount(); ++rank) {
        const TProcess* p = processOfRank(trace, rank);
        if (!p) continue;
        // (communicator, identifier, function) -> calls so far
        std::map<std::tuple<const TComm*, uint32_t, uint32_t>, uint32_t> seen;
        for (uint32_t k = 0; k < p->calls.size(); ++k) {
            const TFunc& f = p->calls[k];
            const uint32_t id = f.funcId & ~kUnfinishedFlag;
            if (collectiveKind(id) == CollectiveKind::None) continue;
            const TComm* c = p->findComm(f.comm, k);
            if (f.comm == kSelfComm && (!c || c->id == kSelfComm)) continue;
            uint32_t lifetime = UINT32_MAX, lowest = UINT32_MAX;
            if (c) {
                lifetime = 0;
                for (const TComm& other : p->comms) {
                    if (&other == c) break;
                    if (other.id == c->id) ++lifetime;
                }
                lowest = c->id == kWorldComm ? 0 : UINT32_MAX;
                for (uint32_t m = 0; m < c->size && m < c->members.size(); ++m)
                    lowest = std::min(lowest, c->members[m]);
            }
            const bool root = p->globalRankIn(c, f.peer) == static_cast<int32_t>(rank);
            const uint32_t nth = seen[{c, f.comm, id}]++;
            instances[{f.comm, lifetime, lowest, id, nth}].push_back(
                {rank, k, corrected(trace, *p, f.start), root});
        }
    }
    return instances;
}

// The latest of the members that `take` accepts; between equal starts the lowest rank.
template <typename Take>
const Member* latest(const std::vector<Member>& members, Take take) {
    const Member* best = nullptr;
    for (const Member& m : members)
        if (take(m) && (!best || m.start > best->start)) best = &m;
    return best;
}

} // namespace

WaitStates referenceWaitStates(const TTrace& trace, const AnalysisScope& scope, uint32_t listed) {
    WaitStates out;
    std::map<uint32_t, WaitTotals> byRank, byFunction;
    // Links: every sending call's links, the receiving call found by scanning.
    for (uint32_t rank = 0; rank < trace.processCount(); ++rank) {
        const TProcess* p = processOfRank(trace, rank);
        if (!p) continue;
        for (uint32_t k = 0; k < p->calls.size(); ++k) {
            const TFunc& s = p->calls[k];
            if (s.funcId != kFuncSend && s.funcId != kFuncIsend) continue;
            for (const TLink& l : s.linkSpan()) {
                const TProcess* rp = processOfRank(trace, l.rank);
                if (!rp) continue;
                uint32_t rk = 0;
                while (rk < rp->calls.size() && &rp->calls[rk] != l.recv) ++rk;
                if (rk == rp->calls.size()) continue;
                const TFunc& r = rp->calls[rk];
                if (r.funcId != kFuncRecv && r.funcId != kFuncWaitIrecv) continue;
                const int64_t ss = corrected(trace, *p, s.start),
                              rs = corrected(trace, *rp, r.start);
                if (callInScope(trace, *rp, rk, scope))
                    addWait(out, byRank, byFunction,
                            {WaitKind::LateSender, static_cast<int32_t>(l.rank), rk, r.funcId, rs,
                             clampedWait(wrapSub(ss, rs), wrapSub(r.end, r.start)),
                             static_cast<int32_t>(rank), k});
                if (s.funcId == kFuncSend && r.funcId == kFuncRecv &&
                    callInScope(trace, *p, k, scope))
                    addWait(out, byRank, byFunction,
                            {WaitKind::LateReceiver, static_cast<int32_t>(rank), k, s.funcId, ss,
                             clampedWait(wrapSub(rs, ss), wrapSub(s.end, s.start)),
                             static_cast<int32_t>(l.rank), rk});
            }
        }
    }
    // Collective instances, member by member.
    for (const auto& [key, members] : collectiveInstances(trace)) {
        const CollectiveKind kind = collectiveKind(std::get<3>(key));
        const Member* root = nullptr;
        for (const Member& m : members)
            if (m.root && !root) root = &m;
        for (const Member& m : members) {
            const TProcess& p = *processOfRank(trace, m.rank);
            if (!callInScope(trace, p, m.call, scope)) continue;
            const Member* partner = nullptr;
            WaitKind wk = WaitKind::AllToAll;
            if (kind == CollectiveKind::OneToAll) {
                if (m.root) continue;
                partner = root;
                wk = WaitKind::LateBroadcast;
            } else if (kind == CollectiveKind::AllToOne) {
                if (!m.root) continue;
                partner = latest(members, [](const Member& x) { return !x.root; });
                wk = WaitKind::EarlyReduce;
            } else {
                partner = latest(members, [](const Member&) { return true; });
                if (kind == CollectiveKind::Barrier) wk = WaitKind::Barrier;
            }
            if (!partner) continue;
            const TFunc& f = p.calls[m.call];
            addWait(out, byRank, byFunction,
                    {wk, static_cast<int32_t>(m.rank), m.call, f.funcId & ~kUnfinishedFlag, m.start,
                     clampedWait(wrapSub(partner->start, m.start), wrapSub(f.end, f.start)),
                     static_cast<int32_t>(partner->rank), partner->call});
        }
    }
    for (uint32_t rank = 0; rank < trace.processCount(); ++rank) {
        const TProcess* p = processOfRank(trace, rank);
        if (!p || !rankInScope(scope, rank)) continue;
        out.byRank.emplace_back(static_cast<int32_t>(rank), byRank[rank]);
        out.runTimeSum = wrapAdd(out.runTimeSum, runTimeIn(trace, *p, scope));
    }
    for (const auto& [id, t] : byFunction) out.byFunction.emplace_back(id, t);
    finishWaits(out, listed);
    return out;
}

std::vector<NodePairClocks> referenceClockQuality(const TTrace& trace) {
    std::map<std::pair<uint32_t, uint32_t>, NodePairClocks> pairs;
    for (const TProcess& p : trace.processes)
        for (const TFunc& s : p.calls)
            for (const TLink& l : s.linkSpan()) {
                const TProcess* r = processOfRank(trace, l.rank);
                if (!r) continue;
                NodePairClocks& pair = pairs[{p.nodeIndex, r->nodeIndex}];
                pair.sendNode = p.nodeIndex;
                pair.recvNode = r->nodeIndex;
                pair.sendOffset = trace.nodeOffset(p.nodeIndex);
                pair.recvOffset = trace.nodeOffset(r->nodeIndex);
                pair.add(wrapSub(corrected(trace, p, s.start), corrected(trace, *r, l.recv->end)));
            }
    std::vector<NodePairClocks> out;
    for (const auto& [key, pair] : pairs) out.push_back(pair);
    return out;
}
