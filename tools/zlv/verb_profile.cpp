#include "analysis/analysis_tables.h"
#include "model/table_output.h"
#include "model/trace_document.h"
#include "tools/zlv/scope_args.h"
#include "tools/zlv/verb_call.h"
#include "tools/zlv/verbs.h"

#include <iostream>

namespace {

constexpr const char* kUsage =
    "usage: zlv profile TRACE.zlv [--by function|rank|region] [--from T] [--to T]\n"
    "                   [--section ID] [--rank R]... [--format text|tsv|csv]\n"
    "Where the time went. --by function (the default): per MPI function its calls,\n"
    "total, mean, shortest and longest call (µs) and the total as % of the summed\n"
    "run times, then the row (outside MPI): each process's run time minus the time\n"
    "in its calls (not below 0), summed. --by rank: run time, time in calls,\n"
    "outside, and % in calls. --by region: per program region (a section of a\n"
    ".zlv trace, a user function of an OTF2 archive) its visits, inclusive and\n"
    "exclusive time (less nested regions and the MPI calls in it), the mean\n"
    "inclusive time of a visit and both times as % of the summed run times\n"
    "(--section does not apply). --from/--to: only the calls' overlaps with that\n"
    "range of corrected µs (a call of 0 µs when it starts inside); run times become\n"
    "the run's overlap with it. --section: calls of that program section. --rank:\n"
    "only those ranks. Exit status: 0 loaded, 1 only partly loaded (still shown), 2\n"
    "cannot open or wrong arguments.\n";

} // namespace

int runProfile(int argc, char** argv) {
    VerbCall verb("profile", kUsage);
    std::set<std::string> options = kScopeOptions;
    options.insert({"--by", "--format"});
    const Args* args = verb.parse(argc, argv, {options, {}}, 1, "one trace file expected");
    if (!args) return verb.exit();
    const std::string by = args->option("--by").value_or("function");
    if (by != "function" && by != "rank" && by != "region")
        return usageError("profile", "--by takes function, rank or region", kUsage);
    const auto format = parseTableFormat(args->option("--format").value_or("text"));
    if (!format) return usageError("profile", "--format takes text, tsv or csv", kUsage);
    AnalysisScope scope;
    std::string error;
    if (!parseScope(*args, scope, error)) return usageError("profile", error, kUsage);
    if (by == "region" && args->option("--section"))
        return usageError("profile", "--section does not apply to --by region", kUsage);

    // Only a time range needs the clocks' corrections, which need the links.
    TTrace* trace = verb.openTrace(args->positional[0], scope.range.has_value());
    if (!trace) return verb.exit();
    if (by == "region") {
        writeTable(regionProfileTable(regionProfile(*trace, scope)), *format, std::cout);
        return verb.exit();
    }
    Profile p = profile(*trace, scope);
    writeTable(by == "rank" ? profileByRankTable(std::move(p))
                            : profileByFunctionTable(std::move(p)),
               *format, std::cout);
    return verb.exit();
}
