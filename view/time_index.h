#pragma once
// TimeIndex: the time index of one loaded trace, made after it loads and
// dropped with it. It answers which calls of a process lie in a time window,
// which call covers a time and which links of a row end in a range of rows,
// without walking a process's calls from its first one. Its summaries are
// made per process on first use and kept by the process's call storage,
// which moves with its process when the list is sorted, so sorting keeps
// them. Queries take list positions, read at the time of asking.

#include "view/call_blocks.h"
#include "view/call_skip_index.h"
#include "view/link_end_index.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class TTrace;

class TimeIndex {
  public:
    explicit TimeIndex(const TTrace& trace) : trace_(trace) {}
    TimeIndex(const TimeIndex&) = delete;
    TimeIndex& operator=(const TimeIndex&) = delete;

    const TTrace& trace() const { return trace_; }

    // The clock shift added to the raw times of the process at `position`.
    int64_t shiftAt(uint32_t position) const;

    // Index of the first call of the process whose display end is at or
    // after t (the call count when none is); from call `from` on for next.
    size_t firstEndingAtOrAfter(uint32_t position, int64_t t);
    size_t nextEndingAtOrAfter(uint32_t position, int64_t t, size_t from);

    // The calls that overlap [t0, t1] as the views walk them: from the first
    // call ending at or after t0 up to the first that starts after t1,
    // without those in between that end before t0. Indices, in list order.
    std::vector<size_t> callsOverlapping(uint32_t position, int64_t t0, int64_t t1);

    // The first call, in list order, whose display start <= t <= display end.
    std::optional<size_t> callAt(uint32_t position, int64_t t);

    // A link of the process at `position` whose receive lies in a process at
    // a list position in [firstPartner, lastPartner].
    struct LinkRef {
        size_t call = 0;      // index of the sending call
        uint32_t link = 0;    // among that call's links
        uint32_t partner = 0; // list position of the receiving process
    };
    std::vector<LinkRef> linksEndingInRows(uint32_t position, size_t firstCall, size_t endCall,
                                           uint32_t firstPartner, uint32_t lastPartner) const;

    // What the painter reads, per process, in the form it walks.
    CallSkipIndex& skips() { return skips_; }
    CallBlocks& blocks() { return blocks_; }
    LinkEndIndex& linkEnds() { return linkEnds_; }

  private:
    const TTrace& trace_;
    CallSkipIndex skips_;
    CallBlocks blocks_;
    LinkEndIndex linkEnds_;
};
