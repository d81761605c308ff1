#pragma once
// Positions in the process list of each rank, for code that meets ranks in
// links and call records and must find their processes without a search.

#include "model/trace_model.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

class RankPositions {
  public:
    explicit RankPositions(const std::vector<TProcess>& procs) : next_(procs.size(), kNone) {
        uint32_t maxRank = 0;
        for (const TProcess& p : procs) maxRank = std::max(maxRank, p.rank);
        // Ranks normally run from 0 upwards; a table is then the fastest lookup.
        dense_ = uint64_t{maxRank} < 4 * uint64_t{procs.size()} + 1024;
        if (dense_) first_.assign(size_t{maxRank} + 1, kNone);
        // Backwards, so that each chain lists its positions in ascending order.
        for (auto i = static_cast<uint32_t>(procs.size()); i-- > 0;) {
            uint32_t& head = dense_ ? first_[procs[i].rank]
                                    : sparse_.try_emplace(procs[i].rank, kNone).first->second;
            next_[i] = head;
            head = i;
        }
    }

    // Calls fn(position) for each process of that rank, in list order (one
    // process in a well-formed trace).
    template <typename Fn>
    void forEach(uint32_t rank, Fn&& fn) const {
        for (uint32_t p = firstOf(rank); p != kNone; p = next_[p]) fn(p);
    }

    // How many positions there are.
    size_t size() const { return next_.size(); }

  private:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    uint32_t firstOf(uint32_t rank) const {
        if (dense_) return rank < first_.size() ? first_[rank] : kNone;
        auto it = sparse_.find(rank);
        return it == sparse_.end() ? kNone : it->second;
    }

    bool dense_ = true;
    std::vector<uint32_t> first_;
    std::unordered_map<uint32_t, uint32_t> sparse_;
    std::vector<uint32_t> next_;
};
