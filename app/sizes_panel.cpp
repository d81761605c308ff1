#include "app/sizes_panel.h"

#include "analysis/analysis_indexes.h"
#include "analysis/analysis_tables.h"
#include "app/analysis_table.h"
#include "view/bar_chart.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

BarChart::BarChart(QWidget* parent) : QWidget(parent) {
    setMinimumSize(120, 80);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    setAutoFillBackground(true);
}

void BarChart::setValues(std::vector<uint64_t> values) {
    values_ = std::move(values);
    update();
}

void BarChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (const BarSlot& b : barSlots(values_, width(), height()))
        if (b.height > 0)
            painter.fillRect(b.x, height() - b.height, b.width, b.height, barColour());
}

SizesPanel::SizesPanel(QWidget* parent) : ScopedPanel("sizesPanel", parent) {
    table_ = new AnalysisTable("sizes", this);
    chart_ = new BarChart(this);
    chart_->setObjectName("sizeChart");
    chart_->setToolTip(tr("Messages per size, bins as in the table"));

    auto* shown = new QHBoxLayout;
    shown->addWidget(table_);
    shown->addWidget(chart_, 1);
    QVBoxLayout* layout = layoutWith({});
    layout->addLayout(shown);
    refresh();
}

void SizesPanel::refresh() {
    const std::optional<AnalysisScope> s = scope();
    if (!s) {
        chart_->setValues({});
        return table_->clearTable();
    }
    const MessageSizes sizes = messageSizes(*trace_, *s, windowsFor(*s));
    chart_->setValues(shownBinCounts(sizes));
    table_->showTable(messageSizesTable(sizes));
}
