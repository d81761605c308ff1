#include "app/profile_panel.h"

#include "analysis/analysis_indexes.h"
#include "analysis/analysis_tables.h"
#include "app/analysis_table.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

ProfilePanel::ProfilePanel(QWidget* parent) : QWidget(parent) {
    setObjectName("profilePanel");
    span_ = makeSpanChoice(this);
    by_ = new QComboBox(this);
    by_->setObjectName("by");
    by_->addItems({tr("By function"), tr("By rank")});
    note_ = new QLabel(this);
    note_->setObjectName("note");
    table_ = new AnalysisTable("profile", this);

    QVBoxLayout* layout = panelLayout(this, {span_, by_}, note_);
    layout->addWidget(table_);

    connect(span_, &QComboBox::currentIndexChanged, this, &ProfilePanel::refresh);
    connect(by_, &QComboBox::currentIndexChanged, this, &ProfilePanel::refresh);
    refresh();
}

void ProfilePanel::setTrace(const TTrace* trace, std::shared_ptr<AnalysisIndexes> indexes) {
    trace_ = trace;
    indexes_ = panelIndexes(trace, std::move(indexes));
    refresh();
}

void ProfilePanel::setSpans(const ViewSpans& spans) {
    spans_ = spans;
    // The whole run does not move with the view.
    if (spanOf(span_) != AnalysisSpan::WholeRun) refresh();
}

void ProfilePanel::refresh() {
    const std::optional<AnalysisScope> scope = panelScope(note_, trace_, span_, spans_);
    if (!scope) return table_->clearTable();
    Profile p = profile(*trace_, *scope, scope->range ? &indexes_->windows() : nullptr);
    table_->showTable(by_->currentIndex() == 1 ? profileByRankTable(std::move(p))
                                               : profileByFunctionTable(std::move(p)));
}
