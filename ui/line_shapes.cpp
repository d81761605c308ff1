#include "ui/line_shapes.h"

#include <QPen>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr QRgb kBlack = 0xff000000u;
constexpr int kPad = 4;    // free pixels around the measured line
constexpr int kWindow = 2; // pixels looked at on either side of the ideal line

uint32_t keyOf(int dx, int dy) {
    return static_cast<uint32_t>(static_cast<uint16_t>(dx)) << 16 | static_cast<uint16_t>(dy);
}

} // namespace

LineShapes::LineShapes() = default;
LineShapes::~LineShapes() = default;

void LineShapes::end() {
    painter_.reset();
}

void LineShapes::clear() {
    end();
    where_.clear();
    offsets_.clear();
}

std::optional<LineShapes::Shape> LineShapes::shapeOf(int dx, int dy) {
    if (std::abs(dx) > kMaxExtent || std::abs(dy) > kMaxExtent) return std::nullopt;
    const uint32_t key = keyOf(dx, dy);
    auto it = where_.find(key);
    if (it == where_.end()) {
        if (offsets_.size() >= kMaxKept) clear(); // extents come and go with zoom
        uint32_t first = kNotALine;
        if (measure(dx, dy, measured_)) {
            first = static_cast<uint32_t>(offsets_.size());
            appendShape(measured_, offsets_);
        }
        it = where_.emplace(key, first).first;
    }
    if (it->second == kNotALine) return std::nullopt;
    const int steps = std::max(std::abs(dx), std::abs(dy)) + 1;
    const int16_t* const offsets = offsets_.data() + it->second;
    return Shape{std::abs(dx) > std::abs(dy), steps, offsets, offsets + steps};
}

int floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if (a % b != 0 && a < 0) --q;
    return static_cast<int>(q);
}

LitPixels takeLitPixels(QImage& scratch, bool xMajor, int m, int minorStart, int ideal,
                        int window) {
    const int minorLimit = xMajor ? scratch.height() : scratch.width();
    LitPixels lit;
    for (int o = ideal - window; o <= ideal + window + 1; ++o) {
        const int n = minorStart + o;
        if (n < 0 || n >= minorLimit) continue;
        QRgb& pixel = xMajor ? reinterpret_cast<QRgb*>(scratch.scanLine(n))[m]
                             : reinterpret_cast<QRgb*>(scratch.scanLine(m))[n];
        if (pixel == kBlack) continue;
        pixel = kBlack;
        ++lit.count;
        lit.offset = o;
    }
    return lit;
}

bool runsOneWay(const std::vector<int16_t>& offsets) {
    int direction = 0;
    for (size_t i = 1; i < offsets.size(); ++i) {
        const int step = offsets[i] - offsets[i - 1];
        if (step == 0) continue;
        if (step != 1 && step != -1) return false;
        if (direction == 0) direction = step;
        if (step != direction) return false;
    }
    return true;
}

void appendShape(const std::vector<int16_t>& offsets, std::vector<int16_t>& to) {
    to.insert(to.end(), offsets.begin(), offsets.end());
    for (size_t i = 0; i < offsets.size(); ++i)
        if (i == 0 || offsets[i] != offsets[i - 1]) to.push_back(static_cast<int16_t>(i));
    to.push_back(static_cast<int16_t>(offsets.size()));
}

bool LineShapes::measure(int dx, int dy, std::vector<int16_t>& out) {
    const int width = std::abs(dx) + 2 * kPad + 1, height = std::abs(dy) + 2 * kPad + 1;
    if (scratch_.width() < width || scratch_.height() < height) {
        painter_.reset();
        scratch_ = QImage(std::max(width, scratch_.width()), std::max(height, scratch_.height()),
                          QImage::Format_RGB32);
        scratch_.fill(kBlack);
    }
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&scratch_);
        painter_->setPen(QPen(Qt::white, 1));
    }
    const int x0 = kPad + std::max(0, -dx), y0 = kPad + std::max(0, -dy);
    painter_->drawLine(x0, y0, x0 + dx, y0 + dy);

    // Step along the longer axis, one step beyond either end, and look a few
    // pixels to either side of the ideal line; what is lit is cleared.
    const bool xMajor = std::abs(dx) > std::abs(dy);
    const int major = xMajor ? dx : dy, minor = xMajor ? dy : dx;
    const int sign = major < 0 ? -1 : 1, steps = std::abs(major) + 1;
    const int majorStart = xMajor ? x0 : y0, minorStart = xMajor ? y0 : x0;
    out.assign(static_cast<size_t>(steps), 0);
    bool oneEach = true;
    for (int i = -1; i <= steps; ++i) {
        const int along = std::clamp(i, 0, steps - 1);
        const int ideal = major == 0 ? 0 : floorDiv(int64_t{along} * minor, std::abs(major));
        const LitPixels taken =
            takeLitPixels(scratch_, xMajor, majorStart + i * sign, minorStart, ideal, kWindow);
        const int lit = taken.count;
        if (lit > 0 && i >= 0 && i < steps)
            out[static_cast<size_t>(i)] = static_cast<int16_t>(taken.offset);
        if (lit != (i >= 0 && i < steps ? 1 : 0)) oneEach = false;
    }
    oneEach = oneEach && runsOneWay(out);
    if (!oneEach) { // not the shape assumed: start the scratch afresh
        painter_.reset();
        scratch_.fill(kBlack);
    }
    return oneEach;
}
