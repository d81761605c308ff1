#pragma once
// Communicator lookups of one process for walks over its calls in call order:
// the same answers as TProcess::findComm, localRankIn and globalRankIn,
// without a walk over every communicator or member per call.

#include "model/trace_model.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

// Fast findComm and rank translation for one process: the same answers as
// TProcess's own.
class CommLookup {
  public:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    explicit CommLookup(const TProcess& p);

    // Index in the communicator list of findComm(id, callIndex); kNone when none.
    // Communicators are listed in creation order, so createdAt never decreases
    // along a group of one identifier. Callers ask with rising call indices:
    // a communicator freed before one query's index stays out of reach for the
    // next ones, and such a leading run is skipped, so an identifier created and
    // freed over and over costs no walk over all its predecessors.
    uint32_t find(uint32_t id, uint32_t callIndex) const {
        auto first =
            std::lower_bound(byId_.begin(), byId_.end(), std::pair<uint32_t, uint32_t>{id, 0});
        if (first == byId_.end() || first->first != id) return kNone;
        const auto group = static_cast<size_t>(first - byId_.begin());
        if (callIndex < lastQuery_[group]) deadPrefix_[group] = 0;
        lastQuery_[group] = callIndex;
        for (size_t i = group + deadPrefix_[group]; i < byId_.size() && byId_[i].first == id; ++i) {
            const TComm& c = process_.comms[byId_[i].second];
            if (c.createdAt > callIndex) break;
            if (c.freedAt == 0 || c.freedAt >= callIndex) return byId_[i].second;
            deadPrefix_[group] = static_cast<uint32_t>(i + 1 - group); // freed before callIndex
        }
        return kNone;
    }

    // localRankIn of communicator `view` (kNone: an unknown communicator, whose
    // local ranks are the global ones).
    int32_t localRank(uint32_t view, uint32_t rank) const {
        if (view == kNone) return static_cast<int32_t>(rank);
        const uint32_t id = process_.comms[view].id;
        if (id == kWorldComm) return static_cast<int32_t>(rank);
        if (id == kSelfComm) return rank == process_.rank ? 0 : -1;
        const auto& table = localRanks_[view];
        if (table.empty()) {
            const TComm& c = process_.comms[view];
            const uint32_t* m = c.members.data();
            const uint32_t* end = m + listed(c);
            const uint32_t* at = std::lower_bound(m, end, rank);
            return at != end && *at == rank ? static_cast<int32_t>(at - m) : -1;
        }
        auto it =
            std::lower_bound(table.begin(), table.end(), std::pair<uint32_t, uint32_t>{rank, 0});
        return it != table.end() && it->first == rank ? static_cast<int32_t>(it->second) : -1;
    }

    // globalRankIn of communicator `view`.
    int32_t globalRank(uint32_t view, int32_t local) const {
        return process_.globalRankIn(comm(view), local);
    }

    uint32_t ownRank() const { return process_.rank; }

    // Whether each member of created communicator `view` is listed once, in
    // ascending order: then entry k's local rank is k.
    bool listedInOrder(uint32_t view) const { return localRanks_[view].empty(); }

    bool isMember(uint32_t view, uint32_t rank) const {
        return view == kNone || localRank(view, rank) != -1;
    }

    const TComm* comm(uint32_t view) const {
        return view == kNone ? nullptr : &process_.comms[view];
    }

    // Calls fn(rank) for each distinct member of a created or the self communicator.
    template <typename Fn>
    void forEachMember(uint32_t view, Fn&& fn) const {
        if (process_.comms[view].id == kSelfComm) {
            fn(process_.rank);
            return;
        }
        const auto& table = localRanks_[view];
        if (table.empty()) {
            const TComm& c = process_.comms[view];
            for (size_t k = 0; k < listed(c); ++k) fn(c.members[k]);
            return;
        }
        for (const auto& entry : table) fn(entry.first);
    }

  private:
    // The part of the member list that localRank searches.
    static size_t listed(const TComm& c) { return std::min<size_t>(c.size, c.members.size()); }

    const TProcess& process_;
    std::vector<std::pair<uint32_t, uint32_t>> byId_;
    mutable std::vector<uint32_t> deadPrefix_; // per group start: leading entries freed earlier
    mutable std::vector<uint32_t> lastQuery_;  // per group start: the last call index asked
    std::vector<std::vector<std::pair<uint32_t, uint32_t>>> localRanks_;
};
