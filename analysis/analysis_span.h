#pragma once
// The scope of a panel's span, and where the calls of a rank are.

#include "analysis/analysis_scope.h"
#include "analysis/view_spans.h"

#include <cstdint>
#include <optional>
#include <vector>

class TTrace;

// The scope of a span; nullopt for the selected range while none is selected.
std::optional<AnalysisScope> scopeOfSpan(AnalysisSpan span, const ViewSpans& spans);

// The position of the process that the analysis takes for `rank` (the first
// with it); nullopt when no process has it.
std::optional<uint32_t> positionOfRank(const TTrace& trace, int32_t rank);

struct MessageSizes;
// The message counts of the bins that the sizes table shows (up to the
// largest bin used), for a chart beside it.
std::vector<uint64_t> shownBinCounts(const MessageSizes& sizes);
