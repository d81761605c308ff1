#include "analysis/analysis_indexes.h"

const TraceWindows& AnalysisIndexes::windows() {
    if (!windows_) windows_ = std::make_unique<TraceWindows>(trace_);
    return *windows_;
}

const WaitIndex& AnalysisIndexes::waits() {
    if (!waits_) waits_ = std::make_unique<WaitIndex>(trace_);
    return *waits_;
}
