#include "stats/stat_table_model.h"

#include "model/table_order.h"

#include <QCoreApplication>

#include <algorithm>

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
    order_.clear();
    heatMax_ = 0;
    endResetModel();
}

uint32_t StatTableModel::sourceRow(int row) const {
    const auto r = static_cast<uint32_t>(row);
    return r < order_.size() ? order_[r] : r;
}

void StatTableModel::sort(int column, Qt::SortOrder order) {
    if (column >= columnCount()) return;
    emit layoutAboutToBeChanged();
    if (column < 0)
        order_.clear();
    else
        order_ = sortedRows(table_, static_cast<uint32_t>(column), order == Qt::AscendingOrder);
    emit layoutChanged();
}

void StatTableModel::setHeatMaximum(double max) {
    heatMax_ = max > 0 ? max : 0;
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                         {Qt::BackgroundRole});
}

QColor StatTableModel::heatColour(double fraction) {
    const double f = std::clamp(fraction, 0.0, 1.0);
    // White through yellow to orange-red: light enough everywhere for black text.
    if (f < 0.5) return QColor(255, 255, static_cast<int>(255 * (1 - 2 * f)));
    return QColor(255, static_cast<int>(255 - 155 * (2 * f - 1)), 0);
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
    const std::vector<QString>& cells = cachedRow(static_cast<int>(sourceRow(row)));
    return static_cast<size_t>(column) < cells.size() ? cells[static_cast<size_t>(column)]
                                                      : QString();
}

QVariant StatTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    switch (role) {
    case Qt::DisplayRole:
        return cellText(index.row(), index.column());
    case Qt::TextAlignmentRole: {
        const bool number =
            leadingNumber(cellText(index.row(), index.column()).toStdString()).has_value();
        return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    case Qt::BackgroundRole: {
        if (heatMax_ <= 0) return {};
        const std::optional<double> v =
            leadingNumber(cellText(index.row(), index.column()).toStdString());
        return v ? QVariant(heatColour(*v / heatMax_)) : QVariant();
    }
    default:
        return {};
    }
}

QVariant StatTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || section < 0) return {};
    const auto& labels = orientation == Qt::Horizontal ? columnLabels_ : rowLabels_;
    // Row labels follow their rows when sorted.
    const size_t i =
        orientation == Qt::Horizontal ? static_cast<size_t>(section) : sourceRow(section);
    if (i < labels.size()) return labels[i];
    return {};
}
