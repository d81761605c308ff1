#pragma once
// Shared by the generator tests: generate into a scratch directory and load
// the result with every message captured.

#include "model/trace_document.h"
#include "tools/gen/trace_generator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

inline std::filesystem::path genScratchDir() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    auto dir = std::filesystem::temp_directory_path() /
               ("zlv_gen_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" +
                std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::string readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct LoadedGen {
    GenResult result;
    std::string path;
    std::unique_ptr<TTrace> trace;
    std::string dbMessages;
    std::string errors;
    std::string stdoutText; // anything written past the streams handed to the document
    std::string stderrText;
};

inline LoadedGen generateAndLoad(const GenOptions& options, const std::string& name = "t.zlv") {
    LoadedGen g;
    g.path = (genScratchDir() / name).string();
    g.result = generateTrace(options, g.path);
    if (!g.result.ok) return g;
    std::ostringstream db, errors;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    g.trace = std::make_unique<TTrace>(g.path, db, errors);
    g.stderrText = testing::internal::GetCapturedStderr();
    g.stdoutText = testing::internal::GetCapturedStdout();
    g.dbMessages = db.str();
    g.errors = errors.str();
    return g;
}

inline GenOptions genOptions(GenPattern pattern, uint32_t ranks, uint32_t nodes,
                             uint32_t iterations) {
    GenOptions o;
    o.pattern = pattern;
    o.ranks = ranks;
    o.nodes = nodes;
    o.iterations = iterations;
    return o;
}

inline uint64_t totalLinks(const TTrace& trace) {
    uint64_t n = 0;
    for (const TProcess& p : trace.processes)
        for (const TFunc& f : p.calls) n += f.linkCount;
    return n;
}

// Calls of one process with the given function identifier, in call order.
inline std::vector<const TFunc*> callsOf(const TProcess& p, uint32_t funcId) {
    std::vector<const TFunc*> out;
    for (const TFunc& f : p.calls)
        if (f.funcId == funcId) out.push_back(&f);
    return out;
}
