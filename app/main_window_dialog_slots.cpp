// The main window's slots that open the check, filter and statistics dialogs.
// Each dialog lives for one modal run and reads the open trace; with no
// trace open the slots do nothing. The statistics dialog also gets the
// visible and the selected range to choose from.
#include "app/main_window.h"

#include "dialogs/check_dlg.h"
#include "dialogs/event_filter_dlg.h"
#include "dialogs/filter_mask_edit.h"
#include "model/stat_kinds.h"
#include "stats/stat_dlg.h"
#include "ui/event_expl.h"
#include "ui/nr_view.h"
#include "ui/shared_view_state.h"

void ZLVR_anView::slotCheck() {
    if (!open_ || !trace_) return;
    Check_Dlg dialog(this, trace_.get());
    dialog.exec();
    if (const std::optional<Check_Dlg::Target> t = dialog.target())
        emit signalShowProcess(t->rank, t->lastCall);
}

void ZLVR_anView::slotFltNodes() {
    if (!open_ || !filter_) return;
    filterEdited(editFilterMask(this, *filter_, FilterMask::Nodes));
}

void ZLVR_anView::slotFltProcess() {
    if (!open_ || !filter_) return;
    filterEdited(editFilterMask(this, *filter_, FilterMask::Ranks));
}

void ZLVR_anView::slotFltEvents() {
    if (!open_ || !filter_) return;
    filterEdited(editFunctionFilter(this, *trace_, *filter_));
}

void ZLVR_anView::filterEdited(bool changed) {
    if (!changed) return;
    // The node/rank column redraws and makes the event explorer follow.
    nrview_->refresh();
    emit signalFilterChanged();
}

void ZLVR_anView::showStatistics(StatKind kind) {
    if (!open_ || !trace_) return;
    // The ranges as the dialog opens; it is modal, so the view stays there.
    // A selected range of no length holds nothing to count (zlv refuses it).
    const ViewState& state = viewState_->state();
    StatRanges ranges{{state.startMicros(), state.microsAt(eventview_->width())}, std::nullopt};
    if (const std::optional<ViewRange>& r = state.range(); r && r->end > r->start)
        ranges.selected = {r->start, r->end};
    Stat_Dlg dialog(this, static_cast<int>(kind), trace_.get(), ranges);
    dialog.exec();
}

void ZLVR_anView::slotStatNodesRanks() {
    showStatistics(StatKind::NodesRanks);
}
void ZLVR_anView::slotStatProcess() {
    showStatistics(StatKind::Process);
}
void ZLVR_anView::slotStatSRMatrix() {
    showStatistics(StatKind::SendRecv);
}
void ZLVR_anView::slotStatCounters() {
    showStatistics(StatKind::Counters);
}
void ZLVR_anView::slotStatSZMatrix() {
    showStatistics(StatKind::DataSize);
}
