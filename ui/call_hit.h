#pragma once
// Which call lies under a point of the event explorer: the press test of the
// view, also used for tool tips. Plain C++, without Qt.

#include <cstdint>
#include <optional>

class TTrace;
class ViewFilter;
struct TFunc;

// What the event explorer shows: its scale, scroll values and size.
struct ViewPlace {
    double zoom = 1.0;
    int offset = 0; // horizontal scroll value, in steps
    int pos = 0;    // vertical scroll value
    int width = 0;
    int height = 0;
};

struct CallHit {
    uint32_t position = 0; // in the document's process list
    TFunc* call = nullptr;
};

// The call whose bar (clipped to the window) spans x in the row that holds y;
// calls of hidden functions are never hit.
std::optional<CallHit> callAt(TTrace& trace, const ViewFilter& filter, const ViewPlace& view,
                              int64_t x, int64_t y);
