#include "model/stat_tables.h"
#include "model/trace_document.h"
#include "tools/zlv/verb_call.h"
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
    VerbCall verb("sections", kUsage);
    const Args* args = verb.parse(argc, argv, {}, 1, "one trace file expected");
    if (!args) return verb.exit();
    TTrace* trace = verb.openTrace(args->positional[0]);
    if (!trace) return verb.exit();
    for (const SectionItem& item : sectionItems(*trace))
        std::cout << item.id << "\t" << item.name << "\n";
    return verb.exit();
}
