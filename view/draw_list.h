#pragma once
// The draw list: the lines of one picture in drawing order, plain data that
// the walk fills and the culler and the backend read. Lines are clipped to
// the picture's bounds plus a small margin on the way in, and a line equal
// to one of the run of lines of the same pen just before it is left out
// (pens are opaque and unblended: within such a run order does not matter).
// Nothing here knows a screen: what to draw is worked out and tested without
// one, and only the backend that draws the list turns it into painter calls.

#include "view/paint_helper.h"
#include "view/segment_clip.h"

#include <cstdint>
#include <span>
#include <vector>

// An opaque colour as 0xffRRGGBB, the 32-bit pixel it paints: the backend
// hands it on as it is.
using PackedRgb = uint32_t;
constexpr PackedRgb packRgb(uint8_t r, uint8_t g, uint8_t b) {
    return 0xff000000u | uint32_t{r} << 16 | uint32_t{g} << 8 | b;
}

// A rectangle of whole pixels; right and bottom are its last column and row.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
    int left() const { return x; }
    int top() const { return y; }
    int right() const { return x + width - 1; }
    int bottom() const { return y + height - 1; }
    bool operator==(const PixelRect&) const = default;
};

class DrawList {
  public:
    struct Line {
        // Left unset: the list grows by whole parts that are copied in.
        Line() {}
        Line(int x1_, int y1_, int x2_, int y2_, PackedRgb colour_, int width_)
            : x1(x1_), y1(y1_), x2(x2_), y2(y2_), colour(colour_), width(width_) {}
        int x1, y1, x2, y2;
        PackedRgb colour;
        int width; // 0: a bar (drawn with width kBarWidth)
    };
    static constexpr int kBarWidth = 3;

    // Lines are clipped to bounds plus a small margin (kClipMargin), so that
    // wide pens still paint their edges at the border.
    static constexpr int64_t kClipMargin = 8;
    explicit DrawList(const PixelRect& bounds);
    DrawList() = default;
    // Empty, for a picture of `bounds`; the memory of earlier pictures is
    // kept for this one (fresh memory is slow to come by).
    void reset(const PixelRect& bounds);

    void add(int64_t x1, int64_t y1, int64_t x2, int64_t y2, PackedRgb colour, int width);
    // A call's bar: a line of width kBarWidth from (xs, y) to (xe, y), which
    // the culler may fill as the rectangle its stroke paints.
    void addBar(int64_t xs, int64_t xe, int64_t y, PackedRgb colour);
    // Appends the lines of every list of `later`, collected for pictures of
    // the same bounds, after these (as if added here in that order) and
    // empties them; copied on the helper's thread too, where there is one.
    void append(std::span<DrawList> later, PaintHelper* helper = nullptr);

    std::span<const Line> lines() const { return lines_; }
    const PixelRect& bounds() const { return bounds_; }

    // Ends and width packed into one word; 0 for lines that do not fit, which
    // are never taken for equal to another.
    static uint64_t keyOf(int x1, int y1, int x2, int y2, int width) {
        constexpr int kBias = 16;
        const int v[4] = {x1 + kBias, y1 + kBias, x2 + kBias, y2 + kBias};
        uint64_t key = 0;
        for (int c : v) {
            if (c < 0 || c >= (1 << 15)) return 0;
            key = key << 15 | static_cast<uint64_t>(c);
        }
        if (width < 0 || width >= 8) return 0;
        return key << 3 | static_cast<uint64_t>(width) | uint64_t{1} << 63;
    }

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

    PixelRect bounds_;
    ClipBox clip_; // the bounds and the margin that lines are clipped to
    std::vector<Line> lines_;
    // The line last handed to add() and the list's size after it (kNoInput
    // for none).
    struct LastInput {
        int64_t x1, y1, x2, y2;
        PackedRgb colour;
        int width;
        size_t size;
        bool operator==(const LastInput&) const = default;
    };
    static constexpr size_t kNoInput = SIZE_MAX;
    LastInput lastInput_{0, 0, 0, 0, 0, 0, kNoInput};
};
