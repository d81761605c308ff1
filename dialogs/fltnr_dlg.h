#pragma once
// The node or rank filter dialog: one check box per node index or rank.

#include <QDialog>

#include <cstdint>
#include <vector>

class QCheckBox;

class FltNR_Dlg : public QDialog {
    Q_OBJECT

  public:
    // initial (n entries, nonzero = visible) only sets the boxes' first states.
    FltNR_Dlg(QWidget* parent, int n, const uint32_t* initial, const QString& title);

    // Entry i: 1 visible, 0 hidden; set by "Done".
    const std::vector<uint32_t>& values() const { return values_; }
    int count() const { return count_; }

  public slots:
    void slotAccept();

  private:
    int count_ = 0;
    std::vector<uint32_t> values_;
    std::vector<QCheckBox*> boxes_;
};
