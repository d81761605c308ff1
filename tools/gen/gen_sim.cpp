#include "tools/gen/gen_sim.h"

#include "model/trace_model.h"

#include <algorithm>

uint32_t genNodeAddress(uint32_t node) {
    const uint32_t host = node + 1;
    return nodeIdFromOctets(10, static_cast<uint8_t>(host >> 16), static_cast<uint8_t>(host >> 8),
                            static_cast<uint8_t>(host));
}

GenSim::GenSim(const GenOptions& options, TraceWriter& out)
    : options_(options), out_(out), random_(options.seed), now_(options.ranks, 0),
      node_(options.ranks), buffers_(options.ranks) {
    // Ranks fill the nodes in blocks, as a batch system places them.
    for (uint32_t r = 0; r < options_.ranks; ++r)
        node_[r] = static_cast<uint32_t>(uint64_t{r} * options_.nodes / options_.ranks);
    nodeSkew_.resize(options_.nodes);
    for (int64_t& skew : nodeSkew_) skew = random_.between(-options_.skewUs, options_.skewUs);
    // Keeps every raw time non-negative.
    skewBase_ = options_.skewUs;
}

int64_t GenSim::latest(std::span<const uint32_t> ranks) const {
    int64_t t = INT64_MIN;
    for (uint32_t r : ranks) t = std::max(t, now_[r]);
    return t;
}

int64_t GenSim::latestOfAll() const {
    return *std::max_element(now_.begin(), now_.end());
}

void GenSim::compute(uint32_t rank, int64_t lo, int64_t hi) {
    now_[rank] += random_.between(lo, hi);
}

int64_t GenSim::wireTime(uint32_t from, uint32_t to, uint32_t size) {
    const int64_t latency = node_[from] == node_[to] ? 1 : 4;
    return latency + size / 1000 + random_.between(0, 2);
}

void GenSim::noteRecord(uint32_t rank, uint64_t before) {
    buffered_ += buffers_[rank].size() - before;
    ++calls_;
}

void GenSim::shortCall(uint32_t rank, uint32_t location, uint32_t funcId, int64_t start,
                       int64_t end) {
    const uint64_t before = buffers_[rank].size();
    buffers_[rank].shortCall(location, funcId, raw(rank, start), raw(rank, end));
    noteRecord(rank, before);
}

void GenSim::longCall(uint32_t rank, uint32_t location, uint32_t funcId, int64_t start, int64_t end,
                      uint32_t size, uint32_t tag, int32_t peer, uint32_t comm) {
    const uint64_t before = buffers_[rank].size();
    buffers_[rank].longCall(location, funcId, raw(rank, start), raw(rank, end), size, tag, peer,
                            comm);
    noteRecord(rank, before);
}

void GenSim::commCall(uint32_t rank, uint32_t location, uint32_t funcId, int64_t start, int64_t end,
                      uint32_t comm, std::span<const uint32_t> members) {
    const uint64_t before = buffers_[rank].size();
    buffers_[rank].commCall(location, funcId, raw(rank, start), raw(rank, end), comm, members);
    noteRecord(rank, before);
}

void GenSim::section(uint32_t rank, uint32_t section) {
    const uint64_t before = buffers_[rank].size();
    buffers_[rank].sectionMarker(section, raw(rank, now_[rank]));
    noteRecord(rank, before);
}

void GenSim::counter(uint32_t rank, uint32_t times, uint32_t location) {
    const uint64_t before = buffers_[rank].size();
    buffers_[rank].counter(times, location);
    buffered_ += buffers_[rank].size() - before;
}

void GenSim::flushAll() {
    for (uint32_t r = 0; r < options_.ranks; ++r) {
        TraceWriter& buffer = buffers_[r];
        if (buffer.size() == 0) continue;
        out_.declareProcess(r, genNodeAddress(node_[r]));
        out_.raw(buffer.bytes());
        buffer.clear();
    }
    buffered_ = 0;
}
