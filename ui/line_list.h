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
// colour first. Where there are many lines, the picture's upper and lower
// rows are worked out on two threads, each line shown where either band
// shows it.

#include <QPainter>
#include <QRect>
#include <QRgb>

#include "ui/column_cover.h"
#include "ui/key_set.h"
#include "ui/line_measures.h"
#include "ui/paint_helper.h"
#include "ui/segment_clip.h"

#include <QImage>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

struct PaintSink;

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
    // Appends the lines of every list of `later`, collected for pictures of
    // the same bounds, after these (as if added here in that order) and
    // empties them; copied on the helper's thread too, where there is one.
    void append(std::span<LineList> later, PaintHelper* helper = nullptr);
    // Draws the lines. `measures` keep what they measure (and their memory)
    // for later pictures; with two of them and a helper, the picture's rows
    // are shared between two threads where there are `linesWorthSharing`
    // lines or more.
    // `sink`, where given, learns the times of the stages.
    void draw(QPainter& painter, std::span<LineMeasures> measures, PaintHelper* helper = nullptr,
              size_t linesWorthSharing = kLinesWorthSharing, PaintSink* sink = nullptr);
    // Draws every line in order with its own pen, leaving nothing out: the
    // same picture without the culler (bars stroked, not filled).
    void drawAll(QPainter& painter);
    static constexpr size_t kLinesWorthSharing = size_t{1} << 12;

    // Changes whenever a new run of lines of one pen starts. Lines of one pen
    // that follow one another paint the same pixels in any order: within a
    // run, a caller may leave out an input it handed in before.
    uint64_t run() const { return runCount_; }

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
    // Of the last draw(); those of lines not drawn in order are worked out
    // when first asked for.
    const Counts& counts() const;

  private:
    struct Line {
        // Left unset: the list grows by whole parts that are copied in.
        Line() {}
        Line(int x1_, int y1_, int x2_, int y2_, QRgb colour_, int width_)
            : x1(x1_), y1(y1_), x2(x2_), y2(y2_), colour(colour_), width(width_) {}
        int x1, y1, x2, y2;
        QRgb colour;
        int width; // 0: a bar (drawn with width 3)
    };
    // The run of lines of one pen at the end of the list: lines_ from
    // runStart_ on. Its first few lines are compared one by one; a run that
    // grows longer has its keys in a table.
    size_t runStart_ = 0;
    uint64_t runCount_ = 0;
    void forgetRun();
    bool enterRun(const Line& l); // false when an equal line is in the run
    static constexpr size_t kRunScan = 8;
    static constexpr size_t kRunSlots = 4096;
    bool runHashed_ = false;
    std::vector<uint64_t> runSlots_;
    std::vector<uint32_t> runUsed_;
    bool enterRunTable(uint64_t key);

    QRect bounds_;
    ClipBox clip_; // the bounds and the margin that lines are clipped to
    std::vector<Line> lines_;
    // The line last handed to add() and the list's size after it (kNoInput
    // for none).
    struct LastInput {
        int64_t x1, y1, x2, y2;
        QRgb colour;
        int width;
        size_t size;
        bool operator==(const LastInput&) const = default;
    };
    static constexpr size_t kNoInput = SIZE_MAX;
    LastInput lastInput_{0, 0, 0, 0, 0, 0, kNoInput};
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
