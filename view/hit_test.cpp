#include "view/hit_test.h"

#include "model/trace_document.h"
#include "model/wrapping_math.h"
#include "view/time_index.h"
#include "view/view_filter.h"

#include <cmath>

std::optional<CallSelection> callUnder(TimeIndex& index, const TimeWindow& window,
                                       const RowLayout& layout, int64_t x, int64_t y,
                                       const ViewFilter* filter) {
    const TTrace& trace = index.trace();
    // Calls that end before the time of pixel x end left of it: the search
    // starts past them (a microsecond early, so that no rounding skips one).
    const int64_t reach = saturatingAdd(
        window.t0, clampToInt64(std::floor(static_cast<double>(x) / window.zoom)) - 1);
    for (const Row& row : layout.rows) {
        if (!rowContains(row, y, layout.geometry.height)) continue;
        const TCallList& calls = trace.processAt(row.position)->calls;
        const int64_t shift = index.shiftAt(row.position);
        for (size_t i = index.firstEndingAtOrAfter(row.position, std::max(reach, window.t0));
             i < calls.size(); ++i) {
            const TFunc& f = calls[i];
            const ClippedCall c = clipCall(window, wrapAdd(f.start, shift), wrapAdd(f.end, shift));
            if (c.place == CallPlace::Before) continue;
            if (c.place == CallPlace::After) break;
            if (filter && !filter->funcVisible(f.funcId)) continue; // as if it were not there
            const int64_t xs = pixelOf(window, c.start);
            const int64_t xe = pixelOf(window, c.end);
            if (xs <= x && x <= xe) return CallSelection{row.position, i};
            if (x < xe || c.lastInRow) break;
        }
    }
    return std::nullopt;
}

std::optional<DrawnBar> barOf(const TimeIndex& index, const TimeWindow& window,
                              const RowLayout& layout, const CallSelection& call) {
    const TProcess* process = index.trace().processAt(call.position);
    if (!process || call.call >= process->calls.size() || call.position >= layout.edgeOf.size())
        return std::nullopt;
    const std::optional<int64_t> edge = layout.edgeOf[call.position];
    if (!edge) return std::nullopt;
    const TFunc& f = process->calls[call.call];
    const int64_t shift = index.shiftAt(call.position);
    const ClippedCall c = clipCall(window, wrapAdd(f.start, shift), wrapAdd(f.end, shift));
    if (c.place != CallPlace::Inside) return std::nullopt;
    return DrawnBar{pixelOf(window, c.start), pixelOf(window, c.end), *edge};
}
