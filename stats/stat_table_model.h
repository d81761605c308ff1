#pragma once
// A read-only Qt table model over a StatTable. Rows are made when a view
// first asks for them and kept in a bounded cache, so a matrix of thousands
// of ranks costs one scan per shown row, not one item per cell.

#include "model/stat_tables.h"

#include <QAbstractTableModel>
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

    // The cell text as shown, made on demand.
    QString cellText(int row, int column) const;

  private:
    const std::vector<QString>& cachedRow(int row) const;

    StatTable table_;
    std::vector<QString> columnLabels_;
    std::vector<QString> rowLabels_;
    // Rows already made, oldest first; bounded by a number of cells.
    mutable std::unordered_map<int, std::vector<QString>> rows_;
    mutable std::deque<int> rowOrder_;
    mutable size_t cachedCells_ = 0;
};
