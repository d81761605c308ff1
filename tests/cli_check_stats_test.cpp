// Golden output of `zlv check`, `zlv stats` and `zlv sections` on small
// written traces and on traces from `zlv gen` (each planted fault caught by
// the check meant for it), with their exit statuses.
#include "format/tracer_calls.h"
#include "tests/written_trace.h"
#include "tests/zlv_tool_run.h"

#include <gtest/gtest.h>

namespace {

// Rank 0 sends 3 GiB to rank 1 twice inside section 4, rank 1 receives once
// and ends inside an unfinished call; rank 1 leaks a communicator.
std::string faultyTrace() {
    TraceWriter w;
    w.declareProcess(0, nodeIdFromOctets(10, 1, 2, 3));
    w.shortCall(makeLocation(1, 10), kFuncInit, 0, 100);
    w.sectionMarker(4, 100);
    w.longCall(makeLocation(1, 20), kFuncSend, 100, 200, 3u << 30, 7, 1, kWorldComm);
    w.longCall(makeLocation(1, 21), kFuncSend, 200, 300, 3u << 30, 7, 1, kWorldComm);
    w.shortCall(makeLocation(1, 30), kFuncFinalize, 300, 400);
    w.declareProcess(1, nodeIdFromOctets(10, 1, 2, 3));
    w.shortCall(makeLocation(1, 10), kFuncInit, 0, 100);
    const uint32_t members[] = {1};
    w.commCall(makeLocation(2, 5), kFuncCommDup, 100, 110, 300, members);
    w.longCall(makeLocation(1, 40), kFuncRecv, 110, 200, 3u << 30, 7, 0, kWorldComm);
    w.shortCall(makeLocation(1, 50), kFuncRecv | kUnfinishedFlag, 200, 250);
    w.counter(12, makeLocation(1, 20));
    FdbContents db;
    db.sections = {{4, "exchange"}};
    db.files = {{1, "ring,\"main\".c"}, {2, "comm.c"}};
    return saveWrittenTrace(w, &db, "cli");
}

std::string generated(const std::string& pattern, const std::string& options) {
    const std::string path = writtenTracePath("gen_" + pattern);
    EXPECT_EQ(zlv("gen " + pattern + " " + path + " " + options).status, 0);
    return path;
}

const std::string kMixed = "--ranks 4 --nodes 2 --iterations 2";

std::string framed(const std::string& term, const std::string& comm, const std::string& srpr) {
    return "Check for terminations...\n" + term + "Done\nCheck for communicators...\n" + comm +
           "Done\nCheck send/receive correspondence...\n" + srpr + "Done\nChecking complete\n";
}

} // namespace

// Each verb's whole output (or its status alone) on the faulty trace.
TEST(CliCheckStats, OutputsAndExitStatuses) {
    const std::string t = " " + faultyTrace();
    TraceWriter clean;
    clean.declareProcess(0, 1);
    clean.shortCall(0, kFuncInit, 0, 1);
    const struct {
        std::string args;
        int status;
        const char* out; // nullptr: not compared
    } cases[] = {
        {"check --only srpr" + t, 1,
         "Check send/receive correspondence...\n"
         "\tNumber of sent messages not equal to number of receive one (0 to 1)\n"
         "Done\nChecking complete\n"},
        {"stats datasize" + t, 0,
         "              0             1\n"
         "0           0/0  6442450944/0\n"
         "1  0/3221225472           0/0\n"},
        {"stats sendrecv" + t + " --format tsv --section 4", 0,
         "\t0\t1\n0\t0/0\t2/0\n1\t0/0\t0/0\n"},
        {"stats sendrecv" + t + " --format tsv --section 0", 0,
         "\t0\t1\n0\t0/0\t2/0\n1\t0/1\t0/0\n"},
        {"stats counters" + t + " --format csv", 0,
         "Rank,File:Line,Times\r\n1,\"ring,\"\"main\"\".c:20\",12\r\n"},
        {"stats nodes" + t + " --format tsv", 0,
         "Node\tnodeIP\tRanks\n0\t10.1.2.3\t0\n0\t10.1.2.3\t1\n"},
        {"stats process" + t + " --format tsv", 0,
         "Rank\tTime [us]\tInit [us]\tInit [%]\tFinalize [us]\tFinalize [%]\tSend [us]\t"
         "Send [%]\tRecv [us]\tRecv [%]\n"
         "0\t400\t100\t25\t100\t25\t200\t50\t0\t0\n"
         "1\t250\t100\t40\t0\t0\t0\t0\t90\t36\n"},
        {"sections" + t, 0, "0\tZLVR_MAIN_SECT\n4\texchange\n"},
        {"check " + saveWrittenTrace(clean), 0, nullptr},
        {"check " + saveWrittenTrace(TraceWriter{}), 2, nullptr}, // no processes
        {"check /nonexistent/x.zlv", 2, nullptr},
        {"check" + t + " --only bogus", 2, nullptr},
        {"stats process" + t + " --section 4", 2, nullptr},
        {"stats matrix" + t, 2, nullptr},
        {"stats nodes" + t + " --format xml", 2, nullptr},
        {"stats nodes /nonexistent/x.zlv", 2, nullptr},
    };
    for (const auto& c : cases) {
        const ToolRun run = zlv(c.args);
        EXPECT_EQ(run.status, c.status) << c.args;
        if (c.out) {
            EXPECT_EQ(run.out, c.out) << c.args;
        }
    }
    const ToolRun all = zlv("check" + t);
    EXPECT_EQ(all.status, 1);
    EXPECT_NE(all.out.find("\tProcess rank 1. Location ring,\"main\".c:50\n"), std::string::npos);
    // The checks keep their fixed order whatever the order of the list.
    EXPECT_TRUE(zlv("check" + t + " --only comm,term")
                    .out.starts_with("Check for terminations...\nFunction MPI_Recv was"));
}

TEST(CliGenerated, EachFaultIsCaughtByItsCheck) {
    std::string leaks;
    for (int r = 0; r < 4; ++r)
        leaks += "In process with rank " + std::to_string(r) +
                 " new communicator was created (1000) at main.c:12, , but it was not destroyed\n";
    const std::string unfinished = "Function MPI_Finalize was termitated for idle\n"
                                   "\tProcess rank 3. Location main.c:22\n";
    const std::string lost =
        "\tNumber of sent messages not equal to number of receive one (0 to 1)\n";
    const struct {
        const char* fault;
        int status;
        std::string out;
    } cases[] = {{"", 0, framed("", "", "")},
                 {" --fault unfinished", 1, framed(unfinished, "", "")},
                 {" --fault unfreed-comm", 1, framed("", leaks, "")},
                 {" --fault lost-recv", 1, framed("", "", lost)}};
    for (const auto& c : cases) {
        const ToolRun run = zlv("check " + generated("mixed", kMixed + c.fault));
        EXPECT_EQ(std::pair(run.status, run.out), std::pair(c.status, c.out)) << c.fault;
    }

    ToolRun all = zlv("check --only srpr " +
                      generated("stencil", "--ranks 9 --fault lost-recv --fault unfinished"));
    EXPECT_EQ(all.status, 1);
    EXPECT_EQ(all.out,
              "Check send/receive correspondence...\n" + lost + "Done\nChecking complete\n");
}

TEST(CliGenerated, SectionsAndTheRingSectionsMatrix) {
    const std::string mixed = generated("mixed", kMixed);
    EXPECT_EQ(zlv("sections " + mixed).out, "0\tZLVR_MAIN_SECT\n1\tring\n2\tstencil\n"
                                            "3\tmaster_worker\n4\tcollectives\n");
    // The ring section alone: each rank sends once per iteration to its right.
    EXPECT_EQ(zlv("stats sendrecv " + mixed + " --section 1 --format tsv").out,
              "\t0\t1\t2\t3\n"
              "0\t0/0\t2/0\t0/0\t0/2\n"
              "1\t0/2\t0/0\t2/0\t0/0\n"
              "2\t0/0\t0/2\t0/0\t2/0\n"
              "3\t2/0\t0/0\t0/2\t0/0\n");
}

TEST(CliDump, NamesTheTracersOwnCalls) {
    TraceWriter w;
    w.declareProcess(0, 1);
    w.shortCall(0, kFuncInit, 0, 10);
    w.longCall(0, otherCallId(kOtherAlltoall), 10, 20, 64, 0, -1, kWorldComm);
    w.shortCall(0, otherCallId(kOtherBarrier) | kUnfinishedFlag, 20, 30);
    const ToolRun run = zlv("dump " + saveWrittenTrace(w));
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\n1\tMPI_Alltoall\t10\t20\t"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n2\tMPI_Barrier (unfinished)\t20\t30\t"), std::string::npos);
}
