#include "ui/draw_backend.h"

void drawLines(QPainter& painter, const DrawList& lines) {
    PackedRgb colour = 0;
    int width = -1;
    for (const DrawList::Line& l : lines.lines()) {
        // A pen is made only where a run of one pen begins.
        const int lineWidth = l.width == 0 ? DrawList::kBarWidth : l.width;
        if (l.colour != colour || lineWidth != width) {
            colour = l.colour;
            width = lineWidth;
            painter.setPen(penOf(colour, width));
        }
        painter.drawLine(l.x1, l.y1, l.x2, l.y2);
    }
}
