#include "ui/shared_view_state.h"

void SharedViewState::setBounds(int64_t start, int64_t end) {
    start_ = start;
    end_ = end;
    bounded_ = true;
    wheeling_ = false;
}

void SharedViewState::wheelZoomAt(double x, double notches, int width) {
    if (!bounded_) return;
    const NavigationLimits l = limits(width);
    const double zoom = wheelZoom(state_.zoom(), notches, l);
    if (zoom == state_.zoom()) return;
    if (!wheeling_) state_.remember();
    state_.zoomAt(x, zoom);
    // Kept in the scroll bar's room; the time under the mouse moves only
    // where the room ends.
    const ViewTime start = l.clampStart(state_.startTime(), zoom);
    if (start != state_.startTime()) state_.setViewport({zoom, start});
    wheeling_ = true;
    emit horizontalChanged();
}

void SharedViewState::panTo(ViewTime grabbed, double x, int width) {
    if (!bounded_) return;
    wheeling_ = false;
    state_.pinTimeAt(grabbed, x);
    const ViewTime start = limits(width).clampStart(state_.startTime(), state_.zoom());
    if (start != state_.startTime()) state_.setViewport({state_.zoom(), start});
    emit horizontalChanged();
}

void SharedViewState::goTo(const Viewport& v) {
    state_.setViewport({v.zoom, limits(0).clampStart(v.start, v.zoom)});
    emit horizontalChanged();
}

void SharedViewState::zoomToRange(int width) {
    if (!bounded_ || !state_.range()) return;
    wheeling_ = false;
    state_.remember();
    goTo(viewportOfRange(*state_.range(), limits(width)));
}

void SharedViewState::back() {
    if (!bounded_) return;
    wheeling_ = false;
    if (const std::optional<Viewport> v = state_.back()) goTo(*v);
}

void SharedViewState::forward() {
    if (!bounded_) return;
    wheeling_ = false;
    if (const std::optional<Viewport> v = state_.forward()) goTo(*v);
}

void SharedViewState::rememberZoom() {
    wheeling_ = false;
    state_.remember();
}

void SharedViewState::scrollRows(int pos) {
    wheeling_ = false;
    if (pos == state_.pos()) return;
    state_.setPos(pos);
    emit verticalChanged();
}

void SharedViewState::select(std::optional<CallSelection> call) {
    if (call == state_.selection()) return;
    if (call)
        state_.select(*call);
    else
        state_.clearSelection();
    emit selectionChanged();
}

void SharedViewState::selectRange(int64_t a, int64_t b) {
    state_.setRange(a, b);
    const ViewRange r = *state_.range();
    emit rangeSelected(r.start, r.end, r.length());
}

void SharedViewState::clearRange() {
    if (!state_.range()) return;
    state_.clearRange();
    emit rangeCleared();
}
