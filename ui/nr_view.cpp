#include "ui/nr_view.h"

#include "model/trace_document.h"
#include "ui/shared_view_state.h"
#include "view/row_layout.h"
#include "view/view_filter.h"

#include <QPainter>

#include <QWheelEvent>
#include <algorithm>

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
    const int rowHeight = state_.state().rowHeight();
    const RowLayout layout = layoutRows(shownPositions(*trace_, *filter_), pos(), h, rowHeight);
    const int textHeight = painter.fontMetrics().height();
    const auto labels = [&](const QRect& nodeBox, const QRect& rankBox, uint32_t position) {
        painter.drawText(nodeBox, Qt::AlignCenter, QString::number(trace_->nodeIndexAt(position)));
        painter.drawText(rankBox, Qt::AlignCenter, QString::number(trace_->rankAt(position)));
    };
    if (rowHeight < kRowHeight && rowHeight < textHeight) {
        // Rows lower than a line of text: no boxes, a label every few rows,
        // counted from the top row of the list (the first rank labelled),
        // always the same rows whatever the scroll position.
        const int every = rowsPerLabel(rowHeight, textHeight);
        const int64_t skip = std::max<int64_t>(0, int64_t{trace_->processCount()} - pos());
        int64_t shown = 0;
        for (const std::optional<int64_t>& edge : layout.edgeOf) shown += edge.has_value();
        for (size_t r = 0; r < layout.rows.size(); ++r) {
            if ((shown - 1 - skip - static_cast<int64_t>(r)) % every != 0) continue;
            const Row& row = layout.rows[r];
            const int centre = static_cast<int>(row.bottom) - layout.geometry.centre;
            const int top = centre - textHeight / 2;
            labels(QRect(1, top, half - 1, textHeight), QRect(half, top, half - 1, textHeight),
                   row.position);
        }
        return;
    }
    for (const Row& row : layout.rows) {
        const int top = static_cast<int>(row.bottom) - rowHeight;
        const QRect nodeBox(1, top, half - 1, rowHeight);
        const QRect rankBox(half, top, half - 1, rowHeight);
        labels(nodeBox, rankBox, row.position);
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
