#include "model/stat_tables.h"
#include "model/trace_document.h"
#include "tools/zlv/args.h"
#include "tools/zlv/verbs.h"

#include <iostream>

namespace {

constexpr const char* kUsage =
    "usage: zlv sections TRACE.zlv\n"
    "Prints the items of the statistics section selector, one per line:\n"
    "identifier, a tab, the name. Section 0 (the whole run) comes first,\n"
    "then every section a marker names, ascending.\n"
    "Exit status: 0 loaded, 1 only partly loaded, 2 cannot open or wrong arguments.\n";

} // namespace

int runSections(int argc, char** argv) {
    std::string error;
    auto args = parseArgs(argc, argv, 1, {}, error);
    if (!args) return usageError("sections", error, kUsage);
    if (args->help) {
        std::cout << kUsage;
        return kExitOk;
    }
    if (args->positional.size() != 1)
        return usageError("sections", "one trace file expected", kUsage);

    int status = kExitOk;
    auto trace = openTraceForVerb(args->positional[0], status);
    if (!trace) return status;
    for (const SectionItem& item : sectionItems(*trace))
        std::cout << item.id << "\t" << item.name << "\n";
    return status;
}
