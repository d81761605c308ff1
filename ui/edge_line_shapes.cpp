#include "ui/edge_line_shapes.h"

#include <QPen>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr QRgb kBlack = 0xff000000u;
constexpr int kWindow = 3; // pixels looked at on either side of the ideal line

enum Edge : uint64_t { kBottom, kTop, kRight, kLeft };

} // namespace

EdgeLineShapes::EdgeLineShapes() = default;
EdgeLineShapes::~EdgeLineShapes() = default;

void EdgeLineShapes::begin(QSize device) {
    if (device == device_) return;
    clear();
    device_ = device;
}

void EdgeLineShapes::end() {
    painter_.reset();
}

void EdgeLineShapes::clear() {
    end();
    scratch_ = QImage();
    where_.clear();
    offsets_.clear();
}

std::optional<LineShapes::Shape> EdgeLineShapes::shapeOf(int x1, int y1, int x2, int y2) {
    const int w = device_.width(), h = device_.height();
    if (x1 < 0 || x1 >= w || y1 < 0 || y1 >= h) return std::nullopt;
    const bool outX = x2 < 0 || x2 >= w, outY = y2 < 0 || y2 >= h;
    if (outX == outY) return std::nullopt; // inside, or beyond a corner
    const int dx = x2 - x1, dy = y2 - y1;
    if (std::abs(dx) > LineShapes::kMaxExtent || std::abs(dy) > LineShapes::kMaxExtent)
        return std::nullopt;
    const Edge edge = outY ? (y2 >= h ? kBottom : kTop) : (x2 >= w ? kRight : kLeft);
    const int distance = edge == kBottom  ? h - y1
                         : edge == kTop   ? y1
                         : edge == kRight ? w - x1
                                          : x1;
    const uint64_t key = uint64_t{edge} << 48 | uint64_t{static_cast<uint16_t>(dx)} << 32 |
                         uint64_t{static_cast<uint16_t>(dy)} << 16 |
                         static_cast<uint16_t>(distance);
    auto it = where_.find(key);
    if (it == where_.end()) {
        if (offsets_.size() >= kMaxKept) { // lines come and go with zoom and scrolling
            where_.clear();
            offsets_.clear();
        }
        std::pair<uint32_t, uint32_t> at{kNotALine, 0};
        if (measure(x1, y1, x2, y2, measured_)) {
            at = {static_cast<uint32_t>(offsets_.size()), static_cast<uint32_t>(measured_.size())};
            appendShape(measured_, offsets_);
        }
        it = where_.emplace(key, at).first;
    }
    if (it->second.first == kNotALine) return std::nullopt;
    const int16_t* const offsets = offsets_.data() + it->second.first;
    return LineShapes::Shape{std::abs(dx) > std::abs(dy), static_cast<int>(it->second.second),
                             offsets, offsets + it->second.second};
}

bool EdgeLineShapes::measure(int x1, int y1, int x2, int y2, std::vector<int16_t>& out) {
    if (scratch_.size() != device_) {
        painter_.reset();
        scratch_ = QImage(device_, QImage::Format_RGB32);
        scratch_.fill(kBlack);
    }
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&scratch_);
        painter_->setPen(QPen(Qt::white, 1));
    }
    painter_->drawLine(x1, y1, x2, y2);

    // Step along the longer axis, one step beyond either end, and look a few
    // pixels to either side of the ideal line; what is lit is cleared. The
    // steps that have a pixel must come first, one pixel each.
    const int dx = x2 - x1, dy = y2 - y1;
    const bool xMajor = std::abs(dx) > std::abs(dy);
    const int major = xMajor ? dx : dy, minor = xMajor ? dy : dx;
    const int sign = major < 0 ? -1 : 1, steps = std::abs(major) + 1;
    const int majorStart = xMajor ? x1 : y1, minorStart = xMajor ? y1 : x1;
    const int majorLimit = xMajor ? device_.width() : device_.height();
    out.clear();
    bool regular = true, ended = false;
    for (int i = -1; i <= steps; ++i) {
        const int m = majorStart + i * sign;
        if (m < 0 || m >= majorLimit) {
            ended = ended || i >= 0;
            continue;
        }
        const int along = std::clamp(i, 0, steps - 1);
        const int ideal = major == 0 ? 0 : floorDiv(int64_t{along} * minor, std::abs(major));
        const LitPixels taken = takeLitPixels(scratch_, xMajor, m, minorStart, ideal, kWindow);
        const int lit = taken.count, offset = taken.offset;
        if (i < 0 || i == steps || ended) {
            regular = regular && lit == 0;
        } else if (lit == 1) {
            out.push_back(static_cast<int16_t>(offset));
        } else {
            regular = regular && lit == 0;
            ended = true;
        }
    }
    regular = regular && !out.empty() && runsOneWay(out);
    if (!regular) { // not the shape assumed: start the scratch afresh
        painter_.reset();
        scratch_.fill(kBlack);
    }
    return regular;
}
