#include "analysis/analysis_tables.h"
#include "model/stat_tables.h"
#include "model/table_output.h"
#include "model/trace_document.h"
#include "tools/zlv/args.h"
#include "tools/zlv/scope_args.h"
#include "tools/zlv/verbs.h"

#include <iostream>
#include <limits>

namespace {

constexpr const char* kUsage =
    "usage: zlv stats KIND TRACE.zlv [--section ID] [--from T] [--to T]\n"
    "                 [--format text|tsv|csv]\n"
    "Prints the table of the statistics dialog, cell for cell. KIND is one of\n"
    "  nodes     node index, node address and rank, by rank\n"
    "  process   run time and Init/Finalize/Send/Recv times and shares, by rank\n"
    "  sendrecv  messages sent/received, rank by rank (row sends to column)\n"
    "  counters  counter records: rank, file:line, times\n"
    "  datasize  data sizes sent/received, rank by rank\n"
    "  sizes     point-to-point sends by size: 0, then 1, 2-3, 4-7, ...: messages\n"
    "            and bytes\n"
    "--section ID restricts sendrecv, datasize and sizes to one program section\n"
    "(0, the default, is the whole run; `zlv sections` lists the identifiers).\n"
    "--from/--to T (corrected µs; either may be left out) restrict process (each\n"
    "call's overlap with the range; run time: the run's overlap), sendrecv,\n"
    "datasize and sizes (the calls that start in it).\n"
    "--format: text (aligned, the default), tsv (labels on the first line; the\n"
    "matrices start each line with the row label and the first line with an\n"
    "empty cell) or csv (the same as RFC 4180 CSV).\n"
    "Empty cells: a rank that no process has; a share of a run time of 0.\n"
    "Exit status: 0 loaded, 1 only partly loaded (still shown), 2 cannot open\n"
    "or wrong arguments.\n";

std::optional<StatKind> parseKind(const std::string& name) {
    if (name == "nodes") return StatKind::NodesRanks;
    if (name == "process") return StatKind::Process;
    if (name == "sendrecv") return StatKind::SendRecv;
    if (name == "counters") return StatKind::Counters;
    if (name == "datasize") return StatKind::DataSize;
    return std::nullopt;
}

} // namespace

int runStats(int argc, char** argv) {
    std::string error;
    auto args = parseArgs(argc, argv, 1, {{"--section", "--format", "--from", "--to"}, {}}, error);
    if (!args) return usageError("stats", error, kUsage);
    if (args->help) {
        std::cout << kUsage;
        return kExitOk;
    }
    if (args->positional.size() != 2)
        return usageError("stats", "a kind and one trace file expected", kUsage);
    const bool sizes = args->positional[0] == "sizes";
    const std::optional<StatKind> kind = parseKind(args->positional[0]);
    if (!kind && !sizes) return usageError("stats", "unknown kind " + args->positional[0], kUsage);
    const std::optional<TableFormat> format =
        parseTableFormat(args->option("--format").value_or("text"));
    if (!format) return usageError("stats", "--format takes text, tsv or csv", kUsage);
    std::optional<TimeRange> range;
    if (!parseRange(*args, range, error)) return usageError("stats", error, kUsage);
    if (range && kind && !hasSectionSelector(*kind) && *kind != StatKind::Process)
        return usageError("stats", "--from/--to apply to process, sendrecv, datasize and sizes",
                          kUsage);
    uint32_t section = 0;
    if (auto text = args->option("--section")) {
        if (kind && !hasSectionSelector(*kind))
            return usageError("stats", "--section applies to sendrecv, datasize and sizes only",
                              kUsage);
        long long value = 0;
        if (!parseInt64(*text, value) || value < 0 || value > std::numeric_limits<uint32_t>::max())
            return usageError("stats", "--section takes a section identifier", kUsage);
        section = static_cast<uint32_t>(value);
    }

    int status = kExitOk;
    // Only a time range needs the clocks' corrections, which need the links.
    auto trace = openTraceForVerb(args->positional[1], status, range.has_value());
    if (!trace) return status;
    if (sizes)
        writeTable(messageSizesTable(messageSizes(*trace, AnalysisScope{range, section, {}})),
                   *format, std::cout);
    else
        writeTable(statTable(*trace, *kind, section, range), *format, std::cout);
    return status;
}
