#pragma once
// The view state of a frame reached from tests whose own includes hold the
// analysis's TimeRange (the view state has one of its own by that name).

#include <cstdint>
#include <utility>

class MainFrame;

void selectRangeIn(MainFrame& frame, int64_t a, int64_t b);
// The first and the last whole microsecond shown by the event explorer.
std::pair<int64_t, int64_t> visibleMicros(MainFrame& frame);
