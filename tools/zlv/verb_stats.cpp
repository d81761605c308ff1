#include "analysis/analysis_tables.h"
#include "model/stat_tables.h"
#include "model/table_output.h"
#include "model/trace_document.h"
#include "tools/zlv/scope_args.h"
#include "tools/zlv/verb_call.h"
#include "tools/zlv/verbs.h"

#include <iostream>
#include <limits>

namespace {

// The kinds' lines come from the kinds table; sizes is an analysis table
// that only the tool lists here.
const std::string& usageText() {
    static const std::string text = [] {
        std::string t =
            "usage: zlv stats KIND TRACE.zlv [--section ID] [--from T] [--to T]\n"
            "                 [--format text|tsv|csv]\n"
            "Prints the table of the statistics dialog, cell for cell. KIND is one of\n";
        for (const StatKindInfo& kind : statKinds()) {
            const std::string name = kind.name;
            t += "  " + name + std::string(name.size() < 10 ? 10 - name.size() : 1, ' ') +
                 kind.summary + "\n";
        }
        return t + "  sizes     point-to-point sends by size: 0, then 1, 2-3, 4-7, ...: messages\n"
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
    }();
    return text;
}

} // namespace

int runStats(int argc, char** argv) {
    VerbCall verb("stats", usageText().c_str());
    const Args* args = verb.parse(argc, argv, {{"--section", "--format", "--from", "--to"}, {}}, 2,
                                  "a kind and one trace file expected");
    if (!args) return verb.exit();
    const bool sizes = args->positional[0] == "sizes";
    const StatKindInfo* kind = statKindNamed(args->positional[0]);
    if (!kind && !sizes) return verb.usageError("unknown kind " + args->positional[0]);
    const std::optional<TableFormat> format =
        parseTableFormat(args->option("--format").value_or("text"));
    if (!format) return verb.usageError("--format takes text, tsv or csv");
    std::optional<TimeRange> range;
    std::string error;
    if (!parseRange(*args, range, error)) return verb.usageError(error);
    if (range && kind && !kind->takesRange)
        return verb.usageError("--from/--to apply to " +
                               statKindNames([](const StatKindInfo& k) { return k.takesRange; }) +
                               " and sizes");
    uint32_t section = 0;
    if (auto text = args->option("--section")) {
        if (kind && !kind->matrix)
            return verb.usageError(
                "--section applies to " +
                statKindNames([](const StatKindInfo& k) { return k.matrix.has_value(); }) +
                " and sizes only");
        long long value = 0;
        if (!parseInt64(*text, value) || value < 0 || value > std::numeric_limits<uint32_t>::max())
            return verb.usageError("--section takes a section identifier");
        section = static_cast<uint32_t>(value);
    }

    // Only a time range needs the clocks' corrections, which need the links.
    TTrace* trace = verb.openTrace(args->positional[1], range.has_value());
    if (!trace) return verb.exit();
    if (sizes)
        writeTable(messageSizesTable(messageSizes(*trace, AnalysisScope{range, section, {}})),
                   *format, std::cout);
    else
        writeTable(kind->table(*trace, section, range), *format, std::cout);
    return verb.exit();
}
