#include "app/scoped_panel.h"

#include "analysis/analysis_indexes.h"

#include <QComboBox>
#include <QLabel>

ScopedPanel::ScopedPanel(const char* name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    span_ = makeSpanChoice(this);
    note_ = new QLabel(this);
    note_->setObjectName("note");
    connect(span_, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
}

void ScopedPanel::setTrace(const TTrace* trace, std::shared_ptr<AnalysisIndexes> indexes) {
    trace_ = trace;
    indexes_ = panelIndexes(trace, std::move(indexes));
    refresh();
}

void ScopedPanel::setSpans(const ViewSpans& spans) {
    spans_ = spans;
    if (spanOf(span_) != AnalysisSpan::WholeRun) refresh();
}

QVBoxLayout* ScopedPanel::layoutWith(const QList<QWidget*>& more) {
    QList<QWidget*> choices{span_};
    choices.append(more);
    return panelLayout(this, choices, note_);
}

std::optional<AnalysisScope> ScopedPanel::scope() const {
    return panelScope(note_, trace_, span_, spans_);
}

const TraceWindows* ScopedPanel::windowsFor(const AnalysisScope& scope) const {
    return scope.range ? &indexes_->windows() : nullptr;
}
