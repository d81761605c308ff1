#include "analysis/profile.h"

#include "analysis/id_table.h"
#include "analysis/scoped_calls.h"
#include "model/parallel_for.h"
#include "model/trace_document.h"

#include <algorithm>
#include <array>

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

// The functions of the fixed table have small identifiers and make up nearly
// every call: their figures sit in an array, the others in the table.
constexpr uint32_t kDenseIds = 64;
struct Running { // FunctionFigures without the test for the first call
    uint64_t calls = 0;
    int64_t total = 0, min = INT64_MAX, max = INT64_MIN;
    void add(int64_t d) {
        ++calls;
        total = wrapAdd(total, d);
        min = std::min(min, d);
        max = std::max(max, d);
    }
};
using DenseFigures = std::array<Running, kDenseIds>;

// The whole run of one process, every section: durations do not need the
// clock correction, and the walk does little more than read the calls.
int64_t wholeRunOf(const TProcess& p, DenseFigures& dense, IdTable<FunctionFigures>& table) {
    int64_t inCalls = 0;
    for (const TFunc& f : p.calls) {
        if (f.isSectionMarker()) continue;
        const int64_t d = wrapSub(f.end, f.start);
        const uint32_t id = f.baseFuncId();
        if (id < kDenseIds) {
            dense[id].add(d);
        } else {
            FunctionFigures& into = table[id];
            into.funcId = id;
            into.add(d);
        }
        inCalls = wrapAdd(inCalls, d);
    }
    return inCalls;
}

// One process's part: its function figures go to the worker's table.
RankFigures profileOf(const ScopedProcess& p, const AnalysisScope& scope,
                      const TraceWindows* windows, DenseFigures& dense,
                      IdTable<FunctionFigures>& table) {
    RankFigures r{p.rank, scopedRunTime(p, scope.range), 0, 0};
    if (!scope.range && !scope.section) {
        r.inCalls = wholeRunOf(*p.process, dense, table);
        return r;
    }
    // The last function's figures, kept at hand: calls of one function come
    // in runs (a send after a send, a wait after a wait).
    uint32_t lastId = UINT32_MAX;
    FunctionFigures* last = nullptr;
    forEachScopedCall(p, scope, windows, [&](const ScopedCall& c) {
        const std::optional<int64_t> scoped = scopedDuration(scope, c);
        if (!scoped) return;
        const int64_t d = *scoped;
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
    std::vector<DenseFigures> dense(workers);
    std::vector<RankFigures> ranks(procs.size());
    parallelFor(workers, static_cast<uint32_t>(procs.size()), [&](unsigned w, uint32_t i) {
        ranks[i] = profileOf(procs[i], scope, windows, dense[w], tables[w]);
    });
    IdTable<FunctionFigures> all;
    auto mergeInto = [&](uint32_t id, const FunctionFigures& f) {
        FunctionFigures& into = all[id];
        into.funcId = id;
        into.merge(f);
    };
    for (const DenseFigures& d : dense)
        for (uint32_t id = 0; id < kDenseIds; ++id)
            if (const Running& f = d[id]; f.calls)
                mergeInto(id, FunctionFigures{id, f.calls, f.total, f.min, f.max});
    for (const auto& t : tables) t.forEach(mergeInto);
    std::vector<FunctionFigures> functions;
    all.forEach([&](uint32_t, const FunctionFigures& f) { functions.push_back(f); });
    return finishProfile(std::move(functions), std::move(ranks));
}
