#pragma once
// Two processes bouncing messages of rising size, as a network benchmark
// does: each size first with blocking MPI_Send/MPI_Recv, then with
// MPI_Isend/MPI_Irecv and their waits.

#include "tools/gen/gen_sim.h"

#include <cstdint>
#include <vector>

constexpr uint32_t kTagPingBlocking = 40;
constexpr uint32_t kTagPingNonBlocking = 41;
constexpr uint32_t kPingMaxSize = uint32_t{1} << 20;

// The message sizes of one sweep, ascending: every power of two from 1 B to
// 1 MiB and its neighbours three bytes below and above, within that range.
std::vector<uint32_t> pingPongSizes();

// `iterations` sweeps over the sizes between ranks 0 and 1.
void genPingPong(GenSim& sim, uint32_t iterations);
