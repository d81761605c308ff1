#pragma once
// Which call a press at (x, y) of the event explorer falls on: the row that
// holds y, then the call whose clipped bar spans x, as the views draw it. The
// time index starts each row's search at the calls that can reach x.

#include "view/row_layout.h"
#include "view/time_axis.h"
#include "view/view_state.h"

#include <optional>

class TimeIndex;
class ViewFilter;

// Calls of functions that the filter hides are never hit.
std::optional<CallSelection> callUnder(TimeIndex& index, const TimeWindow& window,
                                       const RowLayout& layout, int64_t x, int64_t y,
                                       const ViewFilter* filter = nullptr);

// The bar of a call as it is drawn: its clipped ends' pixels and its row's
// lower edge; nullopt when the call is not in the window or its row is not shown.
struct DrawnBar {
    int64_t xs = 0, xe = 0;
    int64_t bottom = 0;
};
std::optional<DrawnBar> barOf(const TimeIndex& index, const TimeWindow& window,
                              const RowLayout& layout, const CallSelection& call);
