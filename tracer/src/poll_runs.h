#pragma once
// Polling summarised: consecutive MPI_Iprobe (or MPI_Test*) calls that find
// nothing become one record spanning the run, with the number of polls in
// the size field, instead of one record per poll or none at all.

#include <cstdint>

namespace zlvt {

struct PolledSpan {
    uint32_t func = 0; // the run's identifier: Iprobe polls or Test polls
    uint32_t location = 0;
    int64_t start = 0;
    int64_t end = 0;
    uint32_t polls = 0;
    uint32_t comm = 0; // of the first poll; 0 when the polls used several
};

class PollRun {
  public:
    // Adds one unsuccessful poll. Returns true when it cannot join the run
    // in progress (another kind of poll): take() that run first, then add again.
    bool add(uint32_t func, uint32_t location, int64_t start, int64_t end, uint32_t comm) {
        if (span_.polls > 0 && span_.func != func) return true;
        if (span_.polls == 0) {
            span_ = {func, location, start, end, 0, comm};
        } else {
            span_.end = end;
            if (span_.comm != comm) span_.comm = 0;
        }
        // The count saturates rather than wrap; a run that long is cut into two.
        if (++span_.polls == UINT32_MAX) full_ = true;
        return false;
    }
    bool pending() const { return span_.polls > 0; }
    bool full() const { return full_; }
    // The run so far; the next poll starts a new one.
    PolledSpan take() {
        const PolledSpan out = span_;
        span_ = {};
        full_ = false;
        return out;
    }

  private:
    PolledSpan span_;
    bool full_ = false;
};

} // namespace zlvt
