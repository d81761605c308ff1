#include "stats/stat_table_model.h"

#include <QCoreApplication>

namespace {

// About 16 MB of short cell texts; old rows are made again when revisited.
constexpr size_t kCachedCellLimit = size_t{1} << 19;

QString fromCell(const std::string& text) {
    return QString::fromUtf8(text.data(), text.size());
}

} // namespace

StatTableModel::StatTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void StatTableModel::setTable(StatTable table, bool translateLabels) {
    beginResetModel();
    table_ = std::move(table);
    columnLabels_.clear();
    for (const std::string& label : table_.columnLabels)
        columnLabels_.push_back(translateLabels
                                    ? QCoreApplication::translate("Stat_Dlg", label.c_str())
                                    : fromCell(label));
    rowLabels_.clear();
    for (const std::string& label : table_.rowLabels) rowLabels_.push_back(fromCell(label));
    rows_.clear();
    rowOrder_.clear();
    cachedCells_ = 0;
    endResetModel();
}

int StatTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.rowCount);
}

int StatTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columnLabels_.size());
}

const std::vector<QString>& StatTableModel::cachedRow(int row) const {
    if (auto it = rows_.find(row); it != rows_.end()) return it->second;
    std::vector<QString> cells;
    if (table_.rowCells)
        for (const std::string& text : table_.rowCells(static_cast<uint32_t>(row)))
            cells.push_back(fromCell(text));
    // Keep at least the row just made; drop the oldest beyond the limit.
    while (!rowOrder_.empty() && cachedCells_ + cells.size() > kCachedCellLimit) {
        auto old = rows_.find(rowOrder_.front());
        cachedCells_ -= old->second.size();
        rows_.erase(old);
        rowOrder_.pop_front();
    }
    cachedCells_ += cells.size();
    rowOrder_.push_back(row);
    return rows_.emplace(row, std::move(cells)).first->second;
}

QString StatTableModel::cellText(int row, int column) const {
    if (row < 0 || column < 0 || row >= rowCount()) return {};
    const std::vector<QString>& cells = cachedRow(row);
    return static_cast<size_t>(column) < cells.size() ? cells[static_cast<size_t>(column)]
                                                      : QString();
}

QVariant StatTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    return cellText(index.row(), index.column());
}

QVariant StatTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || section < 0) return {};
    const auto& labels = orientation == Qt::Horizontal ? columnLabels_ : rowLabels_;
    if (static_cast<size_t>(section) < labels.size()) return labels[static_cast<size_t>(section)];
    return {};
}
