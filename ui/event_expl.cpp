#include "ui/event_expl.h"

#include "model/trace_document.h"
#include "model/wrapping_math.h"
#include "ui/event_paint.h"
#include "view/row_layout.h"
#include "view/time_axis.h"
#include "view/view_filter.h"

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

    TTrace& trace = *trace_;
    const int64_t x = event->position().toPoint().x();
    const int64_t y = event->position().toPoint().y();
    const TimeWindow window = timeWindow(zoom_, offset_, width());
    const RowLayout layout = layoutRows(shownPositions(trace, *filter_), pos_, height());

    for (const Row& row : layout.rows) {
        if (!rowContains(row, y)) continue;
        const int64_t nodeShift =
            trace.nodeOffset(static_cast<uint32_t>(trace.nodeIndexAt(row.position)));
        for (TFunc* f = trace.firstCall(row.position); f; f = trace.nextCall(row.position)) {
            const ClippedCall c =
                clipCall(window, wrapAdd(f->start, nodeShift), wrapAdd(f->end, nodeShift));
            if (c.place == CallPlace::Before) continue;
            if (c.place == CallPlace::After) break;
            const int64_t xs = pixelOf(window, c.start);
            const int64_t xe = pixelOf(window, c.end);
            if (xs <= x && x <= xe) {
                emit signalShowTxt(row.position, f);
                return;
            }
            if (x < xe || c.lastInRow) break;
        }
    }
}
