#include "analysis/scoped_calls.h"

#include "model/parallel_for.h"
#include "model/trace_document.h"

#include <optional>

TraceWindows::TraceWindows(const TTrace& trace) : first_(trace.processes.data()) {
    const auto n = static_cast<uint32_t>(trace.processes.size());
    std::vector<std::optional<CallWindow>> made(n);
    parallelFor(n, [&](uint32_t i) {
        const TProcess& p = trace.processes[i];
        made[i].emplace(
            ScopedProcess{&p, static_cast<int32_t>(p.rank), trace.nodeOffset(p.nodeIndex)});
    });
    windows_.reserve(n);
    for (auto& w : made) windows_.push_back(std::move(*w));
}
