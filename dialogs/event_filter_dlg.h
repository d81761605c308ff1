#pragma once
// The events filter dialog: one check box per function present in the trace,
// with its name and a swatch of its colour; All and None set every box.

#include <QDialog>

#include <cstdint>
#include <vector>

class QCheckBox;
class ViewFilter;

class EventFilter_Dlg : public QDialog {
    Q_OBJECT

  public:
    // ids: the functions to offer (unfinished flag cleared), in that order;
    // the boxes start as the filter shows them.
    EventFilter_Dlg(QWidget* parent, const std::vector<uint32_t>& ids, const ViewFilter& filter);

    const std::vector<uint32_t>& ids() const { return ids_; }
    const std::vector<QCheckBox*>& boxes() const { return boxes_; }
    // Writes the boxes' states into the filter.
    void applyTo(ViewFilter& filter) const;

  public slots:
    void setAll(bool checked);

  private:
    std::vector<uint32_t> ids_;
    std::vector<QCheckBox*> boxes_;
};

// Runs the dialog modally over the functions present in the trace; true when
// "Done" changed the filter.
class TTrace;
bool editFunctionFilter(QWidget* parent, const TTrace& trace, ViewFilter& filter);
