#pragma once
// The pixels of a one-pixel line between two whole-pixel points that nothing
// clips: one pixel per step along its longer axis, the other coordinate
// rounded by the rasteriser in a way that depends on the line's extent only,
// not on where the line lies. Each extent is measured once by stroking it
// into a scratch image, and kept, so that a paint can tell which pixels a
// line paints without stroking it.

#include <QImage>
#include <QPainter>

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

// floor(a / b) for b > 0: where the rasteriser's ideal line lies.
int floorDiv(int64_t a, int64_t b);

// Whether the offsets across a measured line never step back and step by one
// pixel at most: callers bound runs of steps by their ends, and find a step's
// run by its offset.
bool runsOneWay(const std::vector<int16_t>& offsets);
// Appends to `to` a measured shape as it is kept: its offsets (that run one
// way by one pixel at most), the first step of each run of one offset, in
// order, and the number of steps.
void appendShape(const std::vector<int16_t>& offsets, std::vector<int16_t>& to);

// The pixels a measuring stroke lit at step m along the longer axis, within
// `window` of the ideal offset across (from minorStart) in its scratch image:
// how many, and the offset of the last; they are cleared to black.
struct LitPixels {
    int count = 0;
    int offset = 0;
};
LitPixels takeLitPixels(QImage& scratch, bool xMajor, int m, int minorStart, int ideal, int window);

class LineShapes {
  public:
    LineShapes();
    ~LineShapes();

    struct Shape {
        bool xMajor = false; // one pixel per column (else one per row)
        int steps = 0;       // pixels: 1 + the longer extent
        // Pixel i lies i steps from the start along the longer axis, towards
        // the end, and offsets[i] pixels from the start along the other axis.
        const int16_t* offsets = nullptr;
        // Run r of one offset (offsets[0] and r pixels further across) is
        // the steps from runStarts[r] up to runStarts[r + 1].
        const int16_t* runStarts = nullptr;
    };
    // The shape of the line from (0, 0) to (dx, dy), valid until the next
    // call; nullopt when its stroke is not one pixel per step with the other
    // coordinate running one way (then nothing is assumed about it).
    std::optional<Shape> shapeOf(int dx, int dy);

    // Closes the scratch painter; measurements are kept.
    void end();
    // Forgets every measurement.
    void clear();

    static constexpr int kMaxExtent = 4096; // longer extents are not measured

  private:
    bool measure(int dx, int dy, std::vector<int16_t>& out);

    static constexpr uint32_t kNotALine = ~0u;
    static constexpr size_t kMaxKept = size_t{1} << 24; // offsets kept before starting afresh

    QImage scratch_;
    std::unique_ptr<QPainter> painter_;            // on scratch_, open while measuring
    std::unordered_map<uint32_t, uint32_t> where_; // by extent: first offset, or kNotALine
    std::vector<int16_t> offsets_; // of each shape its offsets, then its runs' starts
    std::vector<int16_t> measured_;
};
