#include "analysis/message_sizes.h"

#include "analysis/scoped_calls.h"
#include "model/parallel_for.h"

#include <bit>
#include <vector>

uint32_t sizeBinOf(uint32_t size) {
    return size == 0 ? 0 : static_cast<uint32_t>(std::bit_width(size));
}

std::string sizeBinLabel(uint32_t bin) {
    if (bin == 0) return "0";
    const uint64_t low = uint64_t{1} << (bin - 1);
    const uint64_t high = 2 * low - 1;
    return low == high ? std::to_string(low) : std::to_string(low) + "-" + std::to_string(high);
}

bool isPointToPointSend(const TFunc& f) {
    return (f.kind & (kKindSend | kKindWait | kKindCollective)) == kKindSend;
}

MessageSizes messageSizes(const TTrace& trace, const AnalysisScope& scope,
                          const TraceWindows* windows) {
    const std::vector<ScopedProcess> procs = scopedProcesses(trace, scope);
    const unsigned workers = std::thread::hardware_concurrency() == 1 ? 1 : 2;
    std::vector<MessageSizes> parts(workers);
    parallelFor(workers, static_cast<uint32_t>(procs.size()), [&](unsigned w, uint32_t i) {
        MessageSizes& into = parts[w];
        forEachScopedCall(procs[i], scope, windows, [&](const ScopedCall& c) {
            if (!isPointToPointSend(c.call)) return;
            if (scope.range && !scope.range->holds(c.start)) return;
            SizeBin& bin = into.bins[sizeBinOf(c.call.size)];
            ++bin.messages;
            bin.bytes += c.call.size;
        });
    });
    MessageSizes all;
    for (const MessageSizes& part : parts)
        for (uint32_t b = 0; b < kSizeBins; ++b) {
            all.bins[b].messages += part.bins[b].messages;
            all.bins[b].bytes += part.bins[b].bytes;
        }
    return all;
}
