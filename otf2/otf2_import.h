#pragma once
// Opens an OTF2 archive as a trace: reads it through the OTF2 library, maps
// ranks, calls, sections and communicators into the model, then builds the
// links and aligns the clocks as for a .zlv trace.

#include "model/load_progress.h"

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

class TTrace;

namespace otf2in {

// What an import saw beyond the model's own records.
struct ImportSummary {
    uint64_t metricSamples = 0;
    std::vector<std::string> metricNames;
    uint64_t otherThreads = 0;
};

// Fills an empty document. Problems go to `errors`, one line each; false
// when the archive could not be read whole (what was read stays). Once
// `cancel` is set it stops after the rank under way and leaves the document
// empty.
bool importArchive(TTrace& trace, const std::string& anchorPath, std::ostream& errors,
                   const LoadProgress& progress = {}, ImportSummary* summary = nullptr,
                   const LoadCancel* cancel = nullptr);

// The metric that carries our counter records (location, times) in archives we write.
constexpr const char* kCounterLocationMetric = "ZLV_COUNTER_LOCATION";
constexpr const char* kCounterTimesMetric = "ZLV_COUNTER_TIMES";

} // namespace otf2in
