#pragma once
// The sending side of link building: one process's sends, filed by receiver
// and by match key, so that every receiver's candidates find theirs by lookup.
// Used by link_builder.cpp only.

#include "model/link_candidates.h"
#include "model/link_parts.h"
#include "model/memory_advice.h"
#include "model/receiver_counts.h"
#include "model/tag_matcher.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace link_build {

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
    void prefetchCall(uint32_t call) const { __builtin_prefetch(&calls_[call].comm); }
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

} // namespace link_build
