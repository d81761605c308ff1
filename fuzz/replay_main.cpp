// Replays inputs through a fuzz target's entry function without libFuzzer,
// so every build checks the seed corpus and every crash input found so far.
//
//   fuzz_replay TARGET [--min-files N] PATH...
//
// The empty input comes first; then each PATH, a file or a directory whose
// regular files (names not starting with ".") are replayed in name order.
// A crash or failed invariant aborts.

#include "fuzz/fuzz_entries.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

FuzzEntry entryByName(std::string_view name) {
    if (name == "trace") return fuzzTraceEntry;
    if (name == "fdb") return fuzzFdbEntry;
    if (name == "otf2") return fuzzOtf2Entry;
#ifdef ZLV_FUZZ_WITH_DRAW
    if (name == "draw") return fuzzDrawEntry;
#endif
    return nullptr;
}

std::vector<fs::path> inputsUnder(const fs::path& path) {
    std::vector<fs::path> files;
    std::error_code ec;
    if (fs::is_regular_file(path, ec)) {
        files.push_back(path);
    } else if (fs::is_directory(path, ec)) {
        for (const fs::directory_entry& e : fs::directory_iterator(path, ec)) {
            const std::string name = e.path().filename().string();
            if (e.is_regular_file(ec) && !name.starts_with(".")) files.push_back(e.path());
        }
        std::sort(files.begin(), files.end());
    }
    return files;
}

std::vector<uint8_t> readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int usage() {
    std::fprintf(stderr, "usage: fuzz_replay TARGET [--min-files N] PATH...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const FuzzEntry entry = entryByName(argv[1]);
    if (!entry) {
        std::fprintf(stderr, "fuzz_replay: unknown target '%s'\n", argv[1]);
        return 2;
    }
    size_t minFiles = 0;
    std::vector<fs::path> inputs;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--min-files" && i + 1 < argc) {
            minFiles = std::stoul(argv[++i]);
            continue;
        }
        std::vector<fs::path> found = inputsUnder(arg);
        inputs.insert(inputs.end(), found.begin(), found.end());
    }

    // The empty input first, as libFuzzer does.
    entry(nullptr, 0);
    for (const fs::path& p : inputs) {
        const std::vector<uint8_t> bytes = readAll(p);
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", p.c_str(), bytes.size());
        entry(bytes.data(), bytes.size());
    }
    std::printf("%s: %zu inputs replayed\n", argv[1], inputs.size());
    if (inputs.size() < minFiles) {
        std::fprintf(stderr, "fuzz_replay: expected at least %zu inputs\n", minFiles);
        return 1;
    }
    return 0;
}
