#pragma once
// Runs a test program under mpirun with the tracer, in a directory of its
// own, and loads the trace it leaves.

#include "model/trace_document.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

struct TracedRun {
    std::string dir;  // working directory of the run
    std::string base; // the trace's base name (ZLV_TRACE)
    int exitStatus = -1;
    std::string log; // mpirun's output

    std::string path(const std::string& name) const { return dir + "/" + name; }
    std::string tracePath() const { return path(base + ".zlv"); }
    std::string partsDir() const { return path(base + ".zlvparts"); }
};

// Empty when mpirun can run; otherwise why not.
std::string whyMpirunUnavailable();

// Tests of traced runs: skipped where mpirun cannot run.
class TracedRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string why = whyMpirunUnavailable();
        if (!why.empty()) GTEST_SKIP() << why;
    }
};

// preload: trace through LD_PRELOAD (the program is not linked with the tracer).
// env: further variables for every process, "NAME=value" separated by spaces.
TracedRun runTraced(const std::string& program, const std::string& mode, bool preload,
                    const std::string& base, int processes = 4, const std::string& env = "");

// Runs zlv-merge on the run's parts; returns its exit status.
int mergeParts(const TracedRun& run);

struct LoadedTrace {
    std::unique_ptr<TTrace> trace;
    std::string loaderMessages;   // standard error of the loader
    std::string databaseMessages; // database messages
};
LoadedTrace loadTrace(const std::string& path);

// A run and the trace it left.
struct LoadedRun {
    TracedRun run;
    LoadedTrace loaded;
};
LoadedRun runAndLoad(const std::string& program, const std::string& mode, bool preload,
                     const std::string& base, const std::string& env = "");

// The calls of p with this identifier, in call order.
std::vector<const TFunc*> callsWith(const TProcess& p, uint32_t funcId);
// Global rank of a call's peer, through the process's view of the communicator.
int32_t globalPeer(const TProcess& p, const TFunc& f);
