#pragma once
// Scroll values that bring a time or a process's row into the event
// explorer: for "go to" commands, find and the details panel. Plain C++.

#include "view/row_layout.h"

#include <cstdint>
#include <optional>
#include <vector>

// The horizontal scroll value (in steps of the zoom) that shows time t: the
// current one when t already lies in the window, otherwise one that puts t a
// third of the way into it.
int64_t offsetShowing(int64_t t, double zoom, int width, int64_t currentOffset);

// The horizontal scroll value whose window starts at or just before t.
int64_t offsetAt(int64_t t, double zoom);

// The vertical scroll value that shows the row of list position `position`
// whole: the current one when it already does, otherwise one that puts the
// row in the middle of the view. nullopt when the filter hides the position.
std::optional<int64_t> posShowing(const std::vector<bool>& shown, uint32_t position,
                                  int64_t currentPos, int height, int rowHeight = kRowHeight);

// The vertical scroll value that puts the row of `position` in the top row
// that shows whole, or that scrolls nothing off when every row from it down
// fits. nullopt when the filter hides the position.
std::optional<int64_t> posWithRowAtTop(const std::vector<bool>& shown, uint32_t position,
                                       int height, int rowHeight = kRowHeight);
