// Fuzz target: arbitrary bytes as a trace file. Loads them through the
// document, then reads everything the views, checks and statistics read,
// with in-range and out-of-range arguments, and checks the model's invariants.

#include "analysis/analysis_tables.h"
#include "analysis/rank_balance.h"
#include "analysis/reference/analysis_reference.h"
#include "analysis/scoped_calls.h"
#include "analysis/wait_index.h"
#include "appdb/node_address.h"
#include "fuzz/document_reads.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_entries.h"
#include "fuzz/scratch_file.h"
#include "model/call_info.h"
#include "model/check_lines.h"
#include "model/region_visits.h"
#include "model/stat_tables.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"
#include "model/traffic_rows.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// Rank pairs and sections for the traffic tallies are capped: each tally walks
// a whole call list, and the cap keeps one input's cost linear in its size.
constexpr size_t kTallyRanks = 6;
constexpr size_t kTallySections = 4;
// Rows of each statistics table that are computed (plus the last one).
constexpr uint32_t kTableRows = 6;

// Every line the loader may write starts with one of these.
bool knownLoaderMessage(const std::string& line) {
    static const char* const kPrefixes[] = {
        "Can't open file ",
        "Hren' kakaya-to - ",
        "Input file seems to be corrapted",
        "Input file is truncated: incomplete record at byte ",
        "Process with rank ",
        "Process(es) from node ",
        "Error: memory allocation error",
    };
    for (const char* p : kPrefixes)
        if (line.rfind(p, 0) == 0) return true;
    return false;
}

void checkMessages(const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) FUZZ_CHECK(knownLoaderMessage(line));
}

bool owns(const TProcess& p, const TFunc* call) {
    if (p.calls.empty()) return false;
    std::less<const TFunc*> before;
    return !before(call, &p.calls.front()) && before(call, &p.calls.back() + 1);
}

void checkStructure(const TTrace& trace) {
    std::unordered_map<uint32_t, const TProcess*> byRank;
    const uint32_t nodes = trace.nodeCount();
    for (const TProcess& p : trace.processes) {
        FUZZ_CHECK(byRank.emplace(p.rank, &p).second); // ranks are unique
        FUZZ_CHECK(p.nodeIndex < nodes);
        FUZZ_CHECK(p.comms.size() >= 2);
        FUZZ_CHECK(p.comms[0].id == kWorldComm && p.comms[1].id == kSelfComm);
        for (const TComm& c : p.comms) FUZZ_CHECK(c.members.size() == c.size);
    }
    // Node indices are dense and one node identifier has one index.
    std::unordered_map<uint32_t, uint32_t> indexOfNode;
    std::vector<bool> seen(nodes, false);
    for (const TProcess& p : trace.processes) {
        auto [it, fresh] = indexOfNode.emplace(p.nodeId, p.nodeIndex);
        FUZZ_CHECK(fresh || it->second == p.nodeIndex);
        seen[p.nodeIndex] = true;
    }
    FUZZ_CHECK(std::all_of(seen.begin(), seen.end(), [](bool b) { return b; }));

    // Kind bits as classification with the communicator the call saw gives them.
    for (const TProcess& p : trace.processes) {
        for (uint32_t k = 0; k < p.calls.size(); ++k) {
            const TFunc& f = p.calls[k];
            auto me = static_cast<int32_t>(p.rank);
            if (const TComm* c = p.findComm(f.comm, k)) me = c->toLocal(me);
            FUZZ_CHECK(f.kind == TFunc::classify(f.funcId, me, f.peer));
        }
    }

    // Every link leads to a receiving call of the process with the link's rank.
    for (const TProcess& p : trace.processes) {
        for (const TFunc& f : p.calls) {
            FUZZ_CHECK((f.linkCount == 0) == (f.links == nullptr));
            if (f.linkCount > 0) FUZZ_CHECK(f.kind & kKindSend);
            std::vector<TLink> copy(f.linkCount);
            FUZZ_CHECK(f.copyLinks(copy.data()) == f.linkCount);
            for (const TLink& l : copy) {
                auto it = byRank.find(l.rank);
                FUZZ_CHECK(it != byRank.end() && it->second != &p);
                FUZZ_CHECK(l.recv != nullptr && owns(*it->second, l.recv));
                FUZZ_CHECK(l.recv->kind & kKindRecv);
            }
        }
    }
}

void readPositions(TTrace& trace) {
    const uint32_t count = trace.processCount();
    for (uint32_t pos = 0; pos < count; ++pos) {
        const TProcess& p = trace.processes[pos];
        FUZZ_CHECK(trace.rankAt(pos) == static_cast<int32_t>(p.rank));
        FUZZ_CHECK(trace.nodeIdAt(pos) == p.nodeId);
        FUZZ_CHECK(trace.nodeIndexAt(pos) == p.nodeIndex);
        // A node with an address is named by it (one known by name only keeps its name).
        if (p.nodeIndex >= trace.nodes.size() || trace.nodes[p.nodeIndex].ipv4)
            FUZZ_CHECK(trace.nodeNameAt(pos) == dottedNodeId(p.nodeId));

        size_t walked = 0;
        for (TFunc* f = trace.firstCall(pos); f; f = trace.nextCall(pos)) {
            FUZZ_CHECK(++walked <= p.calls.size());
            (void)trace.funcName(f->baseFuncId());
            (void)callInfoText(trace, pos, *f);
        }
        FUZZ_CHECK(walked == p.calls.size());
        FUZZ_CHECK(trace.nextCall(pos) == nullptr);
        TFunc* last = trace.lastCall(pos);
        FUZZ_CHECK(last == (p.calls.empty() ? nullptr : &p.calls.back()));
    }
    for (uint32_t pos : {count, count + 1, UINT32_MAX}) {
        FUZZ_CHECK(trace.rankAt(pos) == -1);
        FUZZ_CHECK(trace.nodeIdAt(pos) == 0);
        FUZZ_CHECK(trace.nodeIndexAt(pos) == -1);
        FUZZ_CHECK(trace.firstCall(pos) == nullptr);
        FUZZ_CHECK(trace.nextCall(pos) == nullptr);
        FUZZ_CHECK(trace.lastCall(pos) == nullptr);
    }
}

void readRanks(TTrace& trace) {
    std::vector<int32_t> ranks;
    for (const TProcess& p : trace.processes) ranks.push_back(static_cast<int32_t>(p.rank));
    const size_t present = ranks.size();
    for (int32_t absent : {-1, INT32_MAX, INT32_MIN, static_cast<int32_t>(present)})
        if (!trace.processOfRank(absent)) ranks.push_back(absent);

    for (size_t i = 0; i < ranks.size(); ++i) {
        const int32_t rank = ranks[i];
        const bool exists = i < present;
        (void)trace.processDuration(rank);
        int64_t init = 7, fin = 7, send = 7, recv = 7;
        FUZZ_CHECK(trace.processTimes(rank, init, fin, send, recv) == 0);
        if (!exists) FUZZ_CHECK(init == 7 && fin == 7 && send == 7 && recv == 7);
        uint32_t nodeIndex = 0, nodeId = 0;
        FUZZ_CHECK(trace.nodeOfRank(rank, nodeIndex, nodeId) == exists);

        uint32_t pairs[64];
        for (uint32_t capacity : {0u, 1u, 5u, 64u}) {
            const uint32_t written = trace.openComms(rank, capacity, pairs);
            FUZZ_CHECK(uint64_t{written} * 2 <= capacity);
        }
        if (exists) (void)trace.processOfRank(rank)->openCommList();
    }

    // Sections named by markers, plus the whole run and one never named.
    std::set<uint32_t> sections{0, UINT32_MAX};
    for (const TProcess& p : trace.processes)
        for (const TFunc& f : p.calls)
            if (f.isSectionMarker() && sections.size() < kTallySections + 2)
                sections.insert(f.location);

    const size_t tallied = std::min(ranks.size(), kTallyRanks);
    for (size_t a = 0; a < tallied; ++a) {
        for (size_t b = 0; b < tallied; ++b) {
            for (uint32_t section : sections) {
                uint64_t sent = 0, received = 0;
                trace.messageCounts(ranks[a], ranks[b], sent, received, section);
                uint64_t sentSize = 0, receivedSize = 0;
                trace.dataSizes(ranks[a], ranks[b], sentSize, receivedSize, section);
            }
        }
        (void)trace.sectName(static_cast<uint32_t>(ranks[a]));
    }
    for (uint32_t section : sections) (void)trace.sectName(section);
}

void readTimesAndClocks(TTrace& trace) {
    const uint32_t nodes = trace.nodeCount();
    if (trace.loaded()) FUZZ_CHECK(trace.nodeClocks.size() == nodes);
    for (uint32_t n = 0; n <= nodes + 1; ++n) (void)trace.nodeOffset(n);
    FUZZ_CHECK(trace.nodeOffset(nodes) == 0);
    FUZZ_CHECK(trace.nodeOffset(UINT32_MAX) == 0);
    (void)trace.startTime();
    (void)trace.endTime();
}

void readCounters(const TTrace& trace) {
    const std::vector<TCounter> counters = trace.counters();
    FUZZ_CHECK(counters.size() == trace.counterList.size());
    if (!trace.loaded()) return;
    for (size_t i = 1; i < counters.size(); ++i) {
        const TCounter& a = counters[i - 1];
        const TCounter& b = counters[i];
        FUZZ_CHECK(a.rank < b.rank || (a.rank == b.rank && a.location <= b.location));
    }
    for (const TCounter& c : counters) (void)trace.fileName(c.location >> 16);
}

void readChecks(const TTrace& trace) {
    const CheckReport report = runChecks(trace, CheckSelection{});
    FUZZ_CHECK(!report.lines.empty() && report.lines.back() == "Checking complete");
    for (const std::string& line : report.lines) FUZZ_CHECK(line.find('\n') == std::string::npos);
}

void readTableRows(const StatTable& table) {
    FUZZ_CHECK(table.rowLabels.empty() || table.rowLabels.size() == table.rowCount);
    std::set<uint32_t> rows{table.rowCount}; // one past the end answers too
    for (uint32_t r = 0; r < std::min(table.rowCount, kTableRows); ++r) rows.insert(r);
    if (table.rowCount > 0) rows.insert(table.rowCount - 1);
    for (uint32_t r : rows) FUZZ_CHECK(table.rowCells(r).size() == table.columnLabels.size());
}

void readStatistics(const TTrace& trace) {
    const std::vector<SectionItem> items = sectionItems(trace);
    FUZZ_CHECK(!items.empty() && items.front().id == 0);
    for (const StatKindInfo& kind : statKinds()) {
        const size_t sections = kind.matrix ? kTallySections : 1;
        for (size_t i = 0; i < std::min(items.size(), sections); ++i)
            readTableRows(kind.table(trace, items[i].id, std::nullopt));
    }

    // The matrices' one-scan rows agree with the per-pair tallies of the model.
    const uint32_t columns = trace.processCount();
    const std::vector<const TProcess*> byRank = processesByRank(trace);
    FUZZ_CHECK(byRank.size() == columns);
    for (uint32_t r = 0; r < std::min<uint32_t>(columns, kTallyRanks); ++r) {
        if (!byRank[r]) continue;
        const TProcess& p = *byRank[r];
        for (size_t i = 0; i < std::min(items.size(), kTallySections); ++i) {
            const uint32_t section = items[i].id;
            const std::vector<TrafficCell> counts =
                trafficRow(p, columns, TrafficWeight::Messages, section);
            const std::vector<TrafficCell> sizes =
                trafficRow(p, columns, TrafficWeight::Bytes, section);
            FUZZ_CHECK(counts.size() == columns && sizes.size() == columns);
            for (uint32_t c = 0; c < std::min<uint32_t>(columns, kTallyRanks); ++c) {
                TrafficCell expected;
                p.countMessages(static_cast<int32_t>(c), expected.sent, expected.received, section);
                FUZZ_CHECK(counts[c] == expected);
                p.sumDataSize(static_cast<int32_t>(c), expected.sent, expected.received, section);
                FUZZ_CHECK(sizes[c] == expected);
            }
        }
    }
}

// The analysis figures and their tables answer on any input, and the fast
// walks agree with the plain ones (on inputs small enough for those).
void readAnalysis(TTrace& trace) {
    // Region visits of any source come in order of entry, none left before entered.
    for (const TProcess& p : trace.processes) {
        const ProcessRegions regions(p);
        int64_t entered = INT64_MIN;
        for (const TRegionVisit& v : regions.visits()) {
            FUZZ_CHECK(v.enter >= entered && v.leave >= v.enter);
            entered = v.enter;
        }
    }
    const TraceWindows windows(trace);
    const WaitIndex waitIndex(trace);
    std::vector<AnalysisScope> scopes{{}};
    if (!trace.isEmpty()) {
        const int64_t start = trace.startTime(), end = trace.endTime();
        const int64_t mid = start / 2 + end / 2;
        if (start < mid) scopes.push_back({TimeRange{start, mid}, 0, {}});
        scopes.push_back({std::nullopt, 0, {0}});
    }
    const bool small = callCount(trace.processes) <= 4000;
    for (const AnalysisScope& scope : scopes) {
        const Profile fast = profile(trace, scope, &windows);
        readTableRows(profileByFunctionTable(fast));
        readTableRows(profileByRankTable(fast));
        const RegionProfile regions = regionProfile(trace, scope, &windows);
        readTableRows(regionProfileTable(regions));
        FUZZ_CHECK(regionProfile(trace, scope) == regions);
        const MessageSizes sizes = messageSizes(trace, scope, &windows);
        readTableRows(messageSizesTable(sizes));
        const WaitStates waits = waitStates(trace, scope, 5);
        for (WaitsBy by : {WaitsBy::Kind, WaitsBy::Rank, WaitsBy::Function})
            readTableRows(waitsTable(waits, by));
        readTableRows(waitListTable(waits));
        FUZZ_CHECK(waitStates(trace, scope, 5, &waitIndex) == waits);
        const std::vector<RankBalance> balance = rankBalance(trace, scope, &windows);
        FUZZ_CHECK(balance.size() == fast.ranks.size());
        for (size_t i = 0; i < balance.size(); ++i)
            FUZZ_CHECK(balance[i].outside == fast.ranks[i].outside);
        if (!small) continue;
        FUZZ_CHECK(fast == referenceProfile(trace, scope));
        FUZZ_CHECK(sizes == referenceMessageSizes(trace, scope));
        FUZZ_CHECK(waits == referenceWaitStates(trace, scope, 5));
    }
    const std::vector<NodePairClocks> clocks = clockQuality(trace);
    readTableRows(clockQualityTable(clocks));
    if (small) FUZZ_CHECK(clocks == referenceClockQuality(trace));
}

void checkSorts(TTrace& trace) {
    trace.sortByRank();
    for (uint32_t pos = 1; pos < trace.processCount(); ++pos)
        FUZZ_CHECK(static_cast<uint32_t>(trace.rankAt(pos - 1)) <
                   static_cast<uint32_t>(trace.rankAt(pos)));
    trace.sortByNode();
    for (uint32_t pos = 1; pos < trace.processCount(); ++pos)
        FUZZ_CHECK(trace.nodeIndexAt(pos - 1) <= trace.nodeIndexAt(pos));
    checkStructure(trace); // sorting moves processes, never their calls
}

// Everything reading puts into a document, for comparing two readings.
std::string readingOf(const std::string& path, unsigned pieces) {
    TTrace t;
    std::ostringstream out;
    const bool ok = readTraceRecords(t, path, out, pieces);
    out << "|" << ok;
    for (const TProcess& p : t.processes) {
        out << "|P" << p.rank << ',' << p.nodeId << ',' << p.nodeIndex;
        for (const TFunc& f : p.calls)
            out << ";" << f.location << ',' << f.funcId << ',' << f.start << ',' << f.end << ','
                << f.kind << ',' << f.peer << ',' << f.comm << ',' << f.msgTag << ',' << f.size;
        for (const TComm& c : p.comms) {
            out << ";C" << c.id << ',' << c.size << ',' << c.createdAt << ',' << c.freedAt;
            for (uint32_t m : c.members) out << ',' << m;
        }
    }
    for (const TCounter& c : t.counterList)
        out << "|K" << c.rank << ',' << c.times << ',' << c.location;
    return out.str();
}

// Reading in pieces (as large files are read) gives what reading in one go gives.
void checkPiecesReadAsOneGo(const std::string& path) {
    const std::string whole = readingOf(path, 1);
    for (unsigned pieces : {2u, 3u}) FUZZ_CHECK(readingOf(path, pieces) == whole);
}

} // namespace

void readWholeDocument(TTrace& trace) {
    checkStructure(trace);
    readTimesAndClocks(trace);
    readPositions(trace);
    readRanks(trace);
    readCounters(trace);
    readChecks(trace);
    readStatistics(trace);
    readAnalysis(trace);
    checkSorts(trace);
    readPositions(trace);
}

int fuzzTraceEntry(const uint8_t* data, size_t size) {
    const std::string path = writeScratchFile("input.zlv", data, size);
    std::ostringstream dbMessages;
    std::ostringstream errors;
    TTrace trace(path, dbMessages, errors);
    checkMessages(errors.str());
    if (size == 0) FUZZ_CHECK(trace.loaded() && trace.isEmpty());
    checkPiecesReadAsOneGo(path);
    readWholeDocument(trace);
    return 0;
}
