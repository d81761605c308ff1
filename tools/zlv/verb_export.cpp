#include "convert/chrome_export.h"
#include "model/trace_document.h"
#include "tools/zlv/args.h"
#include "tools/zlv/verbs.h"

#include <fstream>
#include <iostream>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: zlv export chrome TRACE OUT.json\n"
    "Writes the trace as Trace Event JSON for Perfetto (ui.perfetto.dev) and\n"
    "chrome://tracing: one process per rank, a complete event per call with its\n"
    "peer, tag, size, communicator, section and source, a flow per link, the\n"
    "counter records as counter events. Times are corrected microseconds from\n"
    "the start of the run.\n"
    "Exit status: 0 written, 1 written from a trace that only partly loaded,\n"
    "2 the trace cannot be opened, OUT cannot be written, or wrong arguments.\n";

} // namespace

int runExport(int argc, char** argv) {
    std::string error;
    auto args = parseArgs(argc, argv, 1, {}, error);
    if (!args) return usageError("export", error, kUsage);
    if (args->help) {
        std::cout << kUsage;
        return kExitOk;
    }
    if (args->positional.size() != 3 || args->positional[0] != "chrome")
        return usageError("export", "the format chrome, a trace and an output file expected",
                          kUsage);

    int status = kExitOk;
    auto trace = openTraceForVerb(args->positional[1], status);
    if (!trace) return status;
    std::ofstream out;
    std::vector<char> buffer(size_t{1} << 20); // large writes: the text of millions of calls
    out.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    out.open(args->positional[2], std::ios::binary | std::ios::trunc);
    if (!out || !exportChromeTrace(*trace, out)) {
        std::cerr << "zlv export: cannot write " << args->positional[2] << "\n";
        return kExitUnusable;
    }
    return status;
}
