#include "ui/pixel_cover.h"

#include <algorithm>
#include <bit>

void PixelCover::reset(const QRect& bounds) {
    left_ = bounds.left();
    top_ = bounds.top();
    width_ = std::max(0, bounds.width());
    height_ = std::max(0, bounds.height());
    tilesPerRow_ = static_cast<size_t>((width_ + kTile - 1) / kTile);
    blocksPerRow_ = static_cast<size_t>((width_ + kBlock - 1) / kBlock);
    const size_t tileRows = static_cast<size_t>((height_ + kTile - 1) / kTile);
    painted_.assign(tilesPerRow_ * tileRows, 0);
    composed_.assign(tilesPerRow_ * tileRows, 0);
    maybe_.assign(tilesPerRow_ * tileRows, 0);
    otherComposed_.clear();
    planeUsed_ = false;
    blocks_.assign(blocksPerRow_ * static_cast<size_t>((height_ + kBlock - 1) / kBlock), 0);
}

void PixelCover::tileFilled(size_t tile) {
    const size_t row = tile / tilesPerRow_, col = tile % tilesPerRow_;
    ++blocks_[(row >> (kBlockShift - kTileShift)) * blocksPerRow_ +
              (col >> (kBlockShift - kTileShift))];
}

void PixelCover::composeOther(size_t tile, uint64_t bits, QRgb colour) {
    for (; bits != 0; bits &= bits - 1) {
        otherComposed_.emplace_back(pointOf(tile, std::countr_zero(bits)), colour);
    }
}

namespace {

// fn(tile, bits) for each tile that the rectangle x0..x1, y0..y1 (from the
// bounds' corner, inside) meets: the rows of the rectangle in it, each row's
// bits its columns.
template <class Fn>
void forEachTileOf(int x0, int y0, int x1, int y1, size_t tilesPerRow, Fn&& fn) {
    constexpr int kTile = PixelCover::kTile, kShift = PixelCover::kTileShift;
    for (int ty = y0 >> kShift; ty <= y1 >> kShift; ++ty) {
        const uint64_t rows = PixelCover::rowsMask(std::max(y0 - ty * kTile, 0),
                                                   std::min(y1 - ty * kTile, kTile - 1));
        for (int tx = x0 >> kShift; tx <= x1 >> kShift; ++tx) {
            const uint64_t columns = PixelCover::columnsMask(std::max(x0 - tx * kTile, 0),
                                                             std::min(x1 - tx * kTile, kTile - 1)) *
                                     PixelCover::kColumn;
            fn(static_cast<size_t>(ty) * tilesPerRow + static_cast<size_t>(tx), rows & columns);
        }
    }
}

} // namespace

template <bool kCount>
size_t PixelCover::paintRect(const QRect& r) {
    const Area a = areaInside(r);
    if (a.empty()) return 0;
    size_t fresh = 0;
    forEachTileOf(a.x0, a.y0, a.x1, a.y1, tilesPerRow_, [&](size_t tile, uint64_t bits) {
        const uint64_t added = paintBits(tile, bits);
        if constexpr (kCount)
            fresh += static_cast<size_t>(std::popcount(added));
        else
            fresh |= added != 0;
    });
    return fresh;
}

size_t PixelCover::paint(const QRect& r) {
    return paintRect<true>(r);
}

bool PixelCover::paintAny(const QRect& r) {
    return paintRect<false>(r) != 0;
}

void PixelCover::mayPaint(const QRect& r) {
    const Area a = areaInside(r);
    if (a.empty()) return;
    forEachTileOf(a.x0, a.y0, a.x1, a.y1, tilesPerRow_,
                  [&](size_t tile, uint64_t bits) { maybe_[tile] |= bits; });
}

void PixelCover::writeComposed(unsigned char* corner, ptrdiff_t bytesPerLine) const {
    const QRgb colour = composedColour_ | 0xff000000u;
    // Row by row, so that the image is written in order: a row's pixels of
    // a tile are one byte of its word.
    for (int y = 0; planeUsed_ && y < height_; ++y) {
        QRgb* const line =
            reinterpret_cast<QRgb*>(corner + static_cast<ptrdiff_t>(y) * bytesPerLine);
        const uint64_t* const words =
            &composed_[static_cast<size_t>(y >> kTileShift) * tilesPerRow_];
        const int shift = (y & (kTile - 1)) * kTile;
        for (size_t tile = 0; tile < tilesPerRow_; ++tile) {
            const unsigned bits = static_cast<unsigned>(words[tile] >> shift) & 0xffu;
            if (bits == 0) continue;
            QRgb* const at = line + tile * kTile;
            if (bits == 0xffu) { // pixels beyond the bounds are never composed
                std::fill_n(at, kTile, colour);
                continue;
            }
            for (unsigned rest = bits; rest != 0; rest &= rest - 1)
                at[std::countr_zero(rest)] = colour;
        }
    }
    for (const auto& [at, other] : otherComposed_)
        reinterpret_cast<QRgb*>(corner + static_cast<ptrdiff_t>(at.y() - top_) *
                                             bytesPerLine)[at.x() - left_] = other | 0xff000000u;
}
