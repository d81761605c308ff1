// zlv convert both ways on generated traces: the archive and the .zlv made
// from it give the same zlv output as the trace they came from, and the OTF2
// tools read what was written.

#include "tests/otf2_test_archives.h"
#include "zlv_tool_run.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

namespace {

const char* const kVerbs[] = {"info",           "links",          "check",
                              "stats process",  "stats sendrecv", "stats datasize",
                              "stats counters", "stats nodes",    "sections"};

struct Generated {
    std::string options;
    bool loads = true;
};

class ConvertRoundTrip : public testing::TestWithParam<Generated> {};

} // namespace

TEST_P(ConvertRoundTrip, SameOutputAsTheOriginal) {
    const std::string dir =
        freshArchiveDir("convert_" + std::to_string(std::hash<std::string>{}(GetParam().options)));
    std::filesystem::create_directories(dir);
    const std::string zlvPath = dir + "/g.zlv", archive = dir + "/g.otf2", back = dir + "/back.zlv";
    ASSERT_EQ(zlv("gen " + GetParam().options + " " + zlvPath).status, 0);
    const int loaded = GetParam().loads ? 0 : 1;
    ASSERT_EQ(zlv("convert " + zlvPath + " " + archive).status, loaded);
    ASSERT_EQ(zlv("convert " + archive + " " + back).status, loaded);
    for (const char* verb : kVerbs) {
        const ToolRun original = zlv(std::string(verb) + " " + zlvPath);
        const ToolRun fromArchive = zlv(std::string(verb) + " " + archive);
        const ToolRun fromBack = zlv(std::string(verb) + " " + back);
        EXPECT_EQ(fromArchive.out, original.out) << verb;
        EXPECT_EQ(fromArchive.status, original.status) << verb;
        EXPECT_EQ(fromBack.out, original.out) << verb;
    }
    EXPECT_EQ(std::system(("otf2-print --silent " + archive + " >/dev/null 2>&1").c_str()), 0);
}

INSTANTIATE_TEST_SUITE_P(Generated, ConvertRoundTrip,
                         testing::Values(Generated{"mixed --ranks 12 --nodes 3"},
                                         Generated{"stencil --ranks 9 --nodes 3 --skew-us 4000"},
                                         Generated{"collectives --ranks 6 --nodes 2"},
                                         Generated{"master-worker --ranks 5 --nodes 5"},
                                         Generated{"mixed --fault unfinished --fault unfreed-comm"},
                                         Generated{"mixed --fault lost-recv --ranks 3"}),
                         [](const testing::TestParamInfo<Generated>& info) {
                             std::string name;
                             for (const char c : info.param.options)
                                 if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                             return name;
                         });

TEST(Convert, RefusesToOverwriteAndNamesWhatFailed) {
    const std::string dir = freshArchiveDir("convert_refuse");
    std::filesystem::create_directories(dir + "/t");
    ASSERT_EQ(zlv("gen ring " + dir + "/r.zlv").status, 0);
    EXPECT_EQ(zlv("convert " + dir + "/r.zlv " + dir + "/t.otf2").status, 2);
    EXPECT_EQ(zlv("convert " + dir + "/r.zlv " + dir + "/noext").status, 2);
    EXPECT_EQ(zlv("convert " + dir + "/missing.zlv " + dir + "/x.otf2").status, 2);
    EXPECT_FALSE(std::filesystem::exists(dir + "/x.otf2"));
}

TEST(Convert, ArchiveNamesSurviveAsDatabaseNames) {
    TestArchive a(freshArchiveDir("convert_names"), 2);
    for (uint32_t r = 0; r < 2; ++r) {
        a.call(r, 0, 10, "MPI_Init");
        a.enter(r, 11, "!$omp parallel @solver.c:12");
        a.call(r, 12, 13, "MPI_Barrier");
        a.leave(r, 14, "!$omp parallel @solver.c:12");
    }
    a.close();
    const std::string back = std::filesystem::path(a.path()).parent_path().string() + "/back.zlv";
    ASSERT_EQ(zlv("convert " + a.path() + " " + back).status, 0);
    EXPECT_EQ(zlv("sections " + back).out, "0\tZLVR_MAIN_SECT\n1\t!$omp_parallel_@solver.c:12\n");
    EXPECT_EQ(zlv("links " + back).out, zlv("links " + a.path()).out);
}

TEST(Check, OnlyCommunicatorsACallMadeCanLeak) {
    // Both ranks use a communicator the definitions declare; rank 1 also
    // duplicates the world and never frees the copy.
    TestArchive a(freshArchiveDir("check_comms"), 2);
    const uint32_t pair = a.subComm("pair", {1, 0});
    const uint32_t copy = a.subComm("copy", {0, 1});
    a.initAll(0, 10);
    for (uint32_t r = 0; r < 2; ++r) a.collective(r, 20, 30, "MPI_Bcast", pair, 0, 8, 8);
    a.enter(1, 40, "MPI_Comm_dup");
    OTF2_EvtWriter_CommCreate(a.ev(1), nullptr, 41, copy);
    a.leave(1, 42, "MPI_Comm_dup");
    a.close();
    const ToolRun check = zlv("check --only comm " + a.path());
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(check.out,
              "Check for communicators...\nIn process with rank 1 new communicator was "
              "created (" +
                  std::to_string(copy) +
                  ") at Unknown:0, , but it was not destroyed\nDone\nChecking complete\n");
}

TEST(ExportChrome, EveryCallLinkAndRankOfAGeneratedTrace) {
    const std::string dir = freshArchiveDir("export_chrome");
    std::filesystem::create_directories(dir);
    ASSERT_EQ(zlv("gen mixed " + dir + "/m.zlv --ranks 6 --nodes 2 --skew-us 3000").status, 0);
    ASSERT_EQ(zlv("export chrome " + dir + "/m.zlv " + dir + "/m.json").status, 0);
    const std::string info = zlv("info " + dir + "/m.zlv").out;
    const auto value = [&](const std::string& key) {
        const size_t at = info.find(key + ": ");
        return info.substr(at + key.size() + 2, info.find('\n', at) - at - key.size() - 2);
    };
    size_t markers = 0;
    const std::string dump = zlv("dump " + dir + "/m.zlv").out;
    for (size_t at = 0; (at = dump.find("\tsection marker\t", at)) != std::string::npos; ++at)
        ++markers;
    const std::string check = std::string("python3 ") + ZLV_SOURCE_DIR +
                              "/tests/chrome_export_check.py " + dir + "/m.json " + value("calls") +
                              " " + value("links") + " " + value("processes") + " " +
                              std::to_string(markers);
    FILE* pipe = popen(check.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    pclose(pipe);
    ASSERT_TRUE(read);
    EXPECT_STREQ(line, "ok\n");
    EXPECT_GT(markers, 0u);
}
