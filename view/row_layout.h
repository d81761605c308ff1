#pragma once
// Rows of the event explorer and the node/rank column: one row per shown
// process (20 pixels unless the rows are fitted to the view), stacked from
// the bottom of the view upwards, the last list position lowest. Plain
// functions, shared by both views and the tests.

#include <cstdint>
#include <optional>
#include <vector>

class TTrace;
class ViewFilter;

constexpr int kRowHeight = 20;

// Where a row's marks lie, measured up from its lower edge b: the bar on the
// centre line b - centre, crosses and end ticks over the band from
// b - markHigh to b - markLow. The 20-pixel row's figures (10, 5, 15, a
// 5-pixel cross arm, a 3-pixel pen) scaled to other heights.
struct RowGeometry {
    int height = kRowHeight;
    int centre = 10;
    int markLow = 5;
    int markHigh = 15;
    int crossArm = 5;
    int barWidth = 3;
    friend bool operator==(const RowGeometry&, const RowGeometry&) = default;
};
// A height below 1 counts as 1.
RowGeometry rowGeometry(int height);

// The row height at which `shown` rows fill `viewHeight` pixels: at least 1
// (more rows than pixels scroll), the 20-pixel row when none is shown.
int fittedRowHeight(int64_t shown, int64_t viewHeight);

// Which list positions the filter shows (by node index and by rank).
std::vector<bool> shownPositions(const TTrace& trace, const ViewFilter& filter);

struct Row {
    uint32_t position = 0; // in the document's process list
    int64_t bottom = 0;    // lower edge; centre line at bottom - 10
};

struct RowLayout {
    // Rows that are on screen, bottom row first.
    std::vector<Row> rows;
    // Lower edge of every shown position as if the view were endless: below
    // the view (> height) for scrolled-off rows, at or above 0 beyond the top.
    // Hidden positions have no entry.
    std::vector<std::optional<int64_t>> edgeOf;
    RowGeometry geometry;
};

// Rows too low for a line of text are labelled one in so many: every row
// whose place in the walk from the bottom is a multiple of the result.
int rowsPerLabel(int rowHeight, int textHeight);

// pos is the vertical scroll value: the first (count - pos) shown processes of
// the walk from the bottom are scrolled off. The walk stops at the first row
// whose lower edge would be 0 or less. Rows are rowHeight pixels high.
RowLayout layoutRows(const std::vector<bool>& shown, int64_t pos, int64_t height,
                     int rowHeight = kRowHeight);

// The row (lower edge) that a press at y falls into: bottom - 20 <= y <= bottom.
// The walk goes upwards, so on a shared boundary the lower row is tried first.
bool rowContains(const Row& row, int64_t y, int rowHeight = kRowHeight);

// Where a link line meets its partner's centre line: the partner's edge and
// end time, cut at t1 when the receive ends after the window.
struct LinkEnd {
    int64_t edge = 0; // partner row's lower edge (possibly cut)
    int64_t time = 0; // end time of the line
};
LinkEnd cutLinkBeyondRightEdge(int64_t senderEdge, int64_t partnerEdge, int64_t start,
                               int64_t receiveEnd, int64_t t1);
// Inline: painting asks it for every link in view, nearly all of them uncut.
inline LinkEnd cutLinkAtRightEdge(int64_t senderEdge, int64_t partnerEdge, int64_t start,
                                  int64_t receiveEnd, int64_t t1) {
    if (receiveEnd <= t1) return {partnerEdge, receiveEnd};
    return cutLinkBeyondRightEdge(senderEdge, partnerEdge, start, receiveEnd, t1);
}

// The first list position whose rank equals `rank`, for every rank that occurs.
class RankIndex {
  public:
    explicit RankIndex(const TTrace& trace);
    std::optional<uint32_t> positionOf(uint32_t rank) const;

  private:
    std::vector<std::pair<uint32_t, uint32_t>> sorted_; // (rank, position)
};
