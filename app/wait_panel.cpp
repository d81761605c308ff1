#include "app/wait_panel.h"

#include "analysis/analysis_indexes.h"
#include "analysis/analysis_tables.h"
#include "app/analysis_table.h"
#include "stats/stat_table_model.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QVBoxLayout>

WaitPanel::WaitPanel(QWidget* parent) : ScopedPanel("waitPanel", parent) {
    by_ = new QComboBox(this);
    by_->setObjectName("by");
    by_->addItems({tr("By kind"), tr("By rank"), tr("By function")});
    auto* split = new QSplitter(Qt::Vertical, this);
    totals_ = new AnalysisTable("waitTotals", split);
    worst_ = new AnalysisTable("worstWaits", split);
    worst_->setToolTip(tr("Double-click an instance to select its waiting call"));
    split->addWidget(totals_);
    split->addWidget(worst_);

    QVBoxLayout* layout = layoutWith({by_});
    layout->addWidget(split);

    connect(by_, &QComboBox::currentIndexChanged, this, &WaitPanel::refresh);
    connect(worst_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { goToInstance(index.row()); });
    refresh();
}

void WaitPanel::refresh() {
    const std::optional<AnalysisScope> s = scope();
    waiting_.clear();
    if (!s) {
        totals_->clearTable();
        return worst_->clearTable();
    }
    // The whole run is found anew until a range (or the marks) made the index.
    const WaitIndex* index = s->range ? &indexes_->waits() : indexes_->waitsIfMade();
    WaitStates w = waitStates(*trace_, *s, kListed, index);
    waiting_.clear();
    for (const WaitInstance& i : w.worst)
        if (const std::optional<uint32_t> position = positionOfRank(*trace_, i.rank))
            waiting_.push_back(CallRef{*position, i.call});
        else
            waiting_.push_back(CallRef{UINT32_MAX, 0}); // keeps the rows aligned
    worst_->showTable(waitListTable(w));
    static constexpr WaitsBy kBy[] = {WaitsBy::Kind, WaitsBy::Rank, WaitsBy::Function};
    totals_->showTable(waitsTable(std::move(w), kBy[by_->currentIndex()]));
}

void WaitPanel::goToInstance(int shownRow) {
    if (!trace_ || shownRow < 0) return;
    const uint32_t row = worst_->tableModel()->sourceRow(shownRow);
    if (row < waiting_.size() && waiting_[row].position != UINT32_MAX) emit goTo(waiting_[row]);
}
