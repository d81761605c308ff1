#include "analysis/scoped_calls.h"

#include "model/parallel_for.h"
#include "model/trace_document.h"

#include <optional>

TraceWindows::TraceWindows(const TTrace& trace) : regions_(trace.processes.size()) {
    const auto n = static_cast<uint32_t>(trace.processes.size());
    std::vector<std::optional<CallWindow>> made(n);
    parallelFor(n, [&](uint32_t i) {
        const TProcess& p = trace.processes[i];
        made[i].emplace(
            ScopedProcess{&p, static_cast<int32_t>(p.rank), trace.nodeOffset(p.nodeIndex)});
        regions_[i] = std::make_unique<ProcessRegions>(p);
    });
    windows_.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
        windows_.push_back(std::move(*made[i]));
        // Processes without calls need no window.
        if (!trace.processes[i].calls.empty()) byCalls_.emplace(trace.processes[i].calls.data(), i);
    }
}

std::optional<uint32_t> TraceWindows::placeOf(const TProcess& p) const {
    if (p.calls.empty()) return std::nullopt;
    const auto it = byCalls_.find(p.calls.data());
    if (it == byCalls_.end() || windows_[it->second].callCount() != p.calls.size())
        return std::nullopt;
    return it->second;
}

const ProcessRegions* TraceWindows::regionsOf(const TProcess& p) const {
    const std::optional<uint32_t> at = placeOf(p);
    return at ? regions_[*at].get() : nullptr;
}

const CallWindow* TraceWindows::of(const TProcess& p) const {
    const std::optional<uint32_t> at = placeOf(p);
    return at ? &windows_[*at] : nullptr;
}
