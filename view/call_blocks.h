#pragma once
// A summary of every block of kSize consecutive calls of a process: the
// earliest and latest of their raw start and end times, whether each of them
// is a plain bar (no instant mark, not unfinished) and how many links they
// have. Where the calls of a block all fall into one pixel column, their bars
// are one and the same line, which the bar of the call after them paints
// again: the walk passes over such a block without reading its calls. Built
// lazily per process and kept until the trace changes.

#include "model/trace_model.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

class CallBlocks {
  public:
    static constexpr size_t kSize = 4;

    struct Block {
        int64_t lo = 0, hi = 0; // earliest and latest raw start or end
        uint32_t linkSum = 0;   // links of its calls
        bool plain = false;     // every call a plain bar (and linkSum exact)
    };
    struct ProcessBlocks {
        const TFunc* data = nullptr;
        size_t count = 0;
        std::vector<Block> blocks; // of calls [k * kSize, (k + 1) * kSize); the last may be short
    };

    // Builds the summary of the process when it has none (or an outdated one).
    const ProcessBlocks& prepare(const TProcess& process);
    // The summary that prepare() built; nullptr when it did not. Only reads
    // (threads may share it).
    const ProcessBlocks* of(const TProcess& process) const;

    // Forgets everything; call when a trace is opened or closed.
    void clear() { processes_.clear(); }

  private:
    // Keyed by the call storage, which moves with its process when the list
    // is sorted.
    std::unordered_map<const TFunc*, ProcessBlocks> processes_;
};
