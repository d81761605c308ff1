#pragma once
// Reads a trace file into an empty document, links sends to receives and
// aligns the node clocks. Messages go to `errors`.

#include "model/load_progress.h"

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

class TTrace;
struct TFunc;

// What link building leaves for clock alignment: for each process, which
// calls send and have links, one bit per call (bit k % 64 of word k / 64).
// Clock alignment looks at no other calls, and would otherwise walk all of
// them to find these. The sets are found by the call list they belong to:
// sorting the processes by node moves the processes, not their calls. A
// process without a set (its calls had links before, or it was never
// walked) is walked as before.
struct LinkedSends {
    std::vector<const TFunc*> owner; // per position: the call list's data, nullptr: no set
    std::vector<std::vector<uint64_t>> calls;
};

// `progress` hears how far the load has come (ending at 1000 when it succeeds).
// Once `cancel` is set, the load stops after the work under way and leaves
// the trace empty; the result is then false, without a message.
bool loadTrace(TTrace& trace, const std::string& fileName, std::ostream& errors = std::cerr,
               const LoadProgress& progress = {}, const LoadCancel* cancel = nullptr,
               LoadDepth depth = LoadDepth::Full);
// Only the reading step: true when the file was read to its end (an
// incomplete last record counts as the end). pieces: how many workers read
// pieces of the file; 0 chooses by its size and the machine, 1 reads in one
// go. The document is the same for any number.
bool readTraceRecords(TTrace& trace, const std::string& fileName, std::ostream& errors,
                      unsigned pieces = 0);
// threads: how many workers match sends; 0 chooses by the trace's size and
// the machine. The links are the same for any number.
// `linked`, when given, receives the sets for alignClocks. A cancelled
// `progress` leaves the remaining senders without links.
bool buildLinks(TTrace& trace, unsigned threads = 0, ProgressStep* progress = nullptr,
                LinkedSends* linked = nullptr);
// threads as for buildLinks; the offsets are the same for any number, and
// with or without `linked` (from buildLinks on this trace; its sets are used up).
bool alignClocks(TTrace& trace, std::ostream& errors = std::cerr, unsigned threads = 0,
                 ProgressStep* progress = nullptr, LinkedSends* linked = nullptr);

// The first steps of both clock alignments: an empty table, processes sorted by
// node, each node's time 0 at the end of its MPI_Init. false when a node has none.
bool alignClocksOnInit(TTrace& trace, std::ostream& errors);
