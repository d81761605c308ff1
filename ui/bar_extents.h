#pragma once
// The pixels that a call's bar paints. A horizontal line stroked with a
// solid, square-capped pen 3 pixels wide covers a rectangle of about 3 rows
// and a pixel or two beyond its ends, where "one or two" (and which 3 rows)
// depends on the line's position and length as the rasteriser rounds them.
// Filling that rectangle paints the same pixels much faster than stroking the
// line, so the rectangle is measured once per line by stroking it into a
// scratch image at the same device position, and kept.

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QTransform>

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class BarExtents {
  public:
    BarExtents();
    ~BarExtents();

    // Readies measuring for a picture of `bounds` painted through a painter
    // whose device transform is `device`. False when that is no integer
    // translation: then bars are stroked.
    bool begin(const QTransform& device, const QRect& bounds);
    // The pixels of the bar from (xs, y) to (xe, y), ends within 8 pixels of
    // the bounds; an empty rectangle when it paints nothing; nullopt when the
    // stroke is no rectangle (then stroke it).
    std::optional<QRect> rectOf(int xs, int xe, int y);
    // Ends a picture; what was measured is kept for the next one.
    void end();

    // Forgets every measurement.
    void clear();

  private:
    std::optional<QRect> measure(int xs, int xe, int y);
    static int32_t pack(const std::optional<QRect>& r, int xs, int xe, int y);
    static std::optional<QRect> unpack(int32_t slot, int xs, int xe, int y);
    int32_t& slotOf(int xs, int xe, int y);

    static constexpr int kMargin = 8;
    static constexpr int kShortLengths = 16; // tabled by start and length
    static constexpr size_t kMaxOther = size_t{1} << 20;
    static constexpr int32_t kUnknown = -1, kNotARectangle = -2, kEmpty = -3;

    int dx_ = 0, dy_ = 0;
    QRect bounds_;
    bool valid_ = false;
    QImage scratch_;
    std::unique_ptr<QPainter> painter_; // on scratch_, open while measuring
    // Short left-to-right bars by row: [xs - left + kMargin][xe - xs].
    std::unordered_map<int, std::vector<int32_t>> shortByRow_;
    int lastRow_ = 0;
    std::vector<int32_t>* lastTable_ = nullptr;
    std::unordered_map<uint64_t, int32_t> other_; // by (xs, xe, y)
};
