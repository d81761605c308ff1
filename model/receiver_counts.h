#pragma once
// Filing items receiver by receiver (positions ascending, the items' own order
// kept within one receiver) without sorting the items: they are counted per
// receiver, the few distinct receivers are sorted, and each item then goes
// straight to its place. One sender has thousands of items but few receivers.

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

class ReceiverCounts {
  public:
    using Counts = std::vector<std::pair<uint32_t, uint32_t>>; // (receiver, items) ascending

    // Receivers are positions below `positions`.
    void resize(size_t positions) {
        stamp_.assign(positions, 0);
        slot_.assign(positions, 0);
    }
    size_t positions() const { return stamp_.size(); }

    // Starts counting the items of a new sender.
    void start() {
        ++mark_;
        receivers_.clear();
        counts_.clear();
    }
    void count(uint32_t receiver) {
        if (stamp_[receiver] != mark_) {
            stamp_[receiver] = mark_;
            slot_[receiver] = receivers_.size();
            receivers_.push_back(receiver);
            counts_.push_back(0);
        }
        ++counts_[slot_[receiver]];
    }
    // The counts, receivers ascending; returns the number of items.
    uint64_t inOrder(Counts& out) {
        std::sort(receivers_.begin(), receivers_.end());
        out.clear();
        uint64_t total = 0;
        for (uint32_t r : receivers_) {
            out.push_back({r, counts_[slot_[r]]});
            total += counts_[slot_[r]];
        }
        return total;
    }
    // From here on, next(r) is where r's next item goes, for counts that
    // inOrder gave and a first item at `first`.
    void placeAt(const Counts& counts, uint64_t first) {
        for (const auto& [receiver, items] : counts) {
            slot_[receiver] = first;
            first += items;
        }
    }
    uint64_t& next(uint32_t receiver) { return slot_[receiver]; }

  private:
    std::vector<uint64_t> stamp_; // per position: the round it was last counted in
    std::vector<uint64_t> slot_;  // per position: counting slot, then next place
    std::vector<uint32_t> receivers_;
    std::vector<uint32_t> counts_;
    uint64_t mark_ = 0;
};
