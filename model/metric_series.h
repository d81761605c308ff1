#pragma once
// Metric samples of a trace (hardware counters and the like, from formats
// that record them): one series per metric and rank, kept for a counter
// track. Times are raw microseconds of the node's clock, as call times are.

#include <cstdint>
#include <string>
#include <vector>

struct TMetricSample {
    int64_t time = 0;
    double value = 0;
};

struct TMetricSeries {
    std::string name;
    std::string unit;
    uint32_t rank = 0;
    std::vector<TMetricSample> samples;
};
