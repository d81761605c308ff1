#pragma once
// Who sent how much to whom: one row of the send/receive or data size matrix
// in one scan of the row process's calls. Cell c of a row equals what
// TProcess::countMessages / sumDataSize give for partner rank c.

#include "model/time_range.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

class TTrace;
struct TProcess;

enum class TrafficWeight {
    Messages, // each message counts 1
    Bytes,    // each message counts its data size
};

struct TrafficCell {
    uint64_t sent = 0;
    uint64_t received = 0;
    bool operator==(const TrafficCell&) const = default;
};

// Only the calls whose start, with the node's offset added, lies in the range.
struct TrafficStarts {
    TimeRange range;
    int64_t offset = 0;
};

// The cells of process p toward partner ranks 0 .. columns-1 under a section
// filter (0: the whole run) and, when given, a range of call starts.
std::vector<TrafficCell> trafficRow(const TProcess& p, uint32_t columns, TrafficWeight weight,
                                    uint32_t section, const TrafficStarts* starts = nullptr);

// Every row of a matrix over partner ranks 0 .. processCount-1, in rank order:
// fn(rank, cells) for each rank that a process has (the first process with
// that rank), of the calls starting in `range` when one is given. Rows are
// made a batch at a time on two threads and handed to fn on the calling
// thread; memory stays bounded by one batch however many ranks there are.
void forEachTrafficRow(
    const TTrace& trace, TrafficWeight weight, uint32_t section,
    const std::function<void(uint32_t rank, std::span<const TrafficCell> cells)>& fn,
    const std::optional<TimeRange>& range = std::nullopt);

// For each rank 0 .. processCount-1 the first process in list order with that
// rank (the one the document's by-rank accessors find), nullptr where none.
std::vector<const TProcess*> processesByRank(const TTrace& trace);
