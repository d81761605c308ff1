// What the environment asks of a traced run, the line said when the trace
// cannot be written, and the summing up of polls: plain code, without MPI.

#include "poll_runs.h"
#include "run_control.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <tuple>

using namespace zlvt;

namespace {

TEST(RecordLimit, IsAPositiveNumberOrNone) {
    const std::tuple<const char*, uint64_t> cases[] = {{nullptr, 0},
                                                       {"", 0},
                                                       {"0", 0},
                                                       {"12", 12},
                                                       {"-5", 0},
                                                       {"12x", 0},
                                                       {" 12", 0},
                                                       {"99999999999999999999", 0},
                                                       {"18446744073709551615", UINT64_MAX}};
    for (const auto& [text, limit] : cases)
        EXPECT_EQ(recordLimitFrom(text), limit) << (text ? text : "(unset)");
}

TEST(UnwritableTrace, SaysWhereWhyAndWhatToSet) {
    EXPECT_EQ(unwritableTraceLine("/no/such/run.zlvparts", "/no/such/run", ENOENT, "/tmp"),
              "zlvtrace: no trace is written: directory /no/such does not exist; set ZLV_TRACE to "
              "a name in a writable directory (mpirun -x ZLV_TRACE=/tmp/run); the program runs "
              "untraced");
    EXPECT_EQ(unwritableTraceLine("run.zlvparts", "run", EACCES, ""),
              "zlvtrace: no trace is written: cannot write in . (Permission denied); set "
              "ZLV_TRACE to a name in a writable directory and pass it on with mpirun -x "
              "ZLV_TRACE; the program runs untraced");
    EXPECT_EQ(directoryOf("/run.zlvparts"), "/");
}

TEST(PollRun, JoinsConsecutivePollsOfOneKind) {
    PollRun run;
    EXPECT_FALSE(run.pending());
    EXPECT_FALSE(run.add(7, 100, 10, 11, 91));
    EXPECT_FALSE(run.add(7, 200, 12, 13, 91));
    EXPECT_FALSE(run.add(7, 300, 14, 15, 92));
    // Another kind of poll does not join: the run is taken first.
    EXPECT_TRUE(run.add(8, 400, 16, 17, 91));
    ASSERT_TRUE(run.pending());
    const PolledSpan span = run.take();
    EXPECT_EQ(std::tuple(span.func, span.location, span.start, span.end, span.polls, span.comm),
              std::tuple(7u, 100u, int64_t{10}, int64_t{15}, 3u, 0u))
        << "first poll's place and start, last poll's end; communicators differed";
    EXPECT_FALSE(run.pending());
    EXPECT_FALSE(run.add(8, 400, 16, 17, 91));
    EXPECT_EQ(run.take().comm, 91u);
}

} // namespace
