#include "ui/time_line.h"

#include "view/ruler_ticks.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPolygon>

TimeLine::TimeLine(QWidget* parent) : QWidget(parent) {
    setFixedHeight(30);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
}

void TimeLine::Update() {
    if (updatesEnabled()) repaint();
}

void TimeLine::setTOffset(int offset) {
    offset_ = offset;
    Update();
}

void TimeLine::setZoom(double zoom) {
    zoom_ = zoom;
    Update();
}

void TimeLine::setOpen(bool open) {
    open_ = open;
    Update();
}

void TimeLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int w = width();
    painter.fillRect(rect(), Qt::black);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawLine(0, 3, w, 3);
    const QPolygon arrow({QPoint(w, 3), QPoint(w - 7, 1), QPoint(w - 7, 5), QPoint(w, 3)});
    painter.drawPolyline(arrow);
    if (!open_) return;

    const RulerScale scale = rulerScale(zoom_);
    if (*scale.unit)
        painter.drawText(QRect(w - 40, 10, 38, 15), Qt::AlignCenter,
                         QCoreApplication::translate("TimeLine", scale.unit));
    for (const RulerTick& tick : rulerTicks(zoom_, offset_, w)) {
        painter.drawLine(tick.x, 0, tick.x, 5);
        painter.drawText(QRect(tick.x - 40, 10, 80, 15), Qt::AlignCenter,
                         QString::fromStdString(tick.label));
    }
}
