#pragma once
// The wait-state panel: time lost waiting for a partner, totals by kind, rank
// or function, and the worst instances; a double-click on an instance asks
// to select its waiting call. The figures are those of `zlv waits`.

#include "app/scoped_panel.h"
#include "model/call_search.h"

#include <vector>

class AnalysisTable;
class QComboBox;

class WaitPanel : public ScopedPanel {
    Q_OBJECT
  public:
    static constexpr uint32_t kListed = 100; // worst instances shown

    explicit WaitPanel(QWidget* parent = nullptr);

    AnalysisTable* totals() const { return totals_; }
    AnalysisTable* worst() const { return worst_; }
    QComboBox* byChoice() const { return by_; }

  signals:
    void goTo(CallRef call);

  private:
    void refresh() override;
    void goToInstance(int shownRow);

    std::vector<CallRef> waiting_; // the waiting call of each row of worst_, in the table's order
    QComboBox* by_ = nullptr;
    AnalysisTable* totals_ = nullptr;
    AnalysisTable* worst_ = nullptr;
};
