// zlv: the command-line side of ZELVOR Analyzer.

#include "tools/zlv/verbs.h"

#include <cstring>
#include <iostream>

namespace {

void printHelp(std::ostream& out) {
    out << "usage: zlv VERB [ARGS...]    (zlv VERB --help for a verb's arguments)\n\nverbs:\n";
    for (const Verb& v : verbTable()) out << "  " << v.name << "\t" << v.summary << "\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        printHelp(argc < 2 ? std::cerr : std::cout);
        return argc < 2 ? kExitUnusable : kExitOk;
    }
    for (const Verb& v : verbTable())
        if (std::strcmp(argv[1], v.name) == 0) return v.run(argc - 1, argv + 1);
    std::cerr << "zlv: unknown verb " << argv[1] << "\n";
    printHelp(std::cerr);
    return kExitUnusable;
}
