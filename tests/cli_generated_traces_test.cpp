// `zlv check` and `zlv stats` on traces from `zlv gen`: each planted fault is
// caught by the check meant for it, and a clean run passes.
#include "tests/written_trace.h"
#include "tests/zlv_tool_run.h"

#include <gtest/gtest.h>

namespace {

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

TEST(CliGenerated, EachFaultIsCaughtByItsCheck) {
    ToolRun clean = zlv("check " + generated("mixed", kMixed));
    EXPECT_EQ(clean.status, 0);
    EXPECT_EQ(clean.out, framed("", "", ""));

    ToolRun unfinished = zlv("check " + generated("mixed", kMixed + " --fault unfinished"));
    EXPECT_EQ(unfinished.status, 1);
    EXPECT_EQ(unfinished.out, framed("Function MPI_Finalize was termitated for idle\n"
                                     "\tProcess rank 3. Location main.c:22\n",
                                     "", ""));

    ToolRun unfreed = zlv("check " + generated("mixed", kMixed + " --fault unfreed-comm"));
    EXPECT_EQ(unfreed.status, 1);
    std::string leaks;
    for (int r = 0; r < 4; ++r)
        leaks += "In process with rank " + std::to_string(r) +
                 " new communicator was created (1000) at main.c:12, , but it was not destroyed\n";
    EXPECT_EQ(unfreed.out, framed("", leaks, ""));

    ToolRun lost = zlv("check " + generated("mixed", kMixed + " --fault lost-recv"));
    EXPECT_EQ(lost.status, 1);
    EXPECT_EQ(
        lost.out,
        framed("", "", "\tNumber of sent messages not equal to number of receive one (0 to 1)\n"));

    ToolRun all = zlv("check --only srpr " +
                      generated("stencil", "--ranks 9 --fault lost-recv --fault unfinished"));
    EXPECT_EQ(all.status, 1);
    EXPECT_EQ(all.out, "Check send/receive correspondence...\n"
                       "\tNumber of sent messages not equal to number of receive one (0 to 1)\n"
                       "Done\nChecking complete\n");
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
