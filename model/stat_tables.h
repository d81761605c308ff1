#pragma once
// The statistics tables as texts: header labels and, row by row, the cell
// texts that the statistics dialog and `zlv stats` show.

#include "model/stat_kinds.h"
#include "model/traffic_rows.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TTrace;

struct SectionItem {
    uint32_t id;
    std::string name;
};
// Section 0 first, then every section that a marker names, ascending, each
// with its database name.
std::vector<SectionItem> sectionItems(const TTrace& trace);

// Rows are made on demand, so a matrix over thousands of ranks never holds all
// its cell texts at once. rowCells must be called only while the trace lives.
struct StatTable {
    std::vector<std::string> columnLabels;
    std::vector<std::string> rowLabels; // empty when the row header is hidden
    uint32_t rowCount = 0;
    std::function<std::vector<std::string>(uint32_t row)> rowCells;
};

// The table of a kind; section applies to the matrices only (0: whole run).
// A range of corrected time applies to the process table (each call's overlap
// with it, the run's overlap as run time) and the matrices (calls starting in
// it). An unknown kind gives an empty table.
StatTable statTable(const TTrace& trace, StatKind kind, uint32_t section = 0,
                    const std::optional<TimeRange>& range = std::nullopt);

// Row r is rank r. A rank that no process has gives an empty row.
StatTable nodesRanksTable(const TTrace& trace);
// Row r is rank r. A rank that no process has shows the rank and empty cells;
// a run time of 0 leaves the percentages empty.
StatTable processTable(const TTrace& trace, const std::optional<TimeRange>& range = std::nullopt);
// One row per counter record, in the document's order.
StatTable countersTable(const TTrace& trace);
// Cell (r, c) "sent/received" of rank r toward rank c; a rank that no process
// has gives a row of empty cells.
StatTable trafficTable(const TTrace& trace, TrafficWeight weight, uint32_t section,
                       const std::optional<TimeRange>& range = std::nullopt);

// Run time and TProcess::times of each rank's process (the first with that
// rank), computed for all ranks at once on two threads.
struct RankTimes {
    bool present = false; // a process has this rank
    int64_t total = 0;
    int64_t init = 0;
    int64_t finalize = 0;
    int64_t send = 0;
    int64_t receive = 0;
};
std::vector<RankTimes> timesByRank(const TTrace& trace,
                                   const std::optional<TimeRange>& range = std::nullopt);

// Number formats of the tables.
std::string timeText(int64_t microseconds); // 10 significant digits
// part / whole * 100 with 4 significant digits; "" when whole is 0.
std::string percentText(int64_t part, int64_t whole);
std::string trafficCellText(const TrafficCell& cell); // "sent/received"
