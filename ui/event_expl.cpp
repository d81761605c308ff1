#include "ui/event_expl.h"

#include "model/trace_document.h"
#include "ui/event_paint.h"
#include "ui/shared_view_state.h"
#include "ui/view_marks.h"
#include "view/hit_test.h"
#include "view/row_layout.h"
#include "view/time_index.h"
#include "view/view_filter.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

EventExpl::EventExpl(QWidget* parent) : QWidget(parent) {
    setMinimumSize(200, 70);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
    setViewState(state_.get());
}

EventExpl::~EventExpl() = default;

void EventExpl::setViewState(SharedViewState* shared) {
    state_.use(shared, this);
    connect(shared, &SharedViewState::horizontalChanged, this, &EventExpl::Update);
    // A window moves its vertical scroll bar, which redraws this view.
    if (state_.isOwn())
        connect(shared, &SharedViewState::verticalChanged, this, &EventExpl::Update);
    for (auto signal : {&SharedViewState::selectionChanged, &SharedViewState::rangeCleared})
        connect(shared, signal, this, qOverload<>(&QWidget::update));
    connect(shared, &SharedViewState::rangeSelected, this, qOverload<>(&QWidget::update));
}

int EventExpl::offset() const {
    return state().offset();
}

int EventExpl::pos() const {
    return state().pos();
}

double EventExpl::zoom() const {
    return state().zoom();
}

void EventExpl::setData(TTrace* trace, ViewFilter* filter, TimeIndex* index) {
    paintCache_.clear();
    trace_ = trace;
    filter_ = filter;
    ownIndex_.reset();
    index_ = index;
    if (trace && !index) index_ = (ownIndex_ = std::make_unique<TimeIndex>(*trace)).get();
    paintCache_.timeIndex = index_;
    Update();
}

void EventExpl::setOpen(bool open) {
    paintCache_.clear();
    open_ = open;
    drag_ = Drag::None;
    Update();
}

void EventExpl::setPos(int pos) {
    state().setPos(pos);
}

void EventExpl::setOffset(int offset) {
    state().setOffset(offset);
    Update();
}

void EventExpl::setZoom(double zoom) {
    state().setZoom(zoom);
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
    const ViewState& s = state();
    EventPaintInput in{*trace_, *filter_, palette_, s.zoom(), s.offset(), s.pos()};
    if (!s.onStepGrid()) in.start = s.startMicros();
    in.rowHeight = s.rowHeight();
    paintView(painter, rect(), in, paintCache_);
    paintMarks(painter);
}

void EventExpl::setOverlay(Overlay overlay) {
    overlay_ = std::move(overlay);
    update();
}

void EventExpl::paintMarks(QPainter& painter) {
    const ViewState& s = state();
    const TimeWindow window = timeWindowAt(s.zoom(), s.startMicros(), width());
    if (overlay_)
        overlay_(painter, window, layoutRows(shownPositions(*trace_, *filter_), s.pos(), height()));
    if (s.range()) paintRangeBand(painter, rect(), window, *s.range());
    if (s.selection()) {
        const RowLayout layout =
            layoutRows(shownPositions(*trace_, *filter_), s.pos(), height(), s.rowHeight());
        if (const std::optional<DrawnBar> bar = barOf(*index_, window, layout, *s.selection()))
            paintSelectionOutline(painter, *bar, layout.geometry);
    }
}

std::optional<CallSelection> EventExpl::callAt(QPoint at) {
    if (!readable()) return std::nullopt;
    const ViewState& s = state();
    const TimeWindow window = timeWindowAt(s.zoom(), s.startMicros(), width());
    const RowLayout layout =
        layoutRows(shownPositions(*trace_, *filter_), s.pos(), height(), s.rowHeight());
    return callUnder(*index_, window, layout, at.x(), at.y(), filter_);
}

void EventExpl::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    if (!readable()) return;
    if (event->button() == Qt::BackButton) return state_->back();
    if (event->button() == Qt::ForwardButton) return state_->forward();
    if (event->button() != Qt::LeftButton) return;

    const QPoint at = event->position().toPoint();
    pressedAt_ = at;
    if (event->modifiers() & Qt::ShiftModifier) {
        drag_ = Drag::Range;
        rangeFrom_ = state().microsAt(at.x());
        return;
    }
    drag_ = Drag::Pending;
    grabbed_ = state().timeAt(at.x());
    pressedPos_ = state().pos();
    const std::optional<CallSelection> hit = callAt(at);
    state_->select(hit);
    if (hit) {
        TFunc* call = &trace_->processAt(hit->position)->calls[hit->call];
        emit signalShowTxt(hit->position, call);
    }
}

void EventExpl::mouseMoveEvent(QMouseEvent* event) {
    if (!readable() || drag_ == Drag::None) return;
    const QPoint at = event->position().toPoint();
    if (drag_ == Drag::Range) {
        const int64_t to = state().microsAt(at.x());
        state_->selectRange(rangeFrom_, to);
        return;
    }
    if (drag_ == Drag::Pending &&
        (at - pressedAt_).manhattanLength() < QApplication::startDragDistance())
        return;
    drag_ = Drag::Pan;
    state_->panTo(grabbed_, at.x(), width());
    // Dragging down brings the rows above into view: fewer rows stay below.
    state_->scrollRows(pressedPos_ - (at.y() - pressedAt_.y()) / state().rowHeight());
}

void EventExpl::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    drag_ = Drag::None;
}

void EventExpl::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double-click reports the call again, as a press.
    mousePressEvent(event);
    drag_ = Drag::None;
    if (!readable() || event->button() != Qt::LeftButton) return;
    if (const std::optional<CallSelection> hit = state().selection()) {
        emit signalOpenCall(hit->position, &trace_->processAt(hit->position)->calls[hit->call]);
        return;
    }
    state_->zoomToRange(width());
}

void EventExpl::wheelEvent(QWheelEvent* event) {
    if (!readable()) return event->ignore();
    const double notches = wheelNotches(event->angleDelta());
    const double x = event->position().x();
    if (event->modifiers() & Qt::ShiftModifier)
        state_->panTo(state().timeAt(x), x + notches * kWheelPanPixels, width());
    else
        state_->wheelZoomAt(x, notches, width());
    event->accept();
}
