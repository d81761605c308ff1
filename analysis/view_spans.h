#pragma once
// What a panel of the window analyses: the whole run, the stretch of time the
// view shows, or the range the user selected. Plain numbers, so that the
// window's code can fill it without the analysis headers.

#include <cstdint>
#include <optional>
#include <utility>

enum class AnalysisSpan { WholeRun, Visible, Selected };

// The view's two stretches of time (display times, which are corrected times).
struct ViewSpans {
    int64_t visibleFrom = 0;
    int64_t visibleTo = 0;
    std::optional<std::pair<int64_t, int64_t>> selected; // [from, to)
    bool operator==(const ViewSpans&) const = default;
};
