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
#include "model/link_candidates.h"
#include "model/link_parts.h"
#include "model/link_sender_index.h"
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

using namespace link_build;

// ---------------------------------------------------------------- one sender

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
                // The explicit sends lie anywhere in the sender's list.
                if (stream.pos + kSendsAhead < stream.end)
                    sends.prefetchCall(sends.explicitSends[stream.pos + kSendsAhead].call);
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
    static constexpr size_t kSendsAhead = 16;
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
        constexpr uint32_t kAhead = 32;
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
