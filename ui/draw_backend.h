#pragma once
// The plain backend: a draw list drawn line by line onto a painter, and the
// few conversions between the draw list's plain types and the painter's.

#include "view/color_palette.h"
#include "view/draw_list.h"

#include <QColor>
#include <QPainter>
#include <QRect>

inline QColor qColour(TColour c) {
    return QColor(c.r, c.g, c.b);
}

inline PixelRect pixelRectOf(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

inline QRect qRectOf(const PixelRect& r) {
    return QRect(r.x, r.y, r.width, r.height);
}

// The pen of a line of the list; its colour is already the pixel it paints.
inline QPen penOf(PackedRgb colour, int width) {
    return QPen(QColor::fromRgb(colour), width == 0 ? DrawList::kBarWidth : width);
}

// Draws every line in order with its own pen, leaving nothing out.
void drawLines(QPainter& painter, const DrawList& lines);
