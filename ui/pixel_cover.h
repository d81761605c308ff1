#pragma once
// The pixels of a picture's bounds as its lines are met from the last drawn
// to the first: which ones a later line is known to paint, which ones a
// later line may paint (a line whose pixels are known only roughly), and
// which ones take their final colour from a line met (composed). Each kind
// is kept one bit per pixel, a word per tile of 8 x 8, so
// that the marks of a large picture stay in the cache and a line's pixels
// in one tile are marked at once, however steep the line; wholly painted
// tiles are counted per block of 8 x 8 tiles, so that walks over painted
// areas look at little memory. Kept between pictures so that its memory is
// reused.

#include <QPoint>
#include <QRect>
#include <QRgb>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class PixelCover {
  public:
    static constexpr int kTile = 8;   // pixels
    static constexpr int kBlock = 64; // pixels: 8 x 8 tiles
    static constexpr int kTileShift = 3, kBlockShift = 6;
    static_assert(kTile == 1 << kTileShift && kBlock == 1 << kBlockShift);

    // Every pixel of the bounds unmarked.
    void reset(const QRect& bounds);

    bool holds(int x, int y) const {
        return x >= left_ && x - left_ < width_ && y >= top_ && y - top_ < height_;
    }

    // A pixel inside as its tile and its bit in the tile's word (rows of
    // eight bits, top row lowest).
    struct TileBit {
        size_t tile;
        uint64_t mask;
    };
    TileBit tileBitOf(int x, int y) const {
        const int col = x - left_, row = y - top_;
        return {static_cast<size_t>(row >> kTileShift) * tilesPerRow_ +
                    static_cast<size_t>(col >> kTileShift),
                uint64_t{1} << ((row & (kTile - 1)) << kTileShift | (col & (kTile - 1)))};
    }

    // Whether every pixel of the tile of (x, y) is painted; holds() first.
    bool tilePainted(int x, int y) const { return painted_[tileBitOf(x, y).tile] == kFull; }
    // Whether every tile that meets the part of r inside the bounds is
    // wholly painted (true when no part is inside). Tiles at the edges that
    // the bounds cut never are.
    bool tilesPainted(const QRect& r) const {
        return cellsFull(r, kTileShift, painted_, tilesPerRow_, kFull);
    }
    // Whether the blocks of two pixels inside are wholly painted (the blocks
    // that a line's steps within one row or column of blocks meet, where its
    // offsets across run one way and step by one at most).
    bool blocksPainted(QPoint p, QPoint q) const {
        return blocks_[blockOf(p)] == kTilesPerBlock && blocks_[blockOf(q)] == kTilesPerBlock;
    }
    // The tile in tile column `column` and tile row `row` from the corner,
    // and whether it is wholly painted.
    size_t tileAt(int column, int row) const {
        return static_cast<size_t>(row) * tilesPerRow_ + static_cast<size_t>(column);
    }
    bool tileFull(size_t tile) const { return painted_[tile] == kFull; }
    // The corner of the bounds, where tiles and blocks start.
    QPoint origin() const { return {left_, top_}; }

    // Whether every block that meets the part of r inside the bounds is
    // wholly painted (true when no part is inside).
    bool blocksPainted(const QRect& r) const {
        return cellsFull(r, kBlockShift, blocks_, blocksPerRow_,
                         static_cast<uint8_t>(kTilesPerBlock));
    }
    // Whether a pixel inside is marked painted.
    bool isPainted(int x, int y) const {
        const TileBit b = tileBitOf(x, y);
        return (painted_[b.tile] & b.mask) != 0;
    }
    // Marks a pixel inside as painted; true when it was not before.
    bool paint(int x, int y) {
        const TileBit b = tileBitOf(x, y);
        return paintBits(b.tile, b.mask) != 0;
    }
    // Marks the pixels `mask` of a tile as painted (pixels of a line whose
    // pixels are known); whether some were not painted before. Those are
    // composed in `colour`, unless `inOrder` holds or a later line may
    // paint one of them: then `inOrder` turns true (and stays) and none of
    // them is composed. (A line drawn in order keeps the pixels it composed
    // anyway, so which of its pixels are composed does not matter.)
    bool paintKnown(size_t tile, uint64_t mask, QRgb colour, bool& inOrder) {
        const uint64_t fresh = paintBits(tile, mask);
        if (fresh == 0) return false;
        if (!inOrder) {
            if (maybe_[tile] & fresh)
                inOrder = true;
            else
                compose(tile, fresh, colour);
        }
        return true;
    }
    // The same for the pixels of column x from row `first` to `last`
    // (inside).
    bool paintColumnKnown(int x, int first, int last, QRgb colour, bool& inOrder) {
        return paintRunKnown(true, x, first, last, colour, inOrder);
    }
    // The same for a run of pixels inside: column `fixed` from row `first`
    // to `last` (`inColumn`), else row `fixed` from column `first` to
    // `last`. Wholly painted blocks are passed over, the rest a tile's word
    // at a time.
    bool paintRunKnown(bool inColumn, int fixed, int first, int last, QRgb colour, bool& inOrder) {
        // From the corner: along the run and across it.
        const int origin = inColumn ? top_ : left_;
        const int across = fixed - (inColumn ? left_ : top_);
        const int end = last - origin;
        const auto tileAcross = static_cast<size_t>(across >> kTileShift);
        const auto blockAcross = static_cast<size_t>(across >> kBlockShift);
        const uint64_t line = inColumn ? kColumn << (across & (kTile - 1))
                                       : uint64_t{0xff} << ((across & (kTile - 1)) << kTileShift);
        bool fresh = false;
        for (int at = first - origin; at <= end;) {
            const auto blockAlong = static_cast<size_t>(at >> kBlockShift);
            const size_t block = inColumn ? blockAlong * blocksPerRow_ + blockAcross
                                          : blockAcross * blocksPerRow_ + blockAlong;
            const int blockLast = std::min(end, at | (kBlock - 1));
            if (blocks_[block] == kTilesPerBlock) {
                at = blockLast + 1;
                continue;
            }
            const auto tileAlong = static_cast<size_t>(at >> kTileShift);
            size_t tile = inColumn ? tileAlong * tilesPerRow_ + tileAcross
                                   : tileAcross * tilesPerRow_ + tileAlong;
            const size_t tileStep = inColumn ? tilesPerRow_ : 1;
            for (; at <= blockLast; tile += tileStep) {
                // Whole tiles along the run (all but its ends) take the line as it is.
                int next = (at | (kTile - 1)) + 1;
                uint64_t mask = line;
                if ((at & (kTile - 1)) != 0 || next - 1 > blockLast) {
                    const int tileLast = std::min(blockLast, next - 1);
                    const int a = at & (kTile - 1), b = tileLast & (kTile - 1);
                    mask &= inColumn ? rowsMask(a, b) : columnsMask(a, b) * kColumn;
                    next = tileLast + 1;
                }
                fresh |= paintKnown(tile, mask, colour, inOrder);
                at = next;
            }
        }
        return fresh;
    }

    // Whether a pixel inside may be painted by a line whose pixels are known
    // roughly.
    bool mayBePainted(int x, int y) const {
        const TileBit b = tileBitOf(x, y);
        return (maybe_[b.tile] & b.mask) != 0;
    }
    // Marks a pixel inside as maybe painted.
    void mayPaint(int x, int y) {
        const TileBit b = tileBitOf(x, y);
        maybe_[b.tile] |= b.mask;
    }
    // The same for a pixel inside and its neighbours inside above and below
    // (`column`) or left and right.
    void mayPaintNear(int x, int y, bool column) {
        mayPaint(x, y);
        if (column) {
            if (y > top_) mayPaint(x, y - 1);
            if (y - top_ + 1 < height_) mayPaint(x, y + 1);
        } else {
            if (x > left_) mayPaint(x - 1, y);
            if (x - left_ + 1 < width_) mayPaint(x + 1, y);
        }
    }

    // Marks the part of a rectangle inside the bounds as painted; how many of
    // its pixels were not marked painted before.
    size_t paint(const QRect& r);
    // Whether any of them was (cheaper where counting takes a loop).
    bool paintAny(const QRect& r);
    // Marks the part of a rectangle inside the bounds as maybe painted.
    void mayPaint(const QRect& r);

    // Writes the composed pixels into 32-bit rows of `bytesPerLine` bytes
    // whose first pixel is the bounds' corner.
    void writeComposed(unsigned char* corner, ptrdiff_t bytesPerLine) const;

    // Of a tile's word: the bits of its rows `first` to `last` (0..7), of
    // its columns `first` to `last` in one row, and of its first column.
    static uint64_t rowsMask(int first, int last) {
        return (kFull >> ((kTile - 1 - last) * kTile)) & (kFull << (first * kTile));
    }
    static uint64_t columnsMask(int first, int last) {
        return (uint64_t{2} << last) - (uint64_t{1} << first);
    }
    static constexpr uint64_t kColumn = 0x0101010101010101ULL;

  private:
    static constexpr uint64_t kFull = ~uint64_t{0};
    static constexpr int kTilesPerBlock = (kBlock / kTile) * (kBlock / kTile);

    // Marks `mask` of a tile painted; the bits that were not before.
    uint64_t paintBits(size_t tile, uint64_t mask) {
        uint64_t& word = painted_[tile];
        const uint64_t fresh = mask & ~word;
        if (fresh != 0) {
            word |= fresh;
            if (word == kFull) tileFilled(tile);
        }
        return fresh;
    }
    void tileFilled(size_t tile);
    template <bool kCount>
    size_t paintRect(const QRect& r);
    size_t blockOf(QPoint p) const {
        return static_cast<size_t>((p.y() - top_) >> kBlockShift) * blocksPerRow_ +
               static_cast<size_t>((p.x() - left_) >> kBlockShift);
    }
    // The pixel of a tile's bit.
    QPoint pointOf(size_t tile, int bit) const {
        return {left_ + static_cast<int>(tile % tilesPerRow_) * kTile + (bit & (kTile - 1)),
                top_ + static_cast<int>(tile / tilesPerRow_) * kTile + (bit >> kTileShift)};
    }
    void compose(size_t tile, uint64_t bits, QRgb colour) {
        if (colour != composedColour_) {
            if (planeUsed_) {
                composeOther(tile, bits, colour);
                return;
            }
            composedColour_ = colour; // the first colour composed
        }
        composed_[tile] |= bits;
        planeUsed_ = true;
    }
    void composeOther(size_t tile, uint64_t bits, QRgb colour);

    // The part of a rectangle inside the bounds, from the corner; empty
    // (x0 > x1 or y0 > y1) when none is.
    struct Area {
        int x0, y0, x1, y1;
        bool empty() const { return x0 > x1 || y0 > y1; }
    };
    Area areaInside(const QRect& r) const {
        return {std::max(r.left(), left_) - left_, std::max(r.top(), top_) - top_,
                std::min(r.right() - left_, width_ - 1), std::min(r.bottom() - top_, height_ - 1)};
    }

    // Whether every cell (2^shift pixels across, `perRow` to a row of
    // `cells`) that meets the part of r inside the bounds is `full`. Quick
    // where the area is inside and within two cells each way, as a line's
    // few steps are.
    template <class Cell>
    bool cellsFull(const QRect& r, int shift, const std::vector<Cell>& cells, size_t perRow,
                   Cell full) const {
        const int x0 = r.left() - left_, x1 = r.right() - left_;
        const int y0 = r.top() - top_, y1 = r.bottom() - top_;
        if (x0 >= 0 && y0 >= 0 && x1 < width_ && y1 < height_ && x0 <= x1 && y0 <= y1 &&
            (x1 >> shift) - (x0 >> shift) <= 1 && (y1 >> shift) - (y0 >> shift) <= 1) {
            const size_t across =
                static_cast<size_t>(x1 >> shift) - static_cast<size_t>(x0 >> shift);
            const Cell* const at = &cells[static_cast<size_t>(y0 >> shift) * perRow +
                                          static_cast<size_t>(x0 >> shift)];
            if (at[0] != full || at[across] != full) return false;
            if (y0 >> shift == y1 >> shift) return true;
            return at[perRow] == full && at[perRow + across] == full;
        }
        const Area a = areaInside(r);
        if (a.empty()) return true; // nothing inside
        for (int y = a.y0 >> shift; y <= a.y1 >> shift; ++y)
            for (int x = a.x0 >> shift; x <= a.x1 >> shift; ++x)
                if (cells[static_cast<size_t>(y) * perRow + static_cast<size_t>(x)] != full)
                    return false;
        return true;
    }

    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    size_t tilesPerRow_ = 0, blocksPerRow_ = 0;
    // A word per tile, tiles row by row: its pixels painted, composed (in
    // composedColour_) and maybe painted. Painted words apart from the
    // others, since most lines only ask for those.
    std::vector<uint64_t> painted_, composed_, maybe_;
    QRgb composedColour_ = 0;
    bool planeUsed_ = false; // some pixel is composed in composedColour_
    std::vector<std::pair<QPoint, QRgb>> otherComposed_; // in other colours
    std::vector<uint8_t> blocks_;                        // wholly painted tiles per block
};
