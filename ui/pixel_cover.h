#pragma once
// The pixels of a picture's bounds as its lines are met from the last drawn
// to the first: which ones a later line is known to paint, which ones a
// later line may paint (a line whose pixels are known only roughly), and
// which ones take their final colour from a line met (composed). Painted
// and composed pixels are kept one bit each, so that the marks of a large
// picture stay in the cache; painted pixels are counted per tile of 8 x 8
// and wholly painted tiles per block of 8 x 8 tiles, so that walks over
// painted areas look at little memory. Kept between pictures so that its
// memory is reused.

#include <QPoint>
#include <QRect>
#include <QRgb>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class PixelCover {
  public:
    enum : uint8_t {
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
    // Pixels from one row to the next.
    ptrdiff_t stride() const { return width_; }
    // The maybe flags of a pixel that holds() accepts; rows written through
    // it are to be told to noteMaybe().
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
    // Whether a pixel inside is marked painted.
    bool isPainted(int x, int y) const {
        const Bit b = bitOf(x, y);
        return (marks_[b.word] & b.mask) != 0;
    }
    // Marks a pixel inside as painted; true when it was not before.
    bool paint(int x, int y) {
        const Bit b = bitOf(x, y);
        uint64_t& word = marks_[b.word];
        if (word & b.mask) return false;
        word |= b.mask;
        countPainted(x, y);
        return true;
    }
    // The same for a pixel of a line whose pixels are known, which when it
    // was not painted is composed in `colour`, unless a later line may paint
    // it: then `inOrder` turns true (and stays) and nothing more is
    // composed.
    bool paintKnown(int x, int y, QRgb colour, bool& inOrder) {
        const Bit b = bitOf(x, y);
        uint64_t& word = marks_[b.word];
        if (word & b.mask) return false;
        word |= b.mask;
        countPainted(x, y);
        inOrder = inOrder || mayBePainted(x, y);
        if (!inOrder) compose(b, x, y, colour);
        return true;
    }
    // Marks the pixels of column x from row `first` to `last` (inside) as
    // painted, passing over painted tiles; fresh(y) for each pixel that was
    // not painted before.
    template <class Fresh>
    void paintColumn(int x, int first, int last, Fresh&& fresh) {
        for (int y = first; y <= last;) {
            // The first row below the tile of y, or the end of the run.
            const int end = std::min(last + 1, top_ + (((y - top_) >> kTileShift) + 1) * kTile);
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
        if (!maybeRows_[static_cast<size_t>(y - top_)]) return false;
        const size_t i = indexOf(x, y), w = static_cast<size_t>(width_);
        const int col = x - left_, row = y - top_;
        return (flags_[i] & (kMaybe | kNearRow | kNearColumn)) ||
               (col > 0 && (flags_[i - 1] & kNearRow)) ||
               (col + 1 < width_ && (flags_[i + 1] & kNearRow)) ||
               (row > 0 && (flags_[i - w] & kNearColumn)) ||
               (row + 1 < height_ && (flags_[i + w] & kNearColumn));
    }
    // To be told of every pixel marked through at(): rows first..last hold
    // them (mayBePainted passes over the rows around none).
    void noteMaybe(int first, int last) {
        const int from = std::max(first - 1 - top_, 0), to = std::min(last + 1 - top_, height_ - 1);
        if (from <= to)
            std::fill(maybeRows_.begin() + from, maybeRows_.begin() + to + 1, uint8_t{1});
    }

    // Marks a rectangle inside the bounds as painted; how many of its pixels
    // were not marked painted before.
    size_t paint(const QRect& r);
    // Marks the part of a rectangle inside the bounds as maybe painted.
    void mayPaint(const QRect& r);

    // A pixel inside takes `colour` (opaque) in the end.
    void compose(int x, int y, QRgb colour) { compose(bitOf(x, y), x, y, colour); }
    size_t composedCount() const { return composedCount_; }
    // Writes the composed pixels into 32-bit rows of `bytesPerLine` bytes
    // whose first pixel is the bounds' corner.
    void writeComposed(unsigned char* corner, ptrdiff_t bytesPerLine) const;

  private:
    struct Bit {
        size_t word;
        uint64_t mask;
    };
    Bit bitOf(int x, int y) const {
        const int col = x - left_;
        return {(static_cast<size_t>(y - top_) * wordsPerRow_ + static_cast<size_t>(col >> 6)) * 2,
                uint64_t{1} << (col & 63)};
    }
    void countPainted(int x, int y) {
        if (++tiles_[tileOf(x, y)] == kTile * kTile)
            ++blocks_[static_cast<size_t>((y - top_) >> kBlockShift) *
                          static_cast<size_t>(blocksPerRow_) +
                      static_cast<size_t>((x - left_) >> kBlockShift)];
    }
    void compose(const Bit& b, int x, int y, QRgb colour) {
        if (colour != composedColour_) {
            if (composedCount_ > otherComposed_.size()) {
                otherComposed_.emplace_back(static_cast<uint32_t>(indexOf(x, y)), colour);
                ++composedCount_;
                return;
            }
            composedColour_ = colour; // the first colour composed
        }
        marks_[b.word + 1] |= b.mask;
        ++composedCount_;
    }
    size_t tileOf(int x, int y) const {
        return static_cast<size_t>((y - top_) >> kTileShift) * static_cast<size_t>(tilesPerRow_) +
               static_cast<size_t>((x - left_) >> kTileShift);
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
    size_t wordsPerRow_ = 0;
    // A bit per pixel, painted and composed (in composedColour_) in turns:
    // each word of painted pixels followed by the word of the same pixels
    // composed, in rows of 2 * wordsPerRow_ words.
    std::vector<uint64_t> marks_;
    QRgb composedColour_ = 0;
    std::vector<std::pair<uint32_t, QRgb>> otherComposed_; // by index, in other colours
    size_t composedCount_ = 0;
    // Maybe flags per pixel; only rows that maybeRows_ names are ever set,
    // and only those are cleared for the next picture.
    std::vector<uint8_t> flags_;
    std::vector<uint8_t>
        maybeRows_;               // per row: 1 where a pixel of it, above or below may be painted
    std::vector<uint8_t> tiles_;  // painted pixels per tile; partial tiles at the edges never fill
    std::vector<uint8_t> blocks_; // wholly painted tiles per block
};
