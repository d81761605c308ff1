#pragma once
// Reads a trace file into an empty document, links sends to receives and
// aligns the node clocks. Messages go to `errors`.

#include "model/load_progress.h"

#include <iostream>
#include <string>

class TTrace;

// `progress` hears how far the load has come (ending at 1000 when it succeeds).
bool loadTrace(TTrace& trace, const std::string& fileName, std::ostream& errors = std::cerr,
               const LoadProgress& progress = {});
// Only the reading step: true when the file was read to its end (an
// incomplete last record counts as the end). pieces: how many workers read
// pieces of the file; 0 chooses by its size and the machine, 1 reads in one
// go. The document is the same for any number.
bool readTraceRecords(TTrace& trace, const std::string& fileName, std::ostream& errors,
                      unsigned pieces = 0);
// threads: how many workers match sends; 0 chooses by the trace's size and
// the machine. The links are the same for any number.
bool buildLinks(TTrace& trace, unsigned threads = 0, ProgressStep* progress = nullptr);
// threads as for buildLinks; the offsets are the same for any number.
bool alignClocks(TTrace& trace, std::ostream& errors = std::cerr, unsigned threads = 0,
                 ProgressStep* progress = nullptr);

// Straightforward versions that walk every pair of processes: slow on large
// traces, kept because buildLinks and alignClocks must give exactly their results.
bool buildLinksReference(TTrace& trace);
bool alignClocksReference(TTrace& trace, std::ostream& errors = std::cerr);
// The first steps of both clock alignments: an empty table, processes sorted by
// node, each node's time 0 at the end of its MPI_Init. false when a node has none.
bool alignClocksOnInit(TTrace& trace, std::ostream& errors);
