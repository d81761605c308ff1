#include "ui/bar_extents.h"

#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

constexpr QRgb kBlack = 0xff000000u;
constexpr int kLook = 4; // rows and columns looked at beyond the line's ends
constexpr double kMaxOrigin = 1024;

} // namespace

BarExtents::BarExtents() = default;
BarExtents::~BarExtents() = default;

void BarExtents::clear() {
    end();
    valid_ = false;
    shortByRow_.clear();
    lastTable_ = nullptr;
    other_.clear();
}

bool BarExtents::begin(const QTransform& device, const QRect& bounds) {
    if (device.type() > QTransform::TxTranslate) return false;
    const double tx = device.dx(), ty = device.dy();
    // The scratch image spans the device from its corner: views far into a
    // large device are stroked rather than kept in a large scratch image.
    if (tx != std::trunc(tx) || ty != std::trunc(ty) || tx < 0 || ty < 0 || tx > kMaxOrigin ||
        ty > kMaxOrigin)
        return false;
    const int dx = static_cast<int>(tx), dy = static_cast<int>(ty);
    if (!valid_ || dx != dx_ || dy != dy_ || bounds != bounds_) {
        clear();
        valid_ = true;
        dx_ = dx;
        dy_ = dy;
        bounds_ = bounds;
        // Device pixels from 0 to a little beyond the farthest bar.
        const int width = std::max(1, dx + bounds.right() + kMargin + 2 * kLook);
        const int height = std::max(1, dy + bounds.bottom() + kMargin + 2 * kLook);
        scratch_ = QImage(width, height, QImage::Format_RGB32);
        scratch_.fill(kBlack);
    }
    return true;
}

void BarExtents::end() {
    painter_.reset();
}

// Offsets of the rectangle from the bar's ends and row, a byte each.
int32_t BarExtents::pack(const std::optional<QRect>& r, int xs, int xe, int y) {
    if (!r) return kNotARectangle;
    if (r->isEmpty()) return kEmpty;
    const int o[4] = {r->left() - xs, r->right() - xe, r->top() - y, r->bottom() - y};
    int32_t slot = 0;
    for (int v : o) {
        if (v < -60 || v > 60) return kNotARectangle;
        slot = slot << 7 | (v + 64);
    }
    return slot;
}

std::optional<QRect> BarExtents::unpack(int32_t slot, int xs, int xe, int y) {
    if (slot == kNotARectangle) return std::nullopt;
    if (slot == kEmpty) return QRect();
    const int bottom = y + (slot & 127) - 64, top = y + (slot >> 7 & 127) - 64;
    const int right = xe + (slot >> 14 & 127) - 64, left = xs + (slot >> 21 & 127) - 64;
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

int32_t& BarExtents::slotOf(int xs, int xe, int y) {
    if (xe >= xs && xe - xs < kShortLengths) {
        if (!lastTable_ || lastRow_ != y) {
            std::vector<int32_t>& table = shortByRow_[y];
            if (table.empty())
                table.assign(static_cast<size_t>(bounds_.width() + 2 * kMargin) * kShortLengths,
                             kUnknown);
            lastRow_ = y;
            lastTable_ = &table;
        }
        return (*lastTable_)[static_cast<size_t>(xs - bounds_.left() + kMargin) * kShortLengths +
                             static_cast<size_t>(xe - xs)];
    }
    // Long bars come and go with zoom and scrolling: start afresh now and then.
    if (other_.size() >= kMaxOther) other_.clear();
    const uint64_t key = (static_cast<uint64_t>(static_cast<uint16_t>(xs)) << 32) |
                         (static_cast<uint64_t>(static_cast<uint16_t>(xe)) << 16) |
                         static_cast<uint16_t>(y);
    return other_.try_emplace(key, kUnknown).first->second;
}

std::optional<QRect> BarExtents::rectOf(int xs, int xe, int y) {
    if (!valid_) return std::nullopt;
    const int lo = bounds_.left() - kMargin, hi = bounds_.right() + kMargin;
    if (xs < lo || xs > hi || xe < lo || xe > hi || y < bounds_.top() - kMargin ||
        y > bounds_.bottom() + kMargin)
        return std::nullopt;
    int32_t& slot = slotOf(xs, xe, y);
    if (slot == kUnknown) slot = pack(measure(xs, xe, y), xs, xe, y);
    return unpack(slot, xs, xe, y);
}

std::optional<QRect> BarExtents::measure(int xs, int xe, int y) {
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&scratch_);
        painter_->setPen(QPen(Qt::white, 3));
    }
    painter_->drawLine(xs + dx_, y + dy_, xe + dx_, y + dy_);

    // Look a few pixels beyond the line on every side; clear what was painted.
    const QRect look = QRect(QPoint(std::min(xs, xe) + dx_ - kLook, y + dy_ - kLook),
                             QPoint(std::max(xs, xe) + dx_ + kLook, y + dy_ + kLook))
                           .intersected(scratch_.rect());
    int left = look.right() + 1, right = look.left() - 1, top = look.bottom() + 1,
        bottom = look.top() - 1;
    int lit = 0;
    for (int row = look.top(); row <= look.bottom(); ++row) {
        QRgb* line = reinterpret_cast<QRgb*>(scratch_.scanLine(row));
        for (int x = look.left(); x <= look.right(); ++x)
            if (line[x] != kBlack) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, row);
                bottom = std::max(bottom, row);
                ++lit;
                line[x] = kBlack;
            }
    }
    if (lit == 0) return QRect();
    // Paint that reaches the edge of the looked-at area may go on beyond it.
    const bool cut = (left == look.left() && look.left() > 0) ||
                     (top == look.top() && look.top() > 0) ||
                     (right == look.right() && look.right() < scratch_.width() - 1) ||
                     (bottom == look.bottom() && look.bottom() < scratch_.height() - 1);
    if (cut) {
        painter_.reset();
        scratch_.fill(kBlack);
        return std::nullopt;
    }
    if (lit != (right - left + 1) * (bottom - top + 1)) return std::nullopt;
    return QRect(QPoint(left - dx_, top - dy_), QPoint(right - dx_, bottom - dy_));
}
