#include "ui/pixel_cover.h"

#include <algorithm>

void PixelCover::reset(const QRect& bounds) {
    left_ = bounds.left();
    top_ = bounds.top();
    width_ = std::max(0, bounds.width());
    height_ = std::max(0, bounds.height());
    tilesPerRow_ = (width_ + kTile - 1) / kTile;
    blocksPerRow_ = (width_ + kBlock - 1) / kBlock;
    flags_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0);
    tiles_.assign(
        static_cast<size_t>(tilesPerRow_) * static_cast<size_t>((height_ + kTile - 1) / kTile), 0);
    if (canvas_.size() != QSize(width_, height_)) { // 32-bit rows: bytesPerLine is 4 * width
        canvas_ = QImage(width_, height_, QImage::Format_ARGB32_Premultiplied);
        canvas_.fill(Qt::transparent);
    }
    blocks_.assign(static_cast<size_t>(blocksPerRow_) *
                       static_cast<size_t>((height_ + kBlock - 1) / kBlock),
                   0);
}

bool PixelCover::cellsFullAnywhere(const QRect& r, int shift, int perRow,
                                   const std::vector<uint8_t>& cells, int full) const {
    const int x0 = std::max(r.left(), left_) - left_, x1 = std::min(r.right() - left_, width_ - 1);
    const int y0 = std::max(r.top(), top_) - top_, y1 = std::min(r.bottom() - top_, height_ - 1);
    if (x0 > x1 || y0 > y1) return true;
    for (int cy = y0 >> shift; cy <= y1 >> shift; ++cy)
        for (int cx = x0 >> shift; cx <= x1 >> shift; ++cx)
            if (cells[static_cast<size_t>(cy) * static_cast<size_t>(perRow) +
                      static_cast<size_t>(cx)] != full)
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
