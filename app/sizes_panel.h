#pragma once
// The message size panel: point-to-point messages by size, as a table (the
// one of `zlv stats sizes`) and as bars of their counts.

#include "analysis/view_spans.h"

#include <QWidget>

#include <memory>

#include <vector>

class AnalysisIndexes;
class AnalysisTable;
class QComboBox;
class QLabel;
class TTrace;

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

class SizesPanel : public QWidget {
    Q_OBJECT
  public:
    explicit SizesPanel(QWidget* parent = nullptr);
    // The trace (null when none is open), with the indexes the panels share;
    // recomputes.
    void setTrace(const TTrace* trace, std::shared_ptr<AnalysisIndexes> indexes = nullptr);
    void setSpans(const ViewSpans& spans);
    AnalysisTable* table() const { return table_; }
    BarChart* chart() const { return chart_; }
    QComboBox* spanChoice() const { return span_; }

  private:
    void refresh();

    const TTrace* trace_ = nullptr;
    std::shared_ptr<AnalysisIndexes> indexes_;
    ViewSpans spans_;
    QComboBox* span_ = nullptr;
    QLabel* note_ = nullptr;
    AnalysisTable* table_ = nullptr;
    BarChart* chart_ = nullptr;
};
