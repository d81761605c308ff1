// Matching sends to receives without visiting every pair of processes.
//
// The result must equal the pair-by-pair walk link for link: for every
// receiver i and sender j, a candidate list of i's receiving calls that name j
// (rebuilt per pair), and j's sends that name i, each taking the first
// candidate with its communicator and tag (point-to-point) or function
// (collective). Pairs never influence each other, so only pairs with at least
// one candidate are visited, and within a pair the sends are looked up by key
// instead of scanned. A send's links come out ordered by receiver position,
// as in the walk, and are stored in one block per sending process.

#include "model/comm_lookup.h"
#include "model/link_parts.h"
#include "model/link_store.h"
#include "model/memory_advice.h"
#include "model/parallel_work.h"
#include "model/rank_positions.h"
#include "model/receiver_counts.h"
#include "model/tag_matcher.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <span>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

constexpr uint32_t kNone = CommLookup::kNone;

// ---------------------------------------------------------------- communicators

// Which processes a call names as partner: one rank, or the members of its
// communicator.
struct Partners {
    enum Kind : uint8_t { None, Single, Members } kind = None;
    uint32_t rank = 0;     // Single
    uint32_t view = kNone; // Members
};

// The processes P for which a point-to-point call's peer equals P's local
// rank; a wildcard peer names nobody, as no member has local rank -1.
Partners pointToPointPartners(const CommLookup& lookup, uint32_t view, int32_t peer) {
    if (peer == -1) return {};
    const TComm* c = lookup.comm(view);
    if (!c || c->id == kWorldComm) return {Partners::Single, static_cast<uint32_t>(peer), kNone};
    if (c->id == kSelfComm)
        return peer == 0 ? Partners{Partners::Single, lookup.ownRank(), kNone} : Partners{};
    const auto local = static_cast<uint32_t>(peer);
    if (local >= c->size || local >= c->members.size()) return {};
    const uint32_t rank = c->members[local];
    // Only the first local rank of a member listed twice is ever its local rank.
    if (!lookup.listedInOrder(view) && lookup.localRank(view, rank) != peer) return {};
    return {Partners::Single, rank, kNone};
}

// Senders j for which a receiving call is a candidate.
Partners candidateSenders(const CommLookup& lookup, const TFunc& r, uint32_t k, int32_t ownRank) {
    const uint32_t view = lookup.find(r.comm, k);
    if (!(r.kind & kKindCollective)) return pointToPointPartners(lookup, view, r.peer);
    // Every member when the root is the receiver itself, else the root.
    const int32_t root = lookup.globalRank(view, r.peer);
    if (root == ownRank) return {Partners::Members, 0, view};
    if (!lookup.isMember(view, static_cast<uint32_t>(root))) return {};
    return {Partners::Single, static_cast<uint32_t>(root), kNone};
}

// Receivers i for which a sending call takes part.
Partners sendReceivers(const CommLookup& lookup, const TFunc& s, uint32_t k) {
    const uint32_t view = lookup.find(s.comm, k);
    if (s.kind & kKindCollective) return {Partners::Members, 0, view};
    return pointToPointPartners(lookup, view, s.peer);
}

bool isCandidate(const TFunc& r) {
    return (r.kind & kKindRecv) && r.funcId != kFuncIrecv;
}
bool takesPart(const TFunc& s) {
    return (s.kind & kKindSend) && !(s.kind & kKindWait);
}

bool inSet(const CommLookup& lookup, const Partners& set, uint32_t rank) {
    return lookup.isMember(set.view, rank);
}

// Calls fn(position) for every process in a Members set.
template <typename Fn>
void forEachInSet(const CommLookup& lookup, const Partners& set, const std::vector<TProcess>& procs,
                  const RankPositions& positions, Fn&& fn) {
    const TComm* c = lookup.comm(set.view);
    if (c && c->id != kWorldComm) {
        lookup.forEachMember(set.view, [&](uint32_t rank) { positions.forEach(rank, fn); });
        return;
    }
    for (uint32_t p = 0; p < procs.size(); ++p)
        if (inSet(lookup, set, procs[p].rank)) fn(p);
}

// Walks over every call of a process ask for the calls this far ahead: the
// work per call leaves too few in flight to hide the memory's latency.
constexpr uint32_t kCallsAhead = 32;

// ---------------------------------------------------------------- candidates

// Receiving calls of every process, filed by sender: explicit (naming one
// sender) in one array per sender, the set-wide ones in groups per receiver.
struct CandidateIndex {
    // Explicit candidates named by sender j: (receiver, call) in ascending order.
    // Stored in chunks of consecutive senders, each released once its senders
    // are done, so that these entries and the links they turn into are never
    // all in memory at the same time.
    std::vector<uint64_t> explicitStart;
    // Trivial, so that a chunk's storage is not zeroed (page by page, before
    // any advice on its pages could apply): the filing pass writes every entry.
    struct Explicit {
        uint32_t receiver, call;
    };
    struct Chunk {
        uint32_t senderEnd; // senders up to here (exclusive) live in this chunk
        uint64_t base;      // explicitStart of its first sender
        std::unique_ptr<Explicit[]> calls;
    };
    std::vector<Chunk> chunks;
    std::vector<uint32_t> chunkOfSender;

    std::span<const Explicit> explicitOf(uint32_t j) const {
        const Chunk& c = chunks[chunkOfSender[j]];
        return {c.calls.get() + (explicitStart[j] - c.base),
                static_cast<size_t>(explicitStart[j + 1] - explicitStart[j])};
    }
    // Senders may finish in any order (one worker per core): a chunk goes when
    // the last of its senders is done.
    std::unique_ptr<std::atomic<uint32_t>[]> sendersLeft;
    void prepareRelease() {
        sendersLeft.reset(new std::atomic<uint32_t>[chunks.size()]);
        uint32_t first = 0;
        for (size_t c = 0; c < chunks.size(); ++c) {
            sendersLeft[c].store(chunks[c].senderEnd - first, std::memory_order_relaxed);
            first = chunks[c].senderEnd;
        }
    }
    void doneWith(uint32_t j) {
        if (chunkOfSender.empty()) return;
        const uint32_t c = chunkOfSender[j];
        if (sendersLeft[c].fetch_sub(1, std::memory_order_acq_rel) == 1) chunks[c].calls.reset();
    }
    Explicit& slot(uint32_t j, uint64_t at) {
        Chunk& c = chunks[chunkOfSender[j]];
        return c.calls[at - c.base];
    }

    // A group: candidates of one receiver that name one set of senders.
    struct Group {
        uint32_t receiver;
        Partners senders;
        uint32_t callsBegin, callsEnd; // into groupCalls
    };
    std::vector<Group> groups;
    std::vector<uint32_t> groupCalls;
    // Groups naming sender j: (receiver, group) in ascending order.
    std::vector<uint64_t> wideStart;
    std::vector<std::pair<uint32_t, uint32_t>> wideGroups;
};

// What one contiguous range of receivers contributes to the index. A cache
// line of its own: each worker grows its scan's lists all the time.
struct alignas(64) ReceiverScan {
    uint32_t begin = 0, end = 0;
    std::vector<uint64_t> explicitCount; // per sender; in the filing pass, where the next goes
    std::vector<CandidateIndex::Group> groups;
    std::vector<uint32_t> groupCalls;
    // The explicit candidates met by the counting pass, (call, sender rank),
    // receivers ascending, and where each receiver's end: filing them needs
    // neither the calls nor their communicators again.
    std::vector<std::pair<uint32_t, uint32_t>> singles;
    std::vector<size_t> singlesEnd; // per receiver of the range
};

// Walks the candidates of the scan's receivers: counts explicit candidates
// per sender, keeps them, and builds the groups.
void scanReceivers(const std::vector<TProcess>& procs, const std::vector<CommLookup>& lookups,
                   const RankPositions& positions, ReceiverScan& scan) {
    std::vector<std::pair<uint32_t, uint32_t>> wideOfReceiver; // (group, call)
    std::unordered_map<uint64_t, uint32_t> groupOfSet;         // (view, kind) -> group
    scan.singlesEnd.reserve(scan.end - scan.begin);
    // Each call is at most one candidate: room for all, used as needed.
    const auto calls =
        static_cast<size_t>(callCount(std::span(procs).subspan(scan.begin, scan.end - scan.begin)));
    reserveUpTo(scan.singles, calls);
    reserveUpTo(scan.groupCalls, calls);
    for (uint32_t i = scan.begin; i < scan.end; ++i) {
        const TProcess& receiver = procs[i];
        const CommLookup& lookup = lookups[i];
        const auto ownRank = static_cast<int32_t>(receiver.rank);
        wideOfReceiver.clear();
        groupOfSet.clear();
        for (uint32_t k = 0; k < receiver.calls.size(); ++k) {
            __builtin_prefetch(receiver.calls.data() + k + kCallsAhead);
            const TFunc& r = receiver.calls[k];
            if (!isCandidate(r)) continue;
            const Partners senders = candidateSenders(lookup, r, k, ownRank);
            if (senders.kind == Partners::Single) {
                scan.singles.push_back({k, senders.rank});
                positions.forEach(senders.rank, [&](uint32_t j) {
                    if (j != i) ++scan.explicitCount[j];
                });
            } else if (senders.kind != Partners::None) {
                const uint64_t set = uint64_t{senders.view} << 8 | senders.kind;
                const auto [it, added] =
                    groupOfSet.try_emplace(set, static_cast<uint32_t>(scan.groups.size()));
                if (added) scan.groups.push_back({i, senders, 0, 0});
                wideOfReceiver.push_back({it->second, k});
            }
        }
        scan.singlesEnd.push_back(scan.singles.size());
        if (wideOfReceiver.empty()) continue;
        std::stable_sort(wideOfReceiver.begin(), wideOfReceiver.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t w = 0; w < wideOfReceiver.size(); ++w) {
            auto& group = scan.groups[wideOfReceiver[w].first];
            if (w == 0 || wideOfReceiver[w - 1].first != wideOfReceiver[w].first)
                group.callsBegin = static_cast<uint32_t>(scan.groupCalls.size());
            scan.groupCalls.push_back(wideOfReceiver[w].second);
            group.callsEnd = static_cast<uint32_t>(scan.groupCalls.size());
        }
    }
}

CandidateIndex indexCandidates(const std::vector<TProcess>& procs,
                               const std::vector<CommLookup>& lookups,
                               const RankPositions& positions, unsigned workers) {
    const auto n = static_cast<uint32_t>(procs.size());
    CandidateIndex index;
    index.explicitStart.assign(size_t{n} + 1, 0);
    index.wideStart.assign(size_t{n} + 1, 0);

    // One scan per worker over a contiguous range of receivers; each sender's
    // candidates then come out range by range, so receivers stay ascending.
    const std::vector<uint32_t> rangeStart = rangesByCalls(procs, workers);
    std::vector<ReceiverScan> scans(workers);
    for (unsigned r = 0; r < workers; ++r) {
        scans[r].begin = rangeStart[r];
        scans[r].end = rangeStart[r + 1];
        scans[r].explicitCount.assign(n, 0);
    }
    parallelFor(workers, workers,
                [&](unsigned, uint32_t r) { scanReceivers(procs, lookups, positions, scans[r]); });

    for (uint32_t j = 0; j < n; ++j) {
        uint64_t at = index.explicitStart[j];
        for (ReceiverScan& scan : scans) {
            const uint64_t count = scan.explicitCount[j];
            scan.explicitCount[j] = at;
            at += count;
        }
        index.explicitStart[j + 1] = at;
    }
    size_t groups = 0, groupCalls = 0;
    for (const ReceiverScan& scan : scans) {
        groups += scan.groups.size();
        groupCalls += scan.groupCalls.size();
    }
    reserveFresh(index.groups, groups);
    reserveFresh(index.groupCalls, groupCalls);
    for (ReceiverScan& scan : scans) {
        const auto base = static_cast<uint32_t>(index.groupCalls.size());
        for (CandidateIndex::Group& g : scan.groups) {
            g.callsBegin += base;
            g.callsEnd += base;
            index.groups.push_back(g);
        }
        index.groupCalls.insert(index.groupCalls.end(), scan.groupCalls.begin(),
                                scan.groupCalls.end());
        std::vector<CandidateIndex::Group>().swap(scan.groups);
        std::vector<uint32_t>().swap(scan.groupCalls);
    }

    // About a sixteenth of the entries per chunk, at least a million.
    const uint64_t chunkSize = std::max<uint64_t>(index.explicitStart[n] / 16, 1 << 20);
    index.chunkOfSender.resize(n);
    for (uint32_t j = 0; j < n; ++j) {
        if (index.chunks.empty() || index.explicitStart[j] - index.chunks.back().base >= chunkSize)
            index.chunks.push_back({j, index.explicitStart[j], nullptr});
        index.chunkOfSender[j] = static_cast<uint32_t>(index.chunks.size() - 1);
        index.chunks.back().senderEnd = j + 1;
    }
    // Their pages are faulted in on both workers, chunk by chunk.
    parallelFor(workers, static_cast<uint32_t>(index.chunks.size()), [&](unsigned, uint32_t c) {
        CandidateIndex::Chunk& chunk = index.chunks[c];
        const size_t size = index.explicitStart[chunk.senderEnd] - chunk.base;
        chunk.calls.reset(new CandidateIndex::Explicit[size]);
        adviseHugePages(chunk.calls.get(), size * sizeof chunk.calls[0]);
        prefaultForWriting(chunk.calls.get(), size * sizeof chunk.calls[0]);
    });
    // The kept candidates filed per sender, receivers ascending.
    parallelFor(workers, workers, [&](unsigned, uint32_t r) {
        ReceiverScan& scan = scans[r];
        size_t x = 0;
        for (uint32_t i = scan.begin; i < scan.end; ++i) {
            for (const size_t end = scan.singlesEnd[i - scan.begin]; x < end; ++x) {
                const uint32_t k = scan.singles[x].first;
                positions.forEach(scan.singles[x].second, [&](uint32_t j) {
                    if (j != i) index.slot(j, scan.explicitCount[j]++) = {i, k};
                });
            }
        }
        std::vector<std::pair<uint32_t, uint32_t>>().swap(scan.singles);
        std::vector<size_t>().swap(scan.singlesEnd);
    });

    // File each group under every sender it names, receivers ascending.
    auto forEachNamed = [&](auto&& fn) {
        for (uint32_t g = 0; g < index.groups.size(); ++g) {
            const CandidateIndex::Group& group = index.groups[g];
            forEachInSet(lookups[group.receiver], group.senders, procs, positions, [&](uint32_t j) {
                if (j != group.receiver) fn(j, group.receiver, g);
            });
        }
    };
    forEachNamed([&](uint32_t j, uint32_t, uint32_t) { ++index.wideStart[j + 1]; });
    for (uint32_t j = 0; j < n; ++j) index.wideStart[j + 1] += index.wideStart[j];
    reserveFresh(index.wideGroups, index.wideStart[n]);
    index.wideGroups.resize(index.wideStart[n]);
    std::vector<uint64_t> fill(index.wideStart.begin(), index.wideStart.end() - 1);
    forEachNamed([&](uint32_t j, uint32_t i, uint32_t g) { index.wideGroups[fill[j]++] = {i, g}; });
    return index;
}

// ---------------------------------------------------------------- one sender

// A send that names a whole set of receivers, filed by its match key.
// Both send kinds are left unset when made: their sorted lists are sized
// first and then every entry written.
struct WideSend {
    WideSend() {}
    WideSend(uint64_t key_, uint32_t call_, Partners receivers_, int64_t end_)
        : key(key_), call(call_), receivers(receivers_), end(end_) {}
    uint64_t key;
    uint32_t call;
    Partners receivers;
    int64_t end; // the call's end, for its links' end gaps
};

// The sends of one process, ready to be looked up from any receiver.
struct SenderIndex {
    std::vector<ExplicitSend> explicitSends; // (receiver, call) ascending
    std::vector<WideSend> wide[2];           // by KeyClass, (key, call) ascending
    bool earlierLinks = false;               // some call has links already

    int64_t endOf(uint32_t call) const { return calls_[call].end; }
    uint64_t tagKeyOf(uint32_t call) const { return keyOf(calls_[call].comm, calls_[call].msgTag); }
    bool allExplicit() const { return wide[kByTag].empty() && wide[kByFunction].empty(); }
    std::span<const ExplicitSend> explicitTo(uint32_t i) const {
        const auto range = std::equal_range(
            explicitSends.begin(), explicitSends.end(), ExplicitSend{i, 0},
            [](const ExplicitSend& a, const ExplicitSend& b) { return a.receiver < b.receiver; });
        return {range.first, range.second};
    }
    // Gives back room grown for a sender with many calls.
    void releaseLarge(size_t keep) {
        if (inCallOrder_.capacity() > keep) std::vector<ExplicitSend>().swap(inCallOrder_);
        if (explicitSends.capacity() > keep) std::vector<ExplicitSend>().swap(explicitSends);
    }

    void build(const TProcess& sender, uint32_t j, const CommLookup& lookup,
               const RankPositions& positions) {
        if (receivers_.positions() != positions.size()) receivers_.resize(positions.size());
        inCallOrder_.clear();
        wideInCallOrder_[kByTag].clear();
        wideInCallOrder_[kByFunction].clear();
        wide[kByTag].clear();
        wide[kByFunction].clear();
        explicitSends.clear(); // refilled whole below; nothing to copy as it grows
        // Room for a send per call (most senders have fewer), taken in
        // huge pages as it is used: the lists grow to the largest sender.
        reserveUpTo(inCallOrder_, sender.calls.size());
        reserveUpTo(explicitSends, sender.calls.size());
        uint32_t linkCounts = 0; // or-ed: nonzero when any call has links
        for (uint32_t k = 0; k < sender.calls.size(); ++k) {
            __builtin_prefetch(sender.calls.data() + k + kCallsAhead);
            const TFunc& s = sender.calls[k];
            linkCounts |= s.linkCount;
            if (!takesPart(s)) continue;
            const Partners receivers = sendReceivers(lookup, s, k);
            if (receivers.kind == Partners::Single) {
                positions.forEach(receivers.rank, [&](uint32_t i) {
                    if (i != j) inCallOrder_.push_back({i, k});
                });
            } else if (receivers.kind != Partners::None) {
                const bool collective = (s.kind & kKindCollective) != 0;
                const uint64_t key = keyOf(s.comm, collective ? s.funcId : s.msgTag);
                wideInCallOrder_[collective ? kByFunction : kByTag].push_back(
                    {key, k, receivers, s.end});
            }
        }
        earlierLinks = linkCounts != 0;
        calls_ = sender.calls.data();
        groupByReceiver();
        for (uint32_t cls : {kByTag, kByFunction}) groupByKey(wideInCallOrder_[cls], wide[cls]);
    }

  private:
    // explicitSends from inCallOrder_, receivers ascending and call order
    // within one receiver: counted per receiver and placed, as a sender has
    // thousands of such sends but few receivers.
    void groupByReceiver() {
        receivers_.start();
        for (const ExplicitSend& e : inCallOrder_) receivers_.count(e.receiver);
        // All to one receiver (two processes, say): already in place.
        if (receivers_.inOrder(counts_) == 0 || counts_.size() == 1) {
            explicitSends.swap(inCallOrder_);
            return;
        }
        receivers_.placeAt(counts_, 0);
        explicitSends.resize(inCallOrder_.size());
        for (const ExplicitSend& e : inCallOrder_) explicitSends[receivers_.next(e.receiver)++] = e;
    }

    // `out` from `in` (in call order), keys ascending and call order within
    // one key: a sender's set-wide sends use few keys.
    void groupByKey(const std::vector<WideSend>& in, std::vector<WideSend>& out) {
        keySlot_.clear();
        keys_.clear();
        for (const WideSend& w : in) {
            auto [it, added] = keySlot_.try_emplace(w.key, 0);
            if (added) keys_.push_back(w.key);
            ++it->second;
        }
        std::sort(keys_.begin(), keys_.end());
        size_t next = 0;
        for (uint64_t key : keys_) {
            size_t& slot = keySlot_[key];
            const size_t count = slot;
            slot = next; // from here on: where the key's next send goes
            next += count;
        }
        out.resize(in.size());
        for (const WideSend& w : in) out[keySlot_[w.key]++] = w;
    }

    const TFunc* calls_ = nullptr;
    std::vector<ExplicitSend> inCallOrder_;
    std::vector<WideSend> wideInCallOrder_[2];
    std::unordered_map<uint64_t, size_t> keySlot_;
    std::vector<uint64_t> keys_;
    ReceiverCounts receivers_;
    ReceiverCounts::Counts counts_;
};

// Replays the candidate list of one pair with one queue per match key, so
// that each send finds its first fitting candidate directly.
class PairMatcher {
  public:
    void run(TProcess& receiver, uint32_t i, const SenderIndex& sends,
             const CommLookup& senderLookup, const std::vector<uint32_t>& candidateCalls,
             std::vector<LinkOut>& out) {
        buildQueues(receiver, candidateCalls);
        const uint32_t rankI = receiver.rank;

        // Streams of sends in call order: the explicit ones to this receiver,
        // then one per queue key from the sender's set-wide sends.
        streams_.clear();
        const std::span<const ExplicitSend> toI = sends.explicitTo(i);
        if (!toI.empty()) {
            const auto first = static_cast<size_t>(toI.data() - sends.explicitSends.data());
            streams_.push_back({kNone, first, first + toI.size()});
        }
        for (uint32_t q = 0; q < queues_.size(); ++q) {
            const auto& list = sends.wide[queues_[q].cls];
            auto range = std::equal_range(
                list.begin(), list.end(), WideSend{queues_[q].key, 0, {}, 0},
                [](const WideSend& a, const WideSend& b) { return a.key < b.key; });
            if (range.first != range.second)
                streams_.push_back({q, static_cast<size_t>(range.first - list.begin()),
                                    static_cast<size_t>(range.second - list.begin())});
        }

        auto callOf = [&](const Stream& st) {
            return st.queue == kNone ? sends.explicitSends[st.pos].call
                                     : sends.wide[queues_[st.queue].cls][st.pos].call;
        };
        // The stream whose next send comes first in call order.
        heads_.clear();
        for (uint32_t st = 0; st < streams_.size(); ++st)
            heads_.push_back({callOf(streams_[st]), st});
        std::make_heap(heads_.begin(), heads_.end(), std::greater<>());

        while (!heads_.empty() && live_ > 0) {
            std::pop_heap(heads_.begin(), heads_.end(), std::greater<>());
            const uint32_t st = heads_.back().second;
            heads_.pop_back();
            Stream& stream = streams_[st];
            const uint32_t k = callOf(stream);
            bool streamDone = false;
            if (stream.queue == kNone) {
                const uint32_t q = findQueue(kByTag, sends.tagKeyOf(k));
                if (q != kNone && queues_[q].live > 0) take(q, sends.endOf(k), k, i, out);
            } else {
                const WideSend& w = sends.wide[queues_[stream.queue].cls][stream.pos];
                if (inSet(senderLookup, w.receivers, rankI)) {
                    // A drained queue never refills: the rest of this stream finds nothing.
                    if (queues_[stream.queue].live == 0)
                        streamDone = true;
                    else
                        take(stream.queue, w.end, k, i, out);
                }
            }
            if (!streamDone && ++stream.pos < stream.end) {
                heads_.push_back({callOf(stream), st});
                std::push_heap(heads_.begin(), heads_.end(), std::greater<>());
            }
        }
    }

    // Gives back room grown for a pair with many candidates.
    void releaseLarge(size_t keep) {
        if (ends_.capacity() <= keep) return;
        std::vector<uint32_t>().swap(members_);
        std::vector<uint32_t>().swap(queueOf_);
        std::vector<int64_t>().swap(ends_);
        std::vector<uint8_t>().swap(taken_);
    }

  private:
    struct Queue {
        uint32_t cls;
        uint64_t key;
        uint32_t head, end; // into members_
        uint32_t live;
    };
    struct Stream {
        uint32_t queue; // kNone: the explicit sends
        size_t pos, end;
    };
    // Queues by (class, key): open addressing, cleared by bumping an epoch.
    struct Slot {
        uint64_t key;
        uint32_t cls;
        uint32_t queue;
        uint32_t epoch;
    };

    static size_t slotHash(uint32_t cls, uint64_t key) {
        return static_cast<size_t>(((key ^ (uint64_t{cls} << 63)) * 0x9E3779B97F4A7C15ull) >> 20);
    }

    // A pair's keys are few however many candidates it has: the table starts
    // small and doubles when half full, and keeps its size for the next pair.
    void resetSlots() {
        if (slots_.empty() || epoch_ == 0xFFFFFFFFu) {
            slots_.assign(std::max<size_t>(slots_.size(), 16), Slot{0, 0, 0, 0});
            epoch_ = 0;
        }
        mask_ = slots_.size() - 1;
        ++epoch_;
    }

    void growSlots() {
        slots_.assign(slots_.size() * 2, Slot{0, 0, 0, 0});
        mask_ = slots_.size() - 1;
        epoch_ = 1;
        for (uint32_t q = 0; q < queues_.size(); ++q)
            slots_[freeSlot(queues_[q].cls, queues_[q].key)] = {queues_[q].key, queues_[q].cls, q,
                                                                epoch_};
    }

    size_t freeSlot(uint32_t cls, uint64_t key) const {
        size_t h = slotHash(cls, key) & mask_;
        while (slots_[h].epoch == epoch_) h = (h + 1) & mask_;
        return h;
    }

    // The queue of (cls, key); a new one when `create`, else kNone when absent.
    uint32_t queueFor(uint32_t cls, uint64_t key, bool create) {
        for (size_t h = slotHash(cls, key) & mask_;; h = (h + 1) & mask_) {
            Slot& slot = slots_[h];
            if (slot.epoch != epoch_) {
                if (!create) return kNone;
                const auto q = static_cast<uint32_t>(queues_.size());
                queues_.push_back({cls, key, 0, 0, 0});
                if (queues_.size() * 2 > slots_.size()) {
                    growSlots(); // files the new queue too
                    return q;
                }
                slot = {key, cls, q, epoch_};
                return q;
            }
            if (slot.key == key && slot.cls == cls) return slot.queue;
        }
    }

    void buildQueues(const TProcess& receiver, const std::vector<uint32_t>& calls) {
        candidates_ = &calls;
        queues_.clear();
        resetSlots();
        queueOf_.resize(calls.size() * 2);
        ends_.resize(calls.size());
        // The candidates lie anywhere in the receiver's list: asking for them
        // a few ahead lets their cache misses overlap.
        constexpr uint32_t kAhead = 8;
        for (uint32_t c = 0; c < calls.size() && c < kAhead; ++c)
            __builtin_prefetch(&receiver.calls[calls[c]].comm);
        for (uint32_t c = 0; c < calls.size(); ++c) {
            if (c + kAhead < calls.size())
                __builtin_prefetch(&receiver.calls[calls[c + kAhead]].comm);
            const TFunc& r = receiver.calls[calls[c]];
            ends_[c] = r.end;
            // Any candidate can be taken by either kind of send.
            queueOf_[c * 2 + kByTag] = queueFor(kByTag, keyOf(r.comm, r.msgTag), true);
            queueOf_[c * 2 + kByFunction] = queueFor(kByFunction, keyOf(r.comm, r.funcId), true);
            ++queues_[queueOf_[c * 2 + kByTag]].live;
            ++queues_[queueOf_[c * 2 + kByFunction]].live;
        }
        // Each queue lists its candidates in call order.
        uint32_t next = 0;
        for (Queue& q : queues_) {
            q.head = q.end = next;
            next += q.live;
        }
        members_.resize(next);
        for (uint32_t c = 0; c < calls.size(); ++c)
            for (uint32_t cls : {kByTag, kByFunction})
                members_[queues_[queueOf_[c * 2 + cls]].end++] = c;
        taken_.assign(calls.size(), 0);
        live_ = static_cast<uint32_t>(calls.size());
    }

    uint32_t findQueue(uint32_t cls, uint64_t key) { return queueFor(cls, key, false); }

    void take(uint32_t q, int64_t sendEnd, uint32_t sendCall, uint32_t receiver,
              std::vector<LinkOut>& out) {
        Queue& queue = queues_[q];
        while (taken_[members_[queue.head]]) ++queue.head;
        const uint32_t c = members_[queue.head];
        taken_[c] = 1;
        --queues_[queueOf_[c * 2 + kByTag]].live;
        --queues_[queueOf_[c * 2 + kByFunction]].live;
        --live_;
        // Its end was kept when the queues were built: in a pair with many
        // candidates the call itself has long left the cache.
        out.push_back({sendCall, receiver, TLink::gapOf(sendEnd, ends_[c]), (*candidates_)[c]});
    }

    const std::vector<uint32_t>* candidates_ = nullptr;
    std::vector<Slot> slots_;
    size_t mask_ = 0;
    uint32_t epoch_ = 0;
    std::vector<Queue> queues_;
    std::vector<uint32_t> members_;
    std::vector<uint32_t> queueOf_;
    std::vector<int64_t> ends_; // of each candidate
    std::vector<uint8_t> taken_;
    std::vector<Stream> streams_;
    std::vector<std::pair<uint32_t, uint32_t>> heads_; // (call, stream), a min-heap
    uint32_t live_ = 0;
};

// What one worker needs besides the shared, read-only indexes; a cache line
// of its own, as workers write to it all the time.
struct alignas(64) SenderScratch {
    SenderIndex sends;
    PairMatcher matcher;
    TagMatcher tagMatcher;
    std::vector<uint32_t> pairCalls;
    std::vector<uint32_t> merged; // pairCalls merged with one more list
    std::vector<LinkOut> links;
    std::vector<uint64_t> linksPerCall;

    // Gives back room grown for a sender with many calls; whether any went.
    bool release(size_t keep) {
        const bool large = links.capacity() > keep || linksPerCall.capacity() > keep;
        sends.releaseLarge(keep);
        matcher.releaseLarge(keep);
        if (pairCalls.capacity() > keep) std::vector<uint32_t>().swap(pairCalls);
        if (merged.capacity() > keep) std::vector<uint32_t>().swap(merged);
        return large;
    }
};

// Candidates of later pairs asked for ahead (see linkSender).
constexpr ptrdiff_t kPrefetchAhead = 16;
// Room for this many new links of one sender is kept for the next.
constexpr size_t kKeptLinkRoom = size_t{1} << 18;
// Lists of one pair's candidates merged one by one; more are sorted together.
constexpr ptrdiff_t kMergedListsAtMost = 8;

// Matches every send of process j into scratch.links; returns where the
// bits of the calls that get links go (see storeLinks), if anywhere.
std::vector<uint64_t>* matchSender(std::vector<TProcess>& procs, uint32_t j,
                                   const std::vector<CommLookup>& lookups,
                                   const RankPositions& positions, const CandidateIndex& candidates,
                                   SenderScratch& scratch, LinkedSends* linked) {
    scratch.links.clear();
    const auto explicitCalls = candidates.explicitOf(j);
    const auto expEnd = explicitCalls.end();
    const auto wideBegin =
        candidates.wideGroups.begin() + static_cast<ptrdiff_t>(candidates.wideStart[j]);
    const auto wideEnd =
        candidates.wideGroups.begin() + static_cast<ptrdiff_t>(candidates.wideStart[j + 1]);
    if (explicitCalls.empty() && wideBegin == wideEnd) return nullptr;

    TProcess& sender = procs[j];
    SenderIndex& sends = scratch.sends;
    sends.build(sender, j, lookups[j], positions);
    // Without earlier links, the calls with links are exactly those that get
    // them here.
    std::vector<uint64_t>* linkedCalls = nullptr;
    if (linked && !sends.earlierLinks && !sender.calls.empty()) {
        linked->owner[j] = sender.calls.data();
        linkedCalls = &linked->calls[j];
        linkedCalls->assign((sender.calls.size() + 63) / 64, 0);
    }
    if (sends.explicitSends.empty() && sends.allExplicit()) return linkedCalls;

    std::vector<uint32_t>& pairCalls = scratch.pairCalls;
    std::vector<uint32_t>& merged = scratch.merged;
    std::vector<LinkOut>& links = scratch.links;
    // Each candidate gives at most one link.
    size_t candidateCount = explicitCalls.size();
    for (auto x = wideBegin; x != wideEnd; ++x) {
        const CandidateIndex::Group& g = candidates.groups[x->second];
        candidateCount += g.callsEnd - g.callsBegin;
    }
    reserveFresh(links, candidateCount);
    auto e = explicitCalls.begin();
    auto asked = e; // candidates from here on not yet asked for
    auto w = wideBegin;
    while (e != expEnd || w != wideEnd) {
        // Next receiver that names this sender, ascending.
        const uint32_t i =
            std::min(e != expEnd ? e->receiver : kNone, w != wideEnd ? w->first : kNone);
        const auto pairBegin = e;
        while (e != expEnd && e->receiver == i) ++e;
        // Most pairs have a candidate or two: ask for the next pairs' ones
        // now, so that their cache misses overlap with this pair's work;
        // each is asked for once.
        if (asked < e) asked = e;
        for (; asked != expEnd && asked - e < kPrefetchAhead; ++asked)
            __builtin_prefetch(&procs[asked->receiver].calls[asked->call].comm);
        // Candidates in call order, as the walk over the receiver's calls
        // lists them: each list is in call order, so a few are merged one
        // by one. Many lists (a communicator created anew again and again
        // gives a list per creation) are joined and sorted: merging each
        // into all before it would cost their count times their calls.
        auto groupsEnd = w;
        while (groupsEnd != wideEnd && groupsEnd->first == i) ++groupsEnd;
        if (sends.allExplicit() && w == groupsEnd) {
            // The explicit candidates alone, as the index holds them.
            scratch.tagMatcher.run(
                procs[i], i, sends.explicitTo(i), sender.calls.data(),
                static_cast<size_t>(e - pairBegin),
                [&](size_t c) { return pairBegin[static_cast<ptrdiff_t>(c)].call; }, links);
            continue;
        }
        pairCalls.clear();
        for (auto x = pairBegin; x != e; ++x) pairCalls.push_back(x->call);
        const bool manyLists = groupsEnd - w > kMergedListsAtMost;
        for (; w != groupsEnd; ++w) {
            const CandidateIndex::Group& g = candidates.groups[w->second];
            const auto first = candidates.groupCalls.begin() + g.callsBegin;
            const auto last = candidates.groupCalls.begin() + g.callsEnd;
            if (pairCalls.empty() || manyLists) {
                pairCalls.insert(pairCalls.end(), first, last);
                continue;
            }
            merged.resize(pairCalls.size() + static_cast<size_t>(last - first));
            std::merge(pairCalls.begin(), pairCalls.end(), first, last, merged.begin());
            pairCalls.swap(merged);
        }
        if (manyLists) std::sort(pairCalls.begin(), pairCalls.end());
        if (sends.allExplicit())
            scratch.tagMatcher.run(
                procs[i], i, sends.explicitTo(i), sender.calls.data(), pairCalls.size(),
                [&](size_t c) { return pairCalls[c]; }, links);
        else
            scratch.matcher.run(procs[i], i, sends, lookups[j], pairCalls, links);
    }
    return linkedCalls;
}

// Matches every send of process j and stores its links. Writes only j's own
// calls, so workers can take different senders at the same time.
void linkSender(std::vector<TProcess>& procs, uint32_t j, const std::vector<CommLookup>& lookups,
                const RankPositions& positions, CandidateIndex& candidates, SenderScratch& scratch,
                LinkedSends* linked) {
    std::vector<uint64_t>* linkedCalls =
        matchSender(procs, j, lookups, positions, candidates, scratch, linked);
    // What matching alone needed goes before the links are stored: with few
    // processes, each holds millions of candidates and sends.
    candidates.doneWith(j);
    const bool large = scratch.release(kKeptLinkRoom);
    storeLinks(procs, j, scratch.links, scratch.sends.earlierLinks, scratch.linksPerCall,
               linkedCalls);
    // A root of collectives over every process, or one of a few processes,
    // has millions of candidates; its room is not kept while the others add
    // their link blocks, and goes back to the system rather than staying in
    // the heap (the heap keeps freed room of that size).
    if (!large) return;
    std::vector<LinkOut>().swap(scratch.links);
    std::vector<uint64_t>().swap(scratch.linksPerCall);
    releaseFreedMemory();
}

} // namespace

bool buildLinks(TTrace& trace, unsigned threads, ProgressStep* progress, LinkedSends* linked) {
    std::vector<TProcess>& procs = trace.processes;
    const auto n = static_cast<uint32_t>(procs.size());
    if (linked) {
        linked->owner.assign(n, nullptr);
        linked->calls.assign(n, {});
    }
    const RankPositions positions(procs);
    std::vector<CommLookup> lookups;
    lookups.reserve(n);
    for (const TProcess& p : procs) lookups.emplace_back(p);

    const unsigned workers = std::min<unsigned>(workersFor(procs, threads), std::max(n, 1u));
    CandidateIndex candidates = indexCandidates(procs, lookups, positions, workers);
    candidates.prepareRelease();

    std::vector<SenderScratch> scratch(workers);
    std::atomic<uint32_t> sendersDone{0};
    parallelFor(workers, n, [&](unsigned w, uint32_t j) {
        if (progress && progress->cancelled()) return;
        linkSender(procs, j, lookups, positions, candidates, scratch[w], linked);
        const uint32_t done = sendersDone.fetch_add(1, std::memory_order_relaxed) + 1;
        // Only the calling thread reports progress.
        if (w == 0 && progress) progress->report(done, n);
    });
    return true;
}
