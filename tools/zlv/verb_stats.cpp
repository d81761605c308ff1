#include "model/stat_tables.h"
#include "model/trace_document.h"
#include "tools/zlv/args.h"
#include "model/table_output.h"
#include "tools/zlv/verbs.h"

#include <iostream>
#include <limits>

namespace {

constexpr const char* kUsage =
    "usage: zlv stats KIND TRACE.zlv [--section ID] [--format text|tsv|csv]\n"
    "Prints the table of the statistics dialog, cell for cell. KIND is one of\n"
    "  nodes     node index, node address and rank, by rank\n"
    "  process   run time and Init/Finalize/Send/Recv times and shares, by rank\n"
    "  sendrecv  messages sent/received, rank by rank (row sends to column)\n"
    "  counters  counter records: rank, file:line, times\n"
    "  datasize  data sizes sent/received, rank by rank\n"
    "--section ID restricts sendrecv and datasize to one program section\n"
    "(0, the default, is the whole run; `zlv sections` lists the identifiers).\n"
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
    auto args = parseArgs(argc, argv, 1, {{"--section", "--format"}, {}}, error);
    if (!args) return usageError("stats", error, kUsage);
    if (args->help) {
        std::cout << kUsage;
        return kExitOk;
    }
    if (args->positional.size() != 2)
        return usageError("stats", "a kind and one trace file expected", kUsage);
    const std::optional<StatKind> kind = parseKind(args->positional[0]);
    if (!kind) return usageError("stats", "unknown kind " + args->positional[0], kUsage);
    const std::optional<TableFormat> format =
        parseTableFormat(args->option("--format").value_or("text"));
    if (!format) return usageError("stats", "--format takes text, tsv or csv", kUsage);
    uint32_t section = 0;
    if (auto text = args->option("--section")) {
        if (!hasSectionSelector(*kind))
            return usageError("stats", "--section applies to sendrecv and datasize only", kUsage);
        long long value = 0;
        if (!parseInt64(*text, value) || value < 0 || value > std::numeric_limits<uint32_t>::max())
            return usageError("stats", "--section takes a section identifier", kUsage);
        section = static_cast<uint32_t>(value);
    }

    int status = kExitOk;
    auto trace = openTraceForVerb(args->positional[1], status);
    if (!trace) return status;
    writeTable(statTable(*trace, *kind, section), *format, std::cout);
    return status;
}
