#pragma once
// The culler: the stage between the walk's draw list and the picture that
// leaves out what does not change the picture, then draws the rest. Left out
// are a line drawn again later with the same ends and width, the parts of a
// one-pixel vertical line that later one-pixel vertical lines of the same
// column cover, and lines whose every pixel later lines paint over (where the
// pixels of both are known: bars filled as rectangles, vertical lines,
// one-pixel lines of a measured shape that nothing clips). Pens are opaque
// and unblended, so the later line decides those pixels whatever comes
// between. Bars are filled as the rectangles their strokes paint, bars in a
// row composed into runs of one colour first. Where there are many lines,
// the picture's upper and lower rows are worked out on two threads, each
// line shown where either band shows it.
//
// What it buys, measured by bench/paint_bench at 1920 x 1080 over the 48
// viewports of a trace of 25 million calls in 1024 processes (zlv gen mixed,
// as bench/run makes it), two runs of 5 paints per viewport on a shared
// 2-core machine under a load of about 15, pictures identical to the
// reference painter's both ways; wall ms, and in brackets the painting
// thread's CPU ms, which waiting for a core does not inflate:
//   with the culler   median 21.6 and 21.8 (3.8, 2.8), p99 191 and 251 (21, 24)
//   without it        median 75.0 and 67.5 (7.0, 8.0), p99 6467 and 5739 (582, 624)
// It matters most where the list is long: at 16 times the fitting zoom with
// links, a median of 99 ms wall with it and 4625 ms without (first run).

#include "ui/column_cover.h"
#include "ui/draw_backend.h"
#include "ui/line_measures.h"
#include "view/draw_list.h"
#include "view/key_set.h"
#include "view/paint_helper.h"

#include <QPainter>
#include <QRect>

#include <array>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

struct PaintSink;

class LineCuller {
  public:
    // Draws `lines`. `measures` keep what they measure (and their memory)
    // for later pictures; with two of them and a helper, the picture's rows
    // are shared between two threads where there are `linesWorthSharing`
    // lines or more. `sink`, where given, learns the times of the stages.
    void draw(QPainter& painter, const DrawList& lines, std::span<LineMeasures> measures,
              PaintHelper* helper = nullptr, size_t linesWorthSharing = kLinesWorthSharing,
              PaintSink* sink = nullptr);
    static constexpr size_t kLinesWorthSharing = size_t{1} << 12;

    struct Counts {
        size_t lines = 0;        // collected (after clipping)
        size_t drawn = 0;        // handed to the painter, pieces counted singly
        size_t shortened = 0;    // vertical lines drawn only in part
        size_t filled = 0;       // bars filled as rectangles
        size_t fills = 0;        // rectangles filled for them (runs of bars of one colour)
        size_t covered = 0;      // left out: later lines paint every pixel
        size_t nearEdge = 0;     // of them, lines that a clip may cut
        size_t underPainted = 0; // of them, found so by wholly painted blocks or tiles alone
        size_t edgeCut = 0;  // lines the device's edge cuts whose pixels were measured (per band)
        size_t composed = 0; // drawn as the pixels that stay, all in one image at the end
        size_t bands = 0;    // bands of rows worked out apart
    };
    // Of the last draw() (whose list must still be there when they are first
    // asked for); those of lines not drawn in order are worked out
    // when first asked for.
    const Counts& counts() const;

  private:
    using Line = DrawList::Line;
    // The list being drawn.
    std::span<const Line> lines_;
    QRect bounds_;
    mutable Counts counts_;
    mutable bool statesCounted_ = true;
    size_t countedBands_ = 0;
    std::vector<uint32_t> inOrderJoined_;
    // What the cover pass found for one band of rows, and what it works
    // with, kept for its memory.
    struct Band {
        int64_t firstRow = 0, lastRow = 0; // rows it decides (beyond the bounds at the ends)
        QRect pixels;                      // its part of the bounds
        std::vector<uint32_t> state;       // per line: a Shown value or its first piece
        std::vector<uint32_t> pieceEnd;    // read only where state names a piece
        std::vector<ColumnCover::Run> pieces;
        ColumnCover cover;
        KeySet seen; // lines whose pixels are not known, met so far
        // Bars as filled: their rectangles, and per line 1 + the place of its
        // rectangle (0 for none).
        std::vector<QRect> barRects;
        std::vector<uint32_t> barRectOf;
        size_t edgeCut = 0;
        std::vector<uint32_t> inOrder; // the lines it draws in order, ascending
        std::vector<uint32_t> lines;   // the lines that may paint in it, ascending
    };
    struct Setup; // what every band works with alike
    void findShown(Band& band, LineMeasures& m, const Setup& setup);
    Setup setupFor(QPainter& painter, LineMeasures& first);
    size_t findShownInBands(std::span<LineMeasures> measures, const Setup& setup,
                            PaintHelper* helper, size_t linesWorthSharing);
    void drawShown(QPainter& painter, std::span<LineMeasures> measures, const Setup& setup,
                   size_t bandCount);
    std::array<Band, 2> bands_;
    std::vector<ColumnCover::Run> joinedPieces_;
    double upperShare_ = 0.5;   // of the rows, for the upper band
    double bandMs_[2] = {0, 0}; // of the last cover pass, by which the rows are shared
};
