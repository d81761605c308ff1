// Reading large traces: records and member lists that straddle the reader's
// buffer, call lists allocated once at their final size, truncation inside a
// long member list.

#include "model/trace_builder.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"
#include "model/trace_writer.h"
#include "tests/support/scratch_trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <vector>

namespace {

struct Expected {
    uint32_t location, funcId;
    int64_t start, end;
    uint32_t size, msgTag;
    int32_t peer;
    uint32_t comm;
    bool operator==(const Expected&) const = default;
};

Expected fieldsOf(const TFunc& f) {
    return {f.location, f.funcId, f.start, f.end, f.size, f.msgTag, f.peer, f.comm};
}

// Two processes in alternating runs, about 12 MB, with a member list longer
// than the reader's buffer in the middle.
struct BigTrace {
    TraceWriter w;
    std::vector<Expected> expected[2];
    std::vector<uint32_t> members;

    BigTrace() {
        std::mt19937 random(3);
        Expected last{0, 0, 0, 0, 0, 0, 0, 0};
        for (uint32_t run = 0; run < 40; ++run) {
            const uint32_t rank = run % 2;
            w.declareProcess(rank, nodeIdFromOctets(10, 0, 0, static_cast<uint8_t>(rank + 1)));
            for (uint32_t c = 0; c < 6000; ++c) {
                Expected e = last;
                e.location = random();
                e.funcId = 1 + random() % 30;
                e.start = static_cast<int64_t>(random()) << 8;
                e.end = e.start + random() % 1000;
                e.funcId &= ~kFuncMembersBit;
                if (random() % 3 == 0) {
                    // Short: the long-only fields stay as the last long record left them.
                    w.shortCall(e.location, e.funcId, e.start, e.end);
                } else {
                    e.size = random();
                    e.msgTag = random();
                    e.peer = static_cast<int32_t>(random());
                    e.comm = random();
                    w.longCall(e.location, e.funcId, e.start, e.end, e.size, e.msgTag, e.peer,
                               e.comm);
                }
                last = e;
                expected[rank].push_back(e);
            }
            if (run == 20) {
                members.resize(1'200'000);
                for (auto& m : members) m = random();
                Expected e{7,  kFuncCommSplit, 1, 2, static_cast<uint32_t>(members.size()), 0, 0,
                           500};
                w.commCall(e.location, e.funcId, e.start, e.end, e.comm, members);
                last = e;
                expected[rank].push_back(e);
            }
        }
    }
};

} // namespace

TEST(ScaleReader, LargeTraceReadsEveryFieldAndAllocatesListsOnce) {
    BigTrace big;
    ASSERT_GT(big.w.size(), size_t{10} << 20);
    const TempTrace file(big.w.bytes());
    TTrace trace;
    std::ostringstream errors;
    EXPECT_TRUE(readTraceRecords(trace, file.path(), errors));
    EXPECT_EQ(errors.str(), "");

    ASSERT_EQ(trace.processes.size(), 2u);
    for (uint32_t p = 0; p < 2; ++p) {
        const TProcess& proc = trace.processes[p];
        ASSERT_EQ(proc.calls.size(), big.expected[p].size());
        EXPECT_EQ(proc.calls.capacity(), proc.calls.size());
        for (size_t k = 0; k < proc.calls.size(); ++k)
            ASSERT_TRUE(fieldsOf(proc.calls[k]) == big.expected[p][k]) << p << ":" << k;
    }
    const TComm* created = trace.processes[0].findComm(500, 120000);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->members, big.members);
}

TEST(ScaleReader, TruncationInsideALongMemberListKeepsTheCallsBefore) {
    BigTrace big;
    std::string bytes = big.w.bytes();
    // Cut in the middle of the member list (written after the 21st run).
    const size_t listStart = bytes.find(std::string("\x82\0\0\0\x07\0\0\0", 8));
    ASSERT_NE(listStart, std::string::npos);
    bytes.resize(listStart + 44 + 4 * 700'000);
    const TempTrace file(bytes);
    TTrace trace;
    std::ostringstream errors;
    EXPECT_TRUE(readTraceRecords(trace, file.path(), errors));
    EXPECT_EQ(errors.str(), "Input file is truncated: incomplete record at byte " +
                                std::to_string(listStart) + "\n");
    ASSERT_EQ(trace.processes.size(), 2u);
    EXPECT_EQ(trace.processes[0].calls.size(), 11u * 6000u);
    EXPECT_EQ(trace.processes[1].calls.size(), 10u * 6000u);
}

// A cancel heard while the file is read stops the load at the next report:
// nothing is reported after it, nothing of the file is kept, no message is
// written. In the first pass and while the pieces are read (a large file),
// and while a small file is read in one go.
TEST(ScaleReader, CancelWhileReadingStopsAtOnceAndKeepsNothing) {
    BigTrace big;
    TraceWriter small;
    small.declareProcess(0, nodeIdFromOctets(10, 0, 0, 1));
    for (uint32_t c = 0; c < 120'000; ++c) small.shortCall(c, 1 + c % 30, c, c + 1);
    ASSERT_LT(small.size(), size_t{4} << 20); // read in one go
    const TempTrace bigFile(big.w.bytes()), smallFile(small.bytes());
    for (const TempTrace* file : {&bigFile, &smallFile}) {
        // The first pass (which counts the calls) reports up to a fifth of the
        // read's share, reading the calls the rest: a cancel in each.
        for (const uint32_t stopAt : {kLoadReadDone / 10, kLoadReadDone * 2 / 5}) {
            SCOPED_TRACE(file->path() + " stopped at " + std::to_string(stopAt));
            EXPECT_LT(expectCancelledLoad(file->path(), stopAt), kLoadReadDone);
        }
    }
}
