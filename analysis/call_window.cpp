#include "analysis/call_window.h"

CallWindow::CallWindow(const ScopedProcess& p)
    : calls_(p.process->calls.data()), count_(static_cast<uint32_t>(p.process->calls.size())),
      offset_(p.offset) {
    blockEnd_.assign((count_ + kBlock - 1) / kBlock, INT64_MIN);
    int64_t previous = INT64_MIN;
    for (uint32_t k = 0; k < count_; ++k) {
        const int64_t start = wrapAdd(calls_[k].start, offset_);
        if (start < previous) ordered_ = false;
        previous = start;
        // A call meets the range only at or after its start: a block's
        // latest reach is its latest end or start.
        int64_t& reach = blockEnd_[k / kBlock];
        reach = std::max({reach, start, wrapAdd(calls_[k].end, offset_)});
    }
}
