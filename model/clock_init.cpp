// The start shared by both clock alignments: each node's time 0 is the end
// of its MPI_Init.

#include "model/trace_document.h"
#include "model/trace_loader.h"
#include "model/wrapping_math.h"

#include <cstdio>

namespace {

void say(std::ostream& errors, const char* format, long value) {
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    errors << text << std::flush;
}

} // namespace

bool alignClocksOnInit(TTrace& trace, std::ostream& errors) {
    trace.nodeClocks.assign(trace.nodeCount(), TNodeClock{});
    trace.sortByNode();

    auto& procs = trace.processes;
    for (size_t runStart = 0; runStart < procs.size();) {
        const uint32_t node = procs[runStart].nodeIndex;
        bool nodeHasInit = false;
        size_t i = runStart;
        for (; i < procs.size() && procs[i].nodeIndex == node; ++i) {
            const TProcess& p = procs[i];
            if (p.calls.empty()) {
                say(errors, "Process with rank %d is declared but have no functions\n",
                    static_cast<int32_t>(p.rank));
            } else if (p.calls.front().funcId == kFuncInit) {
                trace.nodeClocks[node].offset = wrapNeg(p.calls.front().end);
                nodeHasInit = true;
            } else {
                say(errors, "Process with rank %d has no Init functions\n",
                    static_cast<int32_t>(p.rank));
            }
        }
        if (!nodeHasInit) {
            say(errors, "Process(es) from node %d hase(have) no Init functions\n",
                static_cast<int32_t>(node));
            return false;
        }
        runStart = i;
    }
    return true;
}
