#include "model/trace_document.h"
#include "tools/zlv/verb_call.h"
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
    VerbCall verb("info", kUsage);
    const Args* args = verb.parse(argc, argv, {}, 1, "one trace file expected");
    if (!args) return verb.exit();
    TTrace* trace = verb.openTrace(args->positional[0]);
    if (!trace) return verb.exit();

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
    return verb.exit();
}
