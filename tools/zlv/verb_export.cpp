#include "convert/chrome_export.h"
#include "model/trace_document.h"
#include "tools/zlv/verb_call.h"
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
    VerbCall verb("export", kUsage);
    const std::string expected = "the format chrome, a trace and an output file expected";
    const Args* args = verb.parse(argc, argv, {}, 3, expected);
    if (!args) return verb.exit();
    if (args->positional[0] != "chrome") return verb.usageError(expected);
    TTrace* trace = verb.openTrace(args->positional[1]);
    if (!trace) return verb.exit();
    std::ofstream out;
    std::vector<char> buffer(size_t{1} << 20); // large writes: the text of millions of calls
    out.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    out.open(args->positional[2], std::ios::binary | std::ios::trunc);
    if (!out || !exportChromeTrace(*trace, out)) {
        std::cerr << "zlv export: cannot write " << args->positional[2] << "\n";
        return kExitUnusable;
    }
    return verb.exit();
}
