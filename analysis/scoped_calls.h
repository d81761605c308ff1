#pragma once
// The walk every figure shares: the calls of one process that the scope's
// section takes, with corrected times; with a range and the process's window,
// only the calls that may meet it.

#include "analysis/analysis_scope.h"
#include "analysis/call_window.h"
#include "model/region_visits.h"
#include "model/trace_model.h"

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class TTrace;

// A window per process of a trace, for answering many ranges; built on two
// threads in one pass over the calls. It also keeps each process's region
// visits, which every range would otherwise find again from all of its
// section markers.
class TraceWindows {
  public:
    explicit TraceWindows(const TTrace& trace);
    // The window of a process of this trace, found by its calls (which move
    // with it when the rows are sorted); null for one it was not built for.
    const CallWindow* of(const TProcess& p) const;
    // The process's region visits; null for one it was not built for.
    const ProcessRegions* regionsOf(const TProcess& p) const;

  private:
    std::optional<uint32_t> placeOf(const TProcess& p) const;

    std::vector<CallWindow> windows_;
    std::vector<std::unique_ptr<ProcessRegions>> regions_; // per window
    std::unordered_map<const TFunc*, uint32_t> byCalls_;   // first call -> window
};

// One call as a figure sees it.
struct ScopedCall {
    uint32_t index;
    const TFunc& call;
    int64_t start; // corrected
    int64_t end;
};

// The time a call spends in the scope: its duration, or in a range its
// overlap with it; nullopt when it does not count there.
inline std::optional<int64_t> scopedDuration(const AnalysisScope& scope, const ScopedCall& c) {
    if (!scope.range) return wrapSub(c.end, c.start);
    if (!scope.range->counts(c.start, c.end)) return std::nullopt;
    return scope.range->overlap(c.start, c.end);
}

// fn(ScopedCall) for every call of p except section markers, in call order,
// restricted to the scope's section; with a range and windows, only the
// calls that may meet it (callers decide whether each one counts).
template <typename Fn>
void forEachScopedCall(const ScopedProcess& p, const AnalysisScope& scope,
                       const TraceWindows* windows, Fn&& fn) {
    const TFunc* calls = p.process->calls.data();
    const auto count = static_cast<uint32_t>(p.process->calls.size());
    auto visit = [&](uint32_t k) {
        const TFunc& f = calls[k];
        fn(ScopedCall{k, f, wrapAdd(f.start, p.offset), wrapAdd(f.end, p.offset)});
    };
    const CallWindow* window = scope.range && windows ? windows->of(*p.process) : nullptr;
    if (window) {
        const std::unique_ptr<SectionMap> sections =
            scope.section ? std::make_unique<SectionMap>(*p.process) : nullptr;
        window->forEachCandidate(*scope.range, [&](uint32_t k) {
            if (calls[k].isSectionMarker()) return;
            if (sections && sections->sectionAt(k) != scope.section) return;
            visit(k);
        });
        return;
    }
    uint32_t section = 0;
    for (uint32_t k = 0; k < count; ++k) {
        if (calls[k].isSectionMarker()) {
            section = calls[k].location;
            continue;
        }
        if (scope.section && section != scope.section) continue;
        visit(k);
    }
}
