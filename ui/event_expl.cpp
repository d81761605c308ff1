#include "ui/event_expl.h"

#include "model/trace_document.h"
#include "ui/call_hit.h"
#include "ui/event_paint.h"
#include "ui/view_filter.h"

#include <QMouseEvent>
#include <QPainter>

EventExpl::EventExpl(QWidget* parent) : QWidget(parent) {
    setMinimumSize(200, 70);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
}

EventExpl::~EventExpl() = default;

void EventExpl::setData(TTrace* trace, ViewFilter* filter) {
    paintCache_.clear();
    trace_ = trace;
    filter_ = filter;
    Update();
}

void EventExpl::setOpen(bool open) {
    paintCache_.clear();
    open_ = open;
    Update();
}

void EventExpl::setPos(int pos) {
    pos_ = pos;
}

void EventExpl::setOffset(int offset) {
    offset_ = offset;
    Update();
}

void EventExpl::setZoom(double zoom) {
    zoom_ = zoom;
    Update();
}

void EventExpl::Update() {
    if (updatesEnabled()) repaint();
}

void EventExpl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!readable()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    paintView(painter, rect(), {*trace_, *filter_, palette_, zoom_, offset_, pos_}, paintCache_);
}

void EventExpl::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    if (!readable() || event->button() != Qt::LeftButton) return;

    const QPoint at = event->position().toPoint();
    if (const std::optional<CallHit> hit = callAt(at)) emit signalShowTxt(hit->position, hit->call);
}

std::optional<CallHit> EventExpl::callAt(QPoint at) const {
    if (!readable()) return std::nullopt;
    return ::callAt(*trace_, *filter_, {zoom_, offset_, pos_, width(), height()}, at.x(), at.y());
}
