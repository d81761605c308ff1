// Reading a trace in pieces on several workers gives the document that
// reading it in one go gives: every process, call (with its kind),
// communicator and counter, the same result and the same messages, also for
// files cut short or damaged anywhere.

#include "model/comm_tracker.h"
#include "model/piece_reader.h"
#include "model/read_plan.h"
#include "model/trace_builder.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"
#include "model/trace_writer.h"
#include "tests/support/random_trace.h"
#include "tests/support/scratch_trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <sstream>
#include <tuple>

namespace {

// Everything reading puts into the document, as comparable rows.
struct Snapshot {
    bool ok = false;
    std::string messages;
    std::vector<std::tuple<uint32_t, uint32_t, uint32_t, size_t>> processes;
    std::vector<std::tuple<uint32_t, uint32_t, int64_t, int64_t, uint32_t, int32_t, uint32_t,
                           uint32_t, uint32_t>>
        calls;
    std::vector<std::tuple<uint32_t, uint32_t, TMembers, uint32_t, uint32_t>> comms;
    std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> counters;
    std::vector<std::tuple<int64_t, int64_t, int64_t, int64_t>> times; // TProcess::times
    std::vector<std::tuple<std::string, std::optional<uint32_t>>> nodes;
    bool operator==(const Snapshot&) const = default;
};

Snapshot readWith(const std::string& path, unsigned pieces) {
    TTrace t;
    std::ostringstream messages;
    Snapshot s;
    s.ok = readTraceRecords(t, path, messages, pieces);
    s.messages = messages.str();
    for (const TProcess& p : t.processes) {
        s.processes.emplace_back(p.rank, p.nodeId, p.nodeIndex, p.calls.size());
        for (const TFunc& f : p.calls)
            s.calls.emplace_back(f.location, f.funcId, f.start, f.end, f.kind, f.peer, f.comm,
                                 f.msgTag, f.size);
        for (const TComm& c : p.comms)
            s.comms.emplace_back(c.id, c.size, c.members, c.createdAt, c.freedAt);
        auto& [init, finalize, send, receive] = s.times.emplace_back();
        p.times(init, finalize, send, receive);
    }
    for (const TCounter& c : t.counterList) s.counters.emplace_back(c.rank, c.times, c.location);
    for (const TNode& n : t.nodes) s.nodes.emplace_back(n.name, n.ipv4);
    return s;
}

// Whether an intact file is really read in pieces (a file that changed since
// its plan falls back to one go, which would hide any fault of the pieces),
// keeping the time sums of every process's calls as read.
bool readsInPieces(const std::string& path, unsigned pieces) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    ProgressStep silent(nullptr, 0, 0);
    ReadPlan plan;
    {
        RecordSource src(file);
        plan = planRead(src, silent, pieces);
    }
    std::fclose(file);
    TTrace t;
    TraceBuilder builder(t, std::cerr);
    builder.useCallBlock(std::make_shared<CallBlock>(size_t{1} << 20));
    return plan.pieces.size() == pieces && readInPieces(builder, path, plan, 2, silent) &&
           std::all_of(t.processes.begin(), t.processes.end(),
                       [](const TProcess& p) { return p.timeSums == p.sumTimes(); });
}

// Reads the bytes in one go and in 2 to 5 pieces; returns the one-go reading.
// With `split`, a file of over 100 calls must really be read in that many pieces.
Snapshot expectSameInPieces(const std::string& bytes, unsigned split = 0) {
    const TempTrace file(bytes);
    const Snapshot whole = readWith(file.path(), 1);
    if (split && whole.calls.size() > 100) {
        EXPECT_TRUE(readsInPieces(file.path(), split));
    }
    for (unsigned pieces = 2; pieces <= 5; ++pieces) {
        SCOPED_TRACE("pieces " + std::to_string(pieces));
        EXPECT_EQ(readWith(file.path(), pieces), whole);
    }
    return whole;
}

} // namespace

TEST(PieceReader, RandomTracesReadAsInOneGo) {
    RandomTraceOptions options;
    options.maxCallsPerProcess = 200;
    uint64_t calls = 0, comms = 0, rootedCollectives = 0;
    for (uint64_t seed = 1; seed <= 150 && !HasFailure(); ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const Snapshot s = expectSameInPieces(randomTraceBytes(seed, options), 2 + seed % 4);
        EXPECT_TRUE(s.ok);
        calls += s.calls.size();
        comms += s.comms.size();
        for (const auto& c : s.calls) rootedCollectives += classifyNeedsOwnRank(std::get<1>(c));
    }
    // The traces must exercise what is compared.
    EXPECT_GT(calls, 50000u);
    EXPECT_GT(comms, 2000u);
    EXPECT_GT(rootedCollectives, 5000u);
}

TEST(PieceReader, DamagedAndTruncatedFilesReadAsInOneGo) {
    std::mt19937 random(11);
    uint64_t failed = 0, truncated = 0;
    for (uint64_t seed = 300; seed < 420 && !HasFailure(); ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::string bytes = randomTraceBytes(seed);
        if (bytes.size() < 8) continue;
        if (seed % 2 == 0) {
            bytes.resize(random() % bytes.size()); // cut anywhere, also inside a member list
        } else {
            bytes[random() % bytes.size()] = static_cast<char>(random()); // one damaged byte
        }
        const Snapshot s = expectSameInPieces(bytes);
        failed += !s.ok;
        truncated += s.messages.find("truncated") != std::string::npos;
    }
    EXPECT_GT(failed, 3u);
    EXPECT_GT(truncated, 20u);
}

TEST(PieceReader, ProcessesOfOneCommunicatorShareItsMemberList) {
    // Eight processes create the same communicator, then each a list of its own.
    TraceWriter w;
    const std::vector<uint32_t> shared{0, 1, 2, 3, 4, 5, 6, 7}, reversed{7, 6, 5, 4, 3, 2, 1, 0};
    for (uint32_t rank = 0; rank < 8; ++rank) {
        w.declareProcess(rank, 0x0100007F);
        for (int k = 0; k < 200; ++k) w.shortCall(0, kFuncInit, 2 * k, 2 * k + 1);
        w.commCall(0, kFuncCommDup, 1000, 1001, 700, rank % 2 ? reversed : shared);
        w.commCall(0, kFuncCommSplit, 1002, 1003, 701, std::vector<uint32_t>{rank, 8 + rank});
    }
    const TempTrace file(w.bytes());
    const std::string& path = file.path();
    for (unsigned pieces : {1u, 3u}) {
        SCOPED_TRACE("pieces " + std::to_string(pieces));
        if (pieces > 1) {
            EXPECT_TRUE(readsInPieces(path, pieces));
        }
        TTrace t;
        std::ostringstream messages;
        ASSERT_TRUE(readTraceRecords(t, path, messages, pieces)) << messages.str();
        ASSERT_EQ(t.processes.size(), 8u);
        std::vector<TMembers> copies; // distinct copies of the shared lists
        for (const TProcess& p : t.processes) {
            ASSERT_EQ(p.comms.size(), 4u);
            const TMembers& dup = p.comms[2].members;
            EXPECT_EQ(dup, TMembers(p.rank % 2 ? reversed : shared));
            EXPECT_EQ(dup.ascending(), p.rank % 2 == 0);
            EXPECT_EQ(p.comms[2].toLocal(6), p.rank % 2 ? 1 : 6);
            EXPECT_EQ(p.comms[3].members, TMembers({p.rank, 8 + p.rank}));
            if (std::none_of(copies.begin(), copies.end(),
                             [&](const TMembers& c) { return c.sharesWith(dup); }))
                copies.push_back(dup);
        }
        // One copy per list and piece at most, not one per process.
        EXPECT_LE(copies.size(), 2 * pieces);
    }
}
