// The tracer's own identifiers are named after the fixed table, and the
// places that show a call's name (the termination check, the call
// information box) show them.

#include "appdb/func_names.h"
#include "format/tracer_calls.h"
#include "model/call_info.h"
#include "model/check_lines.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <vector>

TEST(TracerNames, FollowTheFixedTableWhichKeepsItsOrderAndFallback) {
    const TFuncNames names;
    const auto& entries = names.entries();
    std::vector<CallName> tracer(std::begin(kOtherCallNames), std::end(kOtherCallNames));
    tracer.insert(tracer.end(), std::begin(kCommCallNames), std::end(kCommCallNames));
    ASSERT_EQ(entries.size(), 20u + tracer.size());
    const uint32_t fixedOrder[] = {1,  2,  3,  4,  8,  9,  16, 6,  5,  11,
                                   12, 13, 14, 32, 33, 34, 35, 36, 24, 25};
    for (uint32_t i = 0; i < 20; ++i) EXPECT_EQ(entries[i].id, fixedOrder[i]) << i;
    std::set<uint32_t> ids;
    for (size_t k = 0; k < tracer.size(); ++k) {
        EXPECT_EQ(entries[20 + k].id, tracer[k].id);
        EXPECT_EQ(names.funcName(tracer[k].id), tracer[k].name);
        ids.insert(tracer[k].id);
    }
    EXPECT_EQ(ids.size(), tracer.size()); // each found by its own identifier
    EXPECT_EQ(names.funcName(otherCallId(kOtherAllreduce)), "MPI_Allreduce");
    EXPECT_EQ(names.funcName(commCallId(kCommCreate)), "MPI_Comm_create");
    EXPECT_EQ(names.funcName(16), "MPI_Wait");
    EXPECT_EQ(names.funcName(24), "MPI_Wait for Isend");
    EXPECT_EQ(names.funcName(0x803 & ~kUnfinishedFlag), "MPI_Send");
    // Identifiers nobody names stay unknown, in the tracer's ranges too.
    for (uint32_t id : {0u, 7u, 37u, 67u, 0x800u & ~kUnfinishedFlag, otherCallId(kOtherCallCount),
                        commCallId(kCommCallCount), 0x1010u})
        EXPECT_EQ(names.funcName(id), "Unknown") << id;
    // A trace's own names add to the table, never replace a fixed one.
    TFuncNames more;
    more.addFunc(3, "shadowed");
    more.addFunc(70, "MPI_Allreduce");
    EXPECT_EQ(std::pair(more.funcName(3), more.funcName(70)),
              std::pair(std::string("MPI_Send"), std::string("MPI_Allreduce")));
}

TEST(TracerNames, ShownByTheTerminationCheckAndTheCallInformation) {
    // A process that hangs in MPI_Allreduce, the picture the user needs to read.
    TraceWriter w;
    w.declareProcess(0, testNode(1));
    w.shortCall(makeLocation(1, 3), kFuncInit, 0, 10);
    w.shortCall(makeLocation(1, 9), otherCallId(kOtherBarrier), 10, 20);
    w.shortCall(makeLocation(1, 12), otherCallId(kOtherAllreduce) | kUnfinishedFlag, 20, 30);
    const LoadedTrace r = loadBytes(w.bytes());
    ASSERT_TRUE(r.trace->loaded()) << r.errors;
    std::vector<std::string> lines;
    EXPECT_EQ(checkTerminations(*r.trace, lines), 1u);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "Function MPI_Allreduce was termitated for idle");

    const TProcess& p = *r.trace->processAt(0);
    EXPECT_TRUE(callInfoText(*r.trace, 0, p.calls[1]).ends_with("\nFunction: MPI_Barrier"));
    EXPECT_TRUE(callInfoText(*r.trace, 0, p.calls[2]).ends_with("\nFunction: MPI_Allreduce"));
}
