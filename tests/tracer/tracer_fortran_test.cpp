// Traces the Fortran program of fortran/ under mpirun -np 4 through
// LD_PRELOAD: its calls through mpif.h, the mpi module and the mpi_f08
// module are recorded as the same calls from C would be.

#include "format/tracer_calls.h"
#include "model/check_lines.h"
#include "model/trace_model.h"
#include "traced_run.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>

namespace {

using TracedFortran = TracedRunTest;

std::map<uint32_t, int> countsOf(const TProcess& p) {
    std::map<uint32_t, int> c;
    for (const TFunc& f : p.calls) ++c[f.funcId];
    return c;
}

TEST_F(TracedFortran, EveryInterfaceIsRecordedLinkedAndChecked) {
    const auto [run, loaded] = runAndLoad(ZLV_FORTRAN_PROGRAM, "", true, "fortran");
    ASSERT_EQ(run.exitStatus, 0) << run.log;
    ASSERT_TRUE(loaded.trace->loaded()) << loaded.loaderMessages;
    EXPECT_EQ(loaded.loaderMessages, "");
    const TTrace& t = *loaded.trace;
    ASSERT_EQ(t.processCount(), 4u);

    for (int rank = 0; rank < 4; ++rank) {
        SCOPED_TRACE("rank " + std::to_string(rank));
        const TProcess& p = *t.processOfRank(rank);
        auto c = countsOf(p);
        // ring (mpif.h), Waitall pair and 0 -> 3 by Waitsome/Testsome (mpi),
        // split with Bcast and Allreduce (mpi_f08)
        const int sends = 1 + (rank == 0), receives = 1 + (rank == 3);
        EXPECT_EQ(std::tuple(c[kFuncInit], c[kFuncFinalize], c[kFuncIsend], c[kFuncWaitIsend],
                             c[kFuncIrecv], c[kFuncWaitIrecv], c[kFuncCommSplit],
                             c[otherCallId(kOtherAllreduce)]),
                  std::tuple(1, 1, sends, sends, receives, receives, 1, 1));
        EXPECT_EQ(c[kFuncSend], 1 + (rank == 1 || rank == 2) + (rank == 0));
        EXPECT_EQ(c[kFuncRecv], 1 + (rank == 1 || rank == 2) + (rank == 3));
        EXPECT_EQ(c[commCallId(kCommCreate)], rank == 0 ? 0 : 1);
        EXPECT_EQ(c[otherCallId(kOtherCommCreate)], rank == 0 ? 1 : 0);
        EXPECT_EQ(c[kFuncBcast], rank == 0 ? 1 : 2);
        EXPECT_EQ(c[kFuncCommFree], rank == 0 ? 1 : 2);
        for (const TFunc& f : p.calls) {
            if (f.funcId != kFuncSend && f.funcId != kFuncIsend) continue;
            ASSERT_EQ(f.linkCount, 1u) << "tag " << f.msgTag;
            EXPECT_EQ(static_cast<int32_t>(f.links[0].rank), globalPeer(p, f));
        }
    }
    // The poll run before the go-ahead, and the matched probe of mpi_f08.
    const auto polls = callsWith(*t.processOfRank(2), otherCallId(kOtherIprobePolls));
    ASSERT_EQ(polls.size(), 1u);
    EXPECT_EQ(polls[0]->size, 3u);
    const auto probe = callsWith(*t.processOfRank(3), otherCallId(kOtherMprobe));
    ASSERT_EQ(probe.size(), 1u);
    const TFunc& mrecv = *(probe[0] + 1);
    EXPECT_EQ(std::tuple(mrecv.funcId, mrecv.peer, mrecv.msgTag, mrecv.size),
              std::tuple(kFuncRecv, 0, 30u, 4u));

    std::vector<std::string> lines;
    EXPECT_EQ(checkTerminations(t, lines) + checkCommunicators(t, lines) + checkSendRecv(t, lines),
              0u)
        << (lines.empty() ? "" : lines.front());
}

} // namespace
