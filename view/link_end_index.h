#pragma once
// The links of a process's calls laid out for painting: the partner rank and
// the raw end of the matched receive of every link, in call order and stored
// order, so that a paint reads them in sequence instead of following each
// link to its receive in another process. Built lazily per process and kept
// until the trace changes (links never change once the trace is loaded).

#include "model/trace_model.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

class LinkEndIndex {
  public:
    struct ProcessLinks {
        const TFunc* data = nullptr;
        size_t count = 0;
        std::vector<uint32_t> ranks;      // TLink::rank
        std::vector<int64_t> recvEnds;    // raw end of TLink::recv
        std::vector<uint64_t> blockFirst; // first link of calls [k*kBlock, ...)
        bool complete = true;             // every link has its receive

        // Position in ranks/recvEnds of the first link of call i.
        size_t firstLinkOf(const TCallList& calls, size_t i) const;
    };

    // nullptr when some link of the process has no receive: then the caller
    // reads the links themselves.
    const ProcessLinks* of(const TProcess& process);

    // Forgets everything; call when a trace is opened or closed.
    void clear() { processes_.clear(); }

    static constexpr size_t kBlock = 64;

  private:
    // Keyed by the call storage, which moves with its process when the list
    // is sorted.
    std::unordered_map<const TFunc*, ProcessLinks> processes_;
};
