// Times the analysis figures of one trace: the profile, the message sizes,
// the wait states and the clock quality over the whole run; the windows
// that answer ranges, and the profile, sizes, waits and region profile of a
// range holding about 1 % of the calls; the plain reference profile and
// sizes beside them. The whole run's waits are found anew, as `zlv waits`
// and the window's first wait figure find them; the index of the waits is
// then built once, as the window does for a range, and answers the waits
// again over the whole run and over the range.
// Prints "name value" lines; times in milliseconds, best of REPEATS runs.
// FIGURE (profile, sizes, waits, clocks) times only that one, for profiles.
//
//   analysis_bench TRACE [REPEATS [FIGURE]]

#include "analysis/clock_quality.h"
#include "analysis/message_sizes.h"
#include "analysis/profile.h"
#include "analysis/reference/analysis_reference.h"
#include "analysis/region_profile.h"
#include "analysis/scoped_calls.h"
#include "analysis/wait_index.h"
#include "analysis/wait_states.h"
#include "bench/bench_timing.h"
#include "model/trace_document.h"

#include <cstdlib>
#include <memory>
#include <string>

namespace {

uint64_t sink = 0; // keeps the results alive

// Calls that count in the range.
uint64_t callsIn(const TTrace& trace, const AnalysisScope& range, const TraceWindows& windows) {
    uint64_t held = 0;
    for (const FunctionFigures& f : profile(trace, range, &windows).functions) held += f.calls;
    return held;
}

// A stretch of time in the middle of the run that holds about 1 % of the
// calls (generated runs are not uniform in time: narrowed or widened to it).
TimeRange onePercent(TTrace& trace, const TraceWindows& windows) {
    const int64_t start = trace.startTime(), end = trace.endTime();
    const int64_t mid = start + (end - start) / 2;
    int64_t width = std::max<int64_t>(1, (end - start) / 100);
    const uint64_t calls = callCount(trace.processes);
    TimeRange r{};
    for (int step = 0; step < 40; ++step) {
        r = {mid - width / 2, mid - width / 2 + width};
        const uint64_t held = callsIn(trace, {r, 0, {}}, windows);
        if (held * 1000 > calls * 12)
            width = width * 3 / 4;
        else if (held * 1000 < calls * 8)
            width = width * 5 / 4 + 1;
        else
            break;
    }
    return r;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: analysis_bench TRACE [REPEATS]\n");
        return 2;
    }
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    TTrace trace(argv[1]);
    if (trace.isEmpty()) {
        std::fprintf(stderr, "analysis_bench: no processes in %s\n", argv[1]);
        return 1;
    }
    print("calls", static_cast<double>(callCount(trace.processes)));
    const AnalysisScope whole;
    if (argc > 3) {
        const std::string only = argv[3];
        const Timing t = bestOf(repeats, [&] {
            if (only == "profile") sink += profile(trace, whole).functions.size();
            if (only == "sizes") sink += messageSizes(trace, whole).bins[1].messages;
            if (only == "waits") sink += waitStates(trace, whole, 20).worst.size();
            if (only == "clocks") sink += clockQuality(trace).size();
        });
        print(only.c_str(), t);
        return 0;
    }
    print("profile", bestOf(repeats, [&] { sink += profile(trace, whole).functions.size(); }));
    print("sizes", bestOf(repeats, [&] { sink += messageSizes(trace, whole).bins[1].messages; }));
    print("waits", bestOf(repeats, [&] { sink += waitStates(trace, whole, 20).worst.size(); }));
    print("clocks", bestOf(repeats, [&] { sink += clockQuality(trace).size(); }));
    print("reference_profile",
          bestOf(1, [&] { sink += referenceProfile(trace, whole).functions.size(); }));
    print("reference_sizes",
          bestOf(1, [&] { sink += referenceMessageSizes(trace, whole).bins[1].messages; }));

    std::unique_ptr<TraceWindows> windows;
    print("windows", bestOf(1, [&] { windows = std::make_unique<TraceWindows>(trace); }));
    std::unique_ptr<WaitIndex> waitIndex;
    print("wait_index", bestOf(1, [&] { waitIndex = std::make_unique<WaitIndex>(trace); }));
    print("indexed_waits", bestOf(repeats, [&] {
              sink += waitStates(trace, whole, 20, waitIndex.get()).worst.size();
          }));
    const AnalysisScope range{onePercent(trace, *windows), 0, {}};
    print("range_calls", static_cast<double>(callsIn(trace, range, *windows)));
    print("range_profile",
          bestOf(repeats, [&] { sink += profile(trace, range, windows.get()).ranks.size(); }));
    print("range_sizes", bestOf(repeats, [&] {
              sink += messageSizes(trace, range, windows.get()).bins[1].messages;
          }));
    print("range_waits", bestOf(repeats, [&] {
              sink += waitStates(trace, range, 20, waitIndex.get()).worst.size();
          }));
    print("range_regions", bestOf(repeats, [&] {
              sink += regionProfile(trace, range, windows.get()).regions.size();
          }));
    std::fprintf(stderr, "sink %llu\n", static_cast<unsigned long long>(sink));
    return 0;
}
