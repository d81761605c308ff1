#include "model/check_lines.h"

#include <climits>

#include "model/memory_advice.h"
#include "model/trace_document.h"
#include "model/traffic_rows.h"

#include <algorithm>

namespace {

std::string locationText(const TTrace& trace, uint32_t location) {
    return trace.fileName(location >> 16) + ":" + std::to_string(location & 0xFFFF);
}

// Ranks are printed signed, as the rest of the program shows them.
std::string signedText(uint32_t value) {
    return std::to_string(static_cast<int32_t>(value));
}

// The nonzero cells of one rank's message-count row, by partner rank.
struct SparseCell {
    uint32_t partner;
    TrafficCell counts;
};

// The nonzero cells of every row, stored row after row, and the same cells
// column by column (each an index into the row-wise list).
struct SparseMatrix {
    std::vector<uint64_t> rowStart; // row r: cells[rowStart[r] .. rowStart[r + 1])
    std::vector<SparseCell> cells;
    std::vector<uint64_t> columnStart; // column c: byColumn[columnStart[c] .. +1)
    std::vector<uint64_t> byColumn;    // cell indices, rows ascending
    std::vector<uint32_t> rowOf;       // row of each cell
};

SparseMatrix messageCountCells(const TTrace& trace) {
    const uint32_t n = trace.processCount();
    SparseMatrix m;
    m.rowStart.assign(size_t{n} + 1, 0);
    // Room for every cell that can be nonzero (each needs a message, so a
    // call), taken in huge pages as it is filled rather than grown by copies.
    const size_t most = static_cast<size_t>(std::min(uint64_t{n} * n, callCount(trace.processes)));
    reserveUpTo(m.cells, most);
    reserveUpTo(m.rowOf, most);
    // A rank that no process has sends and receives nothing: its row stays empty.
    forEachTrafficRow(trace, TrafficWeight::Messages, 0,
                      [&](uint32_t r, std::span<const TrafficCell> dense) {
                          for (uint32_t c = 0; c < dense.size(); ++c)
                              if (dense[c].sent || dense[c].received) {
                                  m.cells.push_back({c, dense[c]});
                                  m.rowOf.push_back(r);
                              }
                          m.rowStart[r + 1] = m.cells.size();
                      });
    for (uint32_t r = 0; r < n; ++r) m.rowStart[r + 1] = std::max(m.rowStart[r + 1], m.rowStart[r]);

    m.columnStart.assign(size_t{n} + 1, 0);
    for (const SparseCell& cell : m.cells) ++m.columnStart[cell.partner + 1];
    for (uint32_t c = 0; c < n; ++c) m.columnStart[c + 1] += m.columnStart[c];
    m.byColumn.resize(m.cells.size());
    std::vector<uint64_t> fill(m.columnStart.begin(), m.columnStart.end() - 1);
    for (uint64_t i = 0; i < m.cells.size(); ++i) m.byColumn[fill[m.cells[i].partner]++] = i;
    return m;
}

} // namespace

uint32_t checkTerminations(const TTrace& trace, std::vector<std::string>& lines) {
    uint32_t findings = 0;
    for (uint32_t i = 0; i < trace.processCount(); ++i) {
        const TProcess& p = *trace.processAt(i);
        const std::string rank = std::to_string(trace.rankAt(i));
        if (p.calls.empty()) {
            lines.push_back("\tProcess rank " + rank + " has no functions");
            ++findings;
            continue;
        }
        // Only the very last record tells how the process ended.
        const TFunc& last = p.calls.back();
        if (!(last.funcId & kUnfinishedFlag)) continue;
        lines.push_back("Function " + trace.funcName(last.baseFuncId()) +
                        " was termitated for idle");
        lines.push_back("\tProcess rank " + rank + ". Location " +
                        locationText(trace, last.location));
        ++findings;
    }
    return findings;
}

uint32_t checkCommunicators(const TTrace& trace, std::vector<std::string>& lines) {
    uint32_t findings = 0;
    const std::vector<const TProcess*> byRank = processesByRank(trace);
    for (uint32_t r = 0; r < byRank.size(); ++r) {
        if (!byRank[r]) continue;
        // Every communicator never freed, however many a process leaks.
        for (const TOpenComm& c : byRank[r]->openCommList()) {
            lines.push_back("In process with rank " + std::to_string(r) +
                            " new communicator was created (" + signedText(c.id) + ") at " +
                            locationText(trace, c.location) + ", , but it was not destroyed");
            ++findings;
        }
    }
    return findings;
}

uint32_t checkSendRecv(const TTrace& trace, std::vector<std::string>& lines) {
    const SparseMatrix m = messageCountCells(trace);
    const uint32_t n = trace.processCount();
    uint32_t findings = 0;
    auto compare = [&](uint32_t from, uint32_t to, const TrafficCell& fromRow,
                       const TrafficCell& toRow) {
        if (fromRow.sent == toRow.received) return;
        const std::string line = "\tNumber of sent messages not equal to number of receive one (" +
                                 std::to_string(from) + " to " + std::to_string(to) + ")";
        // A rank's traffic with itself is compared twice, once per direction.
        const int times = from == to ? 2 : 1;
        for (int t = 0; t < times; ++t) lines.push_back(line);
        findings += static_cast<uint32_t>(times);
    };

    // A disagreement between ranks i and j needs a nonzero cell (i, j) or
    // (j, i). Pairs go in order i <= j ascending, per pair first i to j, then
    // j to i: for each i, the partners j >= i of row i merged with the rows
    // j >= i of column i.
    for (uint32_t i = 0; i < n; ++i) {
        auto rowIt =
            std::lower_bound(m.cells.begin() + static_cast<ptrdiff_t>(m.rowStart[i]),
                             m.cells.begin() + static_cast<ptrdiff_t>(m.rowStart[i + 1]), i,
                             [](const SparseCell& c, uint32_t p) { return c.partner < p; });
        const auto rowEnd = m.cells.begin() + static_cast<ptrdiff_t>(m.rowStart[i + 1]);
        auto colIt =
            std::lower_bound(m.byColumn.begin() + static_cast<ptrdiff_t>(m.columnStart[i]),
                             m.byColumn.begin() + static_cast<ptrdiff_t>(m.columnStart[i + 1]), i,
                             [&](uint64_t cell, uint32_t r) { return m.rowOf[cell] < r; });
        const auto colEnd = m.byColumn.begin() + static_cast<ptrdiff_t>(m.columnStart[i + 1]);
        while (rowIt != rowEnd || colIt != colEnd) {
            const uint32_t j = std::min(rowIt != rowEnd ? rowIt->partner : UINT32_MAX,
                                        colIt != colEnd ? m.rowOf[*colIt] : UINT32_MAX);
            TrafficCell ij, ji; // row i toward j, row j toward i
            if (rowIt != rowEnd && rowIt->partner == j) ij = (rowIt++)->counts;
            if (colIt != colEnd && m.rowOf[*colIt] == j) ji = m.cells[*colIt++].counts;
            compare(i, j, ij, ji);
            if (j != i) compare(j, i, ji, ij);
        }
    }
    return findings;
}

CheckReport runChecks(const TTrace& trace, const CheckSelection& selection) {
    CheckReport report;
    auto& lines = report.lines;
    if (selection.termination) {
        lines.push_back("Check for terminations...");
        report.findings += checkTerminations(trace, lines);
        lines.push_back("Done");
    }
    if (selection.communicators) {
        lines.push_back("Check for communicators...");
        report.findings += checkCommunicators(trace, lines);
        lines.push_back("Done");
    }
    if (selection.sendRecv) {
        lines.push_back("Check send/receive correspondence...");
        report.findings += checkSendRecv(trace, lines);
        lines.push_back("Done");
    }
    lines.push_back("Checking complete");
    return report;
}

namespace {

// The decimal number right after `prefix` in the line, if both are there.
std::optional<int32_t> numberAfter(const std::string& line, const std::string& prefix) {
    const size_t at = line.find(prefix);
    if (at == std::string::npos) return std::nullopt;
    size_t i = at + prefix.size();
    int64_t v = 0;
    const size_t from = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9' && v <= INT32_MAX)
        v = v * 10 + (line[i++] - '0');
    if (i == from || v > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(v);
}

} // namespace

std::optional<CheckLineTarget> checkLineTarget(const std::string& line) {
    if (const auto r = numberAfter(line, "Process rank ")) {
        const bool ended = line.find(". Location ") != std::string::npos;
        return CheckLineTarget{*r, ended};
    }
    if (const auto r = numberAfter(line, "In process with rank ")) return CheckLineTarget{*r};
    if (line.find("Number of sent messages") != std::string::npos)
        if (const auto r = numberAfter(line, "one (")) return CheckLineTarget{*r};
    return std::nullopt;
}
