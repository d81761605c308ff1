#pragma once
// The walk that finds every wait of one process: the links that leave it
// (late senders on the receiving side, late receivers on its own) and its
// calls in collective instances. Each wait goes to sink.add(process, wait),
// where process is the waiting one's index in the scope's list.

#include "analysis/collective_instances.h"
#include "analysis/wait_states.h"
#include "model/trace_document.h"

#include <memory>
#include <span>

namespace wait_walk {

// The processes, and which of them and which of their calls the scope takes.
struct WaitScope {
    const AnalysisScope& scope;
    std::vector<ScopedProcess> all;  // every process, rank order
    std::vector<int32_t> positionOf; // rank -> index in all, -1 when none
    std::vector<bool> included;      // per index in all
    std::vector<std::unique_ptr<SectionMap>> sections;
    // Per rank, what a link to it needs, in one place: a lookup per link.
    struct Receiver {
        const TFunc* first = nullptr; // its calls; none when no process has the rank
        const TFunc* end = nullptr;
        int64_t offset = 0;
        uint32_t index = 0; // in all
    };
    std::vector<Receiver> receivers;

    WaitScope(const TTrace& trace, const AnalysisScope& s)
        : scope(s), all(scopedProcesses(trace, {})), positionOf(trace.processCount(), -1),
          included(all.size()), sections(all.size()), receivers(trace.processCount()) {
        for (size_t i = 0; i < all.size(); ++i) {
            positionOf[all[i].rank] = static_cast<int32_t>(i);
            const TCallList& calls = all[i].process->calls;
            receivers[all[i].rank] = {calls.data(), calls.data() + calls.size(), all[i].offset,
                                      static_cast<uint32_t>(i)};
        }
        for (const ScopedProcess& p : scopedProcesses(trace, AnalysisScope{{}, 0, s.ranks}))
            included[positionOf[p.rank]] = true;
        if (s.section)
            for (size_t i = 0; i < all.size(); ++i)
                sections[i] = std::make_unique<SectionMap>(*all[i].process);
    }

    bool takes(uint32_t process, uint32_t call, int64_t start) const {
        if (!included[process]) return false;
        if (scope.range && !scope.range->holds(start)) return false;
        return !scope.section || sections[process]->sectionAt(call) == scope.section;
    }
};

inline bool isLinkedReceive(uint32_t funcId) {
    return funcId == kFuncRecv || funcId == kFuncWaitIrecv;
}

// The waits of one link from call k of process i.
template <typename Sink>
[[gnu::always_inline]] inline void linkWait(const WaitScope& ws, uint32_t i, uint32_t k,
                                            const TLink& l, Sink& sums) {
    const ScopedProcess& sp = ws.all[i];
    const TFunc& s = sp.process->calls[k];
    if (l.rank >= ws.receivers.size()) return;
    const WaitScope::Receiver& rp = ws.receivers[l.rank];
    if (l.recv < rp.first || l.recv >= rp.end) return; // also when no process has the rank
    const TFunc& r = *l.recv;
    if (!isLinkedReceive(r.funcId)) return;
    const uint32_t j = rp.index;
    const auto rk = static_cast<uint32_t>(l.recv - rp.first);
    const auto rank = static_cast<int32_t>(l.rank);
    const int64_t sendStart = wrapAdd(s.start, sp.offset);
    const int64_t recvStart = wrapAdd(r.start, rp.offset);
    if (ws.takes(j, rk, recvStart))
        sums.add(j,
                 {WaitKind::LateSender, rank, rk, r.funcId, recvStart,
                  clampedWait(wrapSub(sendStart, recvStart), wrapSub(r.end, r.start)), sp.rank, k});
    if (s.funcId == kFuncSend && r.funcId == kFuncRecv && ws.takes(i, k, sendStart))
        sums.add(i,
                 {WaitKind::LateReceiver, sp.rank, k, s.funcId, sendStart,
                  clampedWait(wrapSub(recvStart, sendStart), wrapSub(s.end, s.start)), rank, rk});
}

// Late senders and late receivers of the links that leave `sends`, calls of
// process i. Each receiving call lies in another process's memory, a cache
// miss apiece: the links wait in a short queue while their receiving calls
// are fetched.
template <typename Sink>
void linkWaits(const WaitScope& ws, uint32_t i, std::span<const uint32_t> sends, Sink& sums) {
    constexpr uint32_t kAhead = 64; // a power of two
    std::pair<uint32_t, const TLink*> queue[kAhead];
    uint32_t queued = 0, done = 0;
    const TCallList& calls = ws.all[i].process->calls;
    for (uint32_t k : sends) {
        for (const TLink& l : calls[k].linkSpan()) {
            if (queued - done == kAhead) {
                const auto& [call, link] = queue[done++ % kAhead];
                linkWait(ws, i, call, *link, sums);
            }
            __builtin_prefetch(l.recv);
            __builtin_prefetch(reinterpret_cast<const char*>(l.recv) + 23);
            queue[queued++ % kAhead] = {k, &l};
        }
    }
    while (done != queued) {
        const auto& [call, link] = queue[done++ % kAhead];
        linkWait(ws, i, call, *link, sums);
    }
}

// The waits of process i's calls in collective instances.
template <typename Sink>
void collectiveWaits(const WaitScope& ws, const CollectiveInstances& inst, uint32_t i, Sink& sums) {
    const ScopedProcess& sp = ws.all[i];
    const TFunc* calls = sp.process->calls.data();
    inst.forEachWaitingCall(
        i,
        [&](const MemberCall& m) {
            const TFunc& f = calls[m.call];
            const int64_t start = wrapAdd(f.start, sp.offset);
            if (!ws.takes(i, m.call, start)) return;
            const Arrival& waitedFor = inst.waitedFor(m);
            WaitKind kind = WaitKind::AllToAll;
            if (m.kind == CollectiveKind::OneToAll)
                kind = WaitKind::LateBroadcast;
            else if (m.kind == CollectiveKind::AllToOne)
                kind = WaitKind::EarlyReduce;
            else if (m.kind == CollectiveKind::Barrier)
                kind = WaitKind::Barrier;
            if (waitedFor.rank < 0) return; // that partner left no call in the trace
            sums.add(i, {kind, sp.rank, m.call, m.funcId, start,
                         clampedWait(wrapSub(waitedFor.start, start), wrapSub(f.end, f.start)),
                         waitedFor.rank, waitedFor.call});
        },
        [&](uint32_t call) { __builtin_prefetch(calls + call); });
}

} // namespace wait_walk
