#include "analysis/clock_quality.h"

#include "model/parallel_for.h"
#include "model/trace_document.h"
#include "model/traffic_rows.h"

#include <map>
#include <utility>

namespace {

using PairMap = std::map<std::pair<uint32_t, uint32_t>, NodePairClocks>;

void pairsOf(const TTrace& trace, const std::vector<const TProcess*>& byRank, const TProcess& p,
             PairMap& into) {
    const int64_t offset = trace.nodeOffset(p.nodeIndex);
    NodePairClocks* last = nullptr; // links of a call mostly go to one node
    for (const TFunc& s : p.calls) {
        for (const TLink& l : s.linkSpan()) {
            if (l.rank >= byRank.size() || !byRank[l.rank]) continue;
            const TProcess& r = *byRank[l.rank];
            if (!last || last->recvNode != r.nodeIndex) {
                last = &into[{p.nodeIndex, r.nodeIndex}];
                last->sendNode = p.nodeIndex;
                last->recvNode = r.nodeIndex;
            }
            const int64_t recvEnd = wrapAdd(l.recvEnd(s.end), trace.nodeOffset(r.nodeIndex));
            last->add(wrapSub(wrapAdd(s.start, offset), recvEnd));
        }
    }
}

} // namespace

std::vector<NodePairClocks> clockQuality(const TTrace& trace) {
    const std::vector<const TProcess*> byRank = processesByRank(trace);
    const unsigned workers = std::thread::hardware_concurrency() == 1 ? 1 : 2;
    std::vector<PairMap> parts(workers);
    parallelFor(workers, trace.processCount(), [&](unsigned w, uint32_t i) {
        pairsOf(trace, byRank, trace.processes[i], parts[w]);
    });
    PairMap all;
    for (const PairMap& part : parts)
        for (const auto& [key, pair] : part) {
            NodePairClocks& into = all[key];
            into.sendNode = key.first;
            into.recvNode = key.second;
            into.links += pair.links;
            into.reversed += pair.reversed;
            into.maxReversal = std::max(into.maxReversal, pair.maxReversal);
        }
    std::vector<NodePairClocks> out;
    for (auto& [key, pair] : all) {
        pair.sendOffset = trace.nodeOffset(key.first);
        pair.recvOffset = trace.nodeOffset(key.second);
        out.push_back(pair);
    }
    return out;
}
