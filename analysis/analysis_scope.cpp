#include "analysis/analysis_scope.h"

#include "model/trace_document.h"
#include "model/traffic_rows.h"

#include <algorithm>

std::vector<ScopedProcess> scopedProcesses(const TTrace& trace, const AnalysisScope& scope) {
    std::vector<int32_t> wanted = scope.ranks;
    std::sort(wanted.begin(), wanted.end());
    std::vector<ScopedProcess> out;
    const std::vector<const TProcess*> byRank = processesByRank(trace);
    for (uint32_t r = 0; r < byRank.size(); ++r) {
        if (!byRank[r]) continue;
        const auto rank = static_cast<int32_t>(r);
        if (!wanted.empty() && !std::binary_search(wanted.begin(), wanted.end(), rank)) continue;
        out.push_back({byRank[r], rank, trace.nodeOffset(byRank[r]->nodeIndex)});
    }
    return out;
}

int64_t scopedRunTime(const ScopedProcess& p, const std::optional<TimeRange>& range) {
    const TCallList& calls = p.process->calls;
    if (calls.empty()) return 0;
    if (!range) return p.process->duration();
    return range->overlap(wrapAdd(calls.front().start, p.offset),
                          wrapAdd(calls.back().end, p.offset));
}

SectionMap::SectionMap(const TProcess& p) {
    for (uint32_t k = 0; k < p.calls.size(); ++k)
        if (p.calls[k].isSectionMarker()) switches_.emplace_back(k, p.calls[k].location);
}

uint32_t SectionMap::sectionAt(uint32_t callIndex) const {
    // The last switch at or before the call; before any switch the main section.
    auto it = std::upper_bound(switches_.begin(), switches_.end(),
                               std::pair<uint32_t, uint32_t>{callIndex, UINT32_MAX});
    return it == switches_.begin() ? 0 : std::prev(it)->second;
}
