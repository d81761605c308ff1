#pragma once
// Fills an empty trace document from any trace source: nodes, processes,
// their calls and communicators, names and counters; then links sends to
// receives and aligns the node clocks. What a call means (its kind bits, the
// communicators it makes or frees) is decided here, so that every source
// gets the same document for the same calls.
//
// Calls of one process come in call order through addCall. A source that
// reads the calls of many processes on several workers uses the bulk path
// instead: fillCalls, makeCall, setTimeSums and settle.

#include "model/call_memory.h"
#include "model/comm_tracker.h"
#include "model/load_progress.h"
#include "model/trace_model.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

class TTrace;

// One call as a source hands it over.
struct TraceCall {
    uint32_t location = 0; // file << 16 | line; a section marker: the section's identifier
    uint32_t funcId = 0;   // may carry kUnfinishedFlag
    int64_t start = 0;     // raw microseconds of the node's clock
    int64_t end = 0;
    int32_t peer = 0; // local to comm: destination, source or root
    uint32_t comm = 0;
    uint32_t msgTag = 0;
    uint32_t size = 0; // data size; the member count of a call with a member list
};

// A communicator made or freed by call `callIndex` of a process (bulk path).
struct CommChange {
    uint32_t callIndex = 0;
    bool frees = false;
    TComm comm; // frees: only the identifier
};

// Where the load's progress stands when the source has read everything:
// finish reports link building and clock alignment in the rest.
constexpr uint32_t kLoadReadDone = 400;

// Replays, in call order, the communicator changes of one process whose
// calls were filled out of order, and gives the kinds of the calls that
// waited for them, as adding the calls in call order would have.
class CommSettling {
  public:
    CommSettling(TProcess& process, uint64_t salt);
    // Changes and classify calls come in ascending call order.
    void change(CommChange&& c);
    // The kind of call k from the communicators as of it, added to the
    // process's time sums.
    void classify(uint32_t callIndex);

  private:
    TProcess& process_;
    CommTracker tracker_;
};

class TraceBuilder {
  public:
    using ProcessHandle = uint32_t;

    // trace: empty. Messages of the load go to `errors`.
    TraceBuilder(TTrace& trace, std::ostream& errors);
    ~TraceBuilder();
    TraceBuilder(const TraceBuilder&) = delete;
    TraceBuilder& operator=(const TraceBuilder&) = delete;

    // Call lists come from `block` from now on (one block for the whole load).
    void useCallBlock(std::shared_ptr<CallBlock> block);
    // Empties the document and forgets everything added, to read again.
    void restart();

    // --- nodes and processes
    // A node; its index, dense in order of adding. `name` is what tables and
    // texts show (a .zlv trace names a node by its dotted address).
    uint32_t addNode(std::string name, std::optional<uint32_t> ipv4);
    // The process of `rank` on node `nodeIndex`. A rank declared before
    // continues its process (its node stays). `expectedCalls` reserves its
    // call list when the source knows the count; its pages are faulted in
    // now, or with `backLater` left to backCalls.
    ProcessHandle declareProcess(int32_t rank, uint32_t nodeIndex, uint64_t expectedCalls = 0,
                                 bool backLater = false);
    // The process of `rank`, when declared.
    std::optional<ProcessHandle> findProcess(int32_t rank) const;

    // --- calls, in call order per process
    // Appends a call. `members`: for a call that makes a communicator, the
    // global ranks of its members in local rank order; for kFuncCommFree
    // (whose list is not looked at) an empty list frees the communicator
    // `call.comm`. Without a list the call makes and frees nothing.
    void addCall(ProcessHandle process, const TraceCall& call,
                 std::optional<std::span<const uint32_t>> members = std::nullopt);
    // A section begins on the process at time `at`.
    void addSectionMarker(ProcessHandle process, uint32_t section, int64_t at);
    // The region visits of a source that records regions entered and left,
    // in the order they were entered; made to nest (nestRegionVisits).
    void setRegionVisits(ProcessHandle process, std::vector<TRegionVisit> visits);
    // A communicator the process knows from the start (other formats declare
    // them up front); 91 and 92 are known already. Usable by the calls added
    // after it; like those two, it is never freed and no call made it.
    void addKnownComm(ProcessHandle process, uint32_t id, std::span<const uint32_t> globalMembers);

    // --- names and counters
    void nameSection(uint32_t id, std::string name);
    void nameFile(uint32_t id, std::string name);
    // rank: of the process the counter belongs to; -1 before any process.
    void addCounter(int32_t rank, uint32_t times, uint32_t location);
    // A function identifier, beyond the fixed and the tracer's tables, under
    // which the document names `name`; the same name gets the same one.
    uint32_t nameFunction(std::string name);
    // A metric (hardware counter or the like) of the process of `rank`: the
    // index of its series, for addMetricSample.
    uint32_t addMetricSeries(std::string name, std::string unit, int32_t rank);
    // A sample at `time`, raw microseconds of the node's clock as call times are.
    void addMetricSample(uint32_t series, int64_t time, double value);

    // --- bulk path: calls of many processes filled by several workers
    // The call list of a declared process at `count` calls, to be written in
    // any order with makeCall. Once every process is declared, may run on
    // several threads at once for different processes.
    std::span<TFunc> fillCalls(ProcessHandle process, uint64_t count);
    // Faults in the reserved room of calls [from, to) of a process declared
    // with backLater, before fillCalls; slices of the lists on several
    // threads at once.
    void backCalls(ProcessHandle process, uint64_t from, uint64_t to) const;
    // The call as addCall would store it; `ownLocalRank` is the process's
    // local rank in the call's communicator, needed only where
    // kindNeedsOwnRank(call.funcId) (else any value).
    static TFunc makeCall(const TraceCall& call, int32_t ownLocalRank);
    static bool kindNeedsOwnRank(uint32_t funcId);
    // The process's local rank in a communicator it knows from the start
    // (what makeCall needs on a process whose calls make or free none).
    int32_t ownRankInKnownComm(ProcessHandle process, uint32_t comm) const;
    // What the process's filled calls sum to (TTimeSums; calls whose kind
    // settle gives later by function only).
    void setTimeSums(ProcessHandle process, const TTimeSums& sums);

    // Replays the communicator changes of a process filled out of order
    // (see CommSettling). One at a time per process; processes in parallel.
    CommSettling settle(ProcessHandle process);

    // --- the end
    // Links sends to receives and aligns the clocks, as loading a .zlv trace
    // does; true when the document is complete. A source whose reading
    // failed returns false without calling it, so that what was read stays.
    // Once `cancel` is set it stops after the work under way and leaves the
    // document empty.
    bool finish(const LoadProgress& progress = {}, const LoadCancel* cancel = nullptr);
    // The same without the links and the clock sweeps (LoadDepth::WithoutLinks):
    // the same result, messages and process order.
    bool finishWithoutLinks(const LoadProgress& progress = {}, const LoadCancel* cancel = nullptr);

  private:
    struct State;
    std::unique_ptr<State> state_;
};
