#include "app/balance_panel.h"

#include "analysis/analysis_indexes.h"
#include "app/analysis_table.h"
#include "view/bar_chart.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kMargin = 4;
constexpr int kSwatch = 10; // legend boxes

QString rankLabel(int32_t rank) {
    return QCoreApplication::translate("BalanceChart", "rank %1").arg(rank);
}

} // namespace

BalanceChart::BalanceChart(QWidget* parent) : QWidget(parent) {
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    setAutoFillBackground(true);
}

void BalanceChart::setBalance(std::vector<RankBalance> balance) {
    balance_ = std::move(balance);
    updateGeometry();
    setMinimumHeight(sizeHint().height()); // the scroll area scrolls the rest
    update();
}

std::array<int64_t, BalanceChart::kParts> BalanceChart::partsOf(const RankBalance& b) {
    std::array<int64_t, kParts> parts{};
    std::copy(b.inGroup.begin(), b.inGroup.end(), parts.begin());
    parts[kFunctionGroups] = b.outside;
    return parts;
}

QColor BalanceChart::partColour(int part) {
    static const QColor kColours[kParts] = {QColor(60, 110, 200), QColor(200, 60, 60),
                                            QColor(230, 160, 30), QColor(130, 80, 170),
                                            QColor(170, 200, 170)};
    return kColours[part];
}

QString BalanceChart::partName(int part) {
    return part < int(kFunctionGroups)
               ? QString::fromUtf8(functionGroupName(static_cast<FunctionGroup>(part)))
               : tr("outside MPI");
}

int BalanceChart::legendHeight() const {
    return fontMetrics().height() + 2 * kMargin;
}

int BalanceChart::barLeft() const {
    int widest = 0;
    for (const RankBalance& b : balance_)
        widest = std::max(widest, fontMetrics().horizontalAdvance(rankLabel(b.rank)));
    return kMargin + widest + kMargin;
}

int BalanceChart::barWidth() const {
    return std::max(1, width() - barLeft() - kMargin);
}

int BalanceChart::barTop(int row) const {
    return legendHeight() + row * kRowHeight + (kRowHeight - kBarHeight) / 2;
}

QSize BalanceChart::sizeHint() const {
    return {320, legendHeight() + int(balance_.size()) * kRowHeight + kMargin};
}

int64_t BalanceChart::scale() const {
    int64_t longest = 0;
    for (const RankBalance& b : balance_) {
        const std::array<int64_t, kParts> parts = partsOf(b);
        long double sum = 0;
        for (int64_t p : parts) sum += std::max<int64_t>(p, 0);
        longest = std::max(longest, static_cast<int64_t>(std::min<long double>(sum, INT64_MAX)));
    }
    return longest;
}

void BalanceChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The legend: a swatch and a name per part.
    int x = kMargin;
    const int legendMiddle = legendHeight() / 2;
    for (int part = 0; part < kParts; ++part) {
        painter.fillRect(x, legendMiddle - kSwatch / 2, kSwatch, kSwatch, partColour(part));
        x += kSwatch + kMargin;
        const QString name = partName(part);
        painter.drawText(x, legendMiddle + fontMetrics().ascent() / 2, name);
        x += fontMetrics().horizontalAdvance(name) + 3 * kMargin;
    }
    const int left = barLeft(), width = barWidth();
    const int64_t longest = scale();
    for (size_t row = 0; row < balance_.size(); ++row) {
        const RankBalance& b = balance_[row];
        const int top = barTop(int(row));
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(kMargin, top + kBarHeight, rankLabel(b.rank));
        const std::array<int64_t, kParts> parts = partsOf(b);
        const std::vector<int> edges = stackedEdges(parts, longest, width);
        int from = 0;
        for (int part = 0; part < kParts; ++part) {
            if (edges[part] > from)
                painter.fillRect(left + from, top, edges[part] - from, kBarHeight,
                                 partColour(part));
            from = edges[part];
        }
    }
}

BalancePanel::BalancePanel(QWidget* parent) : ScopedPanel("balancePanel", parent) {
    chart_ = new BalanceChart;
    chart_->setObjectName("balanceChart");
    chart_->setToolTip(tr("Time per rank in each group of MPI functions and outside MPI"));
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(chart_);
    scroll->setWidgetResizable(true);

    QVBoxLayout* layout = layoutWith({});
    layout->addWidget(scroll);
    refresh();
}

void BalancePanel::refresh() {
    const std::optional<AnalysisScope> s = scope();
    if (!s) return chart_->setBalance({});
    chart_->setBalance(rankBalance(*trace_, *s, windowsFor(*s)));
}
