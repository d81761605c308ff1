#pragma once
// The profile panel: where the time went, per MPI function, per rank or per
// program region, over the whole run, the visible range or the selected
// range. The figures are those of `zlv profile`.

#include "app/scoped_panel.h"

class AnalysisTable;
class QComboBox;

class ProfilePanel : public ScopedPanel {
    Q_OBJECT
  public:
    explicit ProfilePanel(QWidget* parent = nullptr);
    static constexpr int kByRegion = 2; // the choice's index of the region profile

    AnalysisTable* table() const { return table_; }
    QComboBox* byChoice() const { return by_; }

  private:
    void refresh() override;

    QComboBox* by_ = nullptr;
    AnalysisTable* table_ = nullptr;
};
