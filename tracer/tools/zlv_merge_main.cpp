// zlv-merge: joins the part files that a traced run left behind (after
// MPI_Abort, a signal, or a program that ended without MPI_Finalize) into
// NAME.zlv and NAME.fdb.

#include "part_merge.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: zlv-merge [--clean] NAME\n"
    "  Joins the parts in NAME.zlvparts/ into NAME.zlv and NAME.fdb.\n"
    "  NAME may also be given as NAME.zlv or NAME.zlvparts.\n"
    "  --clean  remove the parts and their directory after a complete merge\n"
    "exit status: 0 complete, 1 written but some ranks are missing or cut short, 2 failed\n";

} // namespace

int main(int argc, char** argv) {
    bool clean = false;
    std::string name;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--clean") == 0)
            clean = true;
        else if (name.empty() && argv[i][0] != '-')
            name = argv[i];
        else {
            std::fprintf(stderr, "zlv-merge: unexpected argument %s\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (name.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const zlvt::TraceFileNames names = zlvt::traceFileNames(name);
    const zlvt::DirectoryMergeResult result = zlvt::mergePartDirectory(names);
    for (const auto& m : result.messages) std::fprintf(stderr, "zlv-merge: %s\n", m.c_str());
    if (!result.written) return 2;
    std::printf("%s: %u processes, %llu records; %s\n", names.trace.c_str(), result.processes,
                static_cast<unsigned long long>(result.records), names.database.c_str());
    const bool complete = result.missing == 0 && result.damaged == 0;
    if (clean && complete) {
        std::error_code ec;
        std::filesystem::remove_all(names.partsDir, ec);
    }
    return complete ? 0 : 1;
}
