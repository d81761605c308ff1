#pragma once
// What `zlv gen` is asked to simulate: the pattern, the size of the run and
// the faults to plant.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class GenPattern { Ring, Stencil, MasterWorker, Collectives, Mixed, PingPong };

// Faults, as bits of GenOptions::faults.
constexpr unsigned kFaultUnfinished = 1;  // the last process ends inside MPI_Finalize
constexpr unsigned kFaultUnfreedComm = 2; // every process dups the world and never frees it
constexpr unsigned kFaultLostRecv = 4;    // rank 0 sends a message nobody receives
constexpr unsigned kFaultNoInit = 8;      // the processes of the last node lack MPI_Init

struct GenOptions {
    GenPattern pattern = GenPattern::Ring;
    uint32_t ranks = 8;
    uint32_t nodes = 2;
    uint32_t iterations = 10;
    uint64_t seed = 1;
    int64_t skewUs = 0; // node clocks differ from true time by up to this much
    unsigned faults = 0;
};

constexpr uint32_t kGenMaxRanks = 4096;
constexpr uint32_t kGenMaxIterations = 10000000;
constexpr int64_t kGenMaxSkewUs = int64_t{1} << 40;

std::optional<GenPattern> patternFromName(std::string_view name);
const char* patternName(GenPattern pattern);
std::optional<unsigned> faultFromName(std::string_view name);
// Empty when the options describe a run that can be simulated, else the reason.
std::string checkOptions(const GenOptions& options);
