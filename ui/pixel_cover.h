#pragma once
// The pixels of a picture's bounds as its lines are met from the last drawn
// to the first: which ones a later line is known to paint, and which ones a
// later line may paint (a line whose pixels are known only roughly).

#include <QRect>

#include <cstddef>
#include <cstdint>
#include <vector>

class PixelCover {
  public:
    explicit PixelCover(const QRect& bounds);

    enum : uint8_t { kPainted = 1, kMaybe = 2 };

    bool holds(int x, int y) const {
        return x >= left_ && x - left_ < width_ && y >= top_ && y - top_ < height_;
    }
    // The flags of a pixel that holds() accepts.
    uint8_t& at(int x, int y) {
        return flags_[static_cast<size_t>(y - top_) * static_cast<size_t>(width_) +
                      static_cast<size_t>(x - left_)];
    }
    // Marks a rectangle inside the bounds as painted; how many of its pixels
    // were not marked painted before.
    size_t paint(const QRect& r);
    // Marks the part of a rectangle inside the bounds as maybe painted.
    void mayPaint(const QRect& r);

  private:
    int left_, top_, width_, height_;
    std::vector<uint8_t> flags_;
};
