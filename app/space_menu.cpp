// The View menu's choices of how the window uses its space: rows fitted to
// the window, the time that shown times count from, and the classic view
// (the last rows at the bottom when a trace opens, the ruler's first
// labels). Each is kept in the settings.
#include "app/main_frame.h"

#include "ui/shared_view_state.h"
#include "ui/time_line.h"
#include "view/time_axis.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>

namespace {

constexpr const char* kFitRowsKey = "view/fitRows";
constexpr const char* kOriginKey = "view/timeOrigin"; // "loaded" or "start"
constexpr const char* kClassicKey = "view/classic";

} // namespace

void MainFrame::buildSpaceMenu() {
    const QSettings settings;
    // A fitted view fits again when the window changes its size.
    view_->setRefitOnResize(true);

    QAction* fitRows = viewMenu_->addAction(tr("Fit &rows to the window"));
    fitRows->setObjectName("fitRowsAction");
    fitRows->setCheckable(true);
    connect(fitRows, &QAction::toggled, this, [this](bool fit) {
        view_->setFitRows(fit);
        QSettings().setValue(kFitRowsKey, fit);
    });
    fitRows->setChecked(settings.value(kFitRowsKey, false).toBool());

    QMenu* origin = viewMenu_->addMenu(tr("&Time origin"));
    origin->setObjectName("timeOriginMenu");
    auto* origins = new QActionGroup(origin);
    QAction* asLoaded = origin->addAction(tr("As &loaded"));
    asLoaded->setObjectName("originLoadedAction");
    QAction* fromStart = origin->addAction(tr("From the trace's &start"));
    fromStart->setObjectName("originStartAction");
    for (QAction* item : {asLoaded, fromStart}) {
        item->setCheckable(true);
        origins->addAction(item);
    }
    connect(fromStart, &QAction::toggled, this, [this](bool relative) {
        view_->setRelativeTime(relative);
        QSettings().setValue(kOriginKey, relative ? "start" : "loaded");
    });
    const bool relative = settings.value(kOriginKey).toString() == "start";
    (relative ? fromStart : asLoaded)->setChecked(true);

    QAction* classic = viewMenu_->addAction(tr("&Classic view"));
    classic->setObjectName("classicViewAction");
    classic->setCheckable(true);
    connect(classic, &QAction::toggled, this, [this](bool on) {
        applyClassicView(on);
        QSettings().setValue(kClassicKey, on);
    });
    classic->setChecked(settings.value(kClassicKey, false).toBool());
    applyClassicView(classic->isChecked());

    // The selected range in the status bar, in the times the ruler shows.
    connect(view_->viewState(), &SharedViewState::rangeSelected, this,
            [this](qint64 start, qint64 end, qint64 length) {
                const int64_t origin = view_->viewState()->state().timeOrigin();
                statusBar()->showMessage(tr("Range %1 to %2 µs (%3 µs)")
                                             .arg(saturatingSub(start, origin))
                                             .arg(saturatingSub(end, origin))
                                             .arg(length));
            });
    connect(view_->viewState(), &SharedViewState::rangeCleared, statusBar(),
            &QStatusBar::clearMessage);
}

void MainFrame::applyClassicView(bool classic) {
    view_->setOpenAtFirstRank(!classic);
    view_->findChild<TimeLine*>("tline")->setReadableLabels(!classic);
}
