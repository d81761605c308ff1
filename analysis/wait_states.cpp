#include "analysis/wait_states.h"

#include "analysis/id_table.h"
#include "analysis/wait_index.h"
#include "analysis/wait_walk.h"
#include "model/parallel_for.h"
#include "model/trace_document.h"

#include <span>
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

// Dense places for the functions whose calls can wait (sends, linked
// receives, collectives), so that adding a wait takes no lookup.
class FunctionSlots {
  public:
    static constexpr uint32_t kNone = UINT32_MAX;

    FunctionSlots() {
        slots_.fill(kNone);
        for (uint32_t at = 0; at < kFuncIdPlaces; ++at) {
            const uint32_t id = funcIdAt(at);
            if (id == kFuncSend || wait_walk::isLinkedReceive(id) ||
                collectiveKind(id) != CollectiveKind::None) {
                slots_[at] = static_cast<uint32_t>(ids_.size());
                ids_.push_back(id);
            }
        }
    }
    uint32_t slotOf(uint32_t funcId) const {
        const uint32_t at = funcIdPlace(funcId);
        return at < kFuncIdPlaces ? slots_[at] : kNone;
    }
    uint32_t count() const { return static_cast<uint32_t>(ids_.size()); }
    uint32_t funcId(uint32_t slot) const { return ids_[slot]; }

  private:
    std::array<uint32_t, kFuncIdPlaces> slots_;
    std::vector<uint32_t> ids_;
};

const FunctionSlots& functionSlots() {
    static const FunctionSlots slots;
    return slots;
}

// One worker's sums, on cache lines of their own: per process and waiting
// function (the kinds, ranks and functions are sums of these), and the
// largest waits.
struct alignas(64) WaitSums {
    const FunctionSlots* slots = nullptr;
    uint32_t stride = 0;                       // slots->count()
    std::vector<WaitTotals> byProcessFunction; // process * slots->count() + slot
    // Waits of functions without a slot: none the walk finds today.
    std::array<WaitTotals, kWaitKinds> otherByKind{};
    std::vector<WaitTotals> otherByProcess;
    IdTable<WaitTotals> otherByFunction;
    std::vector<WaitInstance> worst;
    uint32_t listed = 0;
    WaitInstance bound; // once bounded, only waits before it can make the list
    bool bounded = false;

    [[gnu::always_inline]] void add(uint32_t process, const WaitInstance& w) {
        const uint32_t slot = slots->slotOf(w.funcId);
        if (slot != FunctionSlots::kNone)
            byProcessFunction[size_t{process} * stride + slot].add(w.wait);
        else
            addOther(process, w);
        if (listed == 0 || w.wait <= 0 || (bounded && w.wait < bound.wait)) return;
        offerWorst(w);
    }

    // Keeps w among the largest waits seen, should it be one of them.
    [[gnu::noinline]] void offerWorst(const WaitInstance& w) {
        if (bounded && !waitsBefore(w, bound)) return;
        worst.push_back(w);
        if (worst.size() >= 2 * size_t{listed} + 64) { // keep the list bounded
            std::nth_element(worst.begin(), worst.begin() + (listed - 1), worst.end(), waitsBefore);
            worst.resize(listed);
            bound = worst.back(); // the last kept: anything after it stays out
            bounded = true;
        }
    }

    [[gnu::noinline]] void addOther(uint32_t process, const WaitInstance& w) {
        otherByKind[static_cast<uint32_t>(w.kind)].add(w.wait);
        if (otherByProcess.empty())
            otherByProcess.resize(byProcessFunction.size() / slots->count());
        otherByProcess[process].add(w.wait);
        otherByFunction[w.funcId].add(w.wait);
    }
};

// The figures of the scope from every worker's sums.
WaitStates collect(const WaitScope& ws, const std::vector<WaitSums>& sums, uint32_t listed) {
    const FunctionSlots& slots = functionSlots();
    const uint32_t n = slots.count();
    WaitStates out;
    std::vector<WaitTotals> byFunction(n);
    IdTable<WaitTotals> others;
    for (const WaitSums& s : sums) {
        for (uint32_t k = 0; k < kWaitKinds; ++k) out.byKind[k].merge(s.otherByKind[k]);
        s.otherByFunction.forEach([&](uint32_t id, const WaitTotals& t) { others[id].merge(t); });
        out.worst.insert(out.worst.end(), s.worst.begin(), s.worst.end());
    }
    for (size_t i = 0; i < ws.all.size(); ++i) {
        if (!ws.included[i]) continue; // the others wait nowhere in the scope
        WaitTotals t;
        for (const WaitSums& s : sums) {
            for (uint32_t slot = 0; slot < n; ++slot) {
                const WaitTotals& f = s.byProcessFunction[i * n + slot];
                if (f.instances == 0) continue;
                t.merge(f);
                byFunction[slot].merge(f);
            }
            if (!s.otherByProcess.empty()) t.merge(s.otherByProcess[i]);
        }
        out.byRank.emplace_back(ws.all[i].rank, t);
        out.runTimeSum = wrapAdd(out.runTimeSum, scopedRunTime(ws.all[i], ws.scope.range));
    }
    for (uint32_t slot = 0; slot < n; ++slot) {
        if (byFunction[slot].instances == 0) continue;
        out.byKind[static_cast<uint32_t>(waitKindOf(slots.funcId(slot)))].merge(byFunction[slot]);
        out.byFunction.emplace_back(slots.funcId(slot), byFunction[slot]);
    }
    others.forEach([&](uint32_t id, const WaitTotals& t) { out.byFunction.emplace_back(id, t); });
    finishWaits(out, listed);
    return out;
}

std::vector<WaitSums> sumsFor(const WaitScope& ws, unsigned workers, uint32_t listed) {
    std::vector<WaitSums> sums(workers);
    for (WaitSums& s : sums) {
        s.slots = &functionSlots();
        s.stride = s.slots->count();
        s.byProcessFunction.resize(ws.all.size() * s.slots->count());
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
    const unsigned workers = std::thread::hardware_concurrency() == 1 ? 1 : 2;
    std::vector<WaitSums> sums = sumsFor(ws, workers, listed);
    // The links' waits while the instances are found, in the same read of
    // the calls; then the members' waits against their instances.
    const CollectiveInstances instances(
        ws.all, workers, [&](unsigned w, uint32_t i, std::span<const uint32_t> sends) {
            wait_walk::linkWaits(ws, i, sends, sums[w]);
        });
    parallelFor(workers, static_cast<uint32_t>(ws.all.size()), [&](unsigned w, uint32_t i) {
        wait_walk::collectiveWaits(ws, instances, i, sums[w]);
    });
    return collect(ws, sums, listed);
}
