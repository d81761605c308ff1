#pragma once
// Bars that follow one another in drawing order on the same rows, composed
// into runs of one colour: each later bar paints over the earlier ones, so
// the last colour of every column is what the picture keeps, and a run of
// columns of one colour is filled at once.

#include <QPainter>
#include <QRect>
#include <QRgb>

#include <algorithm>
#include <vector>

class BarRuns {
  public:
    // Columns left..right can be kept.
    BarRuns(int left, int right);

    // Paints the rectangle over what is kept; false when it cannot join
    // (other rows than the kept bars, or columns beyond the kept ones).
    bool add(const QRect& r, QRgb colour);
    // Fills what is kept, run by run, through fill(rect, colour), and
    // forgets it.
    template <class Fill>
    void flush(Fill&& fill) {
        if (bottom_ < top_) return;
        for (int x = lo_; x <= hi_;) {
            const QRgb c = colours_[static_cast<size_t>(x)];
            int end = x + 1;
            while (end <= hi_ && colours_[static_cast<size_t>(end)] == c) ++end;
            if (c != 0) {
                fill(QRect(left_ + x, top_, end - x, bottom_ - top_ + 1), c);
                ++fills_;
            }
            std::fill(colours_.begin() + x, colours_.begin() + end, 0);
            x = end;
        }
        bottom_ = top_ - 1;
    }

    size_t fills() const { return fills_; }

  private:
    int left_;
    int top_ = 0, bottom_ = -1; // rows of the kept bars; none while bottom_ < top_
    int lo_ = 0, hi_ = -1;      // painted columns, relative to left_
    std::vector<QRgb> colours_; // 0: not painted (painted colours are opaque)
    size_t fills_ = 0;
};
