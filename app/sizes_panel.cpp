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

SizesPanel::SizesPanel(QWidget* parent) : QWidget(parent) {
    setObjectName("sizesPanel");
    span_ = makeSpanChoice(this);
    note_ = new QLabel(this);
    table_ = new AnalysisTable("sizes", this);
    chart_ = new BarChart(this);
    chart_->setObjectName("sizeChart");
    chart_->setToolTip(tr("Messages per size, bins as in the table"));

    auto* shown = new QHBoxLayout;
    shown->addWidget(table_);
    shown->addWidget(chart_, 1);
    QVBoxLayout* layout = panelLayout(this, {span_}, note_);
    layout->addLayout(shown);
    connect(span_, &QComboBox::currentIndexChanged, this, &SizesPanel::refresh);
    refresh();
}

void SizesPanel::setTrace(const TTrace* trace, std::shared_ptr<AnalysisIndexes> indexes) {
    trace_ = trace;
    indexes_ = panelIndexes(trace, std::move(indexes));
    refresh();
}

void SizesPanel::setSpans(const ViewSpans& spans) {
    spans_ = spans;
    if (spanOf(span_) != AnalysisSpan::WholeRun) refresh();
}

void SizesPanel::refresh() {
    const std::optional<AnalysisScope> scope = panelScope(note_, trace_, span_, spans_);
    if (!scope) {
        chart_->setValues({});
        return table_->clearTable();
    }
    const MessageSizes sizes =
        messageSizes(*trace_, *scope, scope->range ? &indexes_->windows() : nullptr);
    chart_->setValues(shownBinCounts(sizes));
    table_->showTable(messageSizesTable(sizes));
}
