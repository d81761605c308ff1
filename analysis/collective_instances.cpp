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

// The local series of recent (identifier, function) pairs, and their
// communicator's place in the process's list.
constexpr uint32_t kSkipped = UINT32_MAX;
constexpr uint32_t kCacheSlots = 32;
struct SeriesCache {
    uint32_t comm = 0;
    uint32_t funcId = UINT32_MAX; // no function has this identifier with the flag cleared
    uint64_t validBefore = 0;
    uint32_t series = kSkipped;
    uint32_t view = CommLookup::kNone;
};

// One process's calls, with series local to the process and k counted per series.
struct ProcessSeries {
    std::vector<SeriesKey> keys;     // local series
    std::vector<uint32_t> lengths;   // calls per local series
    std::vector<MemberCall> calls;   // instance holds the local series until resolved
    std::vector<uint32_t> positions; // k of each call in its series
    std::vector<int64_t> starts;     // corrected start of each call
    std::vector<uint32_t> linkedSends;
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
    SeriesCache cache[kCacheSlots];
    for (uint32_t k = 0; k < p.calls.size(); ++k) {
        const TFunc& f = p.calls[k];
        if (f.linkCount && (f.funcId == kFuncSend || f.funcId == kFuncIsend))
            out.linkedSends.push_back(k);
        const uint32_t id = f.baseFuncId();
        const CollectiveKind kind = collectiveKind(id);
        if (kind == CollectiveKind::None) continue;
        // The series of (identifier, function) stays the answer until its
        // communicator is freed (those listed before it with that identifier
        // were freed already); without a record, for this call only.
        SeriesCache& cached = cache[(f.comm * 31 + id) & (kCacheSlots - 1)];
        if (cached.comm != f.comm || cached.funcId != id || k >= cached.validBefore) {
            const uint32_t view = lookup.find(f.comm, k);
            const TComm* c = lookup.comm(view);
            cached = {f.comm, id, c ? (c->freedAt ? uint64_t{c->freedAt} + 1 : UINT64_MAX) : k + 1,
                      kSkipped, view};
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
            cached.series = at->second;
        }
        if (cached.series == kSkipped) continue; // the self communicator
        const uint32_t series = cached.series;
        // The root as the model takes it: the peer's global rank is this process's.
        const bool root = lookup.globalRank(cached.view, f.peer) == static_cast<int32_t>(p.rank);
        out.calls.push_back({series, k, kind, root});
        out.positions.push_back(out.lengths[series]++);
        out.starts.push_back(wrapAdd(f.start, sp.offset));
    }
    return out;
}

} // namespace

CollectiveInstances::CollectiveInstances(std::span<const ScopedProcess> procs)
    : calls_(procs.size()), linkedSends_(procs.size()) {
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

    // Arrivals in rank order, so that ties go to the lower rank: each worker
    // takes a run of ranks into arrivals of its own, merged in run order.
    const unsigned workers = std::thread::hardware_concurrency() == 1 ? 1 : 2;
    std::vector<std::vector<InstanceArrivals>> parts(workers);
    const auto n = static_cast<uint32_t>(procs.size());
    parallelFor(workers, workers, [&](unsigned, uint32_t w) {
        std::vector<InstanceArrivals>& arrivals = parts[w];
        arrivals.resize(next);
        for (uint32_t i = n * w / workers; i < n * (w + 1) / workers; ++i) {
            ProcessSeries& s = series[i];
            std::vector<uint32_t> firstOf(s.keys.size());
            for (size_t g = 0; g < s.keys.size(); ++g) firstOf[g] = global.at(s.keys[g]).first;
            for (size_t j = 0; j < s.calls.size(); ++j) {
                MemberCall& m = s.calls[j];
                m.instance = firstOf[m.instance] + s.positions[j];
                arrivals[m.instance].offer(m.root, {procs[i].rank, m.call, s.starts[j]});
            }
        }
    });
    instances_ = std::move(parts[0]);
    for (unsigned w = 1; w < workers; ++w)
        for (uint32_t k = 0; k < next; ++k) instances_[k].merge(parts[w][k]);
    for (uint32_t i = 0; i < n; ++i) {
        calls_[i] = std::move(series[i].calls);
        linkedSends_[i] = std::move(series[i].linkedSends);
    }
}