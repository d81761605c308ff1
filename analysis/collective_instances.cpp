#include "analysis/collective_instances.h"

#include "model/comm_lookup.h"
#include "model/parallel_for.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <unordered_map>

namespace {

// What makes calls of different processes one series: the communicator's
// identifier, which of its lifetimes, its smallest member (two disjoint
// communicators can carry one identifier), and the function.
struct SeriesKey {
    uint32_t comm;
    uint32_t lifetime;
    uint32_t lowestMember;
    uint32_t funcId;
    auto operator<=>(const SeriesKey&) const = default;
};

constexpr uint32_t kNoRecord = UINT32_MAX; // lifetime of a communicator the process never created

// One process's calls, with series local to the process and k counted per series.
struct ProcessSeries {
    std::vector<SeriesKey> keys;     // local series
    std::vector<uint32_t> lengths;   // calls per local series
    std::vector<MemberCall> calls;   // instance holds the local series until resolved
    std::vector<uint32_t> positions; // k of each call in its series
};

ProcessSeries seriesOf(const ScopedProcess& sp) {
    const TProcess& p = *sp.process;
    ProcessSeries out;
    CommLookup lookup(p);
    // Lifetime and smallest member of each communicator record.
    std::vector<uint32_t> lifetime(p.comms.size()), lowest(p.comms.size(), UINT32_MAX);
    std::unordered_map<uint32_t, uint32_t> seen;
    for (size_t v = 0; v < p.comms.size(); ++v) {
        const TComm& c = p.comms[v];
        lifetime[v] = seen[c.id]++;
        if (c.id == kWorldComm) lowest[v] = 0;
        const size_t listed = std::min<size_t>(c.size, c.members.size());
        for (size_t m = 0; m < listed; ++m) lowest[v] = std::min(lowest[v], c.members[m]);
    }
    // (view or identifier, function) -> local series
    std::unordered_map<uint64_t, uint32_t> local, unknown;
    for (uint32_t k = 0; k < p.calls.size(); ++k) {
        const TFunc& f = p.calls[k];
        const uint32_t id = f.baseFuncId();
        const CollectiveKind kind = collectiveKind(id);
        if (kind == CollectiveKind::None) continue;
        const uint32_t view = lookup.find(f.comm, k);
        const TComm* c = lookup.comm(view);
        if (c ? c->id == kSelfComm : f.comm == kSelfComm) continue;
        // Calls on identifiers without a record go by the identifier.
        const uint64_t series = uint64_t{c ? view : f.comm} << 32 | id;
        auto [at, made] =
            (c ? local : unknown).try_emplace(series, static_cast<uint32_t>(out.keys.size()));
        if (made) {
            out.keys.push_back(c ? SeriesKey{c->id, lifetime[view], lowest[view], id}
                                 : SeriesKey{f.comm, kNoRecord, kNoRecord, id});
            out.lengths.push_back(0);
        }
        const bool root = lookup.toLocal(view, p.rank) == f.peer;
        out.calls.push_back({at->second, k, kind, root});
        out.positions.push_back(out.lengths[at->second]++);
    }
    return out;
}

} // namespace

CollectiveInstances::CollectiveInstances(std::span<const ScopedProcess> procs)
    : calls_(procs.size()) {
    std::vector<ProcessSeries> series(procs.size());
    parallelFor(static_cast<uint32_t>(procs.size()),
                [&](uint32_t i) { series[i] = seriesOf(procs[i]); });

    // Every series gets a run of instances as long as its longest member's
    // share; local series are few (functions times communicators per process).
    std::map<SeriesKey, std::pair<uint32_t, uint32_t>> global; // key -> (first, length)
    for (const ProcessSeries& s : series)
        for (size_t g = 0; g < s.keys.size(); ++g) {
            auto& entry = global[s.keys[g]];
            entry.second = std::max(entry.second, s.lengths[g]);
        }
    uint32_t next = 0;
    for (auto& [key, entry] : global) {
        entry.first = next;
        next += entry.second;
    }
    instances_.resize(next);

    // Arrivals in rank order, so that ties go to the lower rank.
    for (size_t i = 0; i < procs.size(); ++i) {
        ProcessSeries& s = series[i];
        std::vector<uint32_t> firstOf(s.keys.size());
        for (size_t g = 0; g < s.keys.size(); ++g) firstOf[g] = global[s.keys[g]].first;
        const TFunc* calls = procs[i].process->calls.data();
        for (size_t j = 0; j < s.calls.size(); ++j) {
            MemberCall& m = s.calls[j];
            m.instance = firstOf[m.instance] + s.positions[j];
            const Arrival a{procs[i].rank, m.call, wrapAdd(calls[m.call].start, procs[i].offset)};
            InstanceArrivals& in = instances_[m.instance];
            in.last.offerLatest(a);
            if (!m.root)
                in.lastNonRoot.offerLatest(a);
            else if (in.root.rank < 0)
                in.root = a;
        }
        calls_[i] = std::move(s.calls);
    }
}
