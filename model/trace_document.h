#pragma once
// TTrace: the trace document. Owns every process, the counter list, the node
// clock table and the two name tables of one opened trace.

#include "appdb/name_table.h"
#include "model/load_progress.h"
#include "model/metric_series.h"
#include "model/trace_model.h"

#include <iostream>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class TTrace {
  public:
    // An empty document, for the loader and for tests.
    TTrace() = default;
    // Loads the trace, then (on success) its database. Loader messages go to
    // `errors`, database messages to `dbMessages`. A load stopped by `cancel`
    // leaves the document empty. `depth`: see LoadDepth.
    explicit TTrace(const std::string& fileName, std::ostream& dbMessages = std::cout,
                    std::ostream& errors = std::cerr, const LoadProgress& progress = {},
                    const LoadCancel* cancel = nullptr, LoadDepth depth = LoadDepth::Full);

    TTrace(const TTrace&) = delete;
    TTrace& operator=(const TTrace&) = delete;
    TTrace(TTrace&&) = default;
    TTrace& operator=(TTrace&&) = default;

    // --- outcome of making the document
    bool loaded() const { return loaded_; }
    // loadFdb's result; nullopt when no database was read.
    std::optional<int> databaseResult() const { return databaseResult_; }
    // For documents that another trace source filled (an OTF2 archive, whose
    // names come with it): the outcome of that load and of its names.
    void setOutcome(bool loaded, std::optional<int> databaseResult) {
        loaded_ = loaded;
        databaseResult_ = databaseResult;
    }

    // --- application database
    int loadFdb(const std::string& path);
    std::string sectName(uint32_t id) const;
    std::string fileName(uint32_t id) const;
    // The function's display name: the fixed table's, else the one the trace
    // gave it; "Unknown" when neither names it. Callers clear 0x800 first.
    const std::string& funcName(uint32_t id) const;

    // --- accessors by position (row order) or by rank; neutral answers when out of range
    bool isEmpty() const { return processes.empty(); }
    uint32_t processCount() const { return static_cast<uint32_t>(processes.size()); }
    uint32_t nodeCount() const;
    int64_t nodeOffset(uint32_t nodeIndex) const;
    int64_t startTime();
    int64_t endTime();
    int64_t processDuration(int32_t rank) const;
    int processTimes(int32_t rank, int64_t& init, int64_t& finalize, int64_t& send,
                     int64_t& receive) const;
    bool nodeOfRank(int32_t rank, uint32_t& nodeIndex, uint32_t& nodeId) const;
    void dataSizes(int32_t rank, int32_t peerRank, uint64_t& sent, uint64_t& received,
                   uint32_t section) const;
    void messageCounts(int32_t rank, int32_t peerRank, uint64_t& sent, uint64_t& received,
                       uint32_t section) const;
    uint32_t openComms(int32_t rank, uint32_t capacity, uint32_t* out) const;
    std::vector<TCounter> counters() const { return counterList; }
    TFunc* firstCall(uint32_t position);
    TFunc* nextCall(uint32_t position);
    TFunc* lastCall(uint32_t position);
    int64_t nodeIndexAt(uint32_t position) const;
    int32_t rankAt(uint32_t position) const;
    uint32_t nodeIdAt(uint32_t position) const;
    // The name of the node of the process at `position`; its dotted address
    // when the document has no name for it.
    std::string nodeNameAt(uint32_t position) const;
    void sortByNode();
    void sortByRank();

    // The process of that rank, first in list order; nullptr when none.
    const TProcess* processOfRank(int32_t rank) const;
    TProcess* processAt(uint32_t position);
    const TProcess* processAt(uint32_t position) const;

    // --- the model, filled by the loader; read through the accessors above
    std::vector<TNodeClock> nodeClocks;
    std::vector<TNode> nodes;                                // by node index
    std::unordered_map<uint32_t, std::string> functionNames; // beyond the fixed table
    TNameTable sectionNames;
    TNameTable fileNames;
    std::vector<TCounter> counterList;
    std::vector<TProcess> processes;
    std::vector<TMetricSeries> metrics; // by rank, then metric

  private:
    bool loaded_ = false;
    // nodeCount() walks every process; nodeOffset() runs once per drawn link,
    // so the count is kept for the process list it was computed from.
    mutable uint32_t nodeCountCache_ = 0;
    mutable const TProcess* nodeCountFor_ = nullptr;
    mutable size_t nodeCountSize_ = 0;
    std::optional<int> databaseResult_;
};

// What tables and texts call the node of process p: the document's name for
// it, else its dotted address.
std::string nodeNameOf(const std::vector<TNode>& nodes, const TProcess& p);

// The database name beside a trace: "run17.zlv" -> "run17.fdb"; the name
// itself when the extension is not three characters; nullopt when there is no
// extension at all.
std::optional<std::string> databaseNameFor(const std::string& traceName);
