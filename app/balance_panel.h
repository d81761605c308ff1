#pragma once
// The balance panel: per rank one stacked bar of the time in each group of
// MPI functions and outside MPI, over the whole run, the visible range or the
// selected range, all bars at one scale (the longest fills the width).

#include "analysis/rank_balance.h"
#include "app/scoped_panel.h"

#include <QColor>
#include <QWidget>

#include <memory>
#include <vector>

class AnalysisIndexes;
class QComboBox;
class QLabel;
class TTrace;

// The bars, one row per rank, a legend above them.
class BalanceChart : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kParts = kFunctionGroups + 1; // the groups, then outside MPI
    static constexpr int kRowHeight = 14;
    static constexpr int kBarHeight = 10;

    explicit BalanceChart(QWidget* parent = nullptr);
    void setBalance(std::vector<RankBalance> balance);
    const std::vector<RankBalance>& balance() const { return balance_; }

    // The parts of one rank's bar, in drawing order.
    static std::array<int64_t, kParts> partsOf(const RankBalance& b);
    static QColor partColour(int part);
    static QString partName(int part);

    // Where the bars are: their left end and the width that the longest fills,
    // and the top of the bar of the row-th rank.
    int barLeft() const;
    int barWidth() const;
    int barTop(int row) const;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int legendHeight() const;
    int64_t scale() const; // the longest bar's time

    std::vector<RankBalance> balance_;
};

class BalancePanel : public ScopedPanel {
    Q_OBJECT
  public:
    explicit BalancePanel(QWidget* parent = nullptr);

    BalanceChart* chart() const { return chart_; }

  private:
    void refresh() override;

    BalanceChart* chart_ = nullptr;
};
