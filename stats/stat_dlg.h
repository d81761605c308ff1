#pragma once
// The statistics dialog: the table of one statistics kind, by its number in
// the kinds table (model/stat_kinds.h); the matrices with a section selector.

#include "model/time_range.h"

#include <QDialog>

#include <optional>

class QComboBox;
class QLabel;
class QTableView;
class StatTableModel;
class TTrace;

// The stretches of corrected time the window offers besides the whole run.
struct StatRanges {
    TimeRange visible;
    std::optional<TimeRange> selected;
};

class Stat_Dlg : public QDialog {
    Q_OBJECT

  public:
    // trace is not owned and must outlive the dialog. With ranges, the kinds
    // that a range restricts offer a choice of range, the whole run first.
    Stat_Dlg(QWidget* parent, int kind, const TTrace* trace,
             const std::optional<StatRanges>& ranges = std::nullopt);
    ~Stat_Dlg() override;

    QTableView* table() const { return table_; }
    StatTableModel* tableModel() const { return model_; }
    // Null for the kinds without a section selector.
    QComboBox* sectionSelector() const { return sections_; }
    // "Whole run", "Visible range", "Selected range" (disabled without a
    // selected range); null without ranges or for a kind that takes none.
    QComboBox* rangeSelector() const { return rangeChoice_; }
    // The heat map's legend of the matrices; null for the other kinds.
    QLabel* legend() const { return legend_; }

    // The selected cells as TSV, their bounding rows and columns (cells
    // outside the selection left empty); the clipboard gets it on Ctrl+C.
    QString selectionText() const;
    // Writes the whole table as CSV; false when the file cannot be written.
    bool exportCsv(const QString& path) const;
    // Recomputes the table over the range of the range selector's item.
    void chooseRange(int item);

  public slots:
    // Recomputes a matrix for the section of the chosen item.
    void chgSect3(int item);
    void copySelection() const;
    // Asks for a file and exports to it.
    void exportAs();

  private:
    void fill();
    QComboBox* makeRangeChoice(const StatRanges& ranges);
    // A size that shows every column, up to most of the screen.
    void fitToContents();

    QTableView* table_ = nullptr;
    StatTableModel* model_ = nullptr;
    QComboBox* sections_ = nullptr;
    QComboBox* rangeChoice_ = nullptr;
    QLabel* legend_ = nullptr;
    const TTrace* trace_ = nullptr;
    int kind_ = 0;
    uint32_t section_ = 0;
    std::optional<StatRanges> ranges_;
    std::optional<TimeRange> range_; // the chosen one; none: the whole run
};
