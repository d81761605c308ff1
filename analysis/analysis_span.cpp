#include "analysis/analysis_span.h"

#include "analysis/message_sizes.h"
#include "model/trace_document.h"

std::optional<AnalysisScope> scopeOfSpan(AnalysisSpan span, const ViewSpans& spans) {
    AnalysisScope scope;
    switch (span) {
    case AnalysisSpan::WholeRun:
        break;
    case AnalysisSpan::Visible:
        scope.range = TimeRange{spans.visibleFrom, spans.visibleTo};
        break;
    case AnalysisSpan::Selected:
        if (!spans.selected) return std::nullopt;
        scope.range = TimeRange{spans.selected->first, spans.selected->second};
        break;
    }
    return scope;
}

std::optional<uint32_t> positionOfRank(const TTrace& trace, int32_t rank) {
    for (uint32_t i = 0; i < trace.processCount(); ++i)
        if (trace.rankAt(i) == rank) return i;
    return std::nullopt;
}

std::vector<uint64_t> shownBinCounts(const MessageSizes& sizes) {
    std::vector<uint64_t> counts;
    for (const SizeBin& b : sizes.bins) counts.push_back(b.messages);
    while (!counts.empty() && counts.back() == 0) counts.pop_back();
    return counts;
}
