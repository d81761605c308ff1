#pragma once
// The receiving side of link building: which processes a call names as its
// partners, and every process's receiving calls filed by the sender they
// name, so that the matcher of one sender finds its candidates without
// walking the receivers again. Shared by link_candidates.cpp and
// link_builder.cpp only.

#include "model/comm_lookup.h"
#include "model/rank_positions.h"
#include "model/trace_model.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace link_build {

constexpr uint32_t kNone = CommLookup::kNone;

// Walks over every call of a process ask for the calls this far ahead: the
// work per call leaves too few in flight to hide the memory's latency.
constexpr uint32_t kCallsAhead = 32;

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
inline Partners pointToPointPartners(const CommLookup& lookup, uint32_t view, int32_t peer) {
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
inline Partners candidateSenders(const CommLookup& lookup, const TFunc& r, uint32_t k,
                                 int32_t ownRank) {
    const uint32_t view = lookup.find(r.comm, k);
    if (!(r.kind & kKindCollective)) return pointToPointPartners(lookup, view, r.peer);
    // Every member when the root is the receiver itself, else the root.
    const int32_t root = lookup.globalRank(view, r.peer);
    if (root == ownRank) return {Partners::Members, 0, view};
    if (!lookup.isMember(view, static_cast<uint32_t>(root))) return {};
    return {Partners::Single, static_cast<uint32_t>(root), kNone};
}

// Receivers i for which a sending call takes part.
inline Partners sendReceivers(const CommLookup& lookup, const TFunc& s, uint32_t k) {
    const uint32_t view = lookup.find(s.comm, k);
    if (s.kind & kKindCollective) return {Partners::Members, 0, view};
    return pointToPointPartners(lookup, view, s.peer);
}

inline bool isCandidate(const TFunc& r) {
    return (r.kind & kKindRecv) && r.funcId != kFuncIrecv;
}
inline bool takesPart(const TFunc& s) {
    return (s.kind & kKindSend) && !(s.kind & kKindWait);
}

inline bool inSet(const CommLookup& lookup, const Partners& set, uint32_t rank) {
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

// Files the candidates of every receiver, with `workers` threads.
CandidateIndex indexCandidates(const std::vector<TProcess>& procs,
                               const std::vector<CommLookup>& lookups,
                               const RankPositions& positions, unsigned workers);

} // namespace link_build
