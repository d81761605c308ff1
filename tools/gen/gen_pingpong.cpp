#include "tools/gen/gen_pingpong.h"

#include "model/trace_model.h"
#include "tools/gen/gen_mpi.h"

#include <algorithm>

std::vector<uint32_t> pingPongSizes() {
    std::vector<uint32_t> sizes;
    for (uint32_t power = 1; power <= kPingMaxSize; power *= 2)
        for (const int64_t size : {int64_t{power} - 3, int64_t{power}, int64_t{power} + 3})
            if (size >= 1 && size <= kPingMaxSize) sizes.push_back(static_cast<uint32_t>(size));
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return sizes;
}

namespace {

constexpr uint32_t kPing = 0, kPong = 1;

void blockingRoundTrip(GenSim& sim, uint32_t size) {
    const int64_t there = genSend(sim, kPing, kPong, kTagPingBlocking, size, kWorldComm,
                                  makeLocation(kFilePingPong, 21));
    genRecv(sim, kPong, kPing, kTagPingBlocking, size, kWorldComm, makeLocation(kFilePingPong, 30),
            there);
    const int64_t back = genSend(sim, kPong, kPing, kTagPingBlocking, size, kWorldComm,
                                 makeLocation(kFilePingPong, 31));
    genRecv(sim, kPing, kPong, kTagPingBlocking, size, kWorldComm, makeLocation(kFilePingPong, 22),
            back);
}

// Both sides post their receive before anything is sent.
void nonBlockingRoundTrip(GenSim& sim, uint32_t size) {
    constexpr uint32_t tag = kTagPingNonBlocking;
    genIrecv(sim, kPing, kPong, tag, size, kWorldComm, makeLocation(kFilePingPong, 40));
    genIrecv(sim, kPong, kPing, tag, size, kWorldComm, makeLocation(kFilePingPong, 50));
    const GenIsend there =
        genIsend(sim, kPing, kPong, tag, size, kWorldComm, makeLocation(kFilePingPong, 41));
    genWaitIrecv(sim, kPong, kPing, tag, size, kWorldComm, makeLocation(kFilePingPong, 51),
                 there.arrival);
    const GenIsend back =
        genIsend(sim, kPong, kPing, tag, size, kWorldComm, makeLocation(kFilePingPong, 52));
    genWaitIsend(sim, kPong, kPing, tag, size, kWorldComm, makeLocation(kFilePingPong, 53),
                 back.end);
    genWaitIsend(sim, kPing, kPong, tag, size, kWorldComm, makeLocation(kFilePingPong, 42),
                 there.end);
    genWaitIrecv(sim, kPing, kPong, tag, size, kWorldComm, makeLocation(kFilePingPong, 43),
                 back.arrival);
}

} // namespace

void genPingPong(GenSim& sim, uint32_t iterations) {
    const std::vector<uint32_t> sizes = pingPongSizes();
    for (uint32_t it = 0; it < iterations; ++it) {
        for (const uint32_t size : sizes) {
            blockingRoundTrip(sim, size);
            nonBlockingRoundTrip(sim, size);
        }
        sim.flushIfFull();
    }
}
