#pragma once
// Straightforward link building and clock alignment that walk every pair of
// processes: slow on large traces, kept because buildLinks and alignClocks
// must give exactly their results. Only tests, fuzzing and benchmarks link them.

#include "model/trace_document.h"

#include <cstddef>
#include <iostream>
#include <vector>

bool buildLinksReference(TTrace& trace);
bool alignClocksReference(TTrace& trace, std::ostream& errors = std::cerr);

// One pair of processes of the sweeps above, so that benchmarks can time the
// reference on a sample of pairs.
// Links the sends of process j to the receives of process i (positions),
// with `candidates` as reusable scratch.
void linkPairReference(TTrace& trace, size_t i, size_t j, std::vector<TFunc*>& candidates);
// One step of a clock sweep for positions a < b: forward moves b's node, backward a's.
void sweepPairReference(TTrace& trace, size_t a, size_t b, bool forward);
