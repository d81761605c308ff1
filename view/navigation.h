#pragma once
// The limits of mouse navigation, without Qt: how far a zoom may go, where
// the left edge may lie, and the viewport that shows a selected range.

#include "view/view_state.h"

#include <cstdint>

// What navigation is bounded by: the trace's first and last display times
// and the width of the event explorer in pixels.
struct NavigationLimits {
    int64_t start = 0;
    int64_t end = 0;
    int width = 0;

    // The zoom at which the whole trace fits (as the All button's).
    double fitZoom() const;
    // A zoom between the fitting zoom and 1 pixel per microsecond (or the
    // fitting zoom itself, for a trace narrower than the view).
    double clampZoom(double zoom) const;
    // The left edge moved into the room the scroll bar offers at `zoom`: one
    // step before the start to one step after the end (the width is not used).
    ViewTime clampStart(ViewTime start, double zoom) const;
};

// Whether the view shows the whole trace as the All button leaves it: the
// fitting zoom for `limits.width`, the left edge on the scroll grid at the
// step that holds the start. A view so fitted fits again when it is resized.
bool isFitted(const ViewState& state, const NavigationLimits& limits);

// The viewport whose drawn part (the width less the 10 free pixels on the
// right) shows `range`: its start at the left edge, or, where the zoom is
// bounded, the range centred.
Viewport viewportOfRange(const ViewRange& range, const NavigationLimits& limits);

// The zoom after `notches` wheel notches (positive: in), each by the square
// root of 2, within the limits.
double wheelZoom(double zoom, double notches, const NavigationLimits& limits);

// How far one notch of Shift+wheel scrolls in time, in pixels.
constexpr int kWheelPanPixels = 60;
