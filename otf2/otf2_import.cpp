#include "otf2/otf2_import.h"

#include "appdb/fdb_reader.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"
#include "otf2/archive_reader.h"
#include "otf2/import_context.h"
#include "otf2/location_calls.h"
#include "otf2/per_trace_names.h"

#include <algorithm>
#include <arpa/inet.h>
#include <unordered_map>
#include <unordered_set>

namespace otf2in {
namespace {

// Node identifier of a host: its IPv4 address when the name is one (as in
// archives converted from .zlv traces), else 0.
uint32_t nodeIdOf(const std::string& host) {
    in_addr a{};
    if (inet_pton(AF_INET, host.c_str(), &a) != 1) return 0;
    return a.s_addr; // network order: first octet in the lowest byte
}

// Our counter records travel as a metric with these two members.
std::unordered_set<uint32_t> counterMetrics(const Definitions& defs) {
    std::unordered_set<uint32_t> found;
    for (const auto& [ref, m] : defs.metrics) {
        if (m.members.size() != 2) continue;
        auto a = defs.metricMembers.find(m.members[0]);
        auto b = defs.metricMembers.find(m.members[1]);
        if (a != defs.metricMembers.end() && b != defs.metricMembers.end() &&
            a->second.name == kCounterLocationMetric && b->second.name == kCounterTimesMetric)
            found.insert(ref);
    }
    return found;
}

void reportLines(std::ostream& errors, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    errors << lines.front();
    if (lines.size() > 1) errors << " (and " << lines.size() - 1 << " more problems)";
    errors << std::endl;
}

void reportThreads(std::ostream& errors, const std::vector<std::string>& threads) {
    if (threads.empty()) return;
    errors << "OTF2: " << threads.size() << " thread(s) beside the ranks' main threads not shown:";
    constexpr size_t kNamed = 4;
    for (size_t i = 0; i < threads.size() && i < kNamed; ++i)
        errors << (i ? ", " : " ") << threads[i];
    if (threads.size() > kNamed) errors << ", ...";
    errors << std::endl;
}

// One process from its calls: communicators it knows from the start (those
// it is a member of and does not create itself) come first, never freed.
void addProcess(TTrace& trace, const ImportContext& ctx, uint32_t rank, uint32_t nodeIndex,
                uint32_t nodeId, std::vector<ImportedCall>& calls,
                const std::vector<uint32_t>& created) {
    TProcess& p = trace.processes.emplace_back(nodeIndex, nodeId, rank);
    const std::unordered_set<uint32_t> own(created.begin(), created.end());
    for (const CommInfo& c : ctx.comms()) {
        if (c.predefined || own.count(c.id) || ImportContext::localRank(c, rank) < 0) continue;
        TComm comm;
        comm.id = c.id;
        comm.size = static_cast<uint32_t>(c.members.size());
        comm.members = c.members;
        comm.freedAt = kNeverFreed;
        p.addComm(std::move(comm));
    }
    p.calls.reserve(calls.size());
    for (ImportedCall& c : calls) {
        const auto index = static_cast<uint32_t>(p.calls.size());
        if ((c.funcId & kFuncMembersBit) && c.funcId != kFuncCommFree && !c.members.empty()) {
            TComm comm;
            comm.id = c.comm;
            comm.size = static_cast<uint32_t>(c.members.size());
            comm.members = std::move(c.members);
            comm.createdAt = index;
            p.addComm(std::move(comm));
        } else if (c.funcId == kFuncCommFree) {
            p.freeComm(c.comm, index);
        }
        const TComm* comm = p.findComm(c.comm, index);
        const int32_t me =
            comm ? comm->toLocal(static_cast<int32_t>(rank)) : static_cast<int32_t>(rank);
        p.addCall(
            TFunc::make(c.location, c.funcId, c.start, c.end, c.peer, c.comm, c.tag, c.size, me));
    }
}

} // namespace

bool importArchive(TTrace& trace, const std::string& anchorPath, std::ostream& errors,
                   const LoadProgress& progress, ImportSummary* summary) {
    ArchiveReader reader;
    std::string error;
    if (!reader.open(anchorPath, error)) {
        errors << error << std::endl;
        return false;
    }
    const Definitions& defs = reader.definitions();
    PerTraceNames funcNames;
    const ImportContext ctx(defs, [&](const std::string& name) { return funcNames.id(name); });
    bool ok = ctx.problems().empty();
    reportLines(errors, ctx.problems());
    reportThreads(errors, ctx.otherThreads());
    const auto counters = counterMetrics(defs);

    NameIds sections, files;
    std::unordered_map<std::string, uint32_t> nodeIndex;
    std::vector<std::string> readProblems;
    ImportSummary seen;
    seen.otherThreads = ctx.otherThreads().size();
    ProgressStep reading(&progress, 0, 600);
    for (uint32_t rank = 0; rank < ctx.ranks().size(); ++rank) {
        const RankInfo& info = ctx.ranks()[rank];
        LocationCalls lc(ctx, rank, sections, files);
        if (!reader.readLocation(
                info.location, [&](const Event& e) { lc.add(e); }, error))
            readProblems.push_back(error);
        std::vector<ImportedCall> calls = lc.finish();
        for (const MetricSample& m : lc.metrics()) {
            if (counters.count(m.metric) && m.values.size() == 2)
                trace.counterList.push_back(
                    {rank, static_cast<uint32_t>(m.values[1]), static_cast<uint32_t>(m.values[0])});
            else
                ++seen.metricSamples;
        }
        const auto node = nodeIndex.emplace(info.node, static_cast<uint32_t>(nodeIndex.size()));
        addProcess(trace, ctx, rank, node.first->second, nodeIdOf(info.node), calls,
                   lc.createdComms());
        reading.report(rank + 1, ctx.ranks().size());
    }
    reportLines(errors, readProblems);
    ok = ok && readProblems.empty();

    trace.sectionNames.append(kMainSectionName);
    for (size_t i = 0; i < sections.names().size(); ++i)
        trace.sectionNames.set(static_cast<uint32_t>(i + 1), sections.names()[i]);
    for (size_t i = 0; i < files.names().size(); ++i)
        trace.fileNames.set(static_cast<uint32_t>(i + 1), files.names()[i]);
    for (const auto& [ref, m] : defs.metricMembers)
        if (m.name != kCounterLocationMetric && m.name != kCounterTimesMetric)
            seen.metricNames.push_back(m.name);
    std::sort(seen.metricNames.begin(), seen.metricNames.end());
    if (summary) *summary = seen;
    std::sort(trace.counterList.begin(), trace.counterList.end(),
              [](const TCounter& a, const TCounter& b) {
                  return a.rank != b.rank ? a.rank < b.rank : a.location < b.location;
              });
    ProgressStep linking(&progress, 600, 800);
    buildLinks(trace, 0, &linking);
    ProgressStep aligning(&progress, 800, 1000);
    const bool aligned = alignClocks(trace, errors, 0, &aligning);
    aligning.finish();
    return ok && aligned;
}

} // namespace otf2in
