#pragma once
// The analysis figures computed the plain way, one call and one definition at
// a time, with the model's own lookups: what the fast versions must equal.

#include "analysis/clock_quality.h"
#include "analysis/message_sizes.h"
#include "analysis/profile.h"
#include "analysis/wait_states.h"

Profile referenceProfile(const TTrace& trace, const AnalysisScope& scope);
MessageSizes referenceMessageSizes(const TTrace& trace, const AnalysisScope& scope);
WaitStates referenceWaitStates(const TTrace& trace, const AnalysisScope& scope, uint32_t listed);
std::vector<NodePairClocks> referenceClockQuality(const TTrace& trace);
