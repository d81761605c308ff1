#pragma once
// The communicators of one process while its calls are read in call order:
// TProcess::findComm, freeComm and addComm kept fast for traces that create
// and free one identifier over and over (searching the whole list each time
// would make reading quadratic), and each call's own local rank.

#include "model/record_source.h"
#include "model/trace_model.h"

#include <cstdint>
#include <vector>

class CommTracker {
  public:
    // p holds only its predefined communicators so far.
    CommTracker(const TProcess& p, uint64_t salt);

    void add(TProcess& p, TComm&& c);
    void free(TProcess& p, uint32_t id, uint32_t callIndex);
    // Every communicator was created at or before callIndex, and callIndex
    // never goes down from one call to the next.
    const TComm* find(const TProcess& p, uint32_t id, uint32_t callIndex);
    // toLocal of the process's own rank, computed once per communicator: a
    // member list can be long, and every call on that communicator asks.
    int32_t ownLocalRank(const TProcess& p, const TComm& c);
    // The local rank that classifies call k of p: in its communicator, or the
    // global rank when the process does not know it.
    int32_t ownRankFor(const TProcess& p, uint32_t comm, uint32_t callIndex) {
        const TComm* c = find(p, comm, callIndex);
        return c ? ownLocalRank(p, *c) : static_cast<int32_t>(p.rank);
    }

  private:
    // Positions of the communicators with one identifier, in list order. A
    // communicator freed before the current call stays unusable: `live`
    // skips those for good, and `unfreed` skips those already freed.
    struct Slots {
        std::vector<uint32_t> positions;
        size_t live = 0;
        size_t unfreed = 0;
    };
    SaltedMap<uint32_t, Slots> slots_;
    // Runs of calls on one communicator are the rule (map entries never move).
    uint32_t lastId_ = 0;
    Slots* last_ = nullptr;
    static constexpr int32_t kUnknownLocal = -2; // toLocal answers -1 or a rank >= 0
    std::vector<int32_t> ownLocal_;              // per communicator position
};

// Whether TFunc::classify looks at the caller's own rank for this function:
// only the rooted collectives do. For every other call the communicator need
// not be looked up at all.
bool classifyNeedsOwnRank(uint32_t funcId);
