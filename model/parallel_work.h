#pragma once
// How many workers loading uses, and how it cuts the processes among them.

#include "model/parallel_for.h"
#include "model/trace_model.h"

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

// Workers for a trace of this many calls: `requested` when not 0, else one
// per core, but small traces are not worth starting threads for.
inline unsigned workersFor(const std::vector<TProcess>& procs, unsigned requested) {
    if (requested != 0) return requested;
    if (callCount(procs) < (uint64_t{1} << 16)) return 1;
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

// Cuts the processes into `parts` contiguous ranges of about equal call
// counts: entry r is the first position of range r, entry parts is the end.
inline std::vector<uint32_t> rangesByCalls(const std::vector<TProcess>& procs, unsigned parts) {
    const auto n = static_cast<uint32_t>(procs.size());
    std::vector<uint32_t> start(size_t{parts} + 1, n);
    const uint64_t total = callCount(procs);
    uint64_t seen = 0;
    unsigned r = 0;
    start[0] = 0;
    for (uint32_t a = 0; a < n; ++a) {
        while (r + 1 < parts && seen * parts >= total * (r + 1)) start[++r] = a;
        seen += procs[a].calls.size();
    }
    while (r + 1 < parts) start[++r] = n;
    return start;
}
