#pragma once
// Time lost waiting for a partner: a receive that waits for a late sender, a
// send for a late receiver, a collective's members for its root, its root
// for the members, every member of an all-to-all collective for the last one.

#include "analysis/analysis_scope.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

class TTrace;
class WaitIndex;

enum class WaitKind : uint8_t {
    LateSender,
    LateReceiver,
    LateBroadcast,
    EarlyReduce,
    AllToAll,
    Barrier,
};
constexpr uint32_t kWaitKinds = 6;
// "late sender", "late receiver", "late broadcast", "early reduce",
// "wait at NxN", "wait at barrier".
const char* waitKindName(WaitKind kind);

// A wait of `gap` µs inside a call of `duration` µs: clamped to [0, duration].
inline int64_t clampedWait(int64_t gap, int64_t duration) {
    return std::min(std::max<int64_t>(gap, 0), std::max<int64_t>(duration, 0));
}

struct WaitTotals {
    uint64_t instances = 0; // calls that could wait (waits of 0 included)
    uint64_t waiting = 0;   // of them, those that waited
    int64_t wait = 0;       // µs
    int64_t max = 0;
    bool operator==(const WaitTotals&) const = default;

    void add(int64_t w) {
        ++instances;
        waiting += w > 0;
        wait = wrapAdd(wait, w);
        max = std::max(max, w);
    }
    void merge(const WaitTotals& o) {
        instances += o.instances;
        waiting += o.waiting;
        wait = wrapAdd(wait, o.wait);
        max = std::max(max, o.max);
    }
};

// One waiting call and the partner it waited for.
struct WaitInstance {
    WaitKind kind = WaitKind::LateSender;
    int32_t rank = 0;
    uint32_t call = 0;   // call index in the waiting process
    uint32_t funcId = 0; // of the waiting call, unfinished flag cleared
    int64_t start = 0;   // corrected start of the waiting call
    int64_t wait = 0;
    int32_t partnerRank = 0;
    uint32_t partnerCall = 0;
    bool operator==(const WaitInstance&) const = default;
};
// Largest wait first; ties in rank, call, kind and partner order.
bool waitsBefore(const WaitInstance& a, const WaitInstance& b);

struct WaitStates {
    std::array<WaitTotals, kWaitKinds> byKind{};
    std::vector<std::pair<int32_t, WaitTotals>> byRank;      // every rank of the scope
    std::vector<std::pair<uint32_t, WaitTotals>> byFunction; // largest wait first, then by id
    std::vector<WaitInstance> worst;                         // the largest waits above 0
    int64_t runTimeSum = 0;                                  // of the ranks of the scope
    bool operator==(const WaitStates&) const = default;
};

// Orders byFunction and cuts `worst` to `listed` entries in order (shared
// with the reference).
void finishWaits(WaitStates& w, uint32_t listed);

// The waits of the scope: a wait counts when the waiting call starts in the
// range, lies in the section and belongs to a rank of the scope; its partner
// may lie anywhere. `listed`: how many of the largest waits to keep. With the
// index of this trace, the waits are read from it instead of found anew.
WaitStates waitStates(const TTrace& trace, const AnalysisScope& scope, uint32_t listed = 0,
                      const WaitIndex* index = nullptr);
