#pragma once
// Small random traces that hit the corners of link building and clock
// alignment: created, freed and unknown communicators, member lists with
// repeats, a communicator shared by its members with permuted ranks, the self
// communicator, wildcard and out-of-range peers, self-sends, short records that
// inherit long-only fields, unfinished calls, processes declared out of rank
// order and in several runs.

#include <cstdint>
#include <string>

// The identifier of the communicator that its members make alike.
constexpr uint32_t kRandomSharedComm = 210;

struct RandomTraceOptions {
    uint32_t maxProcesses = 16;
    uint32_t maxCallsPerProcess = 60;
    // No collectives: every send names its receivers by peer.
    bool pointToPointOnly = false;
};

// The bytes of one random trace; the same seed always gives the same bytes.
std::string randomTraceBytes(uint64_t seed, const RandomTraceOptions& options = {});
