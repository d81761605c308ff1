#pragma once
// What an analysis looks at: the whole run or a range of corrected time, every
// program section or one, every rank or some.

#include "model/time_range.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class TTrace;
struct TProcess;

struct AnalysisScope {
    std::optional<TimeRange> range; // none: the whole run
    uint32_t section = 0;           // 0: every section
    std::vector<int32_t> ranks;     // empty: every rank
};

// One process an analysis reads, with what it needs to place its calls.
struct ScopedProcess {
    const TProcess* process = nullptr;
    int32_t rank = 0;
    int64_t offset = 0; // the node's clock correction
};

// The processes of the scope in rank order: for each rank 0 .. processCount-1
// the first process with it (as the statistics tables take them), kept when
// the scope names its rank or names none.
std::vector<ScopedProcess> scopedProcesses(const TTrace& trace, const AnalysisScope& scope);

// The run time of a process: last end minus first start, as in the Process
// table; in a range, the overlap of [first start, last end] with it.
int64_t scopedRunTime(const ScopedProcess& p, const std::optional<TimeRange>& range);

// The section each call lies in, for one process: answered by call index
// without walking the calls before it.
class SectionMap {
  public:
    explicit SectionMap(const TProcess& p);
    uint32_t sectionAt(uint32_t callIndex) const;

  private:
    std::vector<std::pair<uint32_t, uint32_t>> switches_; // (marker's call index, section)
};
