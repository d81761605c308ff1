#pragma once
// What the analysis panels have in common: the trace they show with the
// indexes they share, the choice of span (whole run, visible or selected
// range) with its note, and a refresh whenever one of them changes.

#include "analysis/view_spans.h"
#include "app/analysis_table.h"

#include <QWidget>

#include <memory>
#include <optional>

class AnalysisIndexes;
class TraceWindows;
class QComboBox;
class QLabel;
class TTrace;

class ScopedPanel : public QWidget {
    Q_OBJECT
  public:
    // The trace (null when none is open), with the indexes the panels share;
    // recomputes.
    void setTrace(const TTrace* trace, std::shared_ptr<AnalysisIndexes> indexes = nullptr);
    // The view's spans; recomputes unless the whole run is shown, which does
    // not move with the view.
    void setSpans(const ViewSpans& spans);
    QComboBox* spanChoice() const { return span_; }

  protected:
    ScopedPanel(const char* name, QWidget* parent);
    virtual void refresh() = 0;

    // The panel's layout: the span choice and `more` in a row, the note
    // under them; the panel adds what it shows.
    QVBoxLayout* layoutWith(const QList<QWidget*>& more);
    // The scope to show, or none (the note says why).
    std::optional<AnalysisScope> scope() const;
    // The call windows for a scope with a range; none for the whole run,
    // which is read straight.
    const TraceWindows* windowsFor(const AnalysisScope& scope) const;

    const TTrace* trace_ = nullptr;
    std::shared_ptr<AnalysisIndexes> indexes_;

  private:
    ViewSpans spans_;
    QComboBox* span_ = nullptr;
    QLabel* note_ = nullptr;
};
