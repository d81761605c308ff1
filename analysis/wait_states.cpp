#include "analysis/wait_states.h"

#include "analysis/collective_instances.h"
#include "analysis/id_table.h"
#include "model/parallel_for.h"
#include "model/trace_document.h"

#include <memory>
#include <tuple>

const char* waitKindName(WaitKind kind) {
    static const char* const kNames[kWaitKinds] = {"late sender",    "late receiver",
                                                   "late broadcast", "early reduce",
                                                   "wait at NxN",    "wait at barrier"};
    return kNames[static_cast<uint32_t>(kind)];
}

bool waitsBefore(const WaitInstance& a, const WaitInstance& b) {
    return std::tuple(-a.wait, a.rank, a.call, a.kind, a.partnerRank, a.partnerCall) <
           std::tuple(-b.wait, b.rank, b.call, b.kind, b.partnerRank, b.partnerCall);
}

void finishWaits(WaitStates& w, uint32_t listed) {
    std::sort(w.byFunction.begin(), w.byFunction.end(), [](const auto& a, const auto& b) {
        return a.second.wait != b.second.wait ? a.second.wait > b.second.wait : a.first < b.first;
    });
    std::sort(w.worst.begin(), w.worst.end(), waitsBefore);
    if (w.worst.size() > listed) w.worst.resize(listed);
}

namespace {

// The processes, and which of them and which of their calls the scope takes.
struct WaitScope {
    const AnalysisScope& scope;
    std::vector<ScopedProcess> all;  // every process, rank order
    std::vector<int32_t> positionOf; // rank -> index in all, -1 when none
    std::vector<bool> included;      // per index in all
    std::vector<std::unique_ptr<SectionMap>> sections;

    WaitScope(const TTrace& trace, const AnalysisScope& s)
        : scope(s), all(scopedProcesses(trace, {})), positionOf(trace.processCount(), -1),
          included(all.size()), sections(all.size()) {
        for (size_t i = 0; i < all.size(); ++i) positionOf[all[i].rank] = static_cast<int32_t>(i);
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

// One worker's sums, on cache lines of their own.
struct alignas(64) WaitSums {
    std::array<WaitTotals, kWaitKinds> byKind{};
    std::vector<WaitTotals> byProcess;
    IdTable<WaitTotals> byFunction;
    std::vector<WaitInstance> worst;
    uint32_t listed = 0;
    WaitInstance bound; // once bounded, only waits before it can make the list
    bool bounded = false;
    uint32_t lastFuncId = 0;
    WaitTotals* lastFunction = nullptr;

    void add(uint32_t process, const WaitInstance& w) {
        byKind[static_cast<uint32_t>(w.kind)].add(w.wait);
        byProcess[process].add(w.wait);
        // Waits of one function come in runs (receive after receive).
        if (w.funcId != lastFuncId || !lastFunction) {
            lastFunction = &byFunction[w.funcId]; // the table may move: asked anew
            lastFuncId = w.funcId;
        }
        lastFunction->add(w.wait);
        if (listed == 0 || w.wait <= 0 || (bounded && !waitsBefore(w, bound))) return;
        worst.push_back(w);
        if (worst.size() >= 2 * size_t{listed} + 64) { // keep the list bounded
            std::nth_element(worst.begin(), worst.begin() + (listed - 1), worst.end(), waitsBefore);
            worst.resize(listed);
            bound = worst.back(); // the last kept: anything after it stays out
            bounded = true;
        }
    }
};

bool isLinkedReceive(uint32_t funcId) {
    return funcId == kFuncRecv || funcId == kFuncWaitIrecv;
}

// The waits of one link from call k of process i.
void linkWait(const WaitScope& ws, uint32_t i, uint32_t k, const TLink& l, WaitSums& sums) {
    const ScopedProcess& sp = ws.all[i];
    const TFunc& s = sp.process->calls[k];
    if (l.rank >= ws.positionOf.size() || ws.positionOf[l.rank] < 0) return;
    const auto j = static_cast<uint32_t>(ws.positionOf[l.rank]);
    const ScopedProcess& rp = ws.all[j];
    const TCallList& rcalls = rp.process->calls;
    if (l.recv < rcalls.data() || l.recv >= rcalls.data() + rcalls.size()) return;
    const TFunc& r = *l.recv;
    if (!isLinkedReceive(r.funcId)) return;
    const auto rk = static_cast<uint32_t>(l.recv - rcalls.data());
    const int64_t sendStart = wrapAdd(s.start, sp.offset);
    const int64_t recvStart = wrapAdd(r.start, rp.offset);
    if (ws.takes(j, rk, recvStart))
        sums.add(j,
                 {WaitKind::LateSender, rp.rank, rk, r.funcId, recvStart,
                  clampedWait(wrapSub(sendStart, recvStart), wrapSub(r.end, r.start)), sp.rank, k});
    if (s.funcId == kFuncSend && r.funcId == kFuncRecv && ws.takes(i, k, sendStart))
        sums.add(i, {WaitKind::LateReceiver, sp.rank, k, s.funcId, sendStart,
                     clampedWait(wrapSub(recvStart, sendStart), wrapSub(s.end, s.start)), rp.rank,
                     rk});
}

// Late senders and late receivers of the links that leave process i. Each
// receiving call lies in another process's memory, a cache miss apiece: the
// links wait in a short queue while their receiving calls are fetched.
void linkWaits(const WaitScope& ws, const CollectiveInstances& inst, uint32_t i, WaitSums& sums) {
    constexpr uint32_t kAhead = 16; // a power of two
    std::pair<uint32_t, const TLink*> queue[kAhead];
    uint32_t queued = 0, done = 0;
    const TCallList& calls = ws.all[i].process->calls;
    for (uint32_t k : inst.linkedSendsOf(i)) {
        for (const TLink& l : calls[k].linkSpan()) {
            if (queued - done == kAhead) {
                const auto& [call, link] = queue[done++ % kAhead];
                linkWait(ws, i, call, *link, sums);
            }
            __builtin_prefetch(l.recv);
            queue[queued++ % kAhead] = {k, &l};
        }
    }
    while (done != queued) {
        const auto& [call, link] = queue[done++ % kAhead];
        linkWait(ws, i, call, *link, sums);
    }
}

// The waits of process i's calls in collective instances.
void collectiveWaits(const WaitScope& ws, const CollectiveInstances& inst, uint32_t i,
                     WaitSums& sums) {
    const ScopedProcess& sp = ws.all[i];
    for (const MemberCall& m : inst.callsOf(i)) {
        const TFunc& f = sp.process->calls[m.call];
        const int64_t start = wrapAdd(f.start, sp.offset);
        if (!ws.takes(i, m.call, start)) continue;
        const InstanceArrivals& a = inst.arrivals(m);
        const Arrival* waitedFor = nullptr;
        WaitKind kind = WaitKind::AllToAll;
        switch (m.kind) {
        case CollectiveKind::OneToAll:
            if (m.root) continue; // the root waits for nobody
            waitedFor = &a.root;
            kind = WaitKind::LateBroadcast;
            break;
        case CollectiveKind::AllToOne:
            if (!m.root) continue;
            waitedFor = &a.lastNonRoot;
            kind = WaitKind::EarlyReduce;
            break;
        case CollectiveKind::Barrier:
            kind = WaitKind::Barrier;
            waitedFor = &a.last;
            break;
        default:
            waitedFor = &a.last;
            break;
        }
        if (waitedFor->rank < 0) continue; // that partner left no call in the trace
        sums.add(i, {kind, sp.rank, m.call, f.baseFuncId(), start,
                     clampedWait(wrapSub(waitedFor->start, start), wrapSub(f.end, f.start)),
                     waitedFor->rank, waitedFor->call});
    }
}

} // namespace

WaitStates waitStates(const TTrace& trace, const AnalysisScope& scope, uint32_t listed) {
    const WaitScope ws(trace, scope);
    const CollectiveInstances instances(ws.all);
    const unsigned workers = std::thread::hardware_concurrency() == 1 ? 1 : 2;
    std::vector<WaitSums> sums(workers);
    for (WaitSums& s : sums) {
        s.byProcess.resize(ws.all.size());
        s.listed = listed;
    }
    parallelFor(workers, static_cast<uint32_t>(ws.all.size()), [&](unsigned w, uint32_t i) {
        linkWaits(ws, instances, i, sums[w]);
        collectiveWaits(ws, instances, i, sums[w]);
    });

    WaitStates out;
    IdTable<WaitTotals> byFunction;
    for (const WaitSums& s : sums) {
        for (uint32_t k = 0; k < kWaitKinds; ++k) out.byKind[k].merge(s.byKind[k]);
        s.byFunction.forEach([&](uint32_t id, const WaitTotals& t) { byFunction[id].merge(t); });
        out.worst.insert(out.worst.end(), s.worst.begin(), s.worst.end());
    }
    byFunction.forEach(
        [&](uint32_t id, const WaitTotals& t) { out.byFunction.emplace_back(id, t); });
    for (size_t i = 0; i < ws.all.size(); ++i) {
        if (!ws.included[i]) continue;
        WaitTotals t;
        for (const WaitSums& s : sums) t.merge(s.byProcess[i]);
        out.byRank.emplace_back(ws.all[i].rank, t);
        out.runTimeSum = wrapAdd(out.runTimeSum, scopedRunTime(ws.all[i], scope.range));
    }
    finishWaits(out, listed);
    return out;
}
