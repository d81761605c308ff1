#pragma once
// Vertical runs of pixels in the columns of a picture, met from the last drawn
// to the first: tells which part of each run no later run paints over. A run
// is a closed range of rows in one column, as a one-pixel vertical line
// paints it.

#include <cstdint>
#include <utility>
#include <vector>

class ColumnCover {
  public:
    // Columns left..right (inclusive); runs outside them are never covered.
    ColumnCover(int64_t left, int64_t right);
    ColumnCover() = default;
    // Nothing covered, columns left..right; keeps the memory it has.
    void reset(int64_t left, int64_t right);

    using Run = std::pair<int, int>; // first and last row, first <= last

    // Adds the run from y1 to y2 (either order) in column x and appends to
    // `visible` the parts that were not covered yet, top to bottom.
    void add(int64_t x, int y1, int y2, std::vector<Run>& visible);

  private:
    int64_t left_ = 0;
    // Per column: disjoint runs sorted by row, neighbours merged.
    std::vector<std::vector<Run>> columns_;
};
