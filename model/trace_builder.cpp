#include "model/trace_builder.h"

#include "model/member_list.h"
#include "model/memory_advice.h"
#include "model/record_source.h"
#include "model/region_visits.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"
#include "model/trace_writer.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace {

// Where link building hands over to clock alignment in the load's progress.
constexpr uint32_t kLinkedAt = 800;

} // namespace

struct TraceBuilder::State {
    State(TTrace& t, std::ostream& e) : trace(t), errors(e) {}

    TTrace& trace;
    std::ostream& errors;
    const uint64_t salt = freshSalt();
    MemberPool pool{salt};
    SaltedMap<uint32_t, ProcessHandle> byRank{0, SaltedHash{salt}};
    std::vector<CommTracker> trackers; // per process
    std::shared_ptr<CallBlock> block;  // where the call lists go
    std::unordered_map<std::string, uint32_t> functionIds;
    // Node identifiers by node index. A node known by name only still needs
    // one of its own, or it would share 0 with every other such node:
    // 0.x.y.z numbered from 1, past the addresses taken (past 2^24 of them
    // they are shared).
    std::vector<uint32_t> nodeIds;
    std::unordered_set<uint32_t> takenNodeIds;
    uint32_t unaddressedNodes = 0;
};

TraceBuilder::TraceBuilder(TTrace& trace, std::ostream& errors)
    : state_(std::make_unique<State>(trace, errors)) {}

TraceBuilder::~TraceBuilder() = default;

void TraceBuilder::useCallBlock(std::shared_ptr<CallBlock> block) {
    state_->block = std::move(block);
}

void TraceBuilder::restart() {
    TTrace& trace = state_->trace;
    trace.processes.clear();
    trace.counterList.clear();
    trace.nodes.clear();
    trace.functionNames.clear();
    trace.metrics.clear();
    std::ostream& errors = state_->errors;
    state_ = std::make_unique<State>(trace, errors);
}

uint32_t TraceBuilder::addNode(std::string name, std::optional<uint32_t> ipv4) {
    State& s = *state_;
    uint32_t id = ipv4.value_or(0);
    constexpr uint32_t kUnaddressedIds = 1u << 24;
    while (!ipv4 && (id == 0 || s.takenNodeIds.contains(id)) &&
           s.unaddressedNodes < kUnaddressedIds) {
        const uint32_t k = ++s.unaddressedNodes;
        id = nodeIdFromOctets(0, static_cast<uint8_t>(k >> 16), static_cast<uint8_t>(k >> 8),
                              static_cast<uint8_t>(k));
    }
    s.takenNodeIds.insert(id);
    s.nodeIds.push_back(id);
    s.trace.nodes.push_back(TNode{std::move(name), ipv4});
    return static_cast<uint32_t>(s.trace.nodes.size() - 1);
}

TraceBuilder::ProcessHandle TraceBuilder::declareProcess(int32_t rank, uint32_t nodeIndex,
                                                         uint64_t expectedCalls, bool backLater) {
    State& s = *state_;
    const auto key = static_cast<uint32_t>(rank);
    if (auto it = s.byRank.find(key); it != s.byRank.end()) return it->second;
    const uint32_t nodeId = nodeIndex < s.nodeIds.size() ? s.nodeIds[nodeIndex] : 0;
    const auto handle = static_cast<ProcessHandle>(s.trace.processes.size());
    TProcess& p = s.trace.processes.emplace_back(nodeIndex, nodeId, key);
    if (expectedCalls > 0) {
        p.calls = TCallList(CallAllocator<TFunc>(s.block));
        p.calls.reserve(expectedCalls);
        if (!backLater) prefaultForWriting(p.calls.data(), p.calls.capacity() * sizeof(TFunc));
    }
    s.byRank.emplace(key, handle);
    s.trackers.emplace_back(p, s.salt);
    return handle;
}

std::optional<TraceBuilder::ProcessHandle> TraceBuilder::findProcess(int32_t rank) const {
    auto it = state_->byRank.find(static_cast<uint32_t>(rank));
    if (it == state_->byRank.end()) return std::nullopt;
    return it->second;
}

void TraceBuilder::addCall(ProcessHandle process, const TraceCall& call,
                           std::optional<std::span<const uint32_t>> members) {
    State& s = *state_;
    TProcess& p = s.trace.processes[process];
    CommTracker& comms = s.trackers[process];
    const auto callIndex = static_cast<uint32_t>(p.calls.size());
    if (members) {
        if (call.funcId == kFuncCommFree)
            comms.free(p, call.comm, callIndex);
        else
            comms.add(p, TComm{call.comm, static_cast<uint32_t>(members->size()),
                               s.pool.intern(*members), callIndex, 0});
    }
    // Only the rooted collectives need the communicator's own local rank.
    const int32_t me = classifyNeedsOwnRank(call.funcId) ? comms.ownRankFor(p, call.comm, callIndex)
                                                         : static_cast<int32_t>(p.rank);
    p.addCall(makeCall(call, me));
}

void TraceBuilder::addSectionMarker(ProcessHandle process, uint32_t section, int64_t at) {
    addCall(process, TraceCall{section, kFuncSection, at, at});
}

void TraceBuilder::setRegionVisits(ProcessHandle process, std::vector<TRegionVisit> visits) {
    nestRegionVisits(visits);
    state_->trace.processes[process].regions = std::move(visits);
}

void TraceBuilder::addKnownComm(ProcessHandle process, uint32_t id,
                                std::span<const uint32_t> globalMembers) {
    if (id == kWorldComm || id == kSelfComm) return;
    State& s = *state_;
    TProcess& p = s.trace.processes[process];
    const auto from = static_cast<uint32_t>(p.calls.size());
    s.trackers[process].add(p, TComm{id, static_cast<uint32_t>(globalMembers.size()),
                                     s.pool.intern(globalMembers), from, kNeverFreed});
}

void TraceBuilder::nameSection(uint32_t id, std::string name) {
    state_->trace.sectionNames.set(id, std::move(name));
}

void TraceBuilder::nameFile(uint32_t id, std::string name) {
    state_->trace.fileNames.set(id, std::move(name));
}

void TraceBuilder::addCounter(int32_t rank, uint32_t times, uint32_t location) {
    state_->trace.counterList.push_back(TCounter{static_cast<uint32_t>(rank), times, location});
}

uint32_t TraceBuilder::nameFunction(std::string name) {
    State& s = *state_;
    if (auto it = s.functionIds.find(name); it != s.functionIds.end()) return it->second;
    const auto k = static_cast<uint32_t>(s.functionIds.size());
    // Past the range every further name shares its last identifier.
    const uint32_t id = traceFuncId(std::min(k, kTraceFuncLimit - 1));
    s.functionIds.emplace(name, id);
    s.trace.functionNames.try_emplace(id, std::move(name));
    return id;
}

uint32_t TraceBuilder::addMetricSeries(std::string name, std::string unit, int32_t rank) {
    std::vector<TMetricSeries>& metrics = state_->trace.metrics;
    metrics.push_back({std::move(name), std::move(unit), static_cast<uint32_t>(rank), {}});
    return static_cast<uint32_t>(metrics.size() - 1);
}

void TraceBuilder::addMetricSample(uint32_t series, int64_t time, double value) {
    state_->trace.metrics[series].samples.push_back({time, value});
}

void TraceBuilder::backCalls(ProcessHandle process, uint64_t from, uint64_t to) const {
    const TCallList& calls = state_->trace.processes[process].calls;
    to = std::min<uint64_t>(to, calls.capacity());
    if (from < to) prefaultForWriting(calls.data() + from, (to - from) * sizeof(TFunc));
}

std::span<TFunc> TraceBuilder::fillCalls(ProcessHandle process, uint64_t count) {
    TCallList& calls = state_->trace.processes[process].calls;
    calls.resize(count);
    return calls;
}

TFunc TraceBuilder::makeCall(const TraceCall& c, int32_t ownLocalRank) {
    return TFunc::make(c.location, c.funcId, c.start, c.end, c.peer, c.comm, c.msgTag, c.size,
                       ownLocalRank);
}

bool TraceBuilder::kindNeedsOwnRank(uint32_t funcId) {
    return classifyNeedsOwnRank(funcId);
}

int32_t TraceBuilder::ownRankInKnownComm(ProcessHandle process, uint32_t comm) const {
    const TProcess& p = state_->trace.processes[process];
    const TComm* c = p.findComm(comm, 0);
    return c ? c->toLocal(static_cast<int32_t>(p.rank)) : static_cast<int32_t>(p.rank);
}

void TraceBuilder::setTimeSums(ProcessHandle process, const TTimeSums& sums) {
    state_->trace.processes[process].timeSums = sums;
}

CommSettling TraceBuilder::settle(ProcessHandle process) {
    return CommSettling(state_->trace.processes[process], state_->salt);
}

namespace {

// A stopped load keeps nothing of what it read.
bool stoppedLoad(TTrace& trace, const LoadCancel* cancel) {
    if (!cancel || !cancel->load()) return false;
    trace = TTrace();
    releaseFreedMemory();
    return true;
}

void sortCounters(TTrace& trace) {
    std::sort(trace.counterList.begin(), trace.counterList.end(),
              [](const TCounter& a, const TCounter& b) {
                  return a.rank != b.rank ? a.rank < b.rank : a.location < b.location;
              });
}

} // namespace

bool TraceBuilder::finishWithoutLinks(const LoadProgress& progress, const LoadCancel* cancel) {
    TTrace& trace = state_->trace;
    if (stoppedLoad(trace, cancel)) return false;
    sortCounters(trace);
    // What alignClocks does before its sweeps: all that can fail, or say anything.
    const bool aligned = alignClocksOnInit(trace, state_->errors);
    ProgressStep(&progress, kLoadReadDone, 1000).finish();
    return aligned;
}

bool TraceBuilder::finish(const LoadProgress& progress, const LoadCancel* cancel) {
    TTrace& trace = state_->trace;
    auto stopped = [&] { return stoppedLoad(trace, cancel); };
    if (stopped()) return false;
    sortCounters(trace);
    releaseFreedMemory();
    ProgressStep linking(&progress, kLoadReadDone, kLinkedAt, cancel);
    LinkedSends linked;
    buildLinks(trace, 0, &linking, &linked);
    releaseFreedMemory();
    if (stopped()) return false;
    ProgressStep aligning(&progress, kLinkedAt, 1000, cancel);
    const bool aligned = alignClocks(trace, state_->errors, 0, &aligning, &linked);
    releaseFreedMemory();
    if (stopped()) return false;
    aligning.finish();
    return aligned;
}

// ---------------------------------------------------------------- CommSettling

CommSettling::CommSettling(TProcess& process, uint64_t salt)
    : process_(process), tracker_(process, salt) {}

void CommSettling::change(CommChange&& c) {
    if (c.frees)
        tracker_.free(process_, c.comm.id, c.callIndex);
    else
        tracker_.add(process_, std::move(c.comm));
}

void CommSettling::classify(uint32_t callIndex) {
    TFunc& f = process_.calls[callIndex];
    f.kind = TFunc::classify(f.funcId, tracker_.ownRankFor(process_, f.comm, callIndex), f.peer);
    if (process_.timeSums) process_.timeSums->addKind(f);
}
