#pragma once
// The first pass over a large file on several workers: the file is cut at
// offsets that look like record boundaries, and each stretch after the first
// is walked on its own, tallying its calls by the rank that declared them.
// Whether a cut really was a boundary is only known when the walk before it
// lands on it; the read plan then merges the tallies in order, or walks on
// alone when any guess was wrong. Used by read_plan.cpp only.

#include "format/zlv_records.h"
#include "model/load_progress.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Shared by the walkers of one pass.
struct PassShared {
    std::atomic<uint64_t> calls{0}; // tallied so far by the stretches
    std::atomic<uint64_t> bytes{0}; // walked so far by the stretches
    std::atomic<bool> stop{false};  // their work is no longer wanted
};

// What one stretch of records holds, for merging after the walk before it.
struct StretchTally {
    struct Rank {
        uint32_t rank = 0;
        uint32_t nodeId = 0; // of its first declaration in the stretch
        uint64_t calls = 0;
        bool changesComms = false;
    };
    enum class End {
        AtLimit,   // the next record starts exactly at the limit
        EndOfFile, // as a walk from the start would stop there
        Truncated,
        Invalid, // an unknown tag
        Failed,  // no boundary at the limit, stopped, or out of resources
    };
    std::vector<Rank> ranks;   // in order of first declaration in the stretch
    uint64_t leadingCalls = 0; // before its first declaration
    bool leadingChangesComms = false;
    uint32_t current = UINT32_MAX; // the last declared, into ranks
    CallRecord last;               // as the cursor left it
    bool sawCall = false, sawLong = false;
    uint64_t stoppedAt = 0; // where the stretch's walk stopped
    End end = End::Failed;
};

// The first offset at or after `from`, on the 4-byte grid every record
// starts on, from which a run of records reads as whole records of known
// kinds; UINT64_MAX when none is found near it. Only a guess.
uint64_t guessRecordBoundary(FILE* file, uint64_t from, uint64_t fileSize);

// Walks file from `start` up to the first record at or past `limit`
// (UINT64_MAX: to the end). Checks `progress` and shared.stop now and then.
StretchTally tallyStretch(const std::string& fileName, uint64_t start, uint64_t limit,
                          PassShared& shared, const ProgressStep& progress);
