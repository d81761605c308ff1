#pragma once
// The pixels of a picture's bounds as its lines are met from the last drawn
// to the first: which ones a later line is known to paint, and which ones a
// later line may paint (a line whose pixels are known only roughly). Counts
// painted pixels per tile of 8 x 8 and wholly painted tiles per block of
// 8 x 8 tiles, so that walks over painted areas look at little memory. Kept
// between pictures so that its memory is reused.

#include <QImage>
#include <QPoint>
#include <QRect>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

class PixelCover {
  public:
    enum : uint8_t {
        kPainted = 1,
        kMaybe = 2,      // this pixel may be painted
        kNearRow = 4,    // this one and its neighbours left and right may be
        kNearColumn = 8, // this one and its neighbours above and below may be
    };

    static constexpr int kTile = 8;   // pixels
    static constexpr int kBlock = 64; // pixels: 8 x 8 tiles
    static constexpr int kTileShift = 3, kBlockShift = 6;
    static_assert(kTile == 1 << kTileShift && kBlock == 1 << kBlockShift);

    // Every pixel of the bounds unmarked.
    void reset(const QRect& bounds);

    bool holds(int x, int y) const {
        return x >= left_ && x - left_ < width_ && y >= top_ && y - top_ < height_;
    }
    // Pixels by index: x + y * stride() from the bounds' corner.
    size_t indexOf(int x, int y) const {
        return static_cast<size_t>(y - top_) * static_cast<size_t>(width_) +
               static_cast<size_t>(x - left_);
    }
    QPoint pointOf(size_t index) const {
        return {left_ + static_cast<int>(index % static_cast<size_t>(width_)),
                top_ + static_cast<int>(index / static_cast<size_t>(width_))};
    }
    // Pixels from one row to the next.
    ptrdiff_t stride() const { return width_; }
    // The flags of a pixel that holds() accepts.
    uint8_t& at(int x, int y) { return flags_[indexOf(x, y)]; }

    // Whether every pixel of the tile of (x, y) is painted; holds() first.
    bool tilePainted(int x, int y) const { return tiles_[tileOf(x, y)] == 64; }
    // Whether every tile that meets the part of r inside the bounds is
    // wholly painted (true when no part is inside).
    bool tilesPainted(const QRect& r) const {
        return cellsFull(r, kTileShift, tilesPerRow_, tiles_, kTile * kTile);
    }
    // The same for blocks.
    bool blocksPainted(const QRect& r) const {
        return cellsFull(r, kBlockShift, blocksPerRow_, blocks_,
                         (kBlock / kTile) * (kBlock / kTile));
    }
    // Marks a pixel inside as painted; true when it was not before.
    bool paint(int x, int y) {
        uint8_t& f = at(x, y);
        if (f & kPainted) return false;
        f |= kPainted;
        if (++tiles_[tileOf(x, y)] == kTile * kTile)
            ++blocks_[static_cast<size_t>((y - top_) / kBlock) *
                          static_cast<size_t>(blocksPerRow_) +
                      static_cast<size_t>((x - left_) / kBlock)];
        return true;
    }
    // Marks the pixels of column x from row `first` to `last` (inside) as
    // painted, passing over painted tiles; fresh(y) for each pixel that was
    // not painted before.
    template <class Fresh>
    void paintColumn(int x, int first, int last, Fresh&& fresh) {
        for (int y = first; y <= last;) {
            // The first row below the tile of y, or the end of the run.
            const int end = std::min(last + 1, top_ + (((y - top_) / kTile) + 1) * kTile);
            if (tilePainted(x, y)) {
                y = end;
                continue;
            }
            for (; y < end; ++y)
                if (paint(x, y)) fresh(y);
        }
    }

    // Whether a pixel inside may be painted by a line whose pixels are known
    // roughly.
    bool mayBePainted(int x, int y) const {
        const size_t i = indexOf(x, y), w = static_cast<size_t>(width_);
        const int col = x - left_, row = y - top_;
        return (flags_[i] & (kMaybe | kNearRow | kNearColumn)) ||
               (col > 0 && (flags_[i - 1] & kNearRow)) ||
               (col + 1 < width_ && (flags_[i + 1] & kNearRow)) ||
               (row > 0 && (flags_[i - w] & kNearColumn)) ||
               (row + 1 < height_ && (flags_[i + w] & kNearColumn));
    }

    // An image of the bounds, clear, to compose pixels in; to be left clear.
    QImage& canvas() { return canvas_; }
    QPoint corner() const { return {left_, top_}; }

    // Marks a rectangle inside the bounds as painted; how many of its pixels
    // were not marked painted before.
    size_t paint(const QRect& r);
    // Marks the part of a rectangle inside the bounds as maybe painted.
    void mayPaint(const QRect& r);

  private:
    size_t tileOf(int x, int y) const {
        return static_cast<size_t>((y - top_) >> 3) * static_cast<size_t>(tilesPerRow_) +
               static_cast<size_t>((x - left_) >> 3);
    }

    // Whether every cell (of 2^shift pixels, counting `full` when painted)
    // that meets the part of r inside the bounds is full.
    // Inline for the usual area inside the bounds within one cell.
    bool cellsFull(const QRect& r, int shift, int perRow, const std::vector<uint8_t>& cells,
                   int full) const {
        const int x0 = r.left() - left_, x1 = r.right() - left_;
        const int y0 = r.top() - top_, y1 = r.bottom() - top_;
        if (x0 >= 0 && y0 >= 0 && x1 < width_ && y1 < height_ && x0 >> shift == x1 >> shift &&
            y0 >> shift == y1 >> shift)
            return cells[static_cast<size_t>(y0 >> shift) * static_cast<size_t>(perRow) +
                         static_cast<size_t>(x0 >> shift)] == full;
        return cellsFullAnywhere(r, shift, perRow, cells, full);
    }
    bool cellsFullAnywhere(const QRect& r, int shift, int perRow, const std::vector<uint8_t>& cells,
                           int full) const;

    int left_ = 0, top_ = 0, width_ = 0, height_ = 0, tilesPerRow_ = 0, blocksPerRow_ = 0;
    std::vector<uint8_t> flags_;
    std::vector<uint8_t> tiles_;  // painted pixels per tile; partial tiles at the edges never fill
    std::vector<uint8_t> blocks_; // wholly painted tiles per block
    QImage canvas_;
};
