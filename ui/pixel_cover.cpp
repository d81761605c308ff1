#include "ui/pixel_cover.h"

#include <algorithm>

void PixelCover::reset(const QRect& bounds) {
    left_ = bounds.left();
    top_ = bounds.top();
    width_ = std::max(0, bounds.width());
    height_ = std::max(0, bounds.height());
    tilesPerRow_ = (width_ + 7) / 8;
    flags_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0);
    tiles_.assign(static_cast<size_t>(tilesPerRow_) * static_cast<size_t>((height_ + 7) / 8), 0);
}

bool PixelCover::tilesPainted(const QRect& r) const {
    const QRect in = r.intersected(QRect(left_, top_, width_, height_));
    if (in.isEmpty()) return true;
    for (int ty = (in.top() - top_) >> 3; ty <= (in.bottom() - top_) >> 3; ++ty)
        for (int tx = (in.left() - left_) >> 3; tx <= (in.right() - left_) >> 3; ++tx)
            if (tiles_[static_cast<size_t>(ty) * static_cast<size_t>(tilesPerRow_) +
                       static_cast<size_t>(tx)] != 64)
                return false;
    return true;
}

size_t PixelCover::paint(const QRect& r) {
    size_t fresh = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) fresh += paint(x, y);
    return fresh;
}

void PixelCover::mayPaint(const QRect& r) {
    const QRect in = r.intersected(QRect(left_, top_, width_, height_));
    for (int y = in.top(); y <= in.bottom(); ++y) {
        uint8_t* row = &at(in.left(), y);
        for (int x = 0; x < in.width(); ++x) row[x] |= kMaybe;
    }
}
