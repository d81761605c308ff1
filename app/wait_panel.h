#pragma once
// The wait-state panel: time lost waiting for a partner, totals by kind, rank
// or function, and the worst instances; a double-click on an instance asks
// to select its waiting call. The figures are those of `zlv waits`.

#include "analysis/view_spans.h"
#include "model/call_search.h"

#include <QWidget>

#include <memory>

#include <vector>

class AnalysisIndexes;
class AnalysisTable;
class QComboBox;
class QLabel;
class TTrace;

class WaitPanel : public QWidget {
    Q_OBJECT
  public:
    static constexpr uint32_t kListed = 100; // worst instances shown

    explicit WaitPanel(QWidget* parent = nullptr);

    // The trace (null when none is open), with the indexes the panels share;
    // recomputes.
    void setTrace(const TTrace* trace, std::shared_ptr<AnalysisIndexes> indexes = nullptr);
    void setSpans(const ViewSpans& spans);
    AnalysisTable* totals() const { return totals_; }
    AnalysisTable* worst() const { return worst_; }
    QComboBox* spanChoice() const { return span_; }
    QComboBox* byChoice() const { return by_; }

  signals:
    void goTo(CallRef call);

  private:
    void refresh();
    void goToInstance(int shownRow);

    const TTrace* trace_ = nullptr;
    std::shared_ptr<AnalysisIndexes> indexes_;
    ViewSpans spans_;
    std::vector<CallRef> waiting_; // the waiting call of each row of worst_, in the table's order
    QComboBox* span_ = nullptr;
    QComboBox* by_ = nullptr;
    QLabel* note_ = nullptr;
    AnalysisTable* totals_ = nullptr;
    AnalysisTable* worst_ = nullptr;
};
