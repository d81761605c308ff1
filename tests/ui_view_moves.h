#pragma once
// The view state of a frame reached from tests that do not include the
// window's headers.

#include <cstdint>
#include <utility>

class MainFrame;

void selectRangeIn(MainFrame& frame, int64_t a, int64_t b);
// The first and the last whole microsecond shown by the event explorer.
std::pair<int64_t, int64_t> visibleMicros(MainFrame& frame);
