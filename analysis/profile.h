#pragma once
// Where the time went: per MPI function (calls, total, mean, min, max) and
// per rank (time inside and outside MPI calls).

#include "analysis/analysis_scope.h"

#include <algorithm>
#include <cstdint>
#include <vector>

class TTrace;
class TraceWindows;

struct FunctionFigures {
    uint32_t funcId = 0; // unfinished flag cleared
    uint64_t calls = 0;
    int64_t total = 0; // µs; in a range the calls' overlaps with it
    int64_t min = 0;
    int64_t max = 0;
    bool operator==(const FunctionFigures&) const = default;

    void add(int64_t duration) {
        min = calls == 0 ? duration : std::min(min, duration);
        max = calls == 0 ? duration : std::max(max, duration);
        total = wrapAdd(total, duration);
        ++calls;
    }
    void merge(const FunctionFigures& other);
};

struct RankFigures {
    int32_t rank = 0;
    int64_t runTime = 0; // in a range, the run's overlap with it
    int64_t inCalls = 0;
    int64_t outside = 0; // runTime - inCalls, not below 0
    bool operator==(const RankFigures&) const = default;
};

struct Profile {
    std::vector<FunctionFigures> functions; // largest total first, then by identifier
    std::vector<RankFigures> ranks;         // rank order
    int64_t runTimeSum = 0;                 // of the ranks included
    int64_t outsideSum = 0;
    bool operator==(const Profile&) const = default;
};

// Function rows in their order and the sums, from per-function figures in any
// order and per-rank figures in rank order (shared with the reference).
Profile finishProfile(std::vector<FunctionFigures> functions, std::vector<RankFigures> ranks);

// The profile of the scope, on two threads. With a range, `windows` (of this
// trace) spares the walk over the calls outside it.
Profile profile(const TTrace& trace, const AnalysisScope& scope,
                const TraceWindows* windows = nullptr);
