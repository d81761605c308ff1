#include "model/trace_document.h"
#include "tools/zlv/args.h"
#include "tools/zlv/verbs.h"

#include <iostream>
#include <map>

namespace {

constexpr const char* kUsage =
    "usage: zlv info TRACE.zlv\n"
    "Prints key: value lines: loaded, processes, nodes, calls, links, counters,\n"
    "start, end (corrected microseconds), database (the .fdb result: 1 read,\n"
    "0 cannot open, -1/-2 wrong format, none when not read), sections, files,\n"
    "and one 'offset N: VALUE' line per node clock entry.\n";

} // namespace

int runInfo(int argc, char** argv) {
    std::string error;
    auto args = parseArgs(argc, argv, 1, {}, error);
    if (!args) return usageError("info", error, kUsage);
    if (args->help) {
        std::cout << kUsage;
        return kExitOk;
    }
    if (args->positional.size() != 1) return usageError("info", "one trace file expected", kUsage);

    int status = kExitOk;
    auto trace = openTraceForVerb(args->positional[0], status);
    if (!trace) return status;

    uint64_t calls = 0, links = 0;
    for (const TProcess& p : trace->processes) {
        calls += p.calls.size();
        for (const TFunc& f : p.calls) links += f.linkCount;
    }
    std::cout << "loaded: " << (trace->loaded() ? "yes" : "no") << "\n"
              << "processes: " << trace->processCount() << "\n"
              << "nodes: " << trace->nodeCount() << "\n"
              << "calls: " << calls << "\n"
              << "links: " << links << "\n"
              << "counters: " << trace->counterList.size() << "\n"
              << "start: " << trace->startTime() << "\n"
              << "end: " << trace->endTime() << "\n";
    std::cout << "database: ";
    if (auto db = trace->databaseResult())
        std::cout << *db << "\n";
    else
        std::cout << "none\n";
    std::cout << "sections: " << trace->sectionNames.namedCount() << "\n"
              << "files: " << trace->fileNames.namedCount() << "\n";
    // Traces of formats that record metrics: samples per metric name.
    if (!trace->metrics.empty()) {
        std::map<std::string, uint64_t> samples;
        for (const TMetricSeries& m : trace->metrics) samples[m.name] += m.samples.size();
        std::cout << "metrics: " << samples.size() << "\n";
        for (const auto& [name, count] : samples)
            std::cout << "metric " << name << ": " << count << "\n";
    }
    for (size_t i = 0; i < trace->nodeClocks.size(); ++i)
        std::cout << "offset " << i << ": " << trace->nodeClocks[i].offset << "\n";
    return status;
}
