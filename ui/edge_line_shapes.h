#pragma once
// The pixels of a one-pixel line that leaves the device through one of its
// edges. The rasteriser cuts such a line at the edge and draws the part
// inside from the cut end, so its pixels may lie one off those of the whole
// line. They depend on the line's extent and on how far its start lies from
// the edge it leaves through, not on where along that edge it lies, so each
// such line is measured once, by stroking it into a scratch image of the
// device's size at the same place, and kept.

#include "ui/line_shapes.h"

#include <QImage>
#include <QPainter>
#include <QSize>

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class EdgeLineShapes {
  public:
    EdgeLineShapes();
    ~EdgeLineShapes();

    // Readies measuring for a device of `size` that nothing clips but its
    // own edges; what was kept for another size is forgotten.
    void begin(QSize device);
    // The pixels of the line from (x1, y1), inside the device, to (x2, y2),
    // beyond exactly one of its edges (device coordinates), as the steps
    // from the start that have one: pixel s lies s steps along the longer
    // axis and offsets[s] across, all inside the device. Valid until the
    // next call; nullopt for other lines and where the stroke is not one
    // pixel per step running one way across (then nothing is assumed).
    std::optional<LineShapes::Shape> shapeOf(int x1, int y1, int x2, int y2);
    // Closes the scratch painter; measurements are kept.
    void end();
    // Forgets every measurement.
    void clear();

  private:
    bool measure(int x1, int y1, int x2, int y2, std::vector<int16_t>& out);

    static constexpr uint32_t kNotALine = ~0u;
    static constexpr size_t kMaxKept = size_t{1} << 24; // offsets kept before starting afresh

    QSize device_;
    QImage scratch_;
    std::unique_ptr<QPainter> painter_; // on scratch_, open while measuring
    // By edge, extent and distance of the start from the edge: the first
    // offset and the number of steps, or kNotALine.
    std::unordered_map<uint64_t, std::pair<uint32_t, uint32_t>> where_;
    std::vector<int16_t> offsets_; // of each shape its offsets, then its runs' starts
    std::vector<int16_t> measured_;
};
