#include "analysis/analysis_tables.h"
#include "model/table_output.h"
#include "model/trace_document.h"
#include "tools/zlv/scope_args.h"
#include "tools/zlv/verb_call.h"
#include "tools/zlv/verbs.h"

#include <climits>
#include <iostream>

namespace {

constexpr const char* kUsage =
    "usage: zlv waits TRACE.zlv [--by kind|rank|function] [--list N] [--from T] [--to T]\n"
    "                 [--section ID] [--rank R]... [--format text|tsv|csv]\n"
    "Time lost waiting for a partner (µs, corrected clocks), totals per kind of\n"
    "wait (the default), per waiting rank or per waiting call's function: the\n"
    "instances (calls that could wait), those that waited, the summed and the\n"
    "longest wait, and the sum as % of the summed run times. Kinds:\n"
    "  late sender      a receive linked from a send waits until the send starts\n"
    "  late receiver    an MPI_Send linked to an MPI_Recv waits until it starts\n"
    "  late broadcast   a member of MPI_Bcast/Scatter(v) waits for the root\n"
    "  early reduce     the root of MPI_Reduce/Gather(v) waits for the last member\n"
    "  wait at NxN      a member of an all-to-all collective waits for the last one\n"
    "  wait at barrier  the same in MPI_Barrier\n"
    "each wait clamped to the waiting call's duration. --list N prints instead the N\n"
    "longest waits: kind, rank, call index, function, start, wait, and the partner's\n"
    "rank and call. --from/--to, --section, --rank: waits of the calls that start in\n"
    "that range, lie in that section, belong to those ranks. Exit status: 0 loaded,\n"
    "1 only partly loaded (still shown), 2 cannot open or wrong arguments.\n";

} // namespace

int runWaits(int argc, char** argv) {
    VerbCall verb("waits", kUsage);
    std::set<std::string> options = kScopeOptions;
    options.insert({"--by", "--list", "--format"});
    const Args* args = verb.parse(argc, argv, {options, {}}, 1, "one trace file expected");
    if (!args) return verb.exit();
    const std::string by = args->option("--by").value_or("kind");
    if (by != "kind" && by != "rank" && by != "function")
        return usageError("waits", "--by takes kind, rank or function", kUsage);
    long long listed = 0;
    if (auto text = args->option("--list"))
        if (!parseInt64(*text, listed) || listed < 1 || listed > INT32_MAX)
            return usageError("waits", "--list takes a count of at least 1", kUsage);
    const auto format = parseTableFormat(args->option("--format").value_or("text"));
    if (!format) return usageError("waits", "--format takes text, tsv or csv", kUsage);
    AnalysisScope scope;
    std::string error;
    if (!parseScope(*args, scope, error)) return usageError("waits", error, kUsage);

    TTrace* trace = verb.openTrace(args->positional[0]);
    if (!trace) return verb.exit();
    WaitStates w = waitStates(*trace, scope, static_cast<uint32_t>(listed));
    if (listed) {
        writeTable(waitListTable(std::move(w)), *format, std::cout);
        return verb.exit();
    }
    const WaitsBy key = by == "rank"       ? WaitsBy::Rank
                        : by == "function" ? WaitsBy::Function
                                           : WaitsBy::Kind;
    writeTable(waitsTable(std::move(w), key), *format, std::cout);
    return verb.exit();
}
