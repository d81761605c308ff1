#pragma once
// What the window keeps per open trace so that its panels answer a moving
// range from the calls in it: the call windows and the waits of every call,
// each made the first time a figure asks for it.

#include "analysis/scoped_calls.h"
#include "analysis/wait_index.h"

#include <memory>

class TTrace;

class AnalysisIndexes {
  public:
    explicit AnalysisIndexes(const TTrace& trace) : trace_(trace) {}

    const TTrace& trace() const { return trace_; }
    const TraceWindows& windows();
    const WaitIndex& waits();
    // The waits when something asked for them already, else null: building
    // them costs about two whole-run wait figures.
    const WaitIndex* waitsIfMade() const { return waits_.get(); }

  private:
    const TTrace& trace_;
    std::unique_ptr<TraceWindows> windows_;
    std::unique_ptr<WaitIndex> waits_;
};
