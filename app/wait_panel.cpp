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

WaitPanel::WaitPanel(QWidget* parent) : QWidget(parent) {
    setObjectName("waitPanel");
    span_ = makeSpanChoice(this);
    by_ = new QComboBox(this);
    by_->setObjectName("by");
    by_->addItems({tr("By kind"), tr("By rank"), tr("By function")});
    note_ = new QLabel(this);
    note_->setObjectName("note");
    auto* split = new QSplitter(Qt::Vertical, this);
    totals_ = new AnalysisTable("waitTotals", split);
    worst_ = new AnalysisTable("worstWaits", split);
    worst_->setToolTip(tr("Double-click an instance to select its waiting call"));
    split->addWidget(totals_);
    split->addWidget(worst_);

    QVBoxLayout* layout = panelLayout(this, {span_, by_}, note_);
    layout->addWidget(split);

    connect(span_, &QComboBox::currentIndexChanged, this, &WaitPanel::refresh);
    connect(by_, &QComboBox::currentIndexChanged, this, &WaitPanel::refresh);
    connect(worst_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { goToInstance(index.row()); });
    refresh();
}

void WaitPanel::setTrace(const TTrace* trace, std::shared_ptr<AnalysisIndexes> indexes) {
    trace_ = trace;
    indexes_ = panelIndexes(trace, std::move(indexes));
    refresh();
}

void WaitPanel::setSpans(const ViewSpans& spans) {
    spans_ = spans;
    if (spanOf(span_) != AnalysisSpan::WholeRun) refresh();
}

void WaitPanel::refresh() {
    const std::optional<AnalysisScope> scope = panelScope(note_, trace_, span_, spans_);
    waiting_.clear();
    if (!scope) {
        totals_->clearTable();
        return worst_->clearTable();
    }
    // The whole run is found anew until a range (or the marks) made the index.
    const WaitIndex* index = scope->range ? &indexes_->waits() : indexes_->waitsIfMade();
    WaitStates w = waitStates(*trace_, *scope, kListed, index);
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
