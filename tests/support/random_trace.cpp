#include "tests/support/random_trace.h"

#include "model/trace_model.h"
#include "model/trace_writer.h"

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

namespace {

class Dice {
  public:
    explicit Dice(uint64_t seed) : engine_(seed) {}
    uint32_t below(uint32_t n) {
        return std::uniform_int_distribution<uint32_t>(0, n - 1)(engine_);
    }
    bool chance(uint32_t percent) { return below(100) < percent; }
    template <typename T>
    const T& pick(const std::vector<T>& v) {
        return v[below(static_cast<uint32_t>(v.size()))];
    }
    std::mt19937_64& engine() { return engine_; }

  private:
    std::mt19937_64 engine_;
};

struct ProcessPlan {
    uint32_t rank;
    uint32_t nodeId;
    int64_t clock; // next start time on this process's own clock
    bool initDone = false;
    std::vector<uint32_t> liveComms; // created and not yet freed
    bool inShared = false;           // a member of the shared communicator
};

// The shared communicator, made alike by all its members as MPI programs do:
// its local ranks are global ranks in another order, so that collectives and
// messages on it link only when roots and peers are translated.
constexpr uint32_t kSharedComm = kRandomSharedComm;

bool isLive(const ProcessPlan& p, uint32_t id) {
    return std::find(p.liveComms.begin(), p.liveComms.end(), id) != p.liveComms.end();
}

} // namespace

std::string randomTraceBytes(uint64_t seed, const RandomTraceOptions& options) {
    Dice dice(seed);
    const uint32_t n = 1 + dice.below(options.maxProcesses);
    const uint32_t nodes = 1 + dice.below(std::min<uint32_t>(n, 5));

    // Ranks 0..n-1, sometimes declared in a shuffled order.
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    if (dice.chance(40)) std::shuffle(order.begin(), order.end(), dice.engine());

    // Sometimes ranks far apart, as a trace that breaks the rank rule may have them.
    const uint32_t rankStep = dice.chance(15) ? 7919 : 1;
    // Node clocks far apart, so that alignment has work to do; sometimes so
    // far that a send and its receive are more than 32 bits of microseconds
    // apart, or that the offsets wrap around.
    const int64_t skewUnit = dice.chance(10)  ? int64_t{1} << 40
                             : dice.chance(5) ? int64_t{1} << 61
                                              : 5000;
    std::vector<ProcessPlan> plans;
    for (uint32_t r = 0; r < n; ++r) {
        const uint32_t node = dice.below(nodes);
        const int64_t skew = int64_t{node % 4} * skewUnit - int64_t{dice.below(3000)};
        plans.push_back({r * rankStep,
                         nodeIdFromOctets(10, 0, 0, static_cast<uint8_t>(node + 1)),
                         skew,
                         false,
                         {}});
    }

    // The shapes below take their own dice, so that the other traces stay
    // what they were. Sometimes a shared communicator over a shuffled subset
    // of the ranks.
    Dice shapes(seed ^ 0x5A17ED0C0FFEEull);
    std::vector<uint32_t> shared;
    if (n >= 2 && shapes.chance(50)) {
        for (const ProcessPlan& p : plans)
            if (shapes.chance(70)) shared.push_back(p.rank);
        std::shuffle(shared.begin(), shared.end(), shapes.engine());
        for (ProcessPlan& p : plans)
            p.inShared = std::find(shared.begin(), shared.end(), p.rank) != shared.end();
    }
    const auto sharedSize = static_cast<uint32_t>(shared.size());

    const std::vector<uint32_t> traffic =
        options.pointToPointOnly
            ? std::vector<uint32_t>{kFuncSend,      kFuncRecv,      kFuncIsend, kFuncIrecv,
                                    kFuncWaitIsend, kFuncWaitIrecv, kFuncWait}
            : std::vector<uint32_t>{kFuncSend,      kFuncRecv,      kFuncIsend,  kFuncIrecv,
                                    kFuncWaitIsend, kFuncWaitIrecv, kFuncBcast,  kFuncReduce,
                                    kFuncScatter,   kFuncScatterv,  kFuncGather, kFuncGatherv,
                                    kFuncWait,      kFuncSend,      kFuncRecv,   kFuncBcast,
                                    kFuncReduce};
    const uint32_t tags = 1 + dice.below(4);
    const std::vector<uint32_t> commIds = {kWorldComm, kWorldComm, kWorldComm, kSelfComm,
                                           200,        201,        77};

    TraceWriter w;
    // Calls in runs: a run re-declares its process and appends to it.
    const uint32_t runs = n + dice.below(3 * n + 1);
    const uint32_t callsPerRun = 1 + options.maxCallsPerProcess * n / runs;
    for (uint32_t run = 0; run < runs; ++run) {
        const uint32_t who = run < n ? order[run] : dice.below(n);
        ProcessPlan& p = plans[who];
        w.declareProcess(p.rank, p.nodeId);
        const uint32_t calls = run < n && dice.chance(5) ? 0 : dice.below(callsPerRun + 1);
        for (uint32_t c = 0; c < calls; ++c) {
            const int64_t start = p.clock + dice.below(20);
            const int64_t end = start + dice.below(400);
            p.clock = end;
            const uint32_t location = makeLocation(1 + dice.below(3), 1 + dice.below(50));
            if (!p.initDone) {
                p.initDone = true;
                if (!dice.chance(8)) {
                    w.shortCall(location, kFuncInit, start, end);
                    continue;
                }
            }
            const uint32_t what = dice.below(100);
            if (p.inShared && !isLive(p, kSharedComm) && shapes.chance(30)) {
                w.commCall(location, kFuncCommSplit, start, end, kSharedComm, shared);
                p.liveComms.push_back(kSharedComm);
            } else if (what < 6) {
                // A new communicator: a shuffled subset, sometimes with repeats or ranks
                // that no process has, sometimes empty.
                std::vector<uint32_t> members;
                const uint32_t size = dice.below(n + 2);
                for (uint32_t m = 0; m < size; ++m) members.push_back(dice.below(n + 1) * rankStep);
                if (dice.chance(50)) members.push_back(p.rank);
                if (dice.chance(40)) {
                    // As real communicators list them: ascending, no repeats.
                    std::sort(members.begin(), members.end());
                    members.erase(std::unique(members.begin(), members.end()), members.end());
                }
                const uint32_t id = dice.chance(80) ? 200 + dice.below(2) : 91 + dice.below(2);
                const uint32_t func = kFuncCommDup + dice.below(4);
                w.commCall(location, func, start, end, id, members);
                p.liveComms.push_back(id);
            } else if (what < 9 && !p.liveComms.empty()) {
                const uint32_t id = dice.pick(p.liveComms);
                const std::vector<uint32_t> none;
                w.commCall(location, kFuncCommFree, start, end, id, none);
                p.liveComms.erase(std::find(p.liveComms.begin(), p.liveComms.end(), id));
            } else if (what < 11) {
                w.sectionMarker(1 + dice.below(3), start);
            } else if (what < 20) {
                // Short record: keeps the last long record's size, tag, peer and communicator.
                w.shortCall(location, dice.pick(traffic), start, end);
            } else {
                uint32_t func = dice.pick(traffic);
                if (dice.chance(3)) func |= kUnfinishedFlag;
                int32_t peer = static_cast<int32_t>(dice.below(n + 1));
                if (rankStep != 1 && dice.chance(50)) peer *= static_cast<int32_t>(rankStep);
                if (dice.chance(10)) peer = -1;
                if (dice.chance(10)) peer = static_cast<int32_t>(p.rank); // self-send, own root
                if (dice.chance(10)) peer = 0;
                uint32_t comm = dice.chance(85) ? dice.pick(commIds) : 300 + dice.below(2);
                if (isLive(p, kSharedComm) && shapes.chance(40)) {
                    // Local ranks; roots among the first few, so that members agree.
                    comm = kSharedComm;
                    peer = static_cast<int32_t>(shapes.below(shapes.chance(50) ? 2 : sharedSize));
                    if (shapes.chance(5)) peer = -1;
                } else if (comm == kSelfComm && shapes.chance(50)) {
                    peer = 0; // the process itself
                }
                w.longCall(location, func, start, end, dice.below(5000), dice.below(tags), peer,
                           comm);
            }
        }
        if (dice.chance(10)) w.counter(dice.below(100), makeLocation(1, dice.below(20)));
        if (dice.chance(5)) w.skipRecord66();
    }
    return w.bytes();
}
