#pragma once
// One pair of processes of the straightforward link building and clock
// sweeps, so that benchmarks can time the reference on a sample of pairs.

#include "model/trace_document.h"

#include <cstddef>
#include <vector>

// Links the sends of process j to the receives of process i (positions),
// with `candidates` as reusable scratch.
void linkPairReference(TTrace& trace, size_t i, size_t j, std::vector<TFunc*>& candidates);
// One step of a clock sweep for positions a < b: forward moves b's node, backward a's.
void sweepPairReference(TTrace& trace, size_t a, size_t b, bool forward);
