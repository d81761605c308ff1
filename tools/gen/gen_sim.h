#pragma once
// The simulated run: one true clock per process, message and collective
// timing, and the records each process leaves. Records are buffered per
// process and written to the trace in runs (declaration first, ranks
// ascending), so a trace of any size streams through bounded memory.

#include "model/trace_writer.h"
#include "tools/gen/gen_options.h"
#include "tools/gen/gen_random.h"

#include <cstdint>
#include <span>
#include <vector>

// Source files of the simulated program, as named in the .fdb.
constexpr uint32_t kFileMain = 1;
constexpr uint32_t kFileRing = 2;
constexpr uint32_t kFileStencil = 3;
constexpr uint32_t kFileMasterWorker = 4;
constexpr uint32_t kFileCollectives = 5;
constexpr uint32_t kFilePingPong = 6;

// A communicator of the simulated program: one identifier shared by all its
// members, and the global rank of each local rank.
struct GenComm {
    uint32_t id = 0;
    std::vector<uint32_t> members;

    uint32_t size() const { return static_cast<uint32_t>(members.size()); }
    uint32_t global(uint32_t local) const { return members[local]; }
};

class GenSim {
  public:
    GenSim(const GenOptions& options, TraceWriter& out);

    const GenOptions& options() const { return options_; }
    uint32_t ranks() const { return options_.ranks; }
    uint32_t nodeOf(uint32_t rank) const { return node_[rank]; }
    GenRandom& random() { return random_; }
    int64_t& now(uint32_t rank) { return now_[rank]; }
    // Latest clock among the members: when a synchronising call can end.
    int64_t latest(std::span<const uint32_t> ranks) const;
    int64_t latestOfAll() const;

    // A compute phase of the given length range.
    void compute(uint32_t rank, int64_t lo, int64_t hi);
    // Time a message of this size spends on the wire between two ranks.
    int64_t wireTime(uint32_t from, uint32_t to, uint32_t size);
    // Time a call spends copying a message of this size.
    static int64_t copyTime(uint32_t size) { return 1 + size / 4000; }

    uint32_t newCommId() { return nextCommId_++; }

    // --- records; times are true times, converted to the node's clock here
    void shortCall(uint32_t rank, uint32_t location, uint32_t funcId, int64_t start, int64_t end);
    void longCall(uint32_t rank, uint32_t location, uint32_t funcId, int64_t start, int64_t end,
                  uint32_t size, uint32_t tag, int32_t peer, uint32_t comm);
    void commCall(uint32_t rank, uint32_t location, uint32_t funcId, int64_t start, int64_t end,
                  uint32_t comm, std::span<const uint32_t> members);
    void section(uint32_t rank, uint32_t section);
    void counter(uint32_t rank, uint32_t times, uint32_t location);

    // Writes every process's buffered records as one run each.
    void flushAll();
    // Flushes when the buffers hold more than the memory budget.
    void flushIfFull() {
        if (buffered_ > kBufferBudget) flushAll();
    }

    uint64_t callCount() const { return calls_; }

  private:
    static constexpr uint64_t kBufferBudget = uint64_t{32} << 20;

    int64_t raw(uint32_t rank, int64_t trueTime) const {
        return trueTime + skewBase_ + nodeSkew_[node_[rank]];
    }
    void noteRecord(uint32_t rank, uint64_t before);

    GenOptions options_;
    TraceWriter& out_;
    GenRandom random_;
    std::vector<int64_t> now_;
    std::vector<uint32_t> node_;
    std::vector<uint32_t> nodeAddress_;
    std::vector<int64_t> nodeSkew_;
    int64_t skewBase_ = 0;
    std::vector<TraceWriter> buffers_;
    uint64_t buffered_ = 0;
    uint64_t calls_ = 0;
    uint32_t nextCommId_ = 1000;
};

// The IPv4 address of node index n: 10.0.0.1, 10.0.0.2, ...
uint32_t genNodeAddress(uint32_t node);
