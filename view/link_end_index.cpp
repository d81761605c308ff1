#include "view/link_end_index.h"

size_t LinkEndIndex::ProcessLinks::firstLinkOf(const TCallList& calls, size_t i) const {
    size_t first = blockFirst[i / kBlock];
    for (size_t k = i / kBlock * kBlock; k < i; ++k) first += calls[k].linkCount;
    return first;
}

const LinkEndIndex::ProcessLinks* LinkEndIndex::of(const TProcess& process) {
    const TCallList& calls = process.calls;
    // Looked up without inserting first: once built, a process's links are
    // only read (threads may share them).
    const auto found = processes_.find(calls.data());
    if (found != processes_.end()) {
        const ProcessLinks& p = found->second;
        if (p.data == calls.data() && p.count == calls.size() && !p.blockFirst.empty())
            return p.complete ? &p : nullptr;
    }
    ProcessLinks& p = processes_[calls.data()];
    p = ProcessLinks{};
    p.data = calls.data();
    p.count = calls.size();
    p.blockFirst.reserve(calls.size() / kBlock + 1);
    for (size_t i = 0; i < calls.size(); ++i) {
        if (i % kBlock == 0) p.blockFirst.push_back(p.ranks.size());
        for (const TLink& link : calls[i].linkSpan()) {
            p.ranks.push_back(link.rank);
            if (link.recv)
                p.recvEnds.push_back(link.recv->end);
            else
                p.complete = false;
        }
    }
    if (p.blockFirst.empty()) p.blockFirst.push_back(0);
    if (!p.complete) p.recvEnds.clear();
    return p.complete ? &p : nullptr;
}
