#pragma once
// How large the point-to-point messages were: counts and bytes in bins of
// powers of two.

#include "analysis/analysis_scope.h"

#include <array>
#include <cstdint>
#include <string>

class TTrace;
class TraceWindows;
struct TFunc;

struct SizeBin {
    uint64_t messages = 0;
    uint64_t bytes = 0;
    bool operator==(const SizeBin&) const = default;
};

// Bin 0 holds the messages of size 0, bin b + 1 those of 2^b to 2^(b+1) - 1.
constexpr uint32_t kSizeBins = 33;
struct MessageSizes {
    std::array<SizeBin, kSizeBins> bins{};
    bool operator==(const MessageSizes&) const = default;
};

uint32_t sizeBinOf(uint32_t size);
// "0", "1", "2-3", "4-7", ...
std::string sizeBinLabel(uint32_t bin);
// A point-to-point sending call: it sends, is no wait and no collective.
bool isPointToPointSend(const TFunc& f);

// Sending calls that start in the range (every one without a range).
MessageSizes messageSizes(const TTrace& trace, const AnalysisScope& scope,
                          const TraceWindows* windows = nullptr);
