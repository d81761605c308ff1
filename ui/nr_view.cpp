#include "ui/nr_view.h"

#include "model/trace_document.h"
#include "ui/shared_view_state.h"
#include "view/row_layout.h"
#include "view/view_filter.h"

#include <QPainter>
#include <QWheelEvent>

namespace {

// Rows one wheel notch scrolls.
constexpr int kRowsPerNotch = 3;

} // namespace

NRView::NRView(QWidget* parent) : QWidget(parent) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
    setViewState(state_.get());
}

void NRView::setViewState(SharedViewState* shared) {
    state_.use(shared, this);
    // A window moves its vertical scroll bar, which redraws this column.
    if (state_.isOwn()) connect(shared, &SharedViewState::verticalChanged, this, &NRView::refresh);
}

int NRView::pos() const {
    return state_.state().pos();
}

void NRView::setData(TTrace* trace, ViewFilter* filter) {
    trace_ = trace;
    filter_ = filter;
    refresh();
}

void NRView::setOpen(bool open) {
    open_ = open;
    refresh();
}

void NRView::setPos(int pos) {
    state_.state().setPos(pos);
    refresh();
}

void NRView::refresh() {
    if (!updatesEnabled()) return;
    repaint();
    if (open_) emit signalUpdated();
}

void NRView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int w = width();
    const int h = height();
    painter.fillRect(rect(), Qt::black);
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawLine(w - 1, 0, w - 1, h);
    if (!open_ || !trace_ || !filter_) return;

    const int half = w / 2;
    const RowLayout layout = layoutRows(shownPositions(*trace_, *filter_), pos(), h);
    for (const Row& row : layout.rows) {
        const int top = static_cast<int>(row.bottom) - kRowHeight;
        const QRect nodeBox(1, top, half - 1, kRowHeight);
        const QRect rankBox(half, top, half - 1, kRowHeight);
        painter.drawText(nodeBox, Qt::AlignCenter,
                         QString::number(trace_->nodeIndexAt(row.position)));
        painter.drawText(rankBox, Qt::AlignCenter, QString::number(trace_->rankAt(row.position)));
        // A stroked QRect covers one pixel more each way; keep the outline
        // inside the box, so that the bottom row's lower edge stays visible.
        painter.drawRect(nodeBox.adjusted(0, 0, -1, -1));
        painter.drawRect(rankBox.adjusted(0, 0, -1, -1));
    }
}

void NRView::wheelEvent(QWheelEvent* event) {
    if (!open_) return event->ignore();
    // Wheel up brings the rows above into view: fewer rows stay below.
    const int notches = static_cast<int>(wheelNotches(event->angleDelta()));
    state_->scrollRows(pos() - notches * kRowsPerNotch);
    event->accept();
}
