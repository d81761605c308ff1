#include "app/main_frame.h"

#include "app/details_panel.h"
#include "app/find_bar.h"
#include "model/call_details.h"
#include "model/time_text.h"
#include "model/trace_document.h"
#include "ui/event_expl.h"
#include "ui/shared_view_state.h"
#include "view/row_layout.h"
#include "view/scroll_target.h"
#include "view/time_axis.h"
#include "view/view_filter.h"

#include <QCloseEvent>
#include <QDockWidget>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QToolTip>

namespace {

constexpr int kRecentFiles = 8;

EventExpl* eventViewOf(const ZLVR_anView* view) {
    return view->findChild<EventExpl*>("eventview");
}

QScrollBar* scrollBarOf(const ZLVR_anView* view, const char* name) {
    return view->findChild<QScrollBar*>(name);
}

QString loadState(LoadOutcome outcome, qsizetype messages) {
    switch (outcome) {
    case LoadOutcome::Failed:
        return MainFrame::tr("Not loaded");
    case LoadOutcome::Partly:
        return MainFrame::tr("Loaded in part (%n message(s))", "", static_cast<int>(messages));
    case LoadOutcome::Loaded:
        break;
    }
    return messages ? MainFrame::tr("Loaded, %n message(s)", "", static_cast<int>(messages))
                    : QString();
}

} // namespace

MainFrame::MainFrame(QWidget* parent) : QMainWindow(parent) {
    setObjectName("mainframe");
    view_ = new ZLVR_anView(this);
    setCentralWidget(view_);
    setWindowTitle(view_->windowTitle());
    resize(900, 600);

    findBar_ = new FindBar(this);
    findToolBar_ = new QToolBar(tr("Find"), this);
    findToolBar_->setObjectName("findToolBar");
    findToolBar_->addWidget(findBar_);
    findToolBar_->setMovable(false);
    addToolBar(Qt::BottomToolBarArea, findToolBar_);
    findToolBar_->hide();

    details_ = new DetailsPanel(this);
    detailsDock_ = new QDockWidget(tr("Details"), this);
    detailsDock_->setObjectName("detailsDock");
    detailsDock_->setWidget(details_);

    loadLabel_ = new QLabel(this);
    loadLabel_->setObjectName("loadState");
    filterLabel_ = new QLabel(this);
    filterLabel_->setObjectName("filterState");
    statusBar()->addPermanentWidget(filterLabel_);
    statusBar()->addPermanentWidget(loadLabel_);

    buildMenus();
    addPanel(detailsDock_, Qt::RightDockWidgetArea);
    buildAnalysisMenu();

    connect(view_, &QWidget::windowTitleChanged, this, &QWidget::setWindowTitle);
    connect(view_, &ZLVR_anView::signalLoaded, this, &MainFrame::onLoaded);
    connect(view_, &ZLVR_anView::signalOpen, this, &MainFrame::onOpenChanged);
    connect(view_, &ZLVR_anView::signalFilterChanged, this, &MainFrame::showFilterState);
    connect(view_->viewState(), &SharedViewState::selectionChanged, this,
            &MainFrame::showSelection);
    connect(details_, &DetailsPanel::goTo, this, &MainFrame::selectCall);
    connect(view_, &ZLVR_anView::signalShowProcess, this, &MainFrame::showProcess);
    connect(findBar_, &FindBar::next, this, &MainFrame::findNext);
    connect(findBar_, &FindBar::previous, this, &MainFrame::findPrevious);
    connect(findBar_, &FindBar::closeRequested, findToolBar_, &QWidget::hide);
    connect(findBar_, &FindBar::goToTime, this, [this](const QString& text) {
        const std::optional<int64_t> t = parseTimeText(text.toStdString());
        if (t) // typed as the ruler counts
            goToTime(saturatingAdd(*t, view_->viewState()->state().timeOrigin()));
        else
            statusBar()->showMessage(tr("Not a time: %1 (try 1500 us, 1.5 ms or 2 s)").arg(text));
    });
    eventViewOf(view_)->installEventFilter(this);
    restoreSettings();
}

MainFrame::~MainFrame() {
    // The view closes its trace as it goes, after this frame's part is gone.
    disconnect(view_, nullptr, this, nullptr);
    disconnect(view_->viewState(), nullptr, this, nullptr);
    if (QScrollBar* hsb = view_->findChild<QScrollBar*>("hsb"))
        disconnect(hsb, nullptr, this, nullptr);
}

void MainFrame::addPanel(QDockWidget* dock, Qt::DockWidgetArea area) {
    addDockWidget(area, dock);
    panelsMenu_->addAction(dock->toggleViewAction());
}

void MainFrame::restoreSettings() {
    QSettings settings;
    restoreGeometry(settings.value("window/geometry").toByteArray());
    view_->setOpenDirectory(settings.value("files/lastDirectory").toString());
    rebuildRecentMenu();
}

void MainFrame::closeEvent(QCloseEvent* event) {
    QSettings().setValue("window/geometry", saveGeometry());
    QMainWindow::closeEvent(event);
}

QStringList MainFrame::recentFiles() const {
    return QSettings().value("files/recent").toStringList();
}

void MainFrame::onLoaded(const QString& fileName, LoadOutcome outcome,
                         const QStringList& messages) {
    const QFileInfo info(fileName);
    QSettings settings;
    if (outcome != LoadOutcome::Failed) {
        settings.setValue("files/lastDirectory", info.absolutePath());
        view_->setOpenDirectory(info.absolutePath());
        QStringList recent = recentFiles();
        recent.removeAll(info.absoluteFilePath());
        recent.prepend(info.absoluteFilePath());
        settings.setValue("files/recent", recent.mid(0, kRecentFiles));
        rebuildRecentMenu();
    }
    loadLabel_->setText(loadState(outcome, messages.size()));
    if (outcome == LoadOutcome::Loaded && messages.isEmpty()) {
        statusBar()->showMessage(tr("Opened %1").arg(info.fileName()), 5000);
        return;
    }

    // Not modal: the window stays usable with what was read.
    if (loadNotice_) loadNotice_->close();
    loadNotice_ = new QMessageBox(this);
    loadNotice_->setObjectName("loadNotice");
    loadNotice_->setAttribute(Qt::WA_DeleteOnClose);
    loadNotice_->setModal(false);
    QString text;
    if (outcome == LoadOutcome::Failed) {
        loadNotice_->setIcon(QMessageBox::Critical);
        loadNotice_->setWindowTitle(tr("Not a trace"));
        text = info.isFile() && info.isReadable()
                   ? tr("%1 is no trace: no process could be read from it.").arg(fileName)
                   : tr("%1 cannot be opened.").arg(fileName);
    } else {
        loadNotice_->setIcon(QMessageBox::Warning);
        loadNotice_->setWindowTitle(tr("Load messages"));
        text = outcome == LoadOutcome::Partly
                   ? tr("%1 loaded only in part; the view shows what was read.").arg(fileName)
                   : tr("%1 loaded with messages.").arg(fileName);
    }
    loadNotice_->setText(text);
    loadNotice_->setInformativeText(messages.join("\n"));
    statusBar()->showMessage(text);
    loadNotice_->show();
}

void MainFrame::onOpenChanged(bool open) {
    clearSelection();
    findBar_->setFunctions(open && view_->trace() ? functionsPresent(*view_->trace())
                                                  : std::vector<uint32_t>{});
    if (!open) loadLabel_->clear();
    showFilterState();
}

void MainFrame::showFilterState() {
    const ViewFilter* filter = view_->viewFilter();
    filterLabel_->setText(filter ? QString::fromStdString(hiddenSummary(*filter)) : QString());
}

std::optional<CallRef> MainFrame::selection() const {
    const std::optional<CallSelection>& s = view_->viewState()->state().selection();
    if (!s) return std::nullopt;
    return CallRef{s->position, static_cast<uint32_t>(s->call)};
}

void MainFrame::showSelection() {
    details_->showCall(view_->trace(), selection());
}

void MainFrame::clearSelection() {
    view_->viewState()->select(std::nullopt);
}

void MainFrame::selectCall(CallRef ref) {
    TTrace* trace = view_->trace();
    const ViewFilter* filter = view_->viewFilter();
    const TProcess* p = trace ? trace->processAt(ref.position) : nullptr;
    if (!p || !filter || ref.index >= p->calls.size()) return;
    view_->viewState()->select(CallSelection{ref.position, ref.index});
    detailsDock_->show();

    EventExpl* ev = eventViewOf(view_);
    QScrollBar* hsb = scrollBarOf(view_, "hsb");
    QScrollBar* vsb = scrollBarOf(view_, "vsb");
    const int64_t start = wrapAdd(p->calls[ref.index].start, trace->nodeOffset(p->nodeIndex));
    hsb->setValue(clampToInt(
        static_cast<double>(offsetShowing(start, ev->zoom(), ev->width(), hsb->value()))));
    if (const std::optional<int64_t> pos =
            posShowing(shownPositions(*trace, *filter), ref.position, vsb->value(), ev->height(),
                       view_->viewState()->state().rowHeight()))
        vsb->setValue(clampToInt(static_cast<double>(*pos)));
}

void MainFrame::showProcess(int rank, bool lastCall) {
    TTrace* trace = view_->trace();
    const ViewFilter* filter = view_->viewFilter();
    if (!trace || !filter) return;
    for (uint32_t i = 0; i < trace->processCount(); ++i) {
        if (trace->rankAt(i) != rank) continue;
        const TCallList& calls = trace->processAt(i)->calls;
        if (lastCall && !calls.empty())
            return selectCall({i, static_cast<uint32_t>(calls.size() - 1)});
        QScrollBar* vsb = scrollBarOf(view_, "vsb");
        if (const std::optional<int64_t> pos =
                posShowing(shownPositions(*trace, *filter), i, vsb->value(),
                           eventViewOf(view_)->height(), view_->viewState()->state().rowHeight()))
            vsb->setValue(clampToInt(static_cast<double>(*pos)));
        else
            statusBar()->showMessage(tr("Rank %1 is hidden by the filter").arg(rank), 5000);
        return;
    }
}

void MainFrame::goToTime(int64_t t) {
    if (!view_->isOpen()) return;
    EventExpl* ev = eventViewOf(view_);
    const int64_t lead = clampToInt64((ev->width() - 10) / ev->zoom() / 3.0);
    scrollBarOf(view_, "hsb")
        ->setValue(clampToInt(static_cast<double>(offsetAt(saturatingAdd(t, -lead), ev->zoom()))));
}

void MainFrame::findNext() {
    find(true);
}

void MainFrame::findPrevious() {
    find(false);
}

void MainFrame::find(bool forward) {
    TTrace* trace = view_->trace();
    const ViewFilter* filter = view_->viewFilter();
    if (!trace || !filter) return;
    QString error;
    std::optional<CallQuery> query = findBar_->query(error);
    if (!query) {
        statusBar()->showMessage(error);
        return;
    }
    // Only what the view shows can be found.
    const std::vector<bool> shown = shownPositions(*trace, *filter);
    query->accepts = [&](uint32_t position, const TFunc& f) {
        return shown[position] && filter->funcVisible(f.funcId);
    };
    const std::optional<CallRef> found = findCall(*trace, *query, selection(), forward);
    if (!found) {
        statusBar()->showMessage(forward ? tr("No later match") : tr("No earlier match"), 5000);
        return;
    }
    selectCall(*found);
}

QString MainFrame::toolTipAt(QPoint atInView) const {
    const std::optional<CallSelection> hit = eventViewOf(view_)->callAt(atInView);
    const TTrace* trace = view_->trace();
    if (!hit || !trace) return {};
    const TFunc& call = trace->processAt(hit->position)->calls[hit->call];
    return QString::fromStdString(detailsText(callDetails(*trace, hit->position, call, false)));
}

bool MainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && watched == eventViewOf(view_)) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, eventViewOf(view_));
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
