#include "view/draw_list.h"

#include "view/key_set.h"
#include "view/segment_clip.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <span>

namespace {

bool insideBox(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const ClipBox& box) {
    const auto inside = [&](int64_t x, int64_t y) {
        return box.left <= x && x <= box.right && box.top <= y && y <= box.bottom;
    };
    return inside(x1, y1) && inside(x2, y2);
}

// Sets l's ends to the segment's part inside the box (as clipSegment finds
// it); false when none is. `inside`: whether the segment is wholly inside,
// as nearly every line is. Written field by field: a whole segment handed
// back through memory and read again at once stalls the store buffer.
template <class Line>
bool clipInto(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const ClipBox& box, bool inside,
              Line& l) {
    if (!inside) {
        const auto c = clipSegmentCut({x1, y1, x2, y2}, box);
        if (!c) return false;
        x1 = c->x1, y1 = c->y1, x2 = c->x2, y2 = c->y2;
    }
    l.x1 = static_cast<int>(x1);
    l.y1 = static_cast<int>(y1);
    l.x2 = static_cast<int>(x2);
    l.y2 = static_cast<int>(y2);
    return true;
}

} // namespace

DrawList::DrawList(const PixelRect& bounds) {
    reset(bounds);
}

void DrawList::reset(const PixelRect& bounds) {
    bounds_ = bounds;
    clip_ = {bounds.left() - kClipMargin, bounds.top() - kClipMargin, bounds.right() + kClipMargin,
             bounds.bottom() + kClipMargin};
    lines_.clear();
    lastInput_.size = kNoInput;
    forgetRun();
}

void DrawList::add(int64_t x1, int64_t y1, int64_t x2, int64_t y2, PackedRgb colour, int width) {
    // The very line handed in just before, with nothing added since, adds
    // nothing: it paints the same pixels again.
    const LastInput in{x1, y1, x2, y2, colour, width, lines_.size()};
    if (lastInput_ == in) return;
    lastInput_ = in;
    const ClipBox& box = clip_;
    Line l{0, 0, 0, 0, colour, width};
    if (!clipInto(x1, y1, x2, y2, box, insideBox(x1, y1, x2, y2, box), l)) return;
    // Lines of one pen that follow one another paint the same pixels in any
    // order: of equal ones among them (as clipped), one is enough.
    const bool samePen =
        !lines_.empty() && lines_.back().colour == colour && lines_.back().width == width;
    if (!samePen)
        forgetRun();
    else if (!enterRun(l))
        return;
    lines_.push_back(l);
    lastInput_.size = lines_.size();
}

void DrawList::append(std::span<DrawList> later, PaintHelper* helper) {
    // Each part copied to its place: megabytes, worth two threads.
    std::vector<size_t> at(later.size() + 1, lines_.size());
    for (size_t k = 0; k < later.size(); ++k) at[k + 1] = at[k] + later[k].lines_.size();
    lines_.resize(at.back());
    const auto copy = [&](uint32_t k) {
        std::copy(later[k].lines_.begin(), later[k].lines_.end(), lines_.begin() + at[k]);
    };
    if (helper && later.size() > 1)
        helper->run(static_cast<uint32_t>(later.size()), copy);
    else
        for (size_t k = 0; k < later.size(); ++k) copy(static_cast<uint32_t>(k));
    forgetRun(); // equal lines on both sides of a seam are simply both kept
    lastInput_.size = kNoInput;
    for (DrawList& part : later) {
        part.lines_.clear();
        part.forgetRun();
        part.lastInput_.size = kNoInput;
    }
}

void DrawList::forgetRun() {
    runStart_ = lines_.size();
    ++runCount_;
    if (runHashed_) {
        for (uint32_t h : runUsed_) runSlots_[h] = 0;
        runUsed_.clear();
        runHashed_ = false;
    }
}

bool DrawList::enterRun(const Line& l) {
    // Lines of the run share l's pen: equal when their ends are.
    const uint64_t key = keyOf(l.x1, l.y1, l.x2, l.y2, l.width);
    if (key == 0) return true; // not kept track of
    if (!runHashed_) {
        for (size_t i = runStart_; i < lines_.size(); ++i) {
            const Line& o = lines_[i];
            if (o.x1 == l.x1 && o.y1 == l.y1 && o.x2 == l.x2 && o.y2 == l.y2) return false;
        }
        if (lines_.size() - runStart_ < kRunScan) return true;
        // The run outgrows comparing one by one: its keys go into the table.
        if (runSlots_.empty()) runSlots_.assign(kRunSlots, 0);
        runHashed_ = true;
        for (size_t i = runStart_; i < lines_.size(); ++i) {
            const Line& o = lines_[i];
            if (const uint64_t k = keyOf(o.x1, o.y1, o.x2, o.y2, o.width)) enterRunTable(k);
        }
    }
    return enterRunTable(key);
}

bool DrawList::enterRunTable(uint64_t key) {
    if (runUsed_.size() >= kRunSlots / 2) return true; // not kept track of
    for (size_t h = KeySet::mix(key) & (kRunSlots - 1);; h = (h + 1) & (kRunSlots - 1)) {
        if (runSlots_[h] == key) return false;
        if (runSlots_[h] == 0) {
            runSlots_[h] = key;
            runUsed_.push_back(static_cast<uint32_t>(h));
            return true;
        }
    }
}

void DrawList::addBar(int64_t xs, int64_t xe, int64_t y, PackedRgb colour) {
    const ClipBox& box = clip_;
    Line l{0, 0, 0, 0, colour, 0};
    if (clipInto(xs, y, xe, y, box, insideBox(xs, y, xe, y, box), l)) {
        lines_.push_back(l);
        forgetRun(); // the run starts after the bar
    }
}
