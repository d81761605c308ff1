#include "ui/event_expl.h"

#include "model/trace_document.h"
#include "model/wrapping_math.h"
#include "ui/paint_clip.h"
#include "ui/row_layout.h"
#include "ui/time_axis.h"
#include "ui/view_filter.h"

#include <QMouseEvent>
#include <QPainter>
#include <optional>

namespace {

constexpr uint32_t kFuncInstantMark = 65;

QColor qColour(TColour c) {
    return QColor(c.r, c.g, c.b);
}

} // namespace

EventExpl::EventExpl(QWidget* parent) : QWidget(parent) {
    setMinimumSize(200, 70);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
}

EventExpl::~EventExpl() = default;

void EventExpl::setData(TTrace* trace, ViewFilter* filter) {
    trace_ = trace;
    filter_ = filter;
    Update();
}

void EventExpl::setOpen(bool open) {
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
    painter.fillRect(rect(), Qt::black);
    if (!readable()) return;

    TTrace& trace = *trace_;
    const TimeWindow window = timeWindow(zoom_, offset_, width());
    const std::vector<bool> shown = shownPositions(trace, *filter_);
    const RowLayout layout = layoutRows(shown, pos_, height());
    std::optional<RankIndex> ranks;
    if (filter_->showLinks) ranks.emplace(trace);
    const QRect bounds = rect();

    for (const Row& row : layout.rows) {
        const int64_t b = row.bottom;
        const int64_t nodeShift =
            trace.nodeOffset(static_cast<uint32_t>(trace.nodeIndexAt(row.position)));
        for (TFunc* f = trace.firstCall(row.position); f; f = trace.nextCall(row.position)) {
            const ClippedCall c =
                clipCall(window, wrapAdd(f->start, nodeShift), wrapAdd(f->end, nodeShift));
            if (c.place == CallPlace::Before) continue;
            if (c.place == CallPlace::After) break;

            const int64_t xs = pixelOf(window, c.start);
            painter.setPen(QPen(qColour(palette_.colourOf(f->funcId & ~kUnfinishedFlag)), 3));
            if (f->funcId == kFuncInstantMark) {
                drawClippedLine(painter, bounds, xs - 5, b - 15, xs + 5, b - 5);
                drawClippedLine(painter, bounds, xs - 5, b - 5, xs + 5, b - 15);
            } else {
                const int64_t xe = pixelOf(window, c.end);
                drawClippedLine(painter, bounds, xs, b - 10, xe, b - 10);
                if (f->funcId & kUnfinishedFlag)
                    drawClippedLine(painter, bounds, xe, b - 5, xe, b - 15);
            }

            if (filter_->showLinks) {
                painter.setPen(QPen(Qt::white, 1));
                for (const TLink& link : f->linkSpan()) {
                    const std::optional<uint32_t> partner = ranks->positionOf(link.rank);
                    if (!partner || !layout.edgeOf[*partner] || !link.recv) continue;
                    const int64_t partnerShift =
                        trace.nodeOffset(static_cast<uint32_t>(trace.nodeIndexAt(*partner)));
                    const LinkEnd end =
                        cutLinkAtRightEdge(b, *layout.edgeOf[*partner], c.start,
                                           wrapAdd(link.recv->end, partnerShift), window.t1);
                    drawClippedLine(painter, bounds, xs, b - 10, pixelOf(window, end.time),
                                    end.edge - 10);
                }
            }
            if (c.lastInRow) break;
        }
    }
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
