#pragma once
// The message size panel: point-to-point messages by size, as a table (the
// one of `zlv stats sizes`) and as bars of their counts.

#include "app/scoped_panel.h"

#include <vector>

class AnalysisTable;

// Bars of counts, one per bin, left to right.
class BarChart : public QWidget {
    Q_OBJECT
  public:
    explicit BarChart(QWidget* parent = nullptr);
    void setValues(std::vector<uint64_t> values);
    const std::vector<uint64_t>& values() const { return values_; }
    static QColor barColour() { return QColor(70, 110, 180); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<uint64_t> values_;
};

class SizesPanel : public ScopedPanel {
    Q_OBJECT
  public:
    explicit SizesPanel(QWidget* parent = nullptr);
    AnalysisTable* table() const { return table_; }
    BarChart* chart() const { return chart_; }

  private:
    void refresh() override;

    AnalysisTable* table_ = nullptr;
    BarChart* chart_ = nullptr;
};
