#pragma once
// How far the aligned clocks can be trusted: a link whose receiving call ends
// before its sending call starts is reversed, which no real run can do.

#include <cstdint>
#include <vector>

class TTrace;

struct NodePairClocks {
    uint32_t sendNode = 0; // node indices
    uint32_t recvNode = 0;
    uint64_t links = 0;
    uint64_t reversed = 0;
    int64_t maxReversal = 0; // µs by which the receive ended before the send started
    int64_t sendOffset = 0;  // the corrections applied to each node
    int64_t recvOffset = 0;
    bool operator==(const NodePairClocks&) const = default;

    void add(int64_t reversal) {
        ++links;
        if (reversal <= 0) return;
        ++reversed;
        if (reversal > maxReversal) maxReversal = reversal;
    }
};

// One entry per pair of nodes that a link joins, in (sending, receiving) node order.
std::vector<NodePairClocks> clockQuality(const TTrace& trace);
