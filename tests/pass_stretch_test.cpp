// The first pass on several workers plans what the walk alone plans (every
// process, its calls, where and why reading stops), and its pieces read
// into the document that reading in one go gives: for traces of few
// processes with many calls, cut anywhere, with damaged bytes, and with
// member lists whose words read like records where a stretch would start.

#include "format/func_ids.h"
#include "model/piece_reader.h"
#include "model/read_plan.h"
#include "model/trace_builder.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"
#include "model/trace_writer.h"
#include "tests/support/random_trace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <random>
#include <sstream>
#include <tuple>
#include <unistd.h>

namespace {

std::string tempPath() {
    return (std::filesystem::temp_directory_path() /
            ("stretches_" + std::to_string(::getpid()) + ".zlv"))
        .string();
}

ReadPlan planOf(const std::string& path, unsigned pieces, bool split) {
    FILE* file = std::fopen(path.c_str(), "rb");
    EXPECT_TRUE(file);
    if (!file) return {};
    ProgressStep silent(nullptr, 0, 0);
    ReadPlan plan;
    {
        RecordSource src(file);
        plan = planRead(src, silent, pieces, nullptr, split ? path : std::string());
    }
    std::fclose(file);
    return plan;
}

using PlanRow = std::tuple<uint32_t, uint32_t, uint32_t, uint64_t, bool>;
std::vector<PlanRow> rowsOf(const ReadPlan& plan) {
    std::vector<PlanRow> rows;
    for (const PlannedProcess& p : plan.processes)
        rows.emplace_back(p.rank, p.nodeId, p.nodeIndex, p.calls, p.changesComms);
    return rows;
}

using CallRow = std::tuple<uint32_t, uint32_t, uint32_t, int64_t, int64_t, uint32_t, int32_t,
                           uint32_t, uint32_t, uint32_t>;
std::vector<CallRow> callsOf(const TTrace& t) {
    std::vector<CallRow> rows;
    for (const TProcess& p : t.processes)
        for (const TFunc& f : p.calls)
            rows.emplace_back(p.rank, f.location, f.funcId, f.start, f.end, f.kind, f.peer, f.comm,
                              f.msgTag, f.size);
    return rows;
}

// Plans `bytes` alone and in `pieces` stretches: the same plan, and pieces
// that read (without falling back to one go) what one go reads. Returns the
// number of workers the split pass ran on.
unsigned expectSplitPlansAsAlone(const std::string& bytes, unsigned pieces) {
    const std::string path = tempPath();
    EXPECT_TRUE(saveText(path, bytes));
    const ReadPlan alone = planOf(path, pieces, false);
    const ReadPlan split = planOf(path, pieces, true);
    EXPECT_EQ(rowsOf(split), rowsOf(alone));
    EXPECT_EQ(split.stop, alone.stop);
    EXPECT_EQ(split.end, alone.end);
    EXPECT_LE(split.pieces.size(), pieces);
    if (split.pieces.size() > 1 && split.stop != ReadPlan::Stop::Invalid) {
        auto readWith = [&](const ReadPlan& plan, TTrace& into) {
            TraceBuilder builder(into, std::cerr);
            builder.useCallBlock(std::make_shared<CallBlock>(bytes.size() * 4 + 4096));
            ProgressStep silent(nullptr, 0, 0);
            return readInPieces(builder, path, plan, 2, silent);
        };
        TTrace inPieces, again, inOneGo;
        // A list cut short makes reading in pieces give up, whichever the plan
        // (the loader then reads in one go).
        const bool read = readWith(split, inPieces);
        EXPECT_EQ(read, readWith(alone, again));
        std::ostringstream messages;
        readTraceRecords(inOneGo, path, messages, 1);
        if (read) {
            EXPECT_EQ(callsOf(inPieces), callsOf(inOneGo));
        }
    }
    std::filesystem::remove(path);
    return split.walkers;
}

// Two processes declared in turns, as a tracer flushing its buffers writes
// them: short and long calls, member lists, counters and padding mixed.
std::string twoProcessBytes(uint32_t seed, int calls) {
    std::mt19937 random(seed);
    TraceWriter w;
    int64_t t = 0;
    for (int c = 0; c < calls;) {
        const uint32_t rank = (c / 700) % 2;
        w.declareProcess(rank, 0x0100007F + rank);
        for (int k = 0; k < 700 && c < calls; ++k, ++c, t += 3) {
            switch (random() % 9) {
            case 0:
                w.longCall(1, kFuncSend, t, t + 1, random() % 4096, random() % 8, 1 - rank, 91);
                break;
            case 1:
                w.commCall(2, kFuncCommDup, t, t + 1, 300 + c,
                           std::vector<uint32_t>(random() % 40, rank));
                break;
            case 2:
                w.counter(random() % 5, 7);
                w.shortCall(3, kFuncRecv, t, t + 2);
                break;
            case 3:
                w.skipRecord66();
                w.skipRecord68();
                w.shortCall(4, kFuncGather, t, t + 2);
                break;
            default:
                w.shortCall(5, kFuncRecv, t, t + 1);
                break;
            }
        }
    }
    return w.bytes();
}

} // namespace

TEST(SplitPass, TwoProcessesWithManyCallsPlanAsWalkingAlone) {
    const std::string bytes = twoProcessBytes(5, 20000);
    unsigned split = 0;
    for (unsigned pieces = 2; pieces <= 8 && !HasFailure(); ++pieces) {
        SCOPED_TRACE("pieces " + std::to_string(pieces));
        split += expectSplitPlansAsAlone(bytes, pieces) == pieces;
    }
    // Intact, every guess should hold: the split really ran.
    EXPECT_EQ(split, 7u);
}

TEST(SplitPass, CutAndDamagedFilesPlanAsWalkingAlone) {
    std::mt19937 random(23);
    const std::string whole = twoProcessBytes(9, 12000);
    unsigned split = 0;
    for (int round = 0; round < 60 && !HasFailure(); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string bytes = whole;
        const unsigned pieces = 2 + round % 5;
        // Near a nominal cut, where a stretch starts, or anywhere.
        const size_t near = bytes.size() / pieces * (1 + random() % (pieces - 1));
        const size_t at = round % 3 == 2 ? random() % bytes.size()
                                         : std::min(bytes.size() - 1, near + random() % 256);
        if (round % 2 == 0)
            bytes.resize(at);
        else
            bytes[at] = static_cast<char>(random());
        split += expectSplitPlansAsAlone(bytes, pieces) > 1;
    }
    EXPECT_GT(split, 20u);
}

TEST(SplitPass, RandomTracesPlanAsWalkingAlone) {
    RandomTraceOptions options;
    options.maxProcesses = 3;
    options.maxCallsPerProcess = 3000;
    unsigned split = 0;
    for (uint64_t seed = 1; seed <= 60 && !HasFailure(); ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        split += expectSplitPlansAsAlone(randomTraceBytes(seed, options), 2 + seed % 7) > 1;
    }
    EXPECT_GT(split, 30u);
}

TEST(SplitPass, RecordsInsideAMemberListMisleadTheGuessOnly) {
    // A member list of 40000 words 68, each the tag of 4-byte padding, covers
    // the middle of the file: a guess there reads as records and is wrong.
    TraceWriter w;
    w.declareProcess(0, 0x0100007F);
    for (int k = 0; k < 3000; ++k) w.shortCall(0, kFuncRecv, 2 * k, 2 * k + 1);
    w.commCall(0, kFuncCommDup, 7000, 7001, 400, std::vector<uint32_t>(40000, 68));
    w.declareProcess(1, 0x0200007F);
    for (int k = 0; k < 3000; ++k) w.shortCall(0, kFuncSend, 2 * k, 2 * k + 1);
    EXPECT_EQ(expectSplitPlansAsAlone(w.bytes(), 2), 1u);
}

TEST(SplitPass, ShortRecordsInheritFromALongRecordStretchesBefore) {
    // One long record, then stretches of short ones only: the stretches after
    // the second start with the long fields of that one record.
    TraceWriter w;
    w.declareProcess(0, 0x0100007F);
    w.longCall(1, kFuncSend, 0, 1, 4096, 17, 1, 91);
    for (int k = 1; k < 20000; ++k) w.shortCall(0, kFuncRecv, 2 * k, 2 * k + 1);
    w.declareProcess(1, 0x0200007F);
    w.longCall(1, kFuncRecv, 0, 1, 512, 17, 0, 91);
    for (int k = 1; k < 20000; ++k) w.shortCall(0, kFuncSend, 2 * k, 2 * k + 1);
    for (unsigned pieces : {4u, 8u}) {
        SCOPED_TRACE("pieces " + std::to_string(pieces));
        EXPECT_EQ(expectSplitPlansAsAlone(w.bytes(), pieces), pieces);
    }
}
