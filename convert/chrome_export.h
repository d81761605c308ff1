#pragma once
// Writes a loaded trace as Trace Event JSON (Perfetto, chrome://tracing):
// one process per rank with its name and sort index, a complete event per
// call (corrected microseconds from the start of the run) with its peer,
// tag, size, communicator, section and source, a flow from every sending
// call to the call it fed, and the counter records as counter events. The
// text is written as the calls are visited, never held whole.

#include <cstdint>
#include <ostream>
#include <span>

class TTrace;
struct TCounter;

// The counter records of one rank (the document keeps them sorted by rank).
std::span<const TCounter> countersOf(const TTrace& trace, uint32_t rank);

// false when writing to `out` failed.
bool exportChromeTrace(const TTrace& trace, std::ostream& out);
