#pragma once
// The few threads of loading: one worker per core for large traces.

#include "model/trace_model.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <system_error>
#include <thread>
#include <vector>

// Workers for a trace of this many calls: `requested` when not 0, else one
// per core, but small traces are not worth starting threads for.
inline unsigned workersFor(const std::vector<TProcess>& procs, unsigned requested) {
    if (requested != 0) return requested;
    uint64_t calls = 0;
    for (const TProcess& p : procs) calls += p.calls.size();
    if (calls < (uint64_t{1} << 16)) return 1;
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

// Runs fn(worker, item) for items [0, count) on `workers` threads (the caller
// being worker 0), items taken in rising order.
template <typename Fn>
void inParallel(unsigned workers, uint32_t count, Fn&& fn) {
    std::atomic<uint32_t> next{0};
    auto work = [&](unsigned worker) {
        for (uint32_t item; (item = next.fetch_add(1, std::memory_order_relaxed)) < count;)
            fn(worker, item);
    };
    std::vector<std::thread> helpers;
    for (unsigned w = 1; w < workers && w < count; ++w) {
        try {
            helpers.emplace_back(work, w);
        } catch (const std::system_error&) {
            break; // fewer threads: the others do the rest
        }
    }
    work(0);
    for (std::thread& h : helpers) h.join();
}

// Cuts the processes into `parts` contiguous ranges of about equal call
// counts: entry r is the first position of range r, entry parts is the end.
inline std::vector<uint32_t> rangesByCalls(const std::vector<TProcess>& procs, unsigned parts) {
    const auto n = static_cast<uint32_t>(procs.size());
    std::vector<uint32_t> start(size_t{parts} + 1, n);
    uint64_t total = 0, seen = 0;
    for (const TProcess& p : procs) total += p.calls.size();
    unsigned r = 0;
    start[0] = 0;
    for (uint32_t a = 0; a < n; ++a) {
        while (r + 1 < parts && seen * parts >= total * (r + 1)) start[++r] = a;
        seen += procs[a].calls.size();
    }
    while (r + 1 < parts) start[++r] = n;
    return start;
}
