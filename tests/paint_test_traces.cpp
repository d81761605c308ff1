#include "paint_test_traces.h"

#include "model/trace_loader.h"
#include "model/trace_writer.h"
#include "model/wrapping_math.h"
#include "tools/gen/trace_generator.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <sstream>

#include <unistd.h>

namespace {

std::string scratchPath(const std::string& name) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("zlv_paint_traces_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

// The written trace saved under `name` and loaded.
std::unique_ptr<TTrace> loadWritten(const TraceWriter& w, const std::string& name) {
    const std::string path = scratchPath(name + ".zlv");
    w.save(path);
    auto trace = std::make_unique<TTrace>();
    std::ostringstream errors;
    loadTrace(*trace, path, errors);
    return trace;
}

} // namespace

// Calls in roughly increasing time with overlaps, zero lengths, calls that run
// backwards, marks, unfinished sends and sends/receives that the loader links.
std::unique_ptr<TTrace> randomTrace(std::mt19937_64& rng, int n) {
    std::uniform_int_distribution<int> ranks(1, 16), pick(0, 99);
    const int count = ranks(rng);
    TraceWriter w;
    const uint32_t funcs[] = {kFuncSend,  kFuncRecv, kFuncIrecv,
                              kFuncWait,  65,        kFuncSend | kUnfinishedFlag,
                              kFuncBcast, 0x123};
    for (int r = 0; r < count; ++r) {
        w.declareProcess(static_cast<uint32_t>(r), nodeIdFromOctets(10, 0, 0, 1 + r % 3));
        w.shortCall(makeLocation(1, 1), kFuncInit, 0, 0);
        int64_t t = 0;
        const int calls = pick(rng) * 3;
        for (int i = 0; i < calls; ++i) {
            const int roll = pick(rng);
            t += roll < 60 ? roll % 3 : roll < 90 ? roll : -(roll % 20);
            int64_t len = pick(rng) < 70 ? pick(rng) % 4 : pick(rng) * 7;
            if (pick(rng) < 3) len = -len;
            const uint32_t f = funcs[pick(rng) % std::size(funcs)];
            const int32_t peer = static_cast<int32_t>(pick(rng) % count);
            if (f == kFuncSend || f == kFuncRecv || f == kFuncIrecv)
                w.longCall(makeLocation(2, i), f, t, t + len, 8, pick(rng) % 2, peer, kWorldComm);
            else
                w.shortCall(makeLocation(2, i), f, t, t + len);
        }
        w.shortCall(makeLocation(1, 2), kFuncFinalize, t + 5, t + 9);
    }
    return loadWritten(w, "random" + std::to_string(n));
}

// Many short calls per process, so that at the fitting zoom dozens of calls
// share each pixel column, and sends that each go to one of two partners and
// are received at nearly the same time: their link lines coincide or run
// down the same columns, one over another.
std::unique_ptr<TTrace> denseTrace(std::mt19937_64& rng, int n) {
    std::uniform_int_distribution<int> pick(0, 99);
    const int count = 3 + static_cast<int>(rng() % 14);
    const int rounds = 150 + pick(rng) * 4;
    struct Call {
        uint32_t funcId;
        int64_t start, end;
        int32_t peer; // -1: a short record
    };
    std::vector<std::vector<Call>> calls(count);
    std::vector<int64_t> t(count, 0);
    // Round by round every process sends to a partner, then every process
    // receives what was sent to it, so that the loader links them.
    for (int round = 0; round < rounds; ++round) {
        std::vector<int> to(count);
        for (int r = 0; r < count; ++r) {
            to[r] = (r + 1 + (pick(rng) < 70 ? 0 : count / 2)) % count;
            for (int k = pick(rng) % 4; k > 0; --k) {
                const uint32_t f = pick(rng) < 5   ? 65u
                                   : pick(rng) < 5 ? kFuncWait | kUnfinishedFlag
                                                   : kFuncWait;
                calls[r].push_back({f, t[r], t[r] + pick(rng) % 3, -1});
                t[r] += pick(rng) % 3;
            }
            calls[r].push_back({kFuncSend, t[r], t[r] + 1, to[r]});
            t[r] += 1 + pick(rng) % 2;
        }
        for (int r = 0; r < count; ++r)
            for (int from = 0; from < count; ++from)
                if (to[from] == r) {
                    calls[r].push_back({kFuncRecv, t[r], t[r] + pick(rng) % 4, from});
                    t[r] += 1 + pick(rng) % 3;
                }
    }
    TraceWriter w;
    for (int r = 0; r < count; ++r) {
        w.declareProcess(static_cast<uint32_t>(r), nodeIdFromOctets(10, 0, 0, 1 + r % 2));
        w.shortCall(makeLocation(1, 1), kFuncInit, 0, 0);
        for (const Call& c : calls[r]) {
            if (c.peer < 0)
                w.shortCall(makeLocation(2, 1), c.funcId, c.start, c.end);
            else
                w.longCall(makeLocation(2, 2), c.funcId, c.start, c.end, 8, 7, c.peer, kWorldComm);
        }
        w.shortCall(makeLocation(1, 2), kFuncFinalize, t[r] + 1, t[r] + 2);
    }
    return loadWritten(w, "dense" + std::to_string(n));
}

// Long runs of short plain calls, so that at the fitting zoom whole blocks
// of them fall into one pixel column, broken now and then by longer calls,
// calls that reach over those after them or run backwards, marks and
// unfinished calls; every few calls a send to the next process, received
// there (now and then after a long wait) in turn.
std::unique_ptr<TTrace> plainRunsTrace(std::mt19937_64& rng, int n) {
    std::uniform_int_distribution<int> pick(0, 99);
    const int count = 2 + static_cast<int>(rng() % 6);
    TraceWriter w;
    for (int r = 0; r < count; ++r) {
        w.declareProcess(static_cast<uint32_t>(r), nodeIdFromOctets(10, 0, 0, 1 + r % 2));
        w.shortCall(makeLocation(1, 1), kFuncInit, 0, 0);
        int64_t t = static_cast<int64_t>(rng() % 20);
        const int calls = 1500 + pick(rng) * 20;
        const int breaks = 1 + pick(rng) % 12; // in a thousand calls
        const int period = 3 + n * 7;          // calls from one send to the next
        for (int i = 0; i < calls; ++i) {
            const int roll = static_cast<int>(rng() % 1000);
            uint32_t f = i % 3 == 0 ? kFuncWait : 0x123;
            int64_t len = pick(rng) % 2;
            if (roll < breaks) {
                f = 65;
            } else if (roll < 2 * breaks) {
                f = kFuncWait | kUnfinishedFlag;
            } else if (roll < 3 * breaks) {
                len = 5 + pick(rng) * 3;
            }
            int64_t step = len + (pick(rng) < 10);
            if (roll >= 4 * breaks && roll < 6 * breaks) { // over the calls after it, or backwards
                len = roll % 2 ? 5 + pick(rng) % 40 : -(1 + pick(rng) % 20);
                step = 1;
            }
            if (i % period == 0) { // to the next process, received there in turn
                w.longCall(makeLocation(2, i), kFuncSend, t, t + len, 8, 3, (r + 1) % count,
                           kWorldComm);
            } else if (i % period == 1) { // from the one before; now and then a long wait
                const int64_t wait = pick(rng) < 50 ? 20 + pick(rng) * 5 : len;
                w.longCall(makeLocation(2, i), kFuncRecv, t, t + wait, 8, 3,
                           (r + count - 1) % count, kWorldComm);
            } else {
                w.shortCall(makeLocation(2, i), f, t, t + len);
            }
            t += step;
        }
        w.shortCall(makeLocation(1, 2), kFuncFinalize, t + 1, t + 2);
    }
    return loadWritten(w, "plain" + std::to_string(n));
}

std::unique_ptr<TTrace> generatedTrace(std::mt19937_64& rng, int n) {
    GenOptions o;
    o.pattern = GenPattern::Mixed;
    o.ranks = 2 + static_cast<uint32_t>(rng() % 15);
    o.nodes =
        1 + static_cast<uint32_t>(rng() % std::min<uint32_t>(4, o.ranks)); // at most one per rank
    o.iterations = 1 + static_cast<uint32_t>(rng() % 6);
    o.seed = rng();
    o.skewUs = static_cast<int64_t>(rng() % 2000);
    o.faults = static_cast<unsigned>(rng() % 16) & ~kFaultNoInit;
    const std::string path = scratchPath("gen" + std::to_string(n) + ".zlv");
    if (!generateTrace(o, path).ok) return nullptr;
    std::ostringstream db, errors;
    return std::make_unique<TTrace>(path, db, errors);
}

TimeSpan spanOf(const TTrace& trace) {
    TimeSpan s{INT64_MAX, INT64_MIN};
    for (uint32_t i = 0; i < trace.processCount(); ++i) {
        const int64_t shift = trace.nodeOffset(static_cast<uint32_t>(trace.nodeIndexAt(i)));
        for (const TFunc& f : trace.processes[i].calls) {
            s.lo = std::min(s.lo, wrapAdd(f.start, shift));
            s.hi = std::max(s.hi, wrapAdd(f.end, shift));
        }
    }
    if (s.lo > s.hi) s = {0, 1};
    return s;
}

ViewFilter randomViewFilter(std::mt19937_64& rng, const TTrace& trace, int linksPercent,
                            const std::vector<uint32_t>& functions) {
    std::uniform_int_distribution<int> pct(0, 99);
    ViewFilter filter(trace.nodeCount(), 16);
    filter.showLinks = pct(rng) < linksPercent;
    std::vector<uint32_t> nodes(filter.nodeCount()), ranks(16);
    for (auto& f : nodes) f = pct(rng) < 85;
    for (auto& f : ranks) f = pct(rng) < 85;
    filter.setNodeMask(static_cast<uint32_t>(nodes.size()), nodes.data());
    filter.setRankMask(static_cast<uint32_t>(ranks.size()), ranks.data());
    // Now and then some functions hidden, which every painter passes over.
    if (pct(rng) < 25)
        for (uint32_t id : functions)
            if (pct(rng) < 30) filter.setFuncVisible(id, false);
    return filter;
}
