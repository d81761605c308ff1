#pragma once
// The first, quick pass over a trace file: which processes it declares, how
// many calls each has (so that every call list is allocated once at its final
// size), where reading will stop, and where the record stream can be cut so
// that several workers read one piece each.

#include "format/zlv_records.h"
#include "model/call_memory.h"
#include "model/load_progress.h"
#include "model/record_source.h"

#include <cstdint>
#include <vector>

constexpr uint32_t kNoProcess = 0xFFFFFFFFu;

// Records between two progress reports, which are also where a cancel is
// heard: a few milliseconds of reading.
constexpr uint32_t kRecordsPerReport = 1 << 14;

struct PlannedProcess {
    uint32_t rank = 0;
    uint32_t nodeId = 0;    // of its first declaration
    uint32_t nodeIndex = 0; // dense, in order of first appearance
    uint64_t calls = 0;
    bool changesComms = false; // has calls with a member list (creating or freeing)
};

// Where one piece starts, and what the records before it leave behind.
struct PieceStart {
    uint64_t offset = 0;
    // The last call record: short records inherit its long-only fields.
    CallRecord last;
    uint32_t rank = 0xFFFFFFFFu;       // last declared rank
    uint32_t process = kNoProcess;     // its position in `processes`
    std::vector<uint64_t> callsBefore; // per process
};

struct ReadPlan {
    enum class Stop {
        EndOfFile, // every record whole (1 to 3 stray bytes at the end are ignored)
        Truncated, // an incomplete record at `end`
        Invalid,   // an unknown tag, or a call before any declaration: the reader reports it
        Cancelled, // the load was cancelled during the pass: nothing is to be read
    };
    std::vector<PlannedProcess> processes; // in order of first declaration
    SaltedMap<uint32_t, uint32_t> positionOfRank{0, SaltedHash{freshSalt()}};
    std::vector<PieceStart> pieces; // the first starts at 0; fewer than asked for small files
    uint64_t end = 0;               // where the record stream stops
    Stop stop = Stop::EndOfFile;
};

// Walks every record of src. `pieces` (at least 1): how many pieces of about
// equal size to cut the stream into, at record boundaries. Stops early, as
// Cancelled, once `progress` is cancelled.
// `warmer`, when given, hears how much call memory the calls so far need.
ReadPlan planRead(RecordSource& src, ProgressStep& progress, unsigned pieces,
                  CallBlockWarmer* warmer = nullptr);
