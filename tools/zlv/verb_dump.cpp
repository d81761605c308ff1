#include "model/trace_document.h"
#include "model/wrapping_math.h"
#include "tools/zlv/verb_call.h"
#include "tools/zlv/verbs.h"

#include <cstdio>
#include <iostream>

namespace {

constexpr const char* kUsage =
    "usage: zlv dump TRACE.zlv [--rank R]\n"
    "Every process in list order: a 'process' line (position, rank, node index,\n"
    "node address, offset), then one tab-separated line per call: call index,\n"
    "function name (' (unfinished)' when flagged), raw start, raw end, corrected\n"
    "start, corrected end, peer, communicator, tag, size, kind bits, section,\n"
    "link count. Then one 'counter' line per counter record (rank, times, file, line).\n";

// Output bytes collected before they are written.
constexpr size_t kFlushAt = size_t{1} << 16;

} // namespace

int runDump(int argc, char** argv) {
    VerbCall verb("dump", kUsage);
    const Args* args = verb.parse(argc, argv, {{"--rank"}, {}}, 1, "one trace file expected");
    if (!args) return verb.exit();
    long long onlyRank = -1;
    const bool filtered = args->option("--rank").has_value();
    if (filtered && !parseInt64(*args->option("--rank"), onlyRank))
        return verb.usageError("--rank needs a number");

    TTrace* trace = verb.openTrace(args->positional[0]);
    if (!trace) return verb.exit();

    std::string out;
    char line[512];
    for (uint32_t pos = 0; pos < trace->processCount(); ++pos) {
        const TProcess& p = trace->processes[pos];
        if (filtered && static_cast<long long>(p.rank) != onlyRank) continue;
        const int64_t offset = trace->nodeOffset(p.nodeIndex);
        std::snprintf(line, sizeof line, "process %u\trank %u\tnode %u\t%s\toffset %lld\n", pos,
                      p.rank, p.nodeIndex, nodeNameOf(trace->nodes, p).c_str(),
                      static_cast<long long>(offset));
        out += line;
        uint32_t section = 0;
        for (size_t k = 0; k < p.calls.size(); ++k) {
            const TFunc& f = p.calls[k];
            if (f.funcId == kFuncSection) section = f.location;
            std::string name = f.funcId == kFuncSection ? std::string("section marker")
                                                        : trace->funcName(f.baseFuncId());
            if (f.funcId & kUnfinishedFlag) name += " (unfinished)";
            std::snprintf(line, sizeof line,
                          "%zu\t%s\t%lld\t%lld\t%lld\t%lld\t%d\t%u\t%u\t%u\t0x%02x\t%u\t%u\n", k,
                          name.c_str(), static_cast<long long>(f.start),
                          static_cast<long long>(f.end),
                          static_cast<long long>(wrapAdd(f.start, offset)),
                          static_cast<long long>(wrapAdd(f.end, offset)), f.peer, f.comm, f.msgTag,
                          f.size, f.kind, section, f.linkCount);
            out += line;
            // Written as it goes: a process can have millions of calls, and
            // the output must not be held whole.
            if (out.size() >= kFlushAt) {
                std::cout << out;
                out.clear();
            }
        }
        std::cout << out;
        out.clear();
    }
    for (const TCounter& c : trace->counterList) {
        if (filtered && static_cast<long long>(c.rank) != onlyRank) continue;
        std::cout << "counter\t" << static_cast<int32_t>(c.rank) << "\t" << c.times << "\t"
                  << (c.location >> 16) << "\t" << (c.location & 0xFFFF) << "\n";
    }
    return verb.exit();
}
