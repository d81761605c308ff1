#pragma once
// ViewState: what the views of one window show, held once. The horizontal
// place is the zoom (pixels per microsecond) and a time pinned at a pixel:
// the scroll bar's integer value is one way to set it (the left edge at
// offset x scroll step), a zoom anchored at the mouse another, and the time
// under that pixel then stays under it exactly. Besides: the vertical scroll
// value, the display filter (with its links flag), the selected call, a
// selected time range and the history of zooms. No Qt: the window's adaptor
// tells the widgets of changes.

#include "view/row_layout.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

class ViewFilter;

// 64 bits of mantissa on the platforms built here: every int64_t microsecond
// is exact, with room for the fraction that an anchored zoom leaves.
using ViewTime = long double;
static_assert(std::numeric_limits<ViewTime>::digits >= 64);

// A call of the view: its process's position in the document's list and its
// index in that process's call list.
struct CallSelection {
    uint32_t position = 0;
    size_t call = 0;
    friend bool operator==(const CallSelection&, const CallSelection&) = default;
};

// A span of display times, start <= end.
struct ViewRange {
    int64_t start = 0;
    int64_t end = 0;
    // Saturated: a range may span the whole int64_t axis.
    int64_t length() const {
        int64_t d;
        return __builtin_sub_overflow(end, start, &d) ? std::numeric_limits<int64_t>::max() : d;
    }
    friend bool operator==(const ViewRange&, const ViewRange&) = default;
};

// Zoom and left edge: what the zoom history keeps.
struct Viewport {
    double zoom = 1.0;
    ViewTime start = 0;
    friend bool operator==(const Viewport&, const Viewport&) = default;
};

class ViewState {
  public:
    // --- horizontal
    double zoom() const { return zoom_; }
    // The scroll step of the zoom (microseconds per scroll-bar unit).
    int64_t step() const;
    // The scroll value: set through setOffset, or the nearest one to the
    // left edge after an anchored zoom or a pan.
    int offset() const;
    // Whether the left edge is exactly offset() x step().
    bool onStepGrid() const { return onGrid_; }
    // Left edge at offset x step; it follows the step when the zoom changes.
    void setOffset(int offset);
    // A new zoom that keeps the scroll value (the toolbar's zooms): the
    // left edge becomes offset() x the new step.
    void setZoom(double zoom);

    // The exact time at the left edge, and its whole microseconds (rounded
    // down) that the painter and the ruler start from.
    ViewTime startTime() const;
    int64_t startMicros() const;
    // Time at pixel x and pixel of time t (left edge at x = 0).
    ViewTime timeAt(double x) const;
    // The whole microsecond at pixel x (rounded down, saturated).
    int64_t microsAt(double x) const;
    double pixelOf(ViewTime t) const;
    // Anchored zoom: the time at pixel x stays at x, exactly.
    void zoomAt(double x, double zoom);
    // The time `t` put at pixel x at the current zoom (a pan that keeps the
    // time grabbed under the mouse).
    void pinTimeAt(ViewTime t, double x);
    // Zoom and left edge at once (zoom to a range, history).
    Viewport viewport() const { return {zoom_, startTime()}; }
    void setViewport(const Viewport& v);

    // --- vertical: the vertical scroll value (the row layout's pos)
    int pos() const { return pos_; }
    void setPos(int pos) { pos_ = pos; }

    // --- rows: their height in pixels, the fixed 20 or one fitted to the view
    int rowHeight() const { return rowHeight_; }
    void setRowHeight(int height) { rowHeight_ = height < 1 ? 1 : height; }

    // --- the time that shown times count from: 0 for the times as loaded,
    // the trace's start for times relative to it
    int64_t timeOrigin() const { return timeOrigin_; }
    void setTimeOrigin(int64_t origin) { timeOrigin_ = origin; }

    // --- display filter, not owned; its links flag is the view's
    ViewFilter* filter() const { return filter_; }
    void setFilter(ViewFilter* filter) { filter_ = filter; }
    bool showLinks() const;
    void setShowLinks(bool show);

    // --- selected call
    const std::optional<CallSelection>& selection() const { return selection_; }
    void select(const CallSelection& call) { selection_ = call; }
    void clearSelection() { selection_.reset(); }

    // --- selected time range (ends in any order; held ordered)
    const std::optional<ViewRange>& range() const { return range_; }
    void setRange(int64_t a, int64_t b);
    void clearRange() { range_.reset(); }

    // --- zoom history: remember() before a zoom; back() and forward()
    // return the viewport to go to, nullopt at either end.
    void remember();
    std::optional<Viewport> back();
    std::optional<Viewport> forward();
    bool canGoBack() const { return !backStack_.empty(); }
    bool canGoForward() const { return !forwardStack_.empty(); }
    void clearHistory();

    // Everything back to the closed view: zoom, scroll values, row height
    // and time origin kept, the rest cleared.
    void reset();

  private:
    double zoom_ = 1.0;
    int offset_ = 0;          // meaningful while onGrid_
    bool onGrid_ = true;      // left edge = offset_ x step
    ViewTime anchorTime_ = 0; // else: anchorTime_ at pixel anchorX_
    double anchorX_ = 0;
    int pos_ = 0;
    int rowHeight_ = kRowHeight;
    int64_t timeOrigin_ = 0;
    ViewFilter* filter_ = nullptr;
    std::optional<CallSelection> selection_;
    std::optional<ViewRange> range_;
    std::vector<Viewport> backStack_;
    std::vector<Viewport> forwardStack_;
};
