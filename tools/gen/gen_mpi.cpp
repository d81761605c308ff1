#include "tools/gen/gen_mpi.h"

#include "model/trace_model.h"

#include <algorithm>
#include <bit>

namespace {

int64_t treeDepth(uint32_t members) {
    return std::bit_width(members);
}

} // namespace

int64_t genSend(GenSim& sim, uint32_t rank, uint32_t dest, uint32_t tag, uint32_t size,
                uint32_t comm, uint32_t location) {
    const int64_t start = sim.now(rank);
    const int64_t end = start + GenSim::copyTime(size) + sim.random().between(0, 1);
    sim.longCall(rank, location, kFuncSend, start, end, size, tag, static_cast<int32_t>(dest),
                 comm);
    sim.now(rank) = end;
    return end + sim.wireTime(rank, dest, size);
}

void genRecv(GenSim& sim, uint32_t rank, uint32_t source, uint32_t tag, uint32_t size,
             uint32_t comm, uint32_t location, int64_t arrival) {
    const int64_t start = sim.now(rank);
    const int64_t end = std::max(start + 1, arrival + 1);
    sim.longCall(rank, location, kFuncRecv, start, end, size, tag, static_cast<int32_t>(source),
                 comm);
    sim.now(rank) = end;
}

GenIsend genIsend(GenSim& sim, uint32_t rank, uint32_t dest, uint32_t tag, uint32_t size,
                  uint32_t comm, uint32_t location) {
    const int64_t start = sim.now(rank);
    const int64_t end = start + 1;
    sim.longCall(rank, location, kFuncIsend, start, end, size, tag, static_cast<int32_t>(dest),
                 comm);
    sim.now(rank) = end;
    return {end, end + GenSim::copyTime(size) + sim.wireTime(rank, dest, size)};
}

void genIrecv(GenSim& sim, uint32_t rank, uint32_t source, uint32_t tag, uint32_t size,
              uint32_t comm, uint32_t location) {
    const int64_t start = sim.now(rank);
    const int64_t end = start + 1;
    sim.longCall(rank, location, kFuncIrecv, start, end, size, tag, static_cast<int32_t>(source),
                 comm);
    sim.now(rank) = end;
}

void genWaitIsend(GenSim& sim, uint32_t rank, uint32_t dest, uint32_t tag, uint32_t size,
                  uint32_t comm, uint32_t location, int64_t isendEnd) {
    const int64_t start = sim.now(rank);
    const int64_t end = std::max(start + 1, isendEnd + GenSim::copyTime(size));
    sim.longCall(rank, location, kFuncWaitIsend, start, end, size, tag, static_cast<int32_t>(dest),
                 comm);
    sim.now(rank) = end;
}

void genWaitIrecv(GenSim& sim, uint32_t rank, uint32_t source, uint32_t tag, uint32_t size,
                  uint32_t comm, uint32_t location, int64_t arrival) {
    const int64_t start = sim.now(rank);
    const int64_t end = std::max(start + 1, arrival + 1);
    sim.longCall(rank, location, kFuncWaitIrecv, start, end, size, tag,
                 static_cast<int32_t>(source), comm);
    sim.now(rank) = end;
}

void genRootToAll(GenSim& sim, const GenComm& comm, uint32_t funcId, uint32_t rootLocal,
                  std::span<const uint32_t> sizes, uint32_t location) {
    const uint32_t root = comm.global(rootLocal);
    uint64_t total = 0;
    for (uint32_t s : sizes) total += s;
    const bool rootSendsAll = funcId == kFuncBcast;
    const auto rootSize = static_cast<uint32_t>(rootSendsAll ? sizes[rootLocal] : total);

    const int64_t rootStart = sim.now(root);
    const int64_t rootEnd = rootStart + GenSim::copyTime(rootSize) + treeDepth(comm.size());
    sim.longCall(root, location, funcId, rootStart, rootEnd, rootSize, 0,
                 static_cast<int32_t>(rootLocal), comm.id);
    sim.now(root) = rootEnd;
    for (uint32_t local = 0; local < comm.size(); ++local) {
        if (local == rootLocal) continue;
        const uint32_t r = comm.global(local);
        const int64_t start = sim.now(r);
        const int64_t end = std::max(start + 1, rootEnd + sim.wireTime(root, r, sizes[local]));
        sim.longCall(r, location, funcId, start, end, sizes[local], 0,
                     static_cast<int32_t>(rootLocal), comm.id);
        sim.now(r) = end;
    }
}

void genAllToRoot(GenSim& sim, const GenComm& comm, uint32_t funcId, uint32_t rootLocal,
                  std::span<const uint32_t> sizes, uint32_t location) {
    const uint32_t root = comm.global(rootLocal);
    uint64_t total = 0;
    int64_t lastArrival = INT64_MIN;
    for (uint32_t local = 0; local < comm.size(); ++local) {
        total += sizes[local];
        if (local == rootLocal) continue;
        const uint32_t r = comm.global(local);
        const int64_t start = sim.now(r);
        const int64_t end = start + GenSim::copyTime(sizes[local]) + 1;
        sim.longCall(r, location, funcId, start, end, sizes[local], 0,
                     static_cast<int32_t>(rootLocal), comm.id);
        sim.now(r) = end;
        lastArrival = std::max(lastArrival, end + sim.wireTime(r, root, sizes[local]));
    }
    const bool rootGetsAll = funcId == kFuncReduce;
    const auto rootSize = static_cast<uint32_t>(rootGetsAll ? sizes[rootLocal] : total);
    const int64_t start = sim.now(root);
    const int64_t end = std::max(start + 1, lastArrival + 1) + treeDepth(comm.size());
    sim.longCall(root, location, funcId, start, end, rootSize, 0, static_cast<int32_t>(rootLocal),
                 comm.id);
    sim.now(root) = end;
}

void genCreateComms(GenSim& sim, std::span<const uint32_t> parent, uint32_t funcId,
                    std::span<const GenComm* const> commOfRank, uint32_t location) {
    const int64_t end =
        sim.latest(parent) + 5 + 2 * treeDepth(static_cast<uint32_t>(parent.size()));
    for (uint32_t r : parent) {
        const GenComm& c = *commOfRank[r];
        const int64_t ownEnd = end + sim.random().between(0, 3);
        sim.commCall(r, location, funcId, sim.now(r), ownEnd, c.id, c.members);
        sim.now(r) = ownEnd;
    }
}

void genFreeComm(GenSim& sim, const GenComm& comm, uint32_t location) {
    for (uint32_t r : comm.members) {
        const int64_t start = sim.now(r);
        const int64_t end = start + 1 + sim.random().between(0, 2);
        sim.commCall(r, location, kFuncCommFree, start, end, comm.id, {});
        sim.now(r) = end;
    }
}
