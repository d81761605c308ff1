#pragma once
// The communication patterns of the simulated program. Each runs its
// iterations on every process, from the processes' current clocks on.

#include "tools/gen/gen_sim.h"

#include <cstdint>
#include <vector>

// Message tags of the patterns (never 0: collective records carry tag 0).
constexpr uint32_t kTagRing = 10;
constexpr uint32_t kTagHaloBase = 20; // + direction of travel, 0..3
constexpr uint32_t kTagTask = 1;
constexpr uint32_t kTagResult = 2;
constexpr uint32_t kTagStop = 3;

// The process grid of the stencil and of the Cartesian communicator:
// px columns, py rows, rank = y * px + x; px is the largest divisor of the
// rank count not above its square root.
struct GenGrid {
    uint32_t px = 1;
    uint32_t py = 1;
};
GenGrid genGrid(uint32_t ranks);

// Blocking sends to the right neighbour, receives from the left.
void genRing(GenSim& sim, uint32_t iterations);
// Halo exchange on a Cartesian communicator with Isend/Irecv and their waits.
void genStencil(GenSim& sim, uint32_t iterations);
// Rank 0 hands out iterations x (ranks - 1) tasks of uneven length and
// collects the results in the order they arrive. Returns, per rank, how many
// tasks it handled (for rank 0: how many it handed out).
std::vector<uint32_t> genMasterWorker(GenSim& sim, uint32_t iterations);
// Rooted collectives over the world, a duplicate of it, the halves from
// MPI_Comm_split and the rows of a Cartesian grid; all freed at the end.
void genCollectives(GenSim& sim, uint32_t iterations);
