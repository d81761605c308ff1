#include "otf2/otf2_import.h"

#include "appdb/fdb_reader.h"
#include "model/trace_builder.h"
#include "model/trace_document.h"
#include "otf2/archive_reader.h"
#include "otf2/import_context.h"
#include "otf2/location_calls.h"

#include <algorithm>
#include <arpa/inet.h>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace otf2in {
namespace {

// Node address of a host: its IPv4 address when the name is one (as in
// archives converted from .zlv traces).
std::optional<uint32_t> ipv4Of(const std::string& host) {
    in_addr a{};
    if (inet_pton(AF_INET, host.c_str(), &a) != 1) return std::nullopt;
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
// it is a member of and does not make itself) come first.
void addProcess(TraceBuilder& builder, const ImportContext& ctx, uint32_t rank, uint32_t nodeIndex,
                const ImportedCalls& calls, const LocationCalls& location,
                std::vector<TRegionVisit> visits) {
    const std::vector<uint32_t>& created = location.createdComms();
    const auto process =
        builder.declareProcess(static_cast<int32_t>(rank), nodeIndex, calls.size());
    builder.setRegionVisits(process, std::move(visits));
    const std::unordered_set<uint32_t> own(created.begin(), created.end());
    for (const CommInfo& c : ctx.comms())
        if (!c.predefined && !own.count(c.id) && ImportContext::localRank(c, rank) >= 0)
            builder.addKnownComm(process, c.id, c.members);
    const auto& memberLists = location.memberLists();
    static const std::vector<uint32_t> kNoMembers;
    for (size_t k = 0; k < calls.size(); ++k) {
        const TraceCall& c = calls[k];
        if (c.funcId == kFuncSection) {
            builder.addSectionMarker(process, c.location, c.start);
            continue;
        }
        const auto listed = memberLists.find(k);
        const std::vector<uint32_t>& members =
            listed == memberLists.end() ? kNoMembers : listed->second;
        const bool makes = (c.funcId & kFuncMembersBit) && !members.empty();
        if (makes || c.funcId == kFuncCommFree)
            builder.addCall(process, c, std::span<const uint32_t>(members));
        else
            builder.addCall(process, c);
    }
}

// The metric samples of one rank: our counter records back as counters,
// every other member of a metric class as a series of its own. Returns the
// samples kept in series.
uint64_t addMetrics(TraceBuilder& builder, const Definitions& defs,
                    const std::unordered_set<uint32_t>& counters, uint32_t rank,
                    const std::vector<MetricSample>& samples) {
    uint64_t kept = 0;
    // Series of this rank by metric member, in order of first sample.
    std::unordered_map<uint32_t, uint32_t> series;
    for (const MetricSample& m : samples) {
        if (counters.count(m.metric) && m.values.size() == 2) {
            builder.addCounter(static_cast<int32_t>(rank), static_cast<uint32_t>(m.values[1]),
                               static_cast<uint32_t>(m.values[0]));
            continue;
        }
        auto metric = defs.metrics.find(m.metric);
        if (metric == defs.metrics.end()) continue;
        const size_t n = std::min(m.values.size(), metric->second.members.size());
        for (size_t k = 0; k < n; ++k) {
            const uint32_t member = metric->second.members[k];
            auto at = series.find(member);
            if (at == series.end()) {
                auto def = defs.metricMembers.find(member);
                const bool named = def != defs.metricMembers.end();
                const uint32_t index = builder.addMetricSeries(
                    named ? def->second.name : "metric " + std::to_string(member),
                    named ? def->second.unit : "", static_cast<int32_t>(rank));
                at = series.emplace(member, index).first;
            }
            builder.addMetricSample(at->second, m.time, m.values[k]);
            ++kept;
        }
    }
    return kept;
}

} // namespace

bool importArchive(TTrace& trace, const std::string& anchorPath, std::ostream& errors,
                   const LoadProgress& progress, ImportSummary* summary, const LoadCancel* cancel) {
    ArchiveReader reader;
    std::string error;
    if (!reader.open(anchorPath, error)) {
        errors << error << std::endl;
        return false;
    }
    const Definitions& defs = reader.definitions();
    TraceBuilder builder(trace, errors);
    // The archive carries its own names, as a database would: section 0 is the main one.
    builder.nameSection(0, kMainSectionName);
    const ImportContext ctx(defs,
                            [&](const std::string& name) { return builder.nameFunction(name); });
    bool ok = ctx.problems().empty();
    reportLines(errors, ctx.problems());
    reportThreads(errors, ctx.otherThreads());
    const auto counters = counterMetrics(defs);

    NameIds sections, files;
    std::unordered_map<std::string, uint32_t> nodeIndex;
    std::vector<std::string> readProblems;
    ImportSummary seen;
    seen.otherThreads = ctx.otherThreads().size();
    ProgressStep reading(&progress, 0, 400);
    for (uint32_t rank = 0; rank < ctx.ranks().size(); ++rank) {
        // A stopped load keeps nothing of what it read, as for a .zlv trace.
        if (cancel && *cancel) {
            trace = TTrace();
            return false;
        }
        const RankInfo& info = ctx.ranks()[rank];
        LocationCalls lc(ctx, rank, sections, files);
        if (!reader.readLocation(
                info.location, [&](const Event& e) { lc.add(e); }, error))
            readProblems.push_back(error);
        const ImportedCalls calls = lc.finish();
        seen.metricSamples += addMetrics(builder, defs, counters, rank, lc.metrics());
        auto node = nodeIndex.find(info.node);
        if (node == nodeIndex.end())
            node =
                nodeIndex.emplace(info.node, builder.addNode(info.node, ipv4Of(info.node))).first;
        addProcess(builder, ctx, rank, node->second, calls, lc, std::move(lc.regionVisits()));
        reading.report(rank + 1, ctx.ranks().size());
    }
    reportLines(errors, readProblems);
    ok = ok && readProblems.empty();

    for (size_t i = 0; i < sections.names().size(); ++i)
        builder.nameSection(static_cast<uint32_t>(i + 1), sections.names()[i]);
    for (size_t i = 0; i < files.names().size(); ++i)
        builder.nameFile(static_cast<uint32_t>(i + 1), files.names()[i]);
    for (const auto& [id, name] : ctx.files()) builder.nameFile(id, name);
    for (const auto& [ref, m] : defs.metricMembers)
        if (m.name != kCounterLocationMetric && m.name != kCounterTimesMetric)
            seen.metricNames.push_back(m.name);
    std::sort(seen.metricNames.begin(), seen.metricNames.end());
    if (summary) *summary = seen;
    // As for a .zlv trace, a read that failed leaves the calls without links.
    if (!readProblems.empty()) return false;
    return builder.finish(progress, cancel) && ok;
}

} // namespace otf2in
