#pragma once
// Pieces the analysis panels share: the choice of span and a sortable table
// of cells as `zlv` prints them.

#include "analysis/analysis_span.h"
#include "model/stat_tables.h"

#include <QTableView>

#include <memory>

class AnalysisIndexes;
class QComboBox;
class QLabel;
class QVBoxLayout;
class StatTableModel;

// "Whole run", "Visible range", "Selected range", in AnalysisSpan order.
QComboBox* makeSpanChoice(QWidget* parent);
AnalysisSpan spanOf(const QComboBox* choice);

// A panel's layout: its choices in a row, its note under them; the caller
// adds what it shows.
QVBoxLayout* panelLayout(QWidget* panel, const QList<QWidget*>& choices, QLabel* note);

// The scope a panel shows, its note saying why there is none (no trace open,
// no range selected) and hidden when there is one.
std::optional<AnalysisScope> panelScope(QLabel* note, const TTrace* trace, const QComboBox* span,
                                        const ViewSpans& spans);

// The indexes a panel reads: those it shares with the other panels, else
// its own (none without a trace).
std::shared_ptr<AnalysisIndexes> panelIndexes(const TTrace* trace,
                                              std::shared_ptr<AnalysisIndexes> shared);

// A read-only table view that sorts on a header click and keeps its order
// when its table is replaced.
class AnalysisTable : public QTableView {
    Q_OBJECT
  public:
    AnalysisTable(const QString& name, QWidget* parent);
    StatTableModel* tableModel() const { return model_; }
    void showTable(StatTable table);
    void clearTable();

  private:
    StatTableModel* model_ = nullptr;
};
