#include "model/trace_document.h"
#include "tools/zlv/verb_call.h"
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
    VerbCall verb("links", kUsage);
    const Args* args = verb.parse(argc, argv, {}, 1, "one trace file expected");
    if (!args) return verb.exit();
    TTrace* trace = verb.openTrace(args->positional[0]);
    if (!trace) return verb.exit();

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
    return verb.exit();
}
