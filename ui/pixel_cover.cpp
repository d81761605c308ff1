#include "ui/pixel_cover.h"

#include <algorithm>
#include <bit>

void PixelCover::reset(const QRect& bounds) {
    const int width = std::max(0, bounds.width()), height = std::max(0, bounds.height());
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (width != width_ || height != height_ || flags_.size() != pixels) {
        flags_.assign(pixels, 0);
    } else {
        // Only rows named as maybe painted were marked.
        for (size_t row = 0; row < maybeRows_.size(); ++row)
            if (maybeRows_[row])
                std::fill_n(flags_.begin() +
                                static_cast<ptrdiff_t>(row * static_cast<size_t>(width)),
                            width, uint8_t{0});
    }
    left_ = bounds.left();
    top_ = bounds.top();
    width_ = width;
    height_ = height;
    tilesPerRow_ = (width_ + kTile - 1) / kTile;
    blocksPerRow_ = (width_ + kBlock - 1) / kBlock;
    wordsPerRow_ = (static_cast<size_t>(width_) + 63) / 64;
    marks_.assign(2 * wordsPerRow_ * static_cast<size_t>(height_), 0);
    otherComposed_.clear();
    composedCount_ = 0;
    maybeRows_.assign(static_cast<size_t>(height_), 0);
    tiles_.assign(
        static_cast<size_t>(tilesPerRow_) * static_cast<size_t>((height_ + kTile - 1) / kTile), 0);
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
    // A word of marks at a time; the tiles' counts by the bytes of the
    // added marks (a tile's pixels of one row are one byte of its word).
    size_t fresh = 0;
    const int first = r.left() - left_, last = r.right() - left_;
    if (first > last) return 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const size_t row = static_cast<size_t>(y - top_);
        uint64_t* const words = &marks_[row * wordsPerRow_ * 2];
        uint8_t* const tileRow = &tiles_[(row >> kTileShift) * static_cast<size_t>(tilesPerRow_)];
        uint8_t* const blockRow =
            &blocks_[(row >> kBlockShift) * static_cast<size_t>(blocksPerRow_)];
        for (int w = first >> 6; w <= last >> 6; ++w) {
            const int lo = std::max(first - w * 64, 0), hi = std::min(last - w * 64, 63);
            const uint64_t mask =
                (hi - lo == 63 ? ~uint64_t{0} : (uint64_t{1} << (hi - lo + 1)) - 1) << lo;
            const uint64_t added = mask & ~words[2 * w];
            if (added == 0) continue;
            words[2 * w] |= added;
            fresh += static_cast<size_t>(std::popcount(added));
            for (uint64_t rest = added; rest != 0;) {
                const int tile = std::countr_zero(rest) >> kTileShift;
                const uint64_t tileBits = rest & (uint64_t{0xff} << (tile * kTile));
                rest &= ~tileBits;
                const size_t column = static_cast<size_t>(w) * 8 + static_cast<size_t>(tile);
                tileRow[column] = static_cast<uint8_t>(tileRow[column] + std::popcount(tileBits));
                if (tileRow[column] == kTile * kTile) ++blockRow[column / (kBlock / kTile)];
            }
        }
    }
    return fresh;
}

void PixelCover::mayPaint(const QRect& r) {
    const QRect in = r.intersected(QRect(left_, top_, width_, height_));
    if (in.isEmpty()) return;
    noteMaybe(in.top(), in.bottom());
    for (int y = in.top(); y <= in.bottom(); ++y) {
        uint8_t* row = &at(in.left(), y);
        for (int x = 0; x < in.width(); ++x) row[x] |= kMaybe;
    }
}

void PixelCover::writeComposed(unsigned char* corner, ptrdiff_t bytesPerLine) const {
    if (composedCount_ == 0) return;
    const QRgb colour = composedColour_ | 0xff000000u;
    for (size_t row = 0; row < static_cast<size_t>(height_); ++row) {
        QRgb* const line =
            reinterpret_cast<QRgb*>(corner + static_cast<ptrdiff_t>(row) * bytesPerLine);
        const uint64_t* const words = &marks_[row * wordsPerRow_ * 2];
        for (size_t w = 0; w < wordsPerRow_; ++w)
            for (uint64_t bits = words[2 * w + 1]; bits != 0; bits &= bits - 1)
                line[w * 64 + static_cast<size_t>(std::countr_zero(bits))] = colour;
    }
    for (const auto& [index, other] : otherComposed_) {
        const size_t row = index / static_cast<size_t>(width_),
                     col = index % static_cast<size_t>(width_);
        reinterpret_cast<QRgb*>(corner + static_cast<ptrdiff_t>(row) * bytesPerLine)[col] =
            other | 0xff000000u;
    }
}
