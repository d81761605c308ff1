#pragma once
// What the culler's stages share: what the cover pass decides for each
// line, and what every band of rows works with alike.

#include "ui/line_culler.h"

#include <QImage>
#include <QPainter>
#include <QRegion>
#include <QTransform>

#include <chrono>
#include <cstdint>

namespace line_culler_detail {

inline constexpr int64_t kMargin = DrawList::kClipMargin;

// What a band decides for a line, where it names no piece.
enum Shown : uint32_t {
    kWhole = 0xFFFFFFFFu,        // drawn whole, in order
    kNotHere = 0xFFFFFFFEu,      // nothing of it is in the band
    kDrawnAgain = 0xFFFFFFFDu,   // left out: drawn again later
    kCovered = 0xFFFFFFFCu,      // left out: later lines paint every pixel
    kNearEdge = 0xFFFFFFFBu,     // the same, for a line that a clip may cut
    kUnderPainted = 0xFFFFFFFAu, // the same, found by wholly painted blocks or tiles alone
    kComposed = 0xFFFFFFF9u,     // drawn as the pixels that stay
    kFirstShown = kComposed,     // values below name a piece
};

inline double msSince(std::chrono::steady_clock::time_point& t) {
    const auto now = std::chrono::steady_clock::now();
    const double ms = std::chrono::duration<double, std::milli>(now - t).count();
    t = now;
    return ms;
}

} // namespace line_culler_detail

// What every band of rows works with alike.
struct LineCuller::Setup {
    // Fills stand in for strokes, and measured shapes for lines.
    bool measuring = false;
    // Pixels are marked: no clip cuts into the bounds.
    bool knowPixels = false;
    // Nothing beyond the bounds is paintable either.
    bool onlyBounds = false;
    // Lines are cut by the device's edges alone.
    bool deviceEdges = false;
    QTransform deviceTransform;
    QSize deviceSize;
    QPoint toDevice;
    // Where pixels are known: the device, an image of 32-bit pixels, at the
    // bounds' corner (composed pixels are written there).
    unsigned char* corner = nullptr;
    ptrdiff_t bytesPerLine = 0;
};
