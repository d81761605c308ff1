#include "view/view_state.h"

#include "view/time_axis.h"
#include "view/view_filter.h"

#include <cmath>

int64_t ViewState::step() const {
    return scrollStep(zoom_);
}

ViewTime ViewState::startTime() const {
    if (onGrid_) return static_cast<ViewTime>(saturatingMul(offset_, step()));
    return anchorTime_ - static_cast<ViewTime>(anchorX_) / zoom_;
}

int64_t ViewState::startMicros() const {
    if (onGrid_) return saturatingMul(offset_, step());
    const ViewTime t = std::floor(startTime());
    if (!(t < 9223372036854775807.0L)) return std::numeric_limits<int64_t>::max();
    if (!(t > -9223372036854775808.0L)) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(t);
}

int ViewState::offset() const {
    if (onGrid_) return offset_;
    const ViewTime v = std::round(startTime() / static_cast<ViewTime>(step()));
    if (!(v < std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (!(v > std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

void ViewState::setOffset(int offset) {
    offset_ = offset;
    onGrid_ = true;
}

void ViewState::setZoom(double zoom) {
    offset_ = offset();
    onGrid_ = true;
    zoom_ = zoom;
}

ViewTime ViewState::timeAt(double x) const {
    // Measured from the anchor, so that the anchor's own pixel gives its time
    // without rounding.
    if (onGrid_) return startTime() + static_cast<ViewTime>(x) / zoom_;
    return anchorTime_ + static_cast<ViewTime>(x - anchorX_) / zoom_;
}

double ViewState::pixelOf(ViewTime t) const {
    return static_cast<double>((t - startTime()) * zoom_);
}

void ViewState::zoomAt(double x, double zoom) {
    if (!(zoom > 0.0) || !std::isfinite(zoom)) return;
    const ViewTime t = timeAt(x);
    zoom_ = zoom;
    pinTimeAt(t, x);
}

void ViewState::pinTimeAt(ViewTime t, double x) {
    anchorTime_ = t;
    anchorX_ = x;
    onGrid_ = false;
}

void ViewState::setViewport(const Viewport& v) {
    if (v.zoom > 0.0 && std::isfinite(v.zoom)) zoom_ = v.zoom;
    pinTimeAt(v.start, 0.0);
}

bool ViewState::showLinks() const {
    return filter_ && filter_->showLinks;
}

void ViewState::setShowLinks(bool show) {
    if (filter_) filter_->showLinks = show ? 1 : 0;
}

void ViewState::setRange(int64_t a, int64_t b) {
    range_ = a <= b ? TimeRange{a, b} : TimeRange{b, a};
}

void ViewState::remember() {
    // A zoom that comes back to where the last one started adds nothing.
    if (backStack_.empty() || !(backStack_.back() == viewport())) backStack_.push_back(viewport());
    forwardStack_.clear();
}

std::optional<Viewport> ViewState::back() {
    if (backStack_.empty()) return std::nullopt;
    forwardStack_.push_back(viewport());
    const Viewport v = backStack_.back();
    backStack_.pop_back();
    return v;
}

std::optional<Viewport> ViewState::forward() {
    if (forwardStack_.empty()) return std::nullopt;
    backStack_.push_back(viewport());
    const Viewport v = forwardStack_.back();
    forwardStack_.pop_back();
    return v;
}

void ViewState::clearHistory() {
    backStack_.clear();
    forwardStack_.clear();
}

void ViewState::reset() {
    filter_ = nullptr;
    selection_.reset();
    range_.reset();
    clearHistory();
}
