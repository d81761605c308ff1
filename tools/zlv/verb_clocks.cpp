#include "analysis/analysis_tables.h"
#include "model/table_output.h"
#include "model/trace_document.h"
#include "tools/zlv/verb_call.h"
#include "tools/zlv/verbs.h"

#include <iostream>

namespace {

constexpr const char* kUsage =
    "usage: zlv clocks TRACE.zlv [--format text|tsv|csv]\n"
    "How far the aligned clocks can be trusted: per pair of sending and receiving\n"
    "node the links, the reversed ones (the receiving call ends before the sending\n"
    "call starts, after alignment), the largest reversal in µs, and the offsets\n"
    "applied to both nodes. Exit status: 0 loaded, 1 only partly loaded (still\n"
    "shown), 2 cannot open or wrong arguments.\n";

} // namespace

int runClocks(int argc, char** argv) {
    VerbCall verb("clocks", kUsage);
    const Args* args = verb.parse(argc, argv, {{"--format"}, {}}, 1, "one trace file expected");
    if (!args) return verb.exit();
    const auto format = parseTableFormat(args->option("--format").value_or("text"));
    if (!format) return verb.usageError("--format takes text, tsv or csv");

    TTrace* trace = verb.openTrace(args->positional[0]);
    if (!trace) return verb.exit();
    writeTable(clockQualityTable(clockQuality(*trace)), *format, std::cout);
    return verb.exit();
}
