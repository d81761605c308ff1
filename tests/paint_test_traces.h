#pragma once
// Traces the painter's tests draw: random calls with overlaps, marks,
// unfinished sends and links; dense pixel columns with coinciding links;
// long runs of plain calls that fold into blocks; and generated runs. Each
// is written to a scratch file and loaded as the window loads it.

#include "model/trace_document.h"
#include "view/view_filter.h"

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

std::unique_ptr<TTrace> randomTrace(std::mt19937_64& rng, int n);
std::unique_ptr<TTrace> denseTrace(std::mt19937_64& rng, int n);
std::unique_ptr<TTrace> plainRunsTrace(std::mt19937_64& rng, int n);
// Null when the generator fails.
std::unique_ptr<TTrace> generatedTrace(std::mt19937_64& rng, int n);

// The earliest start and latest end of the trace's calls, clock shifts added.
struct TimeSpan {
    int64_t lo = 0, hi = 1;
};
TimeSpan spanOf(const TTrace& trace);

// A filter for 16 ranks with links shown in linksPercent of the draws, most
// nodes and ranks shown, and now and then some of `functions` hidden.
ViewFilter randomViewFilter(std::mt19937_64& rng, const TTrace& trace, int linksPercent,
                            const std::vector<uint32_t>& functions);
