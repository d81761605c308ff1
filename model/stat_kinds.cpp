#include "model/stat_kinds.h"

#include "model/stat_tables.h"

#include <algorithm>
#include <array>

namespace {

StatTable nodesRanks(const TTrace& trace, uint32_t, const std::optional<TimeRange>&) {
    return nodesRanksTable(trace);
}
StatTable process(const TTrace& trace, uint32_t, const std::optional<TimeRange>& range) {
    return processTable(trace, range);
}
StatTable counters(const TTrace& trace, uint32_t, const std::optional<TimeRange>&) {
    return countersTable(trace);
}
StatTable messages(const TTrace& trace, uint32_t section, const std::optional<TimeRange>& range) {
    return trafficTable(trace, TrafficWeight::Messages, section, range);
}
StatTable bytes(const TTrace& trace, uint32_t section, const std::optional<TimeRange>& range) {
    return trafficTable(trace, TrafficWeight::Bytes, section, range);
}

// Kind-number order. The menu shows the data size matrix before the counters.
constexpr std::array<StatKindInfo, 5> kKinds{{
    {StatKind::NodesRanks, "nodes", "node index, node address and rank, by rank", "Nodes and Ranks",
     "&Nodes-Ranks", "Ctrl+N", 0, std::nullopt, false, nodesRanks},
    {StatKind::Process, "process", "run time and Init/Finalize/Send/Recv times and shares, by rank",
     "Process", "&Process", "Ctrl+P", 1, std::nullopt, true, process},
    {StatKind::SendRecv, "sendrecv", "messages sent/received, rank by rank (row sends to column)",
     "Send Receive operations", "&Send-Recv", "Ctrl+S", 2, TrafficWeight::Messages, true, messages},
    {StatKind::Counters, "counters", "counter records: rank, file:line, times", "Counters",
     "&Counters", "Ctrl+C", 4, std::nullopt, false, counters},
    {StatKind::DataSize, "datasize", "data sizes sent/received, rank by rank",
     "Transfered data size", "Data si&ze transfered", "Ctrl+Z", 3, TrafficWeight::Bytes, true,
     bytes},
}};

} // namespace

std::span<const StatKindInfo> statKinds() {
    return kKinds;
}

std::vector<const StatKindInfo*> statKindsInMenuOrder() {
    std::vector<const StatKindInfo*> kinds;
    for (const StatKindInfo& kind : kKinds) kinds.push_back(&kind);
    std::sort(kinds.begin(), kinds.end(),
              [](auto* a, auto* b) { return a->menuPosition < b->menuPosition; });
    return kinds;
}

const StatKindInfo* statKindInfo(StatKind kind) {
    for (const StatKindInfo& info : kKinds)
        if (info.kind == kind) return &info;
    return nullptr;
}

const StatKindInfo* statKindInfo(int kind) {
    return statKindInfo(static_cast<StatKind>(kind));
}

const StatKindInfo* statKindNamed(std::string_view name) {
    for (const StatKindInfo& info : kKinds)
        if (name == info.name) return &info;
    return nullptr;
}

const char* statCaption(StatKind kind) {
    const StatKindInfo* info = statKindInfo(kind);
    return info ? info->caption : "";
}

bool hasSectionSelector(StatKind kind) {
    const StatKindInfo* info = statKindInfo(kind);
    return info && info->matrix.has_value();
}

std::string statKindNames(bool (*test)(const StatKindInfo&)) {
    std::string names;
    for (const StatKindInfo& info : kKinds) {
        if (!test(info)) continue;
        if (!names.empty()) names += ", ";
        names += info.name;
    }
    return names;
}
