#pragma once
// Where the time went by program region (user functions, main, the sections
// of a .zlv trace): visits, inclusive time and exclusive time.

#include "analysis/analysis_scope.h"

#include <cstdint>
#include <string>
#include <vector>

class TTrace;
class TraceWindows;

struct RegionFigures {
    std::string name;
    uint64_t visits = 0;
    // µs; in a range the overlaps with it. A visit inside an open visit of the
    // same region (recursion) adds its visit and exclusive time only.
    int64_t inclusive = 0;
    // Inclusive time less the visits nested in it and the MPI calls that start
    // in it outside those, each cut to the visit; not below 0 per visit.
    int64_t exclusive = 0;
    bool operator==(const RegionFigures&) const = default;
};

struct RegionProfile {
    std::vector<RegionFigures> regions; // largest exclusive first, then inclusive, then name
    int64_t runTimeSum = 0;             // of the ranks included
    bool operator==(const RegionProfile&) const = default;
};

// The region profile of the scope's ranks and range (its section is not
// looked at: regions are sections), one row per region name, on two threads.
// With a range, `windows` (of this trace) spares the walk over the calls
// outside it.
RegionProfile regionProfile(const TTrace& trace, const AnalysisScope& scope,
                            const TraceWindows* windows = nullptr);
