// The Analysis menu and its panels. The panels follow the view: each move of
// the view state restarts a short pause, after which they get the view's
// spans once (a drag or a wheel run recomputes once, not per step).

#include "app/analysis_table.h"
#include "app/balance_panel.h"
#include "app/main_frame.h"
#include "app/profile_panel.h"
#include "app/sizes_panel.h"
#include "app/wait_marks.h"
#include "app/wait_panel.h"
#include "ui/event_expl.h"
#include "ui/shared_view_state.h"

#include <QDockWidget>
#include <QMenu>
#include <QScrollBar>
#include <QTimer>

namespace {

constexpr int kFollowPauseMs = 150;

ViewSpans spansOf(const ViewState& state, int width) {
    ViewSpans spans;
    spans.visibleFrom = state.startMicros();
    spans.visibleTo = state.microsAt(width);
    if (const std::optional<ViewRange>& r = state.range()) spans.selected = {{r->start, r->end}};
    return spans;
}

} // namespace

void MainFrame::buildAnalysisMenu() {
    QMenu* menu = addFrameMenu(tr("&Analysis"));
    menu->setObjectName("analysisMenu");
    profilePanel_ = new ProfilePanel(this);
    waitPanel_ = new WaitPanel(this);
    sizesPanel_ = new SizesPanel(this);
    balancePanel_ = new BalancePanel(this);
    const std::pair<QWidget*, QString> panels[] = {
        {profilePanel_, tr("Profile")},
        {waitPanel_, tr("Wait states")},
        {sizesPanel_, tr("Message sizes")},
        {balancePanel_, tr("Rank balance")},
    };
    for (const auto& [panel, title] : panels) {
        auto* dock = new QDockWidget(title, this);
        dock->setObjectName(panel->objectName() + "Dock");
        dock->setWidget(panel);
        addPanel(dock, Qt::BottomDockWidgetArea);
        dock->hide();
        QAction* show = menu->addAction(title);
        show->setObjectName(panel->objectName() + "Action");
        connect(show, &QAction::triggered, dock, [dock] {
            dock->show();
            dock->raise();
        });
    }
    connect(waitPanel_, &WaitPanel::goTo, this, &MainFrame::selectCall);
    menu->addSeparator();
    markWaits_ = menu->addAction(tr("Mark waiting time in calls"));
    markWaits_->setObjectName("markWaitsAction");
    markWaits_->setCheckable(true);
    markWaits_->setToolTip(tr("Darkens the part of each call spent waiting for a partner"));
    connect(markWaits_, &QAction::toggled, this, &MainFrame::showWaitMarks);

    analysisPause_ = new QTimer(this);
    analysisPause_->setSingleShot(true);
    analysisPause_->setInterval(kFollowPauseMs);
    connect(analysisPause_, &QTimer::timeout, this, &MainFrame::refreshAnalysis);
    auto follow = [this] { analysisPause_->start(); };
    SharedViewState* state = view_->viewState();
    connect(state, &SharedViewState::horizontalChanged, this, follow);
    connect(state, &SharedViewState::rangeSelected, this, follow);
    connect(state, &SharedViewState::rangeCleared, this, follow);
    // The scroll bar and the tool bar's zooms write the state quietly.
    connect(findChild<QScrollBar*>("hsb"), &QScrollBar::valueChanged, this, follow);
    connect(view_, &ZLVR_anView::signalZoom, this, follow);
    connect(view_, &ZLVR_anView::signalOpen, this, [this](bool open) {
        const TTrace* trace = open ? view_->trace() : nullptr;
        analysisIndexes_ = panelIndexes(trace, nullptr);
        profilePanel_->setTrace(trace, analysisIndexes_);
        waitPanel_->setTrace(trace, analysisIndexes_);
        sizesPanel_->setTrace(trace, analysisIndexes_);
        balancePanel_->setTrace(trace, analysisIndexes_);
        showWaitMarks();
        if (open) refreshAnalysis();
    });
}

void MainFrame::showWaitMarks() {
    const bool shown = markWaits_->isChecked() && analysisIndexes_;
    view_->findChild<EventExpl*>("eventview")
        ->setOverlay(shown ? waitMarks(analysisIndexes_) : nullptr);
}

void MainFrame::refreshAnalysis() {
    analysisPause_->stop();
    if (!view_->isOpen()) return;
    const ViewSpans spans =
        spansOf(view_->viewState()->state(), view_->findChild<EventExpl*>("eventview")->width());
    profilePanel_->setSpans(spans);
    waitPanel_->setSpans(spans);
    sizesPanel_->setSpans(spans);
    balancePanel_->setSpans(spans);
}
