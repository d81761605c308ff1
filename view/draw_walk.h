#pragma once
// The painter's first stage: the walk. It finds, by binary search through the
// trace's time index, which calls and links of the shown rows the window
// shows, folds calls that share a pixel column, and hands what is to be drawn,
// in drawing order, to a DrawList: the draw list that the culler and the
// backend work from. No screen is needed for any of it. The helpers here are
// the reference painter's too, so that both place links alike.

#include "format/func_ids.h"
#include "model/trace_document.h"
#include "model/wrapping_math.h"
#include "view/call_blocks.h"
#include "view/call_skip_index.h"
#include "view/color_palette.h"
#include "view/draw_list.h"
#include "view/link_end_index.h"
#include "view/row_layout.h"
#include "view/time_axis.h"
#include "view/view_filter.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class TimeIndex;

inline int64_t shiftOf(const TTrace& trace, uint32_t position) {
    return trace.nodeOffset(static_cast<uint32_t>(trace.nodeIndexAt(position)));
}

// The links of one call, in stored order, handed to line(x1, y1, x2, y2).
// A receive of a hidden function is not linked.
template <class Line>
void forEachLinkLine(const TTrace& trace, const ViewFilter& filter, const TimeWindow& window,
                     const RowLayout& layout, const RankIndex& ranks, const TFunc& f, int64_t b,
                     int64_t start, int64_t xs, Line&& line) {
    for (const TLink& link : f.linkSpan()) {
        const std::optional<uint32_t> partner = ranks.positionOf(link.rank);
        if (!partner || !layout.edgeOf[*partner] || !link.recv) continue;
        if (!filter.funcVisible(link.recv->funcId)) continue;
        const LinkEnd end =
            cutLinkAtRightEdge(b, *layout.edgeOf[*partner], start,
                               wrapAdd(link.recv->end, shiftOf(trace, *partner)), window.t1);
        const int centre = layout.geometry.centre;
        line(xs, b - centre, pixelOf(window, end.time), end.edge - centre);
    }
}

// The partner of a link by rank, as forEachLinkLine finds it: the first list
// position with that rank, its row's lower edge when shown and its clock
// shift. A table by rank for the usual small ranks, the rank index beyond.
class PartnerTable {
  public:
    PartnerTable(const TTrace& trace, const RowLayout& layout, const RankIndex& ranks)
        : trace_(trace), layout_(layout), ranks_(ranks) {
        const uint32_t n = trace.processCount();
        uint64_t size = 0;
        for (uint32_t i = 0; i < n; ++i)
            size = std::max<uint64_t>(size, static_cast<uint32_t>(trace.rankAt(i)) + uint64_t{1});
        size = std::min<uint64_t>(size, uint64_t{4} * n + 64);
        table_.resize(size);
        for (uint32_t i = n; i-- > 0;) { // the first position of a rank wins
            const auto rank = static_cast<uint32_t>(trace.rankAt(i));
            if (rank < size) table_[rank] = entryOf(i);
        }
    }

    struct Entry {
        bool shown = false;
        int64_t edge = 0;
        int64_t shift = 0;
    };
    Entry find(uint32_t rank) const {
        if (rank < table_.size()) return table_[rank];
        const std::optional<uint32_t> position = ranks_.positionOf(rank);
        return position ? entryOf(*position) : Entry{};
    }

  private:
    Entry entryOf(uint32_t position) const {
        if (!layout_.edgeOf[position]) return {};
        return {true, *layout_.edgeOf[position], shiftOf(trace_, position)};
    }

    const TTrace& trace_;
    const RowLayout& layout_;
    const RankIndex& ranks_;
    std::vector<Entry> table_;
};

// What walking rows into lines reads, made once per picture: each shown
// row's clock shift and its process's index entries, prepared here so that
// threads walking parts of the rows only read them, and about what walking
// each row costs, by which the rows are shared out.
class DrawWalk {
  public:
    DrawWalk(TTrace& trace, const ViewFilter& filter, const ColorPalette& palette,
             const TimeWindow& window, const RowLayout& layout, TimeIndex& index);
    DrawWalk(const DrawWalk&) = delete;
    DrawWalk& operator=(const DrawWalk&) = delete;

    size_t rowCount() const { return layout_.rows.size(); }
    // About how many calls the window shows: those ending from t0 to t1.
    uint64_t shownCalls() const { return shownCalls_; }
    // costTo()[r]: about what walking rows [0, r) costs (their calls in the
    // window and their links); rowCount() + 1 entries.
    std::span<const uint64_t> costTo() const { return costTo_; }

    // The lines of rows [first, end) of the layout, in drawing order, added
    // to `lines`.
    void walk(size_t firstRow, size_t endRow, DrawList& lines) const;

  private:
    const TTrace& trace_;
    const ViewFilter& filter_;
    const ColorPalette& palette_;
    const TimeWindow window_;
    const RowLayout& layout_;
    const CallSkipIndex& skipIndex_;       // prepared for every row's process
    std::optional<RankIndex> ranks_;       // when links are shown
    std::optional<PartnerTable> partners_; // the same
    std::vector<int64_t> rowShift_;
    std::vector<const LinkEndIndex::ProcessLinks*> rowLinks_;
    std::vector<const CallBlocks::ProcessBlocks*> rowBlocks_;
    uint64_t shownCalls_ = 0;
    std::vector<uint64_t> costTo_;
};
