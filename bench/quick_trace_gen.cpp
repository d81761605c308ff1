// Writes a large synthetic trace for the open benchmarks: a ring of blocking
// sends, a ring of non-blocking sends with their waits, broadcasts from a
// moving root and reductions to rank 0, section markers and skewed node clocks.
// Usage: quick_trace_gen OUT.zlv CALLS PROCESSES NODES

#include "model/trace_model.h"
#include "model/trace_writer.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <string>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: quick_trace_gen OUT.zlv CALLS PROCESSES NODES\n";
        return 2;
    }
    const std::string out = argv[1];
    const uint64_t calls = std::strtoull(argv[2], nullptr, 10);
    const uint32_t procs = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
    const uint32_t nodes = static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 10));
    if (procs == 0 || nodes == 0 || calls == 0) return 2;

    constexpr uint32_t kCallsPerIteration = 6; // plus the occasional collective
    const uint64_t iterations = calls / procs / kCallsPerIteration;
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    std::mt19937_64 random(42);
    std::vector<int64_t> skew(nodes);
    for (auto& s : skew) s = static_cast<int64_t>(random() % 2000000);

    for (uint32_t r = 0; r < procs; ++r) {
        const uint32_t node = r * nodes / procs;
        const int32_t next = static_cast<int32_t>((r + 1) % procs);
        const int32_t prev = static_cast<int32_t>((r + procs - 1) % procs);
        TraceWriter w;
        w.declareProcess(r, nodeIdFromOctets(10, 1, static_cast<uint8_t>(node >> 8),
                                             static_cast<uint8_t>(node)));
        int64_t t = 1000000 + skew[node] + static_cast<int64_t>(random() % 50);
        auto step = [&](int64_t d) {
            const int64_t s = t;
            t += d + static_cast<int64_t>(random() % 7);
            return s;
        };
        int64_t s = step(300);
        w.shortCall(makeLocation(1, 10), kFuncInit, s, t);
        for (uint64_t it = 0; it < iterations; ++it) {
            if (it % 100 == 0) w.sectionMarker(1 + static_cast<uint32_t>(it / 100 % 3), t);
            s = step(20);
            w.longCall(makeLocation(1, 20), kFuncSend, s, t, 4096, 1, next, kWorldComm);
            s = step(25);
            w.longCall(makeLocation(1, 21), kFuncRecv, s, t, 4096, 1, prev, kWorldComm);
            s = step(5);
            w.longCall(makeLocation(1, 30), kFuncIsend, s, t, 8192, 2, next, kWorldComm);
            s = step(5);
            w.longCall(makeLocation(1, 31), kFuncIrecv, s, t, 8192, 2, prev, kWorldComm);
            // The waits are short records: they keep the Irecv's peer, tag and communicator.
            s = step(40);
            w.shortCall(makeLocation(1, 32), kFuncWaitIsend, s, t);
            s = step(10);
            w.shortCall(makeLocation(1, 33), kFuncWaitIrecv, s, t);
            if (it % 10 == 5) {
                const auto root = static_cast<int32_t>(it / 10 % procs);
                s = step(30);
                w.longCall(makeLocation(2, 40), kFuncBcast, s, t, 1024, 0, root, kWorldComm);
            }
            if (it % 10 == 9) {
                s = step(30);
                w.longCall(makeLocation(2, 50), kFuncReduce, s, t, 64, 0, 0, kWorldComm);
            }
        }
        s = step(100);
        w.shortCall(makeLocation(1, 99), kFuncFinalize, s, t);
        file.write(w.bytes().data(), static_cast<std::streamsize>(w.size()));
    }
    std::ofstream(out.substr(0, out.size() - 4) + ".fdb")
        << "[sections]\n1:solve\n2:exchange\n3:output\n[files]\n1:main.c\n2:comm.c\n";
    return file ? 0 : 1;
}
