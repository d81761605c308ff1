#pragma once
// The lines of one picture, collected in drawing order and then drawn leaving
// out what does not change the picture: a line equal to one of the run of
// lines of the same pen just before it, a line drawn again later with the
// same ends and width, the parts of a one-pixel vertical line that later
// one-pixel vertical lines of the same column cover, and lines whose every
// pixel later lines paint over (where the pixels of both are known: bars
// filled as rectangles, vertical lines, one-pixel lines of a measured shape
// that nothing clips). Pens are opaque and unblended, so the later line
// decides those pixels whatever comes between. Bars are filled as the
// rectangles their strokes paint, bars in a row composed into runs of one
// colour first.

#include <QPainter>
#include <QRect>
#include <QRgb>

#include "ui/bar_extents.h"
#include "ui/column_cover.h"
#include "ui/edge_line_shapes.h"
#include "ui/key_set.h"
#include "ui/line_shapes.h"
#include "ui/pixel_cover.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class LineList {
  public:
    // Lines are clipped to bounds plus a small margin, as drawClippedLine does.
    explicit LineList(const QRect& bounds);
    LineList() = default;
    // Empty, for a picture of `bounds`; the memory of earlier pictures is
    // kept for this one (fresh memory is slow to come by).
    void reset(const QRect& bounds);

    void add(int64_t x1, int64_t y1, int64_t x2, int64_t y2, QRgb colour, int width);
    // A call's bar: a line of width 3 from (xs, y) to (xe, y), filled as the
    // rectangle that `bars` finds it paints, where it finds one.
    void addBar(int64_t xs, int64_t xe, int64_t y, QRgb colour);
    // Appends the lines of `later`, collected for a picture of the same
    // bounds, after these (as if added here in that order) and empties it.
    void append(LineList& later);
    // The four keep what they measure (and their memory) for later pictures.
    void draw(QPainter& painter, BarExtents& bars, LineShapes& shapes, EdgeLineShapes& edgeShapes,
              PixelCover& pixels);

    struct Counts {
        size_t lines = 0;        // collected (after clipping)
        size_t drawn = 0;        // handed to the painter, pieces counted singly
        size_t shortened = 0;    // vertical lines drawn only in part
        size_t filled = 0;       // bars filled as rectangles
        size_t fills = 0;        // rectangles filled for them (runs of bars of one colour)
        size_t covered = 0;      // left out: later lines paint every pixel
        size_t nearEdge = 0;     // of them, lines that a clip may cut
        size_t underPainted = 0; // of them, found so by wholly painted blocks or tiles alone
        size_t edgeCut = 0;      // lines the device's edge cuts whose pixels were measured
        size_t composed = 0;     // drawn as the pixels that stay, all in one image at the end
        // Milliseconds: finding what each line shows (last to first), drawing
        // what shows in order, drawing the composed pixels.
        double coverMs = 0, orderedMs = 0, composedMs = 0;
    };
    const Counts& counts() const { return counts_; }

  private:
    struct Line {
        int x1, y1, x2, y2;
        QRgb colour;
        int width; // 0: a bar (drawn with width 3)
    };
    // The run of lines of one pen at the end of the list: the keys in it.
    void forgetRun();
    bool enterRun(uint64_t key); // false when an equal line is in the run
    static constexpr size_t kRunSlots = 4096;

    QRect bounds_;
    std::vector<Line> lines_;
    // The line last handed to add() and the list's size after it.
    struct LastInput {
        int64_t x1, y1, x2, y2;
        QRgb colour;
        int width;
        size_t size;
        bool operator==(const LastInput&) const = default;
    };
    std::optional<LastInput> lastInput_;
    std::vector<uint64_t> runSlots_;
    std::vector<uint32_t> runUsed_;
    Counts counts_;
    // What draw() works with, kept for its memory.
    std::vector<uint32_t> firstPiece_, pieceEnd_;
    std::vector<ColumnCover::Run> pieces_;
    ColumnCover cover_;
    KeySet seen_;
    std::vector<QRect> barRects_;
    std::vector<uint32_t> barRectOf_;
    std::vector<std::pair<uint32_t, QRgb>> composed_;
};
