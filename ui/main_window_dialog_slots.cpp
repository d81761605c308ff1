// The main window's slots that open the check, filter and statistics dialogs.
#include "ui/main_window.h"

// The dialogs are wired in by the checks and statistics work.
void ZLVR_anView::slotCheck() {}
void ZLVR_anView::slotFltNodes() {}
void ZLVR_anView::slotFltProcess() {}
void ZLVR_anView::slotStatNodesRanks() {}
void ZLVR_anView::slotStatProcess() {}
void ZLVR_anView::slotStatSRMatrix() {}
void ZLVR_anView::slotStatCounters() {}
void ZLVR_anView::slotStatSZMatrix() {}
