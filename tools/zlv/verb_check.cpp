#include "model/check_lines.h"
#include "model/trace_document.h"
#include "tools/zlv/args.h"
#include "tools/zlv/verbs.h"

#include <iostream>
#include <sstream>

namespace {

constexpr const char* kUsage =
    "usage: zlv check TRACE.zlv [--only term,comm,srpr]\n"
    "Runs the consistency checks and prints the lines of the check dialog:\n"
    "term (processes ending inside an unfinished call or without calls),\n"
    "comm (communicators never freed), srpr (send/receive count mismatches).\n"
    "--only runs just the listed checks; they still run in that fixed order.\n"
    "Exit status: 0 nothing found, 1 a check found something,\n"
    "2 the trace cannot be opened or has no processes, or wrong arguments.\n";

constexpr int kExitFound = 1;

bool parseSelection(const std::string& list, CheckSelection& selection) {
    selection = {false, false, false};
    std::istringstream names(list);
    std::string name;
    bool any = false;
    while (std::getline(names, name, ',')) {
        if (name == "term")
            selection.termination = true;
        else if (name == "comm")
            selection.communicators = true;
        else if (name == "srpr")
            selection.sendRecv = true;
        else
            return false;
        any = true;
    }
    return any;
}

} // namespace

int runCheck(int argc, char** argv) {
    std::string error;
    auto args = parseArgs(argc, argv, 1, {{"--only"}, {}}, error);
    if (!args) return usageError("check", error, kUsage);
    if (args->help) {
        std::cout << kUsage;
        return kExitOk;
    }
    if (args->positional.size() != 1) return usageError("check", "one trace file expected", kUsage);
    CheckSelection selection;
    if (auto only = args->option("--only"); only && !parseSelection(*only, selection))
        return usageError("check", "--only takes a list of term, comm, srpr", kUsage);

    int status = kExitOk;
    // The checks count calls: no links, no corrected times.
    auto trace = openTraceForVerb(args->positional[0], status, false);
    if (!trace) return kExitUnusable;
    if (trace->isEmpty()) {
        std::cerr << "zlv check: the trace has no processes\n";
        return kExitUnusable;
    }
    const CheckReport report = runChecks(*trace, selection);
    for (const std::string& line : report.lines) std::cout << line << "\n";
    return report.findings ? kExitFound : kExitOk;
}
