#include "dialogs/filter_mask_edit.h"

#include "dialogs/fltnr_dlg.h"
#include "view/view_filter.h"

#include <vector>

bool editFilterMask(QWidget* parent, ViewFilter& filter, FilterMask which) {
    const bool nodes = which == FilterMask::Nodes;
    std::vector<uint32_t> scratch(nodes ? filter.nodeCount() : filter.rankCount());
    uint32_t n = 0;
    if (nodes)
        filter.getNodeMask(n, scratch.data());
    else
        filter.getRankMask(n, scratch.data());

    FltNR_Dlg dialog(parent, static_cast<int>(n), scratch.data(), nodes ? "Node" : "Rank");
    if (dialog.exec() != QDialog::Accepted) return false;
    if (nodes)
        filter.setNodeMask(n, dialog.values().data());
    else
        filter.setRankMask(n, dialog.values().data());
    return true;
}
