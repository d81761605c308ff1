#pragma once
// Reading a trace file in pieces on several workers. The first pass (the
// read plan) knows every process and how many calls each piece gives it, so
// each worker writes its calls straight into lists that already have their
// final size. What depends on earlier pieces, the communicators and the kind
// of a rooted collective on a process that creates or frees communicators, is
// settled afterwards in one in-order pass over those few calls.

#include "model/load_progress.h"
#include "model/read_plan.h"

#include <memory>
#include <string>

class TTrace;

// Reads the records the plan covers into an empty document. false when the
// file no longer matches the plan (it changed since the first pass): the
// document is then left to be cleared and read again the plain way.
// The call lists come from `block`.
bool readInPieces(TTrace& trace, const std::string& fileName, const ReadPlan& plan,
                  const std::shared_ptr<CallBlock>& block, unsigned workers,
                  ProgressStep& progress);
