// How the window uses its space beyond the classic view: rows fitted to the
// view's height, a fitted zoom that follows the view's width, the first rank
// in sight at open, and times counted from the trace's start. Every one is
// off until asked for, so that the window on its own stays the classic one.
#include "app/main_window.h"

#include "model/trace_document.h"
#include "ui/event_expl.h"
#include "ui/nr_view.h"
#include "ui/shared_view_state.h"
#include "ui/time_line.h"
#include "view/navigation.h"
#include "view/row_layout.h"
#include "view/scroll_target.h"
#include "view/view_filter.h"

#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>

void ZLVR_anView::setUpSpace() {
    eventview_->installEventFilter(this);
    // Hiding rows leaves room that the fitted rows take up.
    connect(this, &ZLVR_anView::signalFilterChanged, this, [this] {
        if (fitRows_) fitRowsNow();
    });
}

void ZLVR_anView::arrangeAtOpen() {
    ViewState& state = viewState_->state();
    state.setTimeOrigin(relativeTime_ ? startTime_ : 0);
    fitRowsNow();
    if (!openAtFirstRank_) return;
    const std::vector<bool> shown = shownPositions(*trace_, *filter_);
    // Rank 0 where the trace has it, else the list's first process.
    const uint32_t first = RankIndex(*trace_).positionOf(0).value_or(0);
    if (const std::optional<int64_t> pos =
            posWithRowAtTop(shown, first, eventview_->height(), state.rowHeight()))
        vsb_->setValue(static_cast<int>(std::clamp<int64_t>(*pos, 0, vsb_->maximum())));
}

void ZLVR_anView::setFitRows(bool fit) {
    fitRows_ = fit;
    fitRowsNow();
}

void ZLVR_anView::fitRowsNow() {
    ViewState& state = viewState_->state();
    if (!fitRows_ || !open_) {
        if (!fitRows_) state.setRowHeight(kRowHeight);
        if (open_) nrview_->refresh();
        return;
    }
    const std::vector<bool> shown = shownPositions(*trace_, *filter_);
    const auto count = static_cast<int64_t>(std::count(shown.begin(), shown.end(), true));
    const int height = fittedRowHeight(count, eventview_->height());
    state.setRowHeight(height);
    // Every row fits: none is scrolled off.
    if (count * height <= eventview_->height()) vsb_->setValue(vsb_->maximum());
    nrview_->refresh();
}

void ZLVR_anView::setRelativeTime(bool relative) {
    relativeTime_ = relative;
    viewState_->state().setTimeOrigin(relative && open_ ? startTime_ : 0);
    tline_->Update();
}

bool ZLVR_anView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == eventview_ && event->type() == QEvent::Resize && open_) {
        const auto* resize = static_cast<QResizeEvent*>(event);
        const int before = resize->oldSize().width();
        if (refitOnResize_ && before != resize->size().width() &&
            isFitted(viewState_->state(), {startTime_, endTime_, before}))
            applyZoom(fitZoom(), true, false);
        if (fitRows_ && resize->oldSize().height() != resize->size().height()) fitRowsNow();
    }
    return QWidget::eventFilter(watched, event);
}
