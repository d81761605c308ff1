#include "analysis/profile.h"

#include "analysis/id_table.h"
#include "analysis/scoped_calls.h"
#include "model/parallel_for.h"

#include <algorithm>

void FunctionFigures::merge(const FunctionFigures& other) {
    if (other.calls == 0) return;
    min = calls == 0 ? other.min : std::min(min, other.min);
    max = calls == 0 ? other.max : std::max(max, other.max);
    total = wrapAdd(total, other.total);
    calls += other.calls;
}

Profile finishProfile(std::vector<FunctionFigures> functions, std::vector<RankFigures> ranks) {
    Profile out;
    std::sort(functions.begin(), functions.end(), [](const auto& a, const auto& b) {
        return a.total != b.total ? a.total > b.total : a.funcId < b.funcId;
    });
    out.functions = std::move(functions);
    for (RankFigures& r : ranks) {
        r.outside = std::max<int64_t>(0, wrapSub(r.runTime, r.inCalls));
        out.runTimeSum = wrapAdd(out.runTimeSum, r.runTime);
        out.outsideSum = wrapAdd(out.outsideSum, r.outside);
    }
    out.ranks = std::move(ranks);
    return out;
}

namespace {

// One process's part: its function figures go to the worker's table.
RankFigures profileOf(const ScopedProcess& p, const AnalysisScope& scope,
                      const TraceWindows* windows, IdTable<FunctionFigures>& table) {
    RankFigures r{p.rank, scopedRunTime(p, scope.range), 0, 0};
    // The last function's figures, kept at hand: calls of one function come
    // in runs (a send after a send, a wait after a wait).
    uint32_t lastId = UINT32_MAX;
    FunctionFigures* last = nullptr;
    forEachScopedCall(p, scope, windows, [&](const ScopedCall& c) {
        int64_t d;
        if (scope.range) {
            if (!scope.range->counts(c.start, c.end)) return;
            d = scope.range->overlap(c.start, c.end);
        } else {
            d = wrapSub(c.end, c.start);
        }
        const uint32_t id = c.call.baseFuncId();
        if (id != lastId) {
            last = &table[id];
            last->funcId = id;
            lastId = id;
        }
        last->add(d);
        r.inCalls = wrapAdd(r.inCalls, d);
    });
    return r;
}

} // namespace

Profile profile(const TTrace& trace, const AnalysisScope& scope, const TraceWindows* windows) {
    const std::vector<ScopedProcess> procs = scopedProcesses(trace, scope);
    const unsigned workers = std::thread::hardware_concurrency() == 1 ? 1 : 2;
    std::vector<IdTable<FunctionFigures>> tables(workers);
    std::vector<RankFigures> ranks(procs.size());
    parallelFor(workers, static_cast<uint32_t>(procs.size()), [&](unsigned w, uint32_t i) {
        ranks[i] = profileOf(procs[i], scope, windows, tables[w]);
    });
    IdTable<FunctionFigures> all;
    for (const auto& t : tables)
        t.forEach([&](uint32_t id, const FunctionFigures& f) {
            FunctionFigures& into = all[id];
            into.funcId = id;
            into.merge(f);
        });
    std::vector<FunctionFigures> functions;
    all.forEach([&](uint32_t, const FunctionFigures& f) { functions.push_back(f); });
    return finishProfile(std::move(functions), std::move(ranks));
}
