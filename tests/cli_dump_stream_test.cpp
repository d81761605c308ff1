// zlv dump writes as it goes: its peak memory is that of opening the trace
// (zlv info on the same file), not that plus its output, even when one
// process alone has more than a hundred megabytes of lines.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Finished {
    int status = -1;
    uint64_t outputBytes = 0;
    uint64_t peakKb = 0; // the child's peak resident memory
};

// Runs the built zlv with `args`, reading its standard output as it comes.
Finished runZlv(const std::vector<std::string>& args) {
    Finished f;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return f;
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::vector<char*> argv{const_cast<char*>(ZLV_BINARY)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(ZLV_BINARY, argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    char buf[1 << 16];
    for (ssize_t n; (n = read(pipeFds[0], buf, sizeof buf)) > 0;) f.outputBytes += n;
    close(pipeFds[0]);
    int raw = 0;
    rusage usage{};
    if (wait4(child, &raw, 0, &usage) == child && WIFEXITED(raw)) f.status = WEXITSTATUS(raw);
    f.peakKb = static_cast<uint64_t>(usage.ru_maxrss);
    return f;
}

} // namespace

TEST(DumpStreams, PeakMemoryDoesNotGrowWithTheOutput) {
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer keeps freed memory in quarantine: peaks say nothing here.
    GTEST_SKIP() << "peak memory is not measured under AddressSanitizer";
#endif
    const std::string path = (std::filesystem::path(testing::TempDir()) /
                              ("dump_stream_" + std::to_string(getpid()) + ".zlv"))
                                 .string();
    // Two processes of about 1.1 million calls each.
    ASSERT_EQ(runZlv({"gen", "pingpong", path, "--ranks", "2", "--iterations", "3300"}).status, 0);
    const Finished info = runZlv({"info", path});
    const Finished dump = runZlv({"dump", path});
    std::filesystem::remove(path);
    std::filesystem::remove(path.substr(0, path.size() - 4) + ".fdb");
    ASSERT_EQ(info.status, 0);
    ASSERT_EQ(dump.status, 0);
    EXPECT_GT(dump.outputBytes, uint64_t{150} << 20);
    // Holding one process's lines would add about half the output.
    EXPECT_LT(dump.peakKb, info.peakKb + 32 * 1024)
        << "info " << info.peakKb << " KB, dump " << dump.peakKb << " KB";
}
