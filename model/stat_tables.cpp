#include "model/stat_tables.h"

#include "model/parallel_for.h"
#include "model/trace_document.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

std::string generalText(double value, int digits) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*g", digits, value);
    return buf;
}

std::vector<std::string> numberLabels(uint32_t n) {
    std::vector<std::string> labels;
    labels.reserve(n);
    for (uint32_t i = 0; i < n; ++i) labels.push_back(std::to_string(i));
    return labels;
}

using RankIndex = std::shared_ptr<const std::vector<const TProcess*>>;

RankIndex rankIndex(const TTrace& trace) {
    return std::make_shared<const std::vector<const TProcess*>>(processesByRank(trace));
}

} // namespace

std::vector<SectionItem> sectionItems(const TTrace& trace) {
    // Per process the identifiers its markers switch to, each once: a trace
    // may hold millions of markers but few sections.
    std::vector<std::vector<uint32_t>> named(trace.processes.size());
    parallelFor(static_cast<uint32_t>(trace.processes.size()), [&](uint32_t i) {
        std::vector<uint32_t>& mine = named[i];
        uint32_t last = 0;
        for (const TFunc& f : trace.processes[i].calls) {
            if (!f.isSectionMarker() || f.location == last) continue;
            mine.push_back(last = f.location);
        }
        std::sort(mine.begin(), mine.end());
        mine.erase(std::unique(mine.begin(), mine.end()), mine.end());
    });
    std::vector<uint32_t> ids{0};
    for (const std::vector<uint32_t>& mine : named) ids.insert(ids.end(), mine.begin(), mine.end());
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());

    std::vector<SectionItem> items;
    items.reserve(ids.size());
    for (uint32_t id : ids) items.push_back({id, trace.sectName(id)});
    return items;
}

std::string timeText(int64_t microseconds) {
    return generalText(static_cast<double>(microseconds), 10);
}

std::string percentText(int64_t part, int64_t whole) {
    // A run time of 0 has no meaningful share.
    if (whole == 0) return {};
    return generalText(static_cast<double>(part) / static_cast<double>(whole) * 100.0, 4);
}

std::string trafficCellText(const TrafficCell& cell) {
    return std::to_string(cell.sent) + "/" + std::to_string(cell.received);
}

StatTable nodesRanksTable(const TTrace& trace) {
    StatTable t;
    t.columnLabels = {"Node", "nodeIP", "Ranks"};
    t.rowCount = trace.processCount();
    t.rowCells = [byRank = rankIndex(trace),
                  nodes = std::make_shared<const std::vector<TNode>>(trace.nodes)](
                     uint32_t r) -> std::vector<std::string> {
        const TProcess* p = r < byRank->size() ? (*byRank)[r] : nullptr;
        if (!p) return {"", "", ""};
        return {std::to_string(p->nodeIndex), nodeNameOf(*nodes, *p), std::to_string(r)};
    };
    return t;
}

namespace {

// TProcess::times with each call's overlap with the range, of the calls that
// count in it (a call of 0 µs counts when it starts inside).
void timesInRange(const TProcess& p, int64_t offset, const TimeRange& range, RankTimes& t) {
    if (p.calls.empty()) return;
    t.total =
        range.overlap(wrapAdd(p.calls.front().start, offset), wrapAdd(p.calls.back().end, offset));
    TTimeSums sums;
    for (const TFunc& f : p.calls) {
        const int64_t start = wrapAdd(f.start, offset), end = wrapAdd(f.end, offset);
        if (f.isSectionMarker() || !range.counts(start, end)) continue;
        TFunc clipped; // the part inside the range, with the call's identifier and kind
        clipped.funcId = f.funcId;
        clipped.kind = f.kind;
        clipped.end = range.overlap(start, end);
        sums.add(clipped);
    }
    t.init = sums.init;
    t.finalize = sums.finalize;
    t.send = sums.send;
    t.receive = sums.receive;
}

} // namespace

std::vector<RankTimes> timesByRank(const TTrace& trace, const std::optional<TimeRange>& range) {
    const std::vector<const TProcess*> byRank = processesByRank(trace);
    std::vector<RankTimes> times(byRank.size());
    parallelFor(static_cast<uint32_t>(byRank.size()), [&](uint32_t r) {
        const TProcess* p = byRank[r];
        if (!p) return;
        RankTimes& t = times[r];
        t.present = true;
        if (range) return timesInRange(*p, trace.nodeOffset(p->nodeIndex), *range, t);
        t.total = p->duration();
        p->times(t.init, t.finalize, t.send, t.receive);
    });
    return times;
}

StatTable processTable(const TTrace& trace, const std::optional<TimeRange>& range) {
    StatTable t;
    t.columnLabels = {"Rank",         "Time [us]", "Init [us]", "Init [%]",  "Finalize [us]",
                      "Finalize [%]", "Send [us]", "Send [%]",  "Recv [us]", "Recv [%]"};
    t.rowCount = trace.processCount();
    auto times = std::make_shared<const std::vector<RankTimes>>(timesByRank(trace, range));
    t.rowCells = [times](uint32_t r) -> std::vector<std::string> {
        std::vector<std::string> cells(10);
        cells[0] = std::to_string(r);
        if (r >= times->size() || !(*times)[r].present)
            return cells; // no process has this rank: nothing to show
        const RankTimes& rt = (*times)[r];
        cells[1] = timeText(rt.total);
        size_t i = 2;
        for (int64_t sum : {rt.init, rt.finalize, rt.send, rt.receive}) {
            cells[i++] = timeText(sum);
            cells[i++] = percentText(sum, rt.total);
        }
        return cells;
    };
    return t;
}

StatTable countersTable(const TTrace& trace) {
    StatTable t;
    t.columnLabels = {"Rank", "File:Line", "Times"};
    auto list = std::make_shared<const std::vector<TCounter>>(trace.counters());
    t.rowCount = static_cast<uint32_t>(list->size());
    t.rowCells = [list, &trace](uint32_t i) -> std::vector<std::string> {
        if (i >= list->size()) return {"", "", ""};
        const TCounter& c = (*list)[i];
        return {std::to_string(c.rank),
                trace.fileName(c.location >> 16) + ":" + std::to_string(c.location & 0xFFFF),
                std::to_string(c.times)};
    };
    return t;
}

StatTable trafficTable(const TTrace& trace, TrafficWeight weight, uint32_t section,
                       const std::optional<TimeRange>& range) {
    StatTable t;
    const uint32_t n = trace.processCount();
    t.columnLabels = numberLabels(n);
    t.rowLabels = numberLabels(n);
    t.rowCount = n;
    t.rowCells = [byRank = rankIndex(trace), n, weight, section, range,
                  &trace](uint32_t r) -> std::vector<std::string> {
        std::vector<std::string> cells(n);
        const TProcess* p = r < byRank->size() ? (*byRank)[r] : nullptr;
        if (!p) return cells; // no process has this rank
        std::optional<TrafficStarts> starts;
        if (range) starts = TrafficStarts{*range, trace.nodeOffset(p->nodeIndex)};
        const std::vector<TrafficCell> row =
            trafficRow(*p, n, weight, section, starts ? &*starts : nullptr);
        for (uint32_t c = 0; c < n; ++c) cells[c] = trafficCellText(row[c]);
        return cells;
    };
    return t;
}

StatTable statTable(const TTrace& trace, StatKind kind, uint32_t section,
                    const std::optional<TimeRange>& range) {
    if (const StatKindInfo* info = statKindInfo(kind)) return info->table(trace, section, range);
    StatTable empty;
    empty.rowCells = [](uint32_t) { return std::vector<std::string>{}; };
    return empty;
}
