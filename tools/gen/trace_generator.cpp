#include "tools/gen/trace_generator.h"

#include "model/trace_document.h"
#include "model/trace_model.h"
#include "model/trace_writer.h"
#include "tools/gen/gen_mpi.h"
#include "tools/gen/gen_patterns.h"
#include "tools/gen/gen_pingpong.h"
#include "tools/gen/gen_sim.h"

#include <numeric>
#include <vector>

namespace {

// Sections of the mixed program, as named in the .fdb.
constexpr uint32_t kSectionRing = 1;
constexpr uint32_t kSectionStencil = 2;
constexpr uint32_t kSectionMasterWorker = 3;
constexpr uint32_t kSectionCollectives = 4;

// MPI_Init ends at the same true time everywhere: it synchronises the start.
constexpr int64_t kInitEnd = 50000;
constexpr uint32_t kLostTag = 999;

FdbContents databaseFor(GenPattern pattern) {
    FdbContents db;
    db.files = {{kFileMain, "main.c"},
                {kFileRing, "ring.c"},
                {kFileStencil, "stencil.c"},
                {kFileMasterWorker, "master_worker.c"},
                {kFileCollectives, "collectives.c"}};
    // Only its own program names the file: the other databases stay as they were.
    if (pattern == GenPattern::PingPong) db.files[kFilePingPong] = "pingpong.c";
    if (pattern == GenPattern::Mixed)
        db.sections = {{kSectionRing, "ring"},
                       {kSectionStencil, "stencil"},
                       {kSectionMasterWorker, "master_worker"},
                       {kSectionCollectives, "collectives"}};
    return db;
}

void initialize(GenSim& sim) {
    const GenOptions& o = sim.options();
    for (uint32_t r = 0; r < sim.ranks(); ++r) {
        const int64_t start = sim.random().between(0, 3000); // processes start unevenly
        const bool skipped = (o.faults & kFaultNoInit) && sim.nodeOf(r) == o.nodes - 1;
        if (!skipped) sim.shortCall(r, makeLocation(kFileMain, 10), kFuncInit, start, kInitEnd);
        sim.now(r) = kInitEnd;
    }
    if (o.faults & kFaultUnfreedComm) {
        std::vector<uint32_t> all(sim.ranks());
        std::iota(all.begin(), all.end(), 0u);
        const GenComm leaked{sim.newCommId(), all};
        const std::vector<const GenComm*> leakedOf(sim.ranks(), &leaked);
        genCreateComms(sim, all, kFuncCommDup, leakedOf, makeLocation(kFileMain, 12));
    }
}

void finalize(GenSim& sim) {
    const GenOptions& o = sim.options();
    if (o.faults & kFaultLostRecv)
        genSend(sim, 0, 1, kLostTag, 128, kWorldComm, makeLocation(kFileMain, 20));
    const int64_t end = sim.latestOfAll() + 30;
    for (uint32_t r = 0; r < sim.ranks(); ++r) {
        uint32_t funcId = kFuncFinalize;
        if ((o.faults & kFaultUnfinished) && r == sim.ranks() - 1) funcId |= kUnfinishedFlag;
        sim.shortCall(r, makeLocation(kFileMain, 22), funcId, sim.now(r),
                      end + sim.random().between(0, 10));
    }
}

void sectionAll(GenSim& sim, uint32_t section) {
    for (uint32_t r = 0; r < sim.ranks(); ++r) sim.section(r, section);
}

// All four patterns, each in its own section; the buffers are written out at
// each section's end, so every process appears in several runs.
void runMixed(GenSim& sim, uint32_t iterations) {
    sectionAll(sim, kSectionRing);
    genRing(sim, iterations);
    sim.flushAll();
    sectionAll(sim, kSectionStencil);
    genStencil(sim, iterations);
    sim.flushAll();
    sectionAll(sim, kSectionMasterWorker);
    const std::vector<uint32_t> tasks = genMasterWorker(sim, iterations);
    sim.flushAll();
    sectionAll(sim, kSectionCollectives);
    genCollectives(sim, iterations);
    sectionAll(sim, 0);
    // How often the instrumented loop bodies ran.
    for (uint32_t r = 0; r < sim.ranks(); ++r) {
        sim.counter(r, iterations, makeLocation(kFileRing, 30));
        sim.counter(r, iterations, makeLocation(kFileStencil, 40));
        sim.counter(r, tasks[r], makeLocation(kFileMasterWorker, r == 0 ? 55 : 69));
        sim.counter(r, iterations, makeLocation(kFileCollectives, 24));
    }
}

void runProgram(GenSim& sim) {
    const uint32_t k = sim.options().iterations;
    initialize(sim);
    switch (sim.options().pattern) {
    case GenPattern::Ring:
        genRing(sim, k);
        break;
    case GenPattern::Stencil:
        genStencil(sim, k);
        break;
    case GenPattern::MasterWorker:
        genMasterWorker(sim, k);
        break;
    case GenPattern::Collectives:
        genCollectives(sim, k);
        break;
    case GenPattern::Mixed:
        runMixed(sim, k);
        break;
    case GenPattern::PingPong:
        genPingPong(sim, k);
        break;
    }
    finalize(sim);
    sim.flushAll();
}

} // namespace

GenResult generateTrace(const GenOptions& options, const std::string& tracePath) {
    GenResult result;
    result.error = checkOptions(options);
    if (!result.error.empty()) return result;
    const auto fdbPath = databaseNameFor(tracePath);
    if (!fdbPath || *fdbPath == tracePath) {
        result.error = "the trace name needs a three-character extension, such as .zlv";
        return result;
    }
    result.fdbPath = *fdbPath;

    TraceWriter out;
    if (!out.open(tracePath)) {
        result.error = "cannot create " + tracePath;
        return result;
    }
    GenSim sim(options, out);
    runProgram(sim);
    if (!out.close()) {
        result.error = "cannot write " + tracePath;
        return result;
    }
    if (!saveText(*fdbPath, fdbText(databaseFor(options.pattern)))) {
        result.error = "cannot write " + *fdbPath;
        return result;
    }
    result.ok = true;
    result.processes = options.ranks;
    result.calls = sim.callCount();
    result.bytes = out.size();
    return result;
}
