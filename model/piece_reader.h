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

class TraceBuilder;

// Reads the records the plan covers through a builder that has nothing yet.
// false when the file no longer matches the plan (it changed since the first
// pass): the builder is then left to be restarted and the file read again
// the plain way. false too once `progress` is cancelled.
bool readInPieces(TraceBuilder& builder, const std::string& fileName, const ReadPlan& plan,
                  unsigned workers, ProgressStep& progress);
