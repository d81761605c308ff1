#pragma once
// Writes the trace (.zlv) and application database (.fdb) of a simulated MPI
// run. The same options and seed always give the same bytes.

#include "tools/gen/gen_options.h"

#include <cstdint>
#include <string>

struct GenResult {
    bool ok = false;
    std::string error;   // why nothing usable was written, when !ok
    std::string fdbPath; // the database written beside the trace
    uint32_t processes = 0;
    uint64_t calls = 0; // call records, section markers included
    uint64_t bytes = 0; // size of the trace file
};

GenResult generateTrace(const GenOptions& options, const std::string& tracePath);
