#pragma once
// MPI operations of the simulated program: each records the calls of the
// processes taking part, with times that agree across processes (a receive
// never ends before the send that feeds it).

#include "tools/gen/gen_sim.h"

#include <cstdint>
#include <span>

// Blocking send of the eager kind: returns when the message reaches the receiver.
int64_t genSend(GenSim& sim, uint32_t rank, uint32_t dest, uint32_t tag, uint32_t size,
                uint32_t comm, uint32_t location);
void genRecv(GenSim& sim, uint32_t rank, uint32_t source, uint32_t tag, uint32_t size,
             uint32_t comm, uint32_t location, int64_t arrival);

// Non-blocking pair; the Isend's returned arrival feeds the receiver's wait.
struct GenIsend {
    int64_t end = 0;
    int64_t arrival = 0;
};
GenIsend genIsend(GenSim& sim, uint32_t rank, uint32_t dest, uint32_t tag, uint32_t size,
                  uint32_t comm, uint32_t location);
void genIrecv(GenSim& sim, uint32_t rank, uint32_t source, uint32_t tag, uint32_t size,
              uint32_t comm, uint32_t location);
void genWaitIsend(GenSim& sim, uint32_t rank, uint32_t dest, uint32_t tag, uint32_t size,
                  uint32_t comm, uint32_t location, int64_t isendEnd);
void genWaitIrecv(GenSim& sim, uint32_t rank, uint32_t source, uint32_t tag, uint32_t size,
                  uint32_t comm, uint32_t location, int64_t arrival);

// Rooted collectives. sizes: one entry per local rank (what that member
// receives or contributes); the root records the sum for the v-variants and
// for Scatter/Gather, every other member its own entry.
void genRootToAll(GenSim& sim, const GenComm& comm, uint32_t funcId, uint32_t rootLocal,
                  std::span<const uint32_t> sizes, uint32_t location);
void genAllToRoot(GenSim& sim, const GenComm& comm, uint32_t funcId, uint32_t rootLocal,
                  std::span<const uint32_t> sizes, uint32_t location);

// A communicator-creating call over `parent`: all members synchronise, each
// records the communicator it ends up in (commOfRank[global rank]).
void genCreateComms(GenSim& sim, std::span<const uint32_t> parent, uint32_t funcId,
                    std::span<const GenComm* const> commOfRank, uint32_t location);
void genFreeComm(GenSim& sim, const GenComm& comm, uint32_t location);
