#include "ui/pixel_cover.h"

#include <algorithm>

PixelCover::PixelCover(const QRect& bounds)
    : left_(bounds.left()), top_(bounds.top()), width_(std::max(0, bounds.width())),
      height_(std::max(0, bounds.height())),
      flags_(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0) {}

size_t PixelCover::paint(const QRect& r) {
    size_t fresh = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            uint8_t& f = at(x, y);
            fresh += (f & kPainted) == 0;
            f |= kPainted;
        }
    return fresh;
}

void PixelCover::mayPaint(const QRect& r) {
    const QRect in = r.intersected(QRect(left_, top_, width_, height_));
    for (int y = in.top(); y <= in.bottom(); ++y)
        for (int x = in.left(); x <= in.right(); ++x) at(x, y) |= kMaybe;
}
