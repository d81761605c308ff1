#include "app/analysis_table.h"

#include "analysis/analysis_indexes.h"

#include "stats/stat_table_model.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

QComboBox* makeSpanChoice(QWidget* parent) {
    auto* choice = new QComboBox(parent);
    choice->setObjectName("span");
    choice->addItems({QCoreApplication::translate("AnalysisPanel", "Whole run"),
                      QCoreApplication::translate("AnalysisPanel", "Visible range"),
                      QCoreApplication::translate("AnalysisPanel", "Selected range")});
    return choice;
}

AnalysisSpan spanOf(const QComboBox* choice) {
    return static_cast<AnalysisSpan>(choice->currentIndex());
}

QVBoxLayout* panelLayout(QWidget* panel, const QList<QWidget*>& choices, QLabel* note) {
    auto* row = new QHBoxLayout;
    for (QWidget* choice : choices) row->addWidget(choice);
    row->addStretch();
    auto* layout = new QVBoxLayout(panel);
    layout->addLayout(row);
    layout->addWidget(note);
    return layout;
}

std::optional<AnalysisScope> panelScope(QLabel* note, const TTrace* trace, const QComboBox* span,
                                        const ViewSpans& spans) {
    std::optional<AnalysisScope> scope = scopeOfSpan(spanOf(span), spans);
    note->setText(!trace   ? QCoreApplication::translate("AnalysisPanel", "No trace open")
                  : !scope ? QCoreApplication::translate("AnalysisPanel", "No range selected")
                           : QString());
    note->setVisible(!note->text().isEmpty());
    return trace ? scope : std::nullopt;
}

std::shared_ptr<AnalysisIndexes> panelIndexes(const TTrace* trace,
                                              std::shared_ptr<AnalysisIndexes> shared) {
    if (!trace) return nullptr;
    if (shared && &shared->trace() == trace) return shared;
    return std::make_shared<AnalysisIndexes>(*trace);
}

AnalysisTable::AnalysisTable(const QString& name, QWidget* parent) : QTableView(parent) {
    setObjectName(name);
    model_ = new StatTableModel(this);
    setModel(model_);
    verticalHeader()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // The order as computed until a header is clicked.
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);
}

void AnalysisTable::showTable(StatTable table) {
    model_->setTable(std::move(table), false);
    const QHeaderView* header = horizontalHeader();
    model_->sort(header->sortIndicatorSection(), header->sortIndicatorOrder());
}

void AnalysisTable::clearTable() {
    showTable(StatTable{});
}
