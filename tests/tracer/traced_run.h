#pragma once
// Runs a test program under mpirun with the tracer, in a directory of its
// own, and loads the trace it leaves.

#include "model/trace_document.h"

#include <memory>
#include <string>

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

// preload: trace through LD_PRELOAD (the program is not linked with the tracer).
TracedRun runTraced(const std::string& program, const std::string& mode, bool preload,
                    const std::string& base, int processes = 4);

// Runs zlv-merge on the run's parts; returns its exit status.
int mergeParts(const TracedRun& run);

struct LoadedTrace {
    std::unique_ptr<TTrace> trace;
    std::string loaderMessages;   // standard error of the loader
    std::string databaseMessages; // database messages
};
LoadedTrace loadTrace(const std::string& path);
