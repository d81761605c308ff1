#include "analysis/wait_index.h"

#include "analysis/wait_walk.h"
#include "model/parallel_for.h"

#include <algorithm>
#include <tuple>

WaitKind waitKindOf(uint32_t funcId) {
    if (funcId == kFuncSend) return WaitKind::LateReceiver;
    if (wait_walk::isLinkedReceive(funcId)) return WaitKind::LateSender;
    switch (collectiveKind(funcId)) {
    case CollectiveKind::OneToAll:
        return WaitKind::LateBroadcast;
    case CollectiveKind::AllToOne:
        return WaitKind::EarlyReduce;
    case CollectiveKind::Barrier:
        return WaitKind::Barrier;
    default:
        return WaitKind::AllToAll;
    }
}

namespace {

using Entry = WaitIndex::Entry;

// One worker's finds while walking process `current`: its own waits go
// straight to its list, those of other processes (receivers waiting for its
// sends) to a pile per receiving process until every walk is done.
struct IndexSink {
    std::vector<std::vector<Entry>>& own;
    uint32_t current = 0;
    std::vector<std::vector<Entry>> others; // by receiving process

    void add(uint32_t process, const WaitInstance& w) {
        const Entry e{w.wait, w.call, w.partnerCall, w.partnerRank, w.funcId};
        (process == current ? own[process] : others[process]).push_back(e);
    }
};

bool entryBefore(const Entry& a, const Entry& b) {
    return std::tie(a.call, a.partnerRank, a.partnerCall) <
           std::tie(b.call, b.partnerRank, b.partnerCall);
}

// Sorts [from, to) of the list, which nearly always comes sorted.
void sortRun(std::vector<Entry>& list, size_t from, size_t to) {
    const auto begin = list.begin() + static_cast<std::ptrdiff_t>(from);
    const auto end = list.begin() + static_cast<std::ptrdiff_t>(to);
    if (!std::is_sorted(begin, end, entryBefore)) std::sort(begin, end, entryBefore);
}

// The entries from `from` on, sorted, merged with those before them.
void mergeRun(std::vector<Entry>& list, size_t from) {
    sortRun(list, from, list.size());
    const auto start = list.begin() + static_cast<std::ptrdiff_t>(from);
    if (start != list.begin() && start != list.end() && entryBefore(*start, *(start - 1)))
        std::inplace_merge(list.begin(), start, list.end(), entryBefore);
}

} // namespace

WaitIndex::WaitIndex(const TTrace& trace) : trace_(&trace) {
    const AnalysisScope whole;
    const wait_walk::WaitScope ws(trace, whole);
    const auto n = static_cast<uint32_t>(ws.all.size());
    std::vector<std::vector<Entry>> lists(n);
    std::vector<size_t> linksEnd(n); // where each list's collective waits begin
    const unsigned workers = std::thread::hardware_concurrency() == 1 ? 1 : 2;
    std::vector<IndexSink> sinks(workers, IndexSink{lists, 0, {}});
    for (IndexSink& s : sinks) s.others.resize(n);
    const CollectiveInstances instances(
        ws.all, workers, [&](unsigned w, uint32_t i, std::span<const uint32_t> sends) {
            sinks[w].current = i;
            wait_walk::linkWaits(ws, i, sends, sinks[w]);
        });
    parallelFor(workers, n, [&](unsigned w, uint32_t i) {
        sinks[w].current = i;
        linksEnd[i] = lists[i].size();
        wait_walk::collectiveWaits(ws, instances, i, sinks[w]);
    });
    ranks_.resize(trace.processCount());
    parallelFor(n, [&](uint32_t i) {
        std::vector<Entry>& list = lists[i];
        // In runs that come sorted: the process's own links, its collectives,
        // then each worker's pile of receives waiting for senders.
        sortRun(list, 0, linksEnd[i]);
        mergeRun(list, linksEnd[i]);
        size_t total = list.size();
        for (const IndexSink& s : sinks) total += s.others[i].size();
        list.reserve(total);
        for (IndexSink& s : sinks) {
            const size_t from = list.size();
            list.insert(list.end(), s.others[i].begin(), s.others[i].end());
            std::vector<Entry>().swap(s.others[i]);
            mergeRun(list, from);
        }
        Rank& r = ranks_[ws.all[i].rank];
        const TFunc* calls = ws.all[i].process->calls.data();
        const int64_t offset = ws.all[i].offset;
        for (size_t k = 1; k < list.size() && r.ordered; ++k)
            r.ordered = wrapAdd(calls[list[k - 1].call].start, offset) <=
                        wrapAdd(calls[list[k].call].start, offset);
        for (const Entry& e : list) r.longestWait = std::max(r.longestWait, e.wait);
        r.entries = std::move(list);
    });
    for (const Rank& r : ranks_) entries_ += r.entries.size();
}

std::span<const WaitIndex::Entry>
WaitIndex::entriesOf(const ScopedProcess& p, const std::optional<TimeRange>& range) const {
    if (p.rank < 0 || static_cast<size_t>(p.rank) >= ranks_.size()) return {};
    const Rank& r = ranks_[p.rank];
    std::span<const Entry> all = r.entries;
    if (!range || !r.ordered) return all;
    const TFunc* calls = p.process->calls.data();
    auto startsBefore = [&](int64_t t) {
        return [=](const Entry& e) { return wrapAdd(calls[e.call].start, p.offset) < t; };
    };
    const auto first = std::partition_point(all.begin(), all.end(), startsBefore(range->from));
    const auto last = std::partition_point(first, all.end(), startsBefore(range->to));
    return {first, last};
}

std::vector<WaitIndex::WaitingPart> WaitIndex::waitingParts(const ScopedProcess& p,
                                                            const TimeRange& window) const {
    std::vector<WaitingPart> out;
    if (p.rank < 0 || static_cast<size_t>(p.rank) >= ranks_.size()) return out;
    // A part that reaches into the window starts at most the longest wait before it.
    int64_t earliest;
    if (__builtin_sub_overflow(window.from, ranks_[p.rank].longestWait, &earliest))
        earliest = INT64_MIN;
    const TFunc* calls = p.process->calls.data();
    for (const Entry& e : entriesOf(p, TimeRange{earliest, window.to})) {
        if (e.wait <= 0) continue;
        const int64_t from = wrapAdd(calls[e.call].start, p.offset);
        const int64_t to = wrapAdd(from, e.wait);
        if (from < window.to && to > window.from && from < to) out.push_back({e.call, from, to});
    }
    return out;
}
