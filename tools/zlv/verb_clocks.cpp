#include "analysis/analysis_tables.h"
#include "model/trace_document.h"
#include "tools/zlv/args.h"
#include "model/table_output.h"
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
    std::string error;
    auto args = parseArgs(argc, argv, 1, {{"--format"}, {}}, error);
    if (!args) return usageError("clocks", error, kUsage);
    if (args->help) {
        std::cout << kUsage;
        return kExitOk;
    }
    if (args->positional.size() != 1)
        return usageError("clocks", "one trace file expected", kUsage);
    const auto format = parseTableFormat(args->option("--format").value_or("text"));
    if (!format) return usageError("clocks", "--format takes text, tsv or csv", kUsage);

    int status = kExitOk;
    auto trace = openTraceForVerb(args->positional[0], status);
    if (!trace) return status;
    writeTable(clockQualityTable(clockQuality(*trace)), *format, std::cout);
    return status;
}
