#pragma once
// The draw list: the lines of one picture in drawing order, plain data that
// the walk fills and the culler and the backend read. Lines are clipped to
// the picture's bounds plus a small margin on the way in, and a line equal
// to one of the run of lines of the same pen just before it is left out
// (pens are opaque and unblended: within such a run order does not matter).
// drawAll is the plain backend: every line in order with its own pen.

#include "ui/paint_helper.h"
#include "ui/segment_clip.h"

#include <QPainter>
#include <QRect>
#include <QRgb>

#include <cstdint>
#include <span>
#include <vector>

class LineList {
  public:
    struct Line {
        // Left unset: the list grows by whole parts that are copied in.
        Line() {}
        Line(int x1_, int y1_, int x2_, int y2_, QRgb colour_, int width_)
            : x1(x1_), y1(y1_), x2(x2_), y2(y2_), colour(colour_), width(width_) {}
        int x1, y1, x2, y2;
        QRgb colour;
        int width; // 0: a bar (drawn with width 3)
    };

    // Lines are clipped to bounds plus a small margin, as drawClippedLine does.
    explicit LineList(const QRect& bounds);
    LineList() = default;
    // Empty, for a picture of `bounds`; the memory of earlier pictures is
    // kept for this one (fresh memory is slow to come by).
    void reset(const QRect& bounds);

    void add(int64_t x1, int64_t y1, int64_t x2, int64_t y2, QRgb colour, int width);
    // A call's bar: a line of width 3 from (xs, y) to (xe, y), which the
    // culler may fill as the rectangle its stroke paints.
    void addBar(int64_t xs, int64_t xe, int64_t y, QRgb colour);
    // Appends the lines of every list of `later`, collected for pictures of
    // the same bounds, after these (as if added here in that order) and
    // empties them; copied on the helper's thread too, where there is one.
    void append(std::span<LineList> later, PaintHelper* helper = nullptr);

    // Draws every line in order with its own pen, leaving nothing out.
    void drawAll(QPainter& painter) const;

    std::span<const Line> lines() const { return lines_; }
    const QRect& bounds() const { return bounds_; }

    // Changes whenever a new run of lines of one pen starts. Lines of one pen
    // that follow one another paint the same pixels in any order: within a
    // run, a caller may leave out an input it handed in before.
    uint64_t run() const { return runCount_; }

  private:
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
};
