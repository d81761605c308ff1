#pragma once
// The waits of every call of a trace, found once while the trace is open: the
// figures of a range then read only the waits of the calls that start in it,
// and those of the whole run a compact list instead of every call.

#include "analysis/analysis_scope.h"
#include "analysis/wait_states.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class TTrace;

// The kind of wait a call of this function (unfinished flag cleared) can
// have: sends wait for receivers, receives for senders, collectives by their
// kind. Only functions that the wait states list are asked.
WaitKind waitKindOf(uint32_t funcId);

class WaitIndex {
  public:
    // One wait of one call (waits of 0 included, as they count as instances).
    struct Entry {
        int64_t wait = 0;
        uint32_t call = 0;
        uint32_t partnerCall = 0;
        int32_t partnerRank = 0;
        uint32_t funcId = 0;
    };

    // On two threads; as costly as one whole-run waitStates and holding
    // 24 bytes per wait.
    explicit WaitIndex(const TTrace& trace);

    const TTrace& trace() const { return *trace_; }
    size_t entryCount() const { return entries_; }

    // The waits of p's calls in call order; with a range, from the first
    // whose call starts at or after its beginning to the last that starts
    // before its end (all of them when p's starts are not in order). Callers
    // test each. p is a process of this trace, found again after the rows
    // were sorted.
    std::span<const Entry> entriesOf(const ScopedProcess& p,
                                     const std::optional<TimeRange>& range) const;

    // The waiting part of a call: from its start for as long as it waited.
    struct WaitingPart {
        uint32_t call = 0;
        int64_t from = 0, to = 0; // corrected
        bool operator==(const WaitingPart&) const = default;
    };
    // p's waiting parts (of waits above 0) that overlap [window.from,
    // window.to), in call order, for marking them in the picture.
    std::vector<WaitingPart> waitingParts(const ScopedProcess& p, const TimeRange& window) const;

  private:
    struct Rank {
        std::vector<Entry> entries;
        bool ordered = true; // the starts of the entries' calls never decrease
        int64_t longestWait = 0;
    };
    const TTrace* trace_;
    std::vector<Rank> ranks_; // by rank
    size_t entries_ = 0;
};
