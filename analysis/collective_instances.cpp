#include "analysis/collective_instances.h"

#include "model/comm_lookup.h"
#include "model/memory_advice.h"
#include "model/parallel_for.h"

#include <algorithm>
#include <map>
#include <mutex>
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

// The local series of recent (identifier, function) pairs, their
// communicator's place in the process's list, and the last root asked. A
// process meets a few dozen such pairs: enough slots that they rarely evict
// each other (every eviction costs a lookup and a hash).
constexpr uint32_t kSkipped = UINT32_MAX;
constexpr uint32_t kCacheSlots = 128;
struct SeriesCache {
    uint32_t comm = 0;
    uint32_t funcId = UINT32_MAX; // no function has this identifier with the flag cleared
    uint64_t validBefore = 0;
    uint32_t series = kSkipped;
    uint32_t view = CommLookup::kNone;
    int32_t peer = 0;
    bool peerIsRoot = false;
    bool peerKnown = false;
};

// The series every process shares, numbered as they are first met.
class GlobalSeries {
  public:
    uint32_t idOf(const SeriesKey& key) {
        const std::lock_guard<std::mutex> hold(mutex_);
        return ids_.try_emplace(key, static_cast<uint32_t>(ids_.size())).first->second;
    }
    size_t size() const { return ids_.size(); }

  private:
    std::mutex mutex_;
    std::map<SeriesKey, uint32_t> ids_;
};

// Lifetime and smallest member of each communicator record of a process.
struct CommShapes {
    std::vector<uint32_t> lifetime, lowest;

    explicit CommShapes(const TProcess& p) : lifetime(p.comms.size()), lowest(p.comms.size()) {
        std::unordered_map<uint32_t, uint32_t> seen;
        for (size_t v = 0; v < p.comms.size(); ++v) {
            const TComm& c = p.comms[v];
            lifetime[v] = seen[c.id]++;
            lowest[v] = c.id == kWorldComm ? 0 : UINT32_MAX;
            const size_t listed = std::min<size_t>(c.size, c.members.size());
            for (size_t m = 0; m < listed; ++m) lowest[v] = std::min(lowest[v], c.members[m]);
        }
    }
};

} // namespace

CollectiveInstances::CollectiveInstances(std::span<const ScopedProcess> procs, unsigned workers,
                                         const LinkedSends& linkedSends)
    : storage_(std::max(workers, 1u)), processes_(procs.size()) {
    workers = static_cast<unsigned>(storage_.size());
    size_t calls = 0;
    for (const ScopedProcess& sp : procs) calls += sp.process->calls.size();
    // Room for a member per call; only the pages written are backed, as
    // huge pages: a fresh page per few hundred members would cost more than
    // finding them.
    for (std::vector<Member>& s : storage_) reserveUpTo(s, calls);
    const bool wantSends = static_cast<bool>(linkedSends);
    GlobalSeries global;
    // Per worker, per global series: what its instances wait for so far, and
    // how many calls the longest member share had.
    std::vector<std::vector<std::vector<Arrival>>> parts(workers);
    std::vector<std::vector<uint32_t>> longest(workers);

    parallelFor(workers, static_cast<uint32_t>(procs.size()), [&](unsigned w, uint32_t i) {
        const ScopedProcess& sp = procs[i];
        const TProcess& p = *sp.process;
        ProcessCalls& out = processes_[i];
        std::vector<Member>& members = storage_[w];
        std::vector<std::vector<Arrival>>& arrivals = parts[w];
        const size_t firstMember = members.size();
        const CommLookup lookup(p);
        const CommShapes shapes(p);
        // (view or identifier, function) -> local series
        std::unordered_map<uint64_t, uint32_t> local, unknown;
        std::vector<uint32_t> lengths; // calls per local series
        SeriesCache cache[kCacheSlots];
        constexpr uint32_t kRun = 256;
        uint32_t sends[kRun], queued = 0;
        const TFunc* const first = p.calls.data();
        const auto count = static_cast<uint32_t>(p.calls.size());
        // Calls are read in order, but the links' waits in between wander off
        // to other processes: asked for 7 KB ahead, the next calls are there
        // when the walk comes back (16 calls ahead measured 7 % slower).
        constexpr uint32_t kCallsAhead = 128;
        for (uint32_t k = 0; k < count; ++k) {
            __builtin_prefetch(first + k + kCallsAhead);
            const TFunc& f = first[k];
            if (f.linkCount && (f.funcId == kFuncSend || f.funcId == kFuncIsend) && wantSends) {
                sends[queued++] = k;
                if (queued == kRun) {
                    linkedSends(w, i, {sends, queued});
                    queued = 0;
                }
            }
            const uint32_t id = f.baseFuncId();
            const CollectiveKind kind = collectiveKindOfCall(id);
            if (kind == CollectiveKind::None) continue;
            // The series of (identifier, function) stays the answer until its
            // communicator is freed (those listed before it with that
            // identifier were freed already); without a record, for this
            // call only.
            SeriesCache& cached = cache[((f.comm * 0x9E3779B1u) >> 25 ^ id) & (kCacheSlots - 1)];
            if (cached.comm != f.comm || cached.funcId != id || k >= cached.validBefore) {
                const uint32_t view = lookup.find(f.comm, k);
                const TComm* c = lookup.comm(view);
                cached = {f.comm, id,
                          c ? (c->freedAt ? uint64_t{c->freedAt} + 1 : UINT64_MAX) : k + 1,
                          kSkipped, view};
                if (c ? c->id == kSelfComm : f.comm == kSelfComm) continue;
                // Calls on identifiers without a record go by the identifier.
                const uint64_t key = uint64_t{c ? view : f.comm} << 32 | id;
                auto [at, made] = (c ? local : unknown)
                                      .try_emplace(key, static_cast<uint32_t>(out.series.size()));
                if (made) {
                    const SeriesKey shared =
                        c ? SeriesKey{c->id, shapes.lifetime[view], shapes.lowest[view], id}
                          : SeriesKey{f.comm, kNoRecord, kNoRecord, id};
                    const uint32_t g = global.idOf(shared);
                    out.series.push_back({g, 0, id, kind});
                    lengths.push_back(0);
                    if (arrivals.size() <= g) {
                        arrivals.resize(g + 1);
                        longest[w].resize(g + 1);
                    }
                }
                cached.series = at->second;
            }
            if (cached.series == kSkipped) continue; // the self communicator
            // The root as the model takes it: the peer's global rank is this
            // process's. Roots repeat, so the last answer is kept.
            if (!cached.peerKnown || cached.peer != f.peer) {
                cached.peer = f.peer;
                cached.peerIsRoot =
                    lookup.globalRank(cached.view, f.peer) == static_cast<int32_t>(p.rank);
                cached.peerKnown = true;
            }
            const uint32_t series = cached.series;
            const uint32_t position = lengths[series]++;
            // Only calls that can wait are met again, once the arrivals are complete.
            if (canWait(kind, cached.peerIsRoot))
                members.push_back({k, series << 1 | uint32_t{cached.peerIsRoot}, position});
            if (!isWaitedFor(kind, cached.peerIsRoot)) continue; // nobody waits for it
            std::vector<Arrival>& row = arrivals[out.series[series].global];
            if (row.size() <= position) row.resize(position + 1);
            offerWaitedFor(row[position], kind, {sp.rank, k, wrapAdd(f.start, sp.offset)});
        }
        if (queued) linkedSends(w, i, {sends, queued});
        for (size_t l = 0; l < out.series.size(); ++l) {
            uint32_t& most = longest[w][out.series[l].global];
            most = std::max(most, lengths[l]);
        }
        out.worker = w;
        out.firstMember = firstMember;
        out.memberCount = members.size() - firstMember;
    });

    // Every series gets a run of instances as long as its longest member's
    // share, in the order the series were met.
    std::vector<uint32_t> firstOf(global.size() + 1);
    std::vector<CollectiveKind> kinds(global.size());
    for (uint32_t g = 0; g < global.size(); ++g) {
        uint32_t most = 0;
        for (const auto& l : longest)
            if (g < l.size()) most = std::max(most, l[g]);
        firstOf[g + 1] = firstOf[g] + most;
    }
    for (const ProcessCalls& p : processes_)
        for (const Series& s : p.series) kinds[s.global] = s.kind;
    instances_.resize(firstOf.back());
    for (const auto& part : parts)
        for (uint32_t g = 0; g < part.size(); ++g)
            for (size_t k = 0; k < part[g].size(); ++k)
                offerWaitedFor(instances_[firstOf[g] + k], kinds[g], part[g][k]);
    for (ProcessCalls& p : processes_)
        for (Series& s : p.series) s.firstInstance = firstOf[s.global];
}
