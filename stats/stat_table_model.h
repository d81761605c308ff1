#pragma once
// A read-only Qt table model over a StatTable. Rows are made when a view
// first asks for them and kept in a bounded cache, so a matrix of thousands
// of ranks costs one scan per shown row, not one item per cell. Numbers are
// right-aligned; a header click sorts the rows (which reads every row once);
// a matrix's cells may be coloured by what they hold.

#include "model/stat_tables.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QString>

#include <deque>
#include <unordered_map>
#include <vector>

class StatTableModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    explicit StatTableModel(QObject* parent = nullptr);

    // Replaces the whole table (a new section of a matrix, for example).
    // translateLabels: column labels go through the translation lookup of
    // the statistics dialog (not the matrices' rank numbers).
    void setTable(StatTable table, bool translateLabels);
    const StatTable& table() const { return table_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The cell text as shown (in the sorted order), made on demand.
    QString cellText(int row, int column) const;
    // The table's own row shown at `row`.
    uint32_t sourceRow(int row) const;

    // Sorts by a column; a column below 0 restores the table's own order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Colours cells by their leading number, from white at 0 to the heat
    // colour at `max`; 0 switches the colouring off.
    void setHeatMaximum(double max);
    static QColor heatColour(double fraction);

  private:
    const std::vector<QString>& cachedRow(int row) const;

    StatTable table_;
    std::vector<uint32_t> order_; // shown row -> table row; empty: the table's order
    double heatMax_ = 0;
    std::vector<QString> columnLabels_;
    std::vector<QString> rowLabels_;
    // Rows already made, oldest first; bounded by a number of cells.
    mutable std::unordered_map<int, std::vector<QString>> rows_;
    mutable std::deque<int> rowOrder_;
    mutable size_t cachedCells_ = 0;
};
