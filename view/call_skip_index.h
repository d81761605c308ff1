#pragma once
// Finds, without walking them, the calls of a process that end before a time:
// a prefix maximum of display end times and the maximum of each block of
// calls, kept per block so that they stay small. Built lazily per process and
// kept until the trace changes.

#include "model/trace_model.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

class CallSkipIndex {
  public:
    // Index of the first call whose display end (end + nodeShift, wrapping)
    // is >= t0; calls.size() when none is. Every call before it ends before t0.
    size_t firstEndingAtOrAfter(const TProcess& process, int64_t nodeShift, int64_t t0);
    // The same from call `from` on: jumps over blocks of calls that all end
    // before t0 (a long call early in the list keeps the prefix maximum high
    // while the calls after it end before the window).
    size_t nextEndingAtOrAfter(const TProcess& process, int64_t nodeShift, int64_t t0, size_t from);
    // The same two, only reading the index: threads may share it. They
    // walk call by call where the process was not prepared.
    size_t firstEndingAtOrAfter(const TProcess& process, int64_t nodeShift, int64_t t0) const;
    size_t nextEndingAtOrAfter(const TProcess& process, int64_t nodeShift, int64_t t0,
                               size_t from) const;

    // Builds what the two above need for the process and shift.
    void prepare(const TProcess& process, int64_t nodeShift) { blocksOf(process, nodeShift); }

    // Forgets everything; call when a trace is opened or closed.
    void clear() { blocks_.clear(); }

    static constexpr size_t kBlock = 64;

  private:
    struct Blocks {
        const TFunc* data = nullptr;
        size_t count = 0;
        int64_t shift = 0;
        std::vector<int64_t> prefixMax; // max display end of calls [0, (k+1)*kBlock)
        std::vector<int64_t> blockMax;  // max display end of calls [k*kBlock, (k+1)*kBlock)
    };
    const Blocks& blocksOf(const TProcess& process, int64_t nodeShift);
    const Blocks* preparedBlocks(const TProcess& process, int64_t nodeShift) const;
    static size_t firstIn(const Blocks* b, const TProcess& process, int64_t nodeShift, int64_t t0);
    static size_t nextIn(const Blocks* b, const TProcess& process, int64_t nodeShift, int64_t t0,
                         size_t from);

    // Keyed by the call storage, which moves with its process when the list
    // is sorted.
    std::unordered_map<const TFunc*, Blocks> blocks_;
};
