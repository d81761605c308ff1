#include "ui/time_line.h"

#include "ui/shared_view_state.h"
#include "view/ruler_ticks.h"
#include "view/time_axis.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QWheelEvent>

#include <cmath>

TimeLine::TimeLine(QWidget* parent) : QWidget(parent) {
    setFixedHeight(30);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
    setViewState(state_.get());
}

void TimeLine::setViewState(SharedViewState* shared) {
    state_.use(shared, this);
    connect(shared, &SharedViewState::horizontalChanged, this, &TimeLine::Update);
}

int TimeLine::offset() const {
    return state().offset();
}

double TimeLine::zoom() const {
    return state().zoom();
}

void TimeLine::Update() {
    if (updatesEnabled()) repaint();
}

void TimeLine::setTOffset(int offset) {
    state().setOffset(offset);
    Update();
}

void TimeLine::setZoom(double zoom) {
    state().setZoom(zoom);
    Update();
}

void TimeLine::setOpen(bool open) {
    open_ = open;
    selecting_ = false;
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

    const ViewState& s = state();
    // Ticks on the scroll steps, unless the left edge lies between two or
    // the times count from an origin of their own.
    const std::vector<RulerTick> ticks =
        s.onStepGrid() && s.timeOrigin() == 0
            ? rulerTicks(s.zoom(), s.offset(), w)
            : rulerTicksFrom(s.zoom(), s.startMicros(), w, s.timeOrigin());
    for (const RulerTick& tick : ticks) painter.drawLine(tick.x, 0, tick.x, 5);
    if (readable_)
        paintReadableLabels(painter, ticks);
    else
        paintClassicLabels(painter, ticks);
}

void TimeLine::paintClassicLabels(QPainter& painter, const std::vector<RulerTick>& ticks) {
    const int w = width();
    const RulerScale scale = rulerScale(state().zoom());
    if (*scale.unit)
        painter.drawText(QRect(w - 40, 10, 38, 15), Qt::AlignCenter,
                         QCoreApplication::translate("TimeLine", scale.unit));
    for (const RulerTick& tick : ticks)
        painter.drawText(QRect(tick.x - 40, 10, 80, 15), Qt::AlignCenter,
                         QString::fromStdString(tick.label));
}

void TimeLine::paintReadableLabels(QPainter& painter, const std::vector<RulerTick>& ticks) {
    const int w = width();
    const RulerScale scale = readableScale(state().zoom());
    const QFontMetrics metrics = painter.fontMetrics();
    const QString unit = QString::fromUtf8(scale.unit);
    const int unitWidth = metrics.horizontalAdvance(unit);
    const int unitLeft = w - 4 - unitWidth;
    painter.drawText(QRect(unitLeft, 10, unitWidth + 2, 15), Qt::AlignLeft | Qt::AlignVCenter,
                     unit);
    std::vector<int> xs, widths;
    QStringList texts;
    for (const RulerTick& tick : ticks) {
        texts << QString::fromStdString(tickLabel(tick.time, scale.exponent));
        xs.push_back(tick.x);
        widths.push_back(metrics.horizontalAdvance(texts.back()));
    }
    for (const PlacedLabel& label : placeLabels(xs, widths, unitLeft - 6))
        painter.drawText(QRect(label.left, 10, widths[label.tick] + 1, 15),
                         Qt::AlignLeft | Qt::AlignVCenter, texts[static_cast<int>(label.tick)]);
}

void TimeLine::setReadableLabels(bool readable) {
    readable_ = readable;
    Update();
}

int64_t TimeLine::timeUnder(double x) const {
    return state().microsAt(x - 1);
}

void TimeLine::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    if (!open_) return;
    if (event->button() == Qt::BackButton) return state_->back();
    if (event->button() == Qt::ForwardButton) return state_->forward();
    if (event->button() != Qt::LeftButton) return;
    selecting_ = true;
    rangeFrom_ = timeUnder(event->position().x());
}

void TimeLine::mouseMoveEvent(QMouseEvent* event) {
    if (selecting_) state_->selectRange(rangeFrom_, timeUnder(event->position().x()));
}

void TimeLine::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    // A click without a drag keeps the range: it may be the first half of
    // the double-click that zooms to it.
    selecting_ = false;
}

void TimeLine::mouseDoubleClickEvent(QMouseEvent* event) {
    if (open_ && event->button() == Qt::LeftButton) state_->zoomToRange(width());
}

void TimeLine::wheelEvent(QWheelEvent* event) {
    if (!open_) return event->ignore();
    state_->wheelZoomAt(event->position().x() - 1, wheelNotches(event->angleDelta()), width());
    event->accept();
}
