#pragma once
// Which calls of a process can meet a range of time, without walking the
// calls before it. Calls come in the order of their starts, but a long call
// reaches past many later ones, so ends are not ordered: each block of calls
// keeps its latest end, and blocks ending before the range are skipped.

#include "analysis/analysis_scope.h"
#include "model/trace_model.h"

#include <algorithm>
#include <cstdint>
#include <vector>

class CallWindow {
  public:
    static constexpr uint32_t kBlock = 64;

    // p's calls with corrected times (its node's offset added).
    explicit CallWindow(const ScopedProcess& p);

    // Calls fn(callIndex) for every call that may meet the range, in call
    // order: all that do, and a few more (callers test each one).
    template <typename Fn>
    void forEachCandidate(const TimeRange& range, Fn&& fn) const;
    uint32_t callCount() const { return count_; }

  private:
    const TFunc* calls_ = nullptr;
    uint32_t count_ = 0;
    int64_t offset_ = 0;
    bool ordered_ = true;           // starts never decrease
    std::vector<int64_t> blockEnd_; // per block: its latest corrected end
};

template <typename Fn>
void CallWindow::forEachCandidate(const TimeRange& range, Fn&& fn) const {
    if (!ordered_) {
        for (uint32_t k = 0; k < count_; ++k) fn(k);
        return;
    }
    // The first call starting at or after the range's end, and every later
    // one, lies outside it.
    uint32_t lo = 0, hi = count_;
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        if (wrapAdd(calls_[mid].start, offset_) < range.to)
            lo = mid + 1;
        else
            hi = mid;
    }
    const uint32_t stop = lo;
    for (uint32_t b = 0; b * kBlock < stop; ++b) {
        // A block whose calls all end before the range and start before it holds
        // nothing (a call of 0 µs at the range's start ends at it, not before).
        if (blockEnd_[b] < range.from) continue;
        const uint32_t last = std::min(stop, (b + 1) * kBlock);
        for (uint32_t k = b * kBlock; k < last; ++k) fn(k);
    }
}
