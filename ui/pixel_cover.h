#pragma once
// The pixels of a picture's bounds as its lines are met from the last drawn
// to the first: which ones a later line is known to paint, and which ones a
// later line may paint (a line whose pixels are known only roughly). Kept
// between pictures so that its memory is reused.

#include <QPoint>
#include <QRect>

#include <cstddef>
#include <cstdint>
#include <vector>

class PixelCover {
  public:
    enum : uint8_t { kPainted = 1, kMaybe = 2 };

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
    ptrdiff_t stride() const { return width_; }
    uint8_t* flags() { return flags_.data(); }
    // The flags of a pixel that holds() accepts.
    uint8_t& at(int x, int y) { return flags_[indexOf(x, y)]; }

    // Marks a rectangle inside the bounds as painted; how many of its pixels
    // were not marked painted before.
    size_t paint(const QRect& r);
    // Marks the part of a rectangle inside the bounds as maybe painted.
    void mayPaint(const QRect& r);

  private:
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    std::vector<uint8_t> flags_;
};
