#pragma once
// The balance of the ranks: per rank, the time in each group of MPI
// functions and the time outside MPI, for a chart of stacked bars.

#include "analysis/analysis_scope.h"

#include <array>
#include <cstdint>
#include <vector>

class TTrace;
class TraceWindows;

// By function identifier (unfinished flag cleared): point-to-point sends,
// receives and probes; collectives (the fixed table's rooted ones and every
// all-to-all one and the barrier); waits and tests (identifiers with the wait
// bit, and polling tests); everything else MPI does (init, finalize,
// communicators, ...).
enum class FunctionGroup : uint8_t { PointToPoint, Collective, WaitTest, OtherMpi };
constexpr uint32_t kFunctionGroups = 4;
FunctionGroup functionGroupOf(uint32_t baseFuncId);
// "point-to-point", "collectives", "waits and tests", "other MPI".
const char* functionGroupName(FunctionGroup group);

struct RankBalance {
    int32_t rank = 0;
    int64_t runTime = 0; // as in the profile by rank
    std::array<int64_t, kFunctionGroups> inGroup{};
    int64_t outside = 0; // run time minus the time of every call, not below 0
    bool operator==(const RankBalance&) const = default;
};

// The ranks of the scope in rank order; the groups of a rank sum to the
// profile's time in calls of that rank, with the same range rules.
std::vector<RankBalance> rankBalance(const TTrace& trace, const AnalysisScope& scope,
                                     const TraceWindows* windows = nullptr);
