#include "analysis/wait_states.h"

#include "analysis/id_table.h"
#include "analysis/wait_index.h"
#include "analysis/wait_walk.h"
#include "model/parallel_for.h"
#include "model/trace_document.h"

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

using wait_walk::WaitScope;

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

// The figures of the scope from every worker's sums.
WaitStates collect(const WaitScope& ws, const std::vector<WaitSums>& sums, uint32_t listed) {
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
        out.runTimeSum = wrapAdd(out.runTimeSum, scopedRunTime(ws.all[i], ws.scope.range));
    }
    finishWaits(out, listed);
    return out;
}

std::vector<WaitSums> sumsFor(const WaitScope& ws, unsigned workers, uint32_t listed) {
    std::vector<WaitSums> sums(workers);
    for (WaitSums& s : sums) {
        s.byProcess.resize(ws.all.size());
        s.listed = listed;
    }
    return sums;
}

// The scope's waits as the index holds them. Without a range the starts are
// not read until the worst waits are known (their order does not need them).
WaitStates fromIndex(const WaitScope& ws, const WaitIndex& index, uint32_t listed) {
    const std::optional<TimeRange>& range = ws.scope.range;
    const unsigned workers = std::thread::hardware_concurrency() == 1 ? 1 : 2;
    std::vector<WaitSums> sums = sumsFor(ws, workers, listed);
    parallelFor(workers, static_cast<uint32_t>(ws.all.size()), [&](unsigned w, uint32_t i) {
        if (!ws.included[i]) return;
        const ScopedProcess& p = ws.all[i];
        const TFunc* calls = p.process->calls.data();
        for (const WaitIndex::Entry& e : index.entriesOf(p, range)) {
            const int64_t start = range ? wrapAdd(calls[e.call].start, p.offset) : 0;
            if (!ws.takes(i, e.call, start)) continue;
            sums[w].add(i, {waitKindOf(e.funcId), p.rank, e.call, e.funcId, start, e.wait,
                            e.partnerRank, e.partnerCall});
        }
    });
    WaitStates out = collect(ws, sums, listed);
    for (WaitInstance& w : out.worst) {
        const ScopedProcess& p = ws.all[ws.positionOf[w.rank]];
        w.start = wrapAdd(p.process->calls[w.call].start, p.offset);
    }
    return out;
}

} // namespace

WaitStates waitStates(const TTrace& trace, const AnalysisScope& scope, uint32_t listed,
                      const WaitIndex* index) {
    const WaitScope ws(trace, scope);
    if (index && &index->trace() == &trace) return fromIndex(ws, *index, listed);
    const CollectiveInstances instances(ws.all);
    const unsigned workers = std::thread::hardware_concurrency() == 1 ? 1 : 2;
    std::vector<WaitSums> sums = sumsFor(ws, workers, listed);
    parallelFor(workers, static_cast<uint32_t>(ws.all.size()),
                [&](unsigned w, uint32_t i) { wait_walk::waitsOf(ws, instances, i, sums[w]); });
    return collect(ws, sums, listed);
}
