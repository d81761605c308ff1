#pragma once
// The profile panel: where the time went, per MPI function or per rank, over
// the whole run, the visible range or the selected range. The figures are
// those of `zlv profile`.

#include "analysis/view_spans.h"

#include <QWidget>

#include <memory>

class AnalysisIndexes;
class AnalysisTable;
class QComboBox;
class QLabel;
class TTrace;

class ProfilePanel : public QWidget {
    Q_OBJECT
  public:
    explicit ProfilePanel(QWidget* parent = nullptr);

    // The trace (null when none is open), with the indexes the panels share;
    // recomputes.
    void setTrace(const TTrace* trace, std::shared_ptr<AnalysisIndexes> indexes = nullptr);
    void setSpans(const ViewSpans& spans);
    AnalysisTable* table() const { return table_; }
    QComboBox* spanChoice() const { return span_; }
    QComboBox* byChoice() const { return by_; }

  private:
    void refresh();

    const TTrace* trace_ = nullptr;
    std::shared_ptr<AnalysisIndexes> indexes_;
    ViewSpans spans_;
    QComboBox* span_ = nullptr;
    QComboBox* by_ = nullptr;
    QLabel* note_ = nullptr;
    AnalysisTable* table_ = nullptr;
};
