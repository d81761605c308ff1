// The main window's slots that open the check, filter and statistics dialogs.
// Each dialog lives for one modal run and reads the open trace; with no
// trace open the slots do nothing.
#include "ui/main_window.h"

#include "dialogs/check_dlg.h"
#include "dialogs/event_filter_dlg.h"
#include "dialogs/filter_mask_edit.h"
#include "stats/stat_dlg.h"
#include "ui/nr_view.h"

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

namespace {

void showStatistics(QWidget* parent, const TTrace* trace, int kind) {
    if (!trace) return;
    Stat_Dlg dialog(parent, kind, trace);
    dialog.exec();
}

} // namespace

void ZLVR_anView::slotStatNodesRanks() {
    if (open_) showStatistics(this, trace_.get(), 1);
}
void ZLVR_anView::slotStatProcess() {
    if (open_) showStatistics(this, trace_.get(), 2);
}
void ZLVR_anView::slotStatSRMatrix() {
    if (open_) showStatistics(this, trace_.get(), 3);
}
void ZLVR_anView::slotStatCounters() {
    if (open_) showStatistics(this, trace_.get(), 4);
}
void ZLVR_anView::slotStatSZMatrix() {
    if (open_) showStatistics(this, trace_.get(), 5);
}
