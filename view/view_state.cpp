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

namespace {

int64_t floorToMicros(ViewTime t) {
    t = std::floor(t);
    if (std::isnan(t)) return 0;
    if (!(t < 9223372036854775807.0L)) return std::numeric_limits<int64_t>::max();
    if (!(t > -9223372036854775808.0L)) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(t);
}

} // namespace

int64_t ViewState::startMicros() const {
    if (onGrid_) return saturatingMul(offset_, step());
    return floorToMicros(startTime());
}

int64_t ViewState::microsAt(double x) const {
    return floorToMicros(timeAt(x));
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
    range_ = a <= b ? ViewRange{a, b} : ViewRange{b, a};
}

void ViewState::remember() {
    // A zoom that comes back to where the last one started adds nothing.
    if (backStack_.empty() || !(backStack_.back() == viewport())) backStack_.push_back(viewport());
    forwardStack_.clear();
}

namespace {

// One step through the history: the place to go to comes off `from`, the
// place left goes onto `to`.
std::optional<Viewport> historyStep(std::vector<Viewport>& from, std::vector<Viewport>& to,
                                    const Viewport& here) {
    if (from.empty()) return std::nullopt;
    to.push_back(here);
    const Viewport v = from.back();
    from.pop_back();
    return v;
}

} // namespace

std::optional<Viewport> ViewState::back() {
    return historyStep(backStack_, forwardStack_, viewport());
}

std::optional<Viewport> ViewState::forward() {
    return historyStep(forwardStack_, backStack_, viewport());
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
