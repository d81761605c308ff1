#include "model/check_lines.h"
#include "model/trace_document.h"
#include "tools/zlv/verb_call.h"
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
    VerbCall verb("check", kUsage);
    const Args* args = verb.parse(argc, argv, {{"--only"}, {}}, 1, "one trace file expected");
    if (!args) return verb.exit();
    CheckSelection selection;
    if (auto only = args->option("--only"); only && !parseSelection(*only, selection))
        return verb.usageError("--only takes a list of term, comm, srpr");

    // The checks count calls: no links, no corrected times.
    TTrace* trace = verb.openTrace(args->positional[0], false);
    if (!trace) return kExitUnusable;
    if (trace->isEmpty()) {
        std::cerr << "zlv check: the trace has no processes\n";
        return kExitUnusable;
    }
    const CheckReport report = runChecks(*trace, selection);
    for (const std::string& line : report.lines) std::cout << line << "\n";
    return report.findings ? kExitFound : kExitOk;
}
