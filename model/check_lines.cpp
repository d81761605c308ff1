#include "model/check_lines.h"

#include "appdb/func_names.h"
#include "model/trace_document.h"
#include "model/traffic_rows.h"

#include <algorithm>
#include <tuple>

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
using SparseRow = std::vector<SparseCell>;

TrafficCell cellOf(const SparseRow& row, uint32_t partner) {
    auto it = std::lower_bound(row.begin(), row.end(), partner,
                               [](const SparseCell& c, uint32_t p) { return c.partner < p; });
    return it != row.end() && it->partner == partner ? it->counts : TrafficCell{};
}

} // namespace

uint32_t checkTerminations(const TTrace& trace, std::vector<std::string>& lines) {
    const TFuncNames names;
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
        lines.push_back("Function " + names.funcName(last.baseFuncId()) +
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
    const std::vector<const TProcess*> byRank = processesByRank(trace);
    const auto n = static_cast<uint32_t>(byRank.size());

    // Counts of every rank toward every rank, keeping only nonzero cells: a
    // rank that no process has sends and receives nothing.
    std::vector<SparseRow> rows(n);
    for (uint32_t r = 0; r < n; ++r) {
        if (!byRank[r]) continue;
        const std::vector<TrafficCell> dense =
            trafficRow(*byRank[r], n, TrafficWeight::Messages, 0);
        for (uint32_t c = 0; c < n; ++c)
            if (dense[c].sent || dense[c].received) rows[r].push_back({c, dense[c]});
    }

    // A disagreement of a's sends to b with b's receives from a needs a nonzero
    // figure in row a or row b, so only those ordered pairs are candidates.
    std::vector<std::pair<uint32_t, uint32_t>> candidates;
    for (uint32_t a = 0; a < n; ++a)
        for (const SparseCell& cell : rows[a]) {
            candidates.emplace_back(a, cell.partner); // a's sends to partner
            candidates.emplace_back(cell.partner, a); // partner's sends to a
        }
    // Output order: pairs (i, j) with i <= j ascending; per pair first i to j, then j to i.
    auto orderKey = [](const std::pair<uint32_t, uint32_t>& p) {
        return std::make_tuple(std::min(p.first, p.second), std::max(p.first, p.second),
                               p.first > p.second);
    };
    std::sort(candidates.begin(), candidates.end(),
              [&](const auto& x, const auto& y) { return orderKey(x) < orderKey(y); });
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());

    uint32_t findings = 0;
    for (const auto& [from, to] : candidates) {
        if (cellOf(rows[from], to).sent == cellOf(rows[to], from).received) continue;
        const std::string line = "\tNumber of sent messages not equal to number of receive one (" +
                                 std::to_string(from) + " to " + std::to_string(to) + ")";
        // A rank's traffic with itself is compared twice, once per direction.
        const int times = from == to ? 2 : 1;
        for (int t = 0; t < times; ++t) lines.push_back(line);
        findings += static_cast<uint32_t>(times);
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
