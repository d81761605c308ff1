#include "model/trace_document.h"
#include "tools/zlv/args.h"
#include "tools/zlv/verbs.h"

#include <algorithm>
#include <iostream>
#include <unordered_map>

namespace {

constexpr const char* kUsage =
    "usage: zlv links TRACE.zlv\n"
    "One line per link: sender rank, sender call index, receiver rank,\n"
    "receiver call index (tab-separated); senders in rank order, calls in call\n"
    "order, each call's links in stored order.\n";

} // namespace

int runLinks(int argc, char** argv) {
    std::string error;
    auto args = parseArgs(argc, argv, 1, {}, error);
    if (!args) return usageError("links", error, kUsage);
    if (args->help) {
        std::cout << kUsage;
        return kExitOk;
    }
    if (args->positional.size() != 1) return usageError("links", "one trace file expected", kUsage);

    int status = kExitOk;
    auto trace = openTraceForVerb(args->positional[0], status);
    if (!trace) return status;

    // Receiving call -> its index, to print positions instead of addresses.
    std::unordered_map<const TFunc*, size_t> callIndex;
    std::vector<const TProcess*> byRank;
    for (const TProcess& p : trace->processes) {
        byRank.push_back(&p);
        for (size_t k = 0; k < p.calls.size(); ++k) callIndex.emplace(&p.calls[k], k);
    }
    std::stable_sort(byRank.begin(), byRank.end(),
                     [](const TProcess* a, const TProcess* b) { return a->rank < b->rank; });

    std::string out;
    for (const TProcess* p : byRank) {
        for (size_t k = 0; k < p->calls.size(); ++k) {
            for (const TLink& l : p->calls[k].linkSpan()) {
                out += std::to_string(p->rank) + "\t" + std::to_string(k) + "\t" +
                       std::to_string(l.rank) + "\t" + std::to_string(callIndex.at(l.recv)) + "\n";
            }
        }
        std::cout << out;
        out.clear();
    }
    return status;
}
