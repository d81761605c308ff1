#include "app/main_window.h"

#include "dialogs/palette_dlg.h"
#include "model/call_info.h"
#include "model/stat_kinds.h"
#include "model/trace_document.h"
#include "otf2/open_trace.h"
#include "ui/event_expl.h"
#include "ui/message_tee.h"
#include "ui/nr_view.h"
#include "ui/shared_view_state.h"
#include "ui/time_line.h"
#include "ui/tool_bar.h"
#include "view/time_axis.h"
#include "view/time_index.h"
#include "view/view_filter.h"

#include <QAction>
#include <QCursor>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>

#include <iostream>

ZLVR_anView::ZLVR_anView(QWidget* parent, const char* name) : QWidget(parent) {
    setObjectName(name ? name : "ZLVR_anView");

    // Scroll bars and buttons take no keyboard focus: the arrow keys belong
    // to the window, which scrolls with them.
    hsb_ = new QScrollBar(Qt::Horizontal, this);
    hsb_->setObjectName("hsb");
    hsb_->resize(480, 21);
    hsb_->setRange(0, 0);
    hsb_->setFocusPolicy(Qt::NoFocus);
    vsb_ = new QScrollBar(Qt::Vertical, this);
    vsb_->setObjectName("vsb");
    vsb_->resize(21, 370);
    vsb_->setRange(0, 0);
    vsb_->setFocusPolicy(Qt::NoFocus);
    nrview_ = new NRView(this);
    nrview_->setObjectName("nrview");
    nrview_->resize(80, 371);
    tline_ = new TimeLine(this);
    tline_->setObjectName("tline");
    tline_->resize(480, 21);
    eventview_ = new EventExpl(this);
    eventview_->setObjectName("eventview");
    eventview_->resize(480, 371);
    rankButton_ = new QPushButton(tr("rank"), this);
    rankButton_->setObjectName("RankButton");
    rankButton_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    nodeButton_ = new QPushButton(tr("node"), this);
    nodeButton_->setObjectName("NodeButton");
    nodeButton_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    toolBar_ = new ToolBar(this);
    viewState_ = new SharedViewState(this);
    eventview_->setViewState(viewState_);
    tline_->setViewState(viewState_);
    nrview_->setViewState(viewState_);

    QFont buttonFont = rankButton_->font();
    buttonFont.setFamily("adobe-helvetica");
    buttonFont.setPointSize(10);
    for (QPushButton* b : {rankButton_, nodeButton_}) {
        b->setFont(buttonFont);
        // 40 pixels each, so that they sit under the two label boxes of the column.
        b->setFixedSize(40, 20);
        b->setFocusPolicy(Qt::NoFocus);
    }

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(2, 2, 2, 2);
    grid->setSpacing(0);
    grid->addWidget(hsb_, 3, 3);
    grid->addWidget(vsb_, 1, 0);
    grid->addWidget(nrview_, 1, 1, 1, 2);
    grid->addWidget(tline_, 2, 3);
    grid->addWidget(eventview_, 1, 3);
    grid->addWidget(rankButton_, 2, 2);
    grid->addWidget(nodeButton_, 2, 1);
    grid->addWidget(toolBar_, 0, 0, 1, 4);
    grid->setRowStretch(1, 20);
    grid->setColumnStretch(3, 20);

    resize(592, 471);
    setWindowTitle(tr("ZELVOR Analyzer"));
    setFocusPolicy(Qt::StrongFocus);

    // The event explorer must get a vertical position before the node/rank
    // column, whose redraw makes the event explorer redraw.
    connect(vsb_, &QScrollBar::valueChanged, eventview_, &EventExpl::setPos);
    connect(hsb_, &QScrollBar::valueChanged, eventview_, &EventExpl::setOffset);
    connect(vsb_, &QScrollBar::valueChanged, nrview_, &NRView::setPos);
    connect(hsb_, &QScrollBar::valueChanged, tline_, &TimeLine::setTOffset);
    connect(nodeButton_, &QPushButton::clicked, this, &ZLVR_anView::slotSortByNode);
    connect(rankButton_, &QPushButton::clicked, this, &ZLVR_anView::slotSortByRank);
    connect(toolBar_, &ToolBar::signalfOpen, this, &ZLVR_anView::slotfOpen);
    connect(toolBar_, &ToolBar::signalfClose, this, &ZLVR_anView::slotfClose);
    connect(toolBar_, &ToolBar::signalvZoomIn, this, &ZLVR_anView::slotvZoomIn);
    connect(toolBar_, &ToolBar::signalvZoomOut, this, &ZLVR_anView::slotvZoomOut);
    connect(toolBar_, &ToolBar::signalvZoomAll, this, &ZLVR_anView::slotvZoomAll);
    connect(toolBar_, &ToolBar::signalvPalette, this, &ZLVR_anView::slotvPalette);
    connect(toolBar_, &ToolBar::signalFltMenu, this, &ZLVR_anView::slotFltMenu);
    connect(toolBar_, &ToolBar::signalStatMenu, this, &ZLVR_anView::slotStatMenu);
    connect(toolBar_, &ToolBar::signalCheck, this, &ZLVR_anView::slotCheck);
    connect(this, &ZLVR_anView::signalZoom, eventview_, &EventExpl::setZoom);
    connect(this, &ZLVR_anView::signalZoom, tline_, &TimeLine::setZoom);
    connect(this, &ZLVR_anView::signalOpen, eventview_, &EventExpl::setOpen);
    connect(this, &ZLVR_anView::signalOpen, tline_, &TimeLine::setOpen);
    connect(this, &ZLVR_anView::signalOpen, nrview_, &NRView::setOpen);
    connect(nrview_, &NRView::signalUpdated, eventview_, &EventExpl::Update);
    // A press selects the call; the box opens on a double-click or Enter,
    // so that the press can begin a drag.
    connect(eventview_, &EventExpl::signalOpenCall, this, &ZLVR_anView::slotShowTxt);
    connect(viewState_, &SharedViewState::horizontalChanged, this, &ZLVR_anView::mirrorHorizontal);
    connect(viewState_, &SharedViewState::verticalChanged, this, &ZLVR_anView::mirrorVertical);

    auto addItem = [this](QMenu* menu, const QString& text, const QKeySequence& key,
                          void (ZLVR_anView::*slot)()) {
        QAction* item = menu->addAction(text);
        item->setShortcut(key);
        connect(item, &QAction::triggered, this, slot);
        return item;
    };
    filterMenu_ = new QMenu(this);
    addItem(filterMenu_, tr("&Events"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E),
            &ZLVR_anView::slotFltEvents);
    addItem(filterMenu_, tr("&Nodes"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N),
            &ZLVR_anView::slotFltNodes);
    addItem(filterMenu_, tr("&Process"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P),
            &ZLVR_anView::slotFltProcess);
    linksItem_ = addItem(filterMenu_, tr("Show &Links"), QKeySequence(Qt::CTRL | Qt::Key_L),
                         &ZLVR_anView::slotShowLinks);
    linksItem_->setCheckable(true);
    linksItem_->setChecked(false);

    statMenu_ = new QMenu(this);
    for (const StatKindInfo* kind : statKindsInMenuOrder()) {
        QAction* item = statMenu_->addAction(tr(kind->menuText));
        item->setShortcut(QKeySequence(kind->accelerator, QKeySequence::PortableText));
        connect(item, &QAction::triggered, this, [this, k = kind->kind] { showStatistics(k); });
    }
    setUpSpace();
}

ZLVR_anView::~ZLVR_anView() {
    slotfClose();
}

void ZLVR_anView::slotfOpen() {
    const QString name = QFileDialog::getOpenFileName(
        this, QString(), openDirectory_,
        tr("ZELVOR Analyzer (*.zlv);;OTF2 archives (*.otf2);;All Files (*.*)"));
    if (name.isEmpty()) return;
    openTrace(name);
}

bool ZLVR_anView::openTrace(const QString& fileName) {
    // The progress dialog lets events through; a second open must wait.
    if (loading_) return false;
    slotfClose();

    // Loading stays on this thread (nothing may see a half-loaded document);
    // the loader feeds a window-modal progress dialog, which keeps the window
    // painted during a long load. Its Cancel stops the load at the loader's
    // next report (reading the file included), and the window stays closed.
    QProgressDialog progress(tr("Loading %1").arg(fileName), tr("Cancel"), 0, 1000, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(progressDelayMs_);
    loading_ = true;
    // The name in the file system's own encoding, so that every name the
    // dialog offers can be opened. Loader messages go to stderr, database
    // messages to stdout; both are also kept for the window to show.
    MessageTee errors(std::cerr), dbMessages(std::cout);
    LoadCancel cancel{false};
    auto trace = openTraceFile(
        QFile::encodeName(fileName).toStdString(), dbMessages, errors,
        [&](uint32_t permille) {
            progress.setValue(static_cast<int>(permille));
            if (progress.wasCanceled()) cancel = true;
        },
        &cancel);
    loading_ = false;
    progress.reset();
    QStringList messages;
    for (const MessageTee* tee : {&errors, &dbMessages})
        for (const std::string& line : tee->lines()) messages << QString::fromStdString(line);
    // A loader message means something of the file was not read (a
    // truncated tail, for one), even when the load counts as done.
    const bool whole = trace->loaded() && errors.lines().empty();
    const LoadOutcome outcome = trace->isEmpty() ? LoadOutcome::Failed
                                : whole          ? LoadOutcome::Loaded
                                                 : LoadOutcome::Partly;
    auto filter = std::make_unique<ViewFilter>(trace->nodeCount(), trace->processCount());
    if (trace->isEmpty()) {
        // A cancelled load is no failure to tell about.
        if (!cancel) emit signalLoaded(fileName, outcome, messages);
        return false;
    }
    trace_ = std::move(trace);
    filter_ = std::move(filter);
    timeIndex_ = std::make_unique<TimeIndex>(*trace_);

    setWindowTitle(tr("ZELVOR Analyzer - ") + fileName);
    const uint32_t n = trace_->processCount();
    endTime_ = trace_->endTime();
    startTime_ = trace_->startTime();
    ViewState& state = viewState_->state();
    state.setZoom(fitZoom());
    state.setFilter(filter_.get());
    viewState_->setBounds(startTime_, endTime_);
    const int64_t step = state.step();
    open_ = true;

    tline_->setUpdatesEnabled(false);
    nrview_->setUpdatesEnabled(false);
    eventview_->setUpdatesEnabled(false);
    const ScrollRange range = fitScrollRange(startTime_, endTime_, step);
    hsb_->setMaximum(range.maximum);
    hsb_->setMinimum(range.minimum);
    hsb_->setValue(range.value);
    // The value may not have changed (and told the views): the state takes
    // it anyway, whatever place the last trace left it at.
    state.setOffset(hsb_->value());
    vsb_->setMaximum(clampToInt(n));
    vsb_->setValue(vsb_->maximum());
    arrangeAtOpen();
    nrview_->setData(trace_.get(), filter_.get());
    eventview_->setData(trace_.get(), filter_.get(), timeIndex_.get());
    emit signalZoom(state.zoom());
    tline_->setUpdatesEnabled(true);
    nrview_->setUpdatesEnabled(true);
    eventview_->setUpdatesEnabled(true);
    emit signalOpen(true);
    emit signalLoaded(fileName, outcome, messages);
    return true;
}

void ZLVR_anView::slotfClose() {
    if (!open_) return;
    setWindowTitle(tr("ZELVOR Analyzer"));
    open_ = false;
    emit signalOpen(false);
    hsb_->setMaximum(0);
    hsb_->setMinimum(0);
    vsb_->setMaximum(0);
    // The views are closed and read nothing; clear their references anyway,
    // so that none outlives the document.
    nrview_->setData(nullptr, nullptr);
    eventview_->setData(nullptr, nullptr);
    viewState_->select(std::nullopt);
    viewState_->clearRange();
    viewState_->clearBounds();
    viewState_->state().reset();
    timeIndex_.reset();
    filter_.reset();
    trace_.reset();
    linksItem_->setChecked(false);
}

double ZLVR_anView::zoom() const {
    return viewState_->state().zoom();
}

double ZLVR_anView::fitZoom() const {
    return fittingZoom(eventview_->width(), startTime_, endTime_);
}

void ZLVR_anView::applyZoom(double zoom, bool toFit, bool remember) {
    if (remember) viewState_->rememberZoom();
    ViewState& state = viewState_->state();
    state.setZoom(zoom);
    const int64_t step = state.step();
    eventview_->setUpdatesEnabled(false);
    tline_->setUpdatesEnabled(false);
    const ScrollRange range = toFit ? fitScrollRange(startTime_, endTime_, step)
                                    : zoomScrollRange(startTime_, endTime_, step);
    hsb_->setMaximum(range.maximum);
    hsb_->setMinimum(range.minimum);
    if (toFit) hsb_->setValue(range.value);
    tline_->setUpdatesEnabled(true);
    eventview_->setUpdatesEnabled(true);
    emit signalZoom(zoom);
}

void ZLVR_anView::mirrorHorizontal() {
    if (!open_) return;
    // Quietly: the views have drawn the state already, and the value is only
    // the nearest step to a left edge that may lie between two.
    const ViewState& state = viewState_->state();
    const ScrollRange range = zoomScrollRange(startTime_, endTime_, state.step());
    const QSignalBlocker blocker(hsb_);
    hsb_->setRange(range.minimum, range.maximum);
    hsb_->setValue(state.offset());
}

void ZLVR_anView::mirrorVertical() {
    if (!open_) return;
    // Through the scroll bar, which tells the views as any of its moves does.
    vsb_->setValue(viewState_->state().pos());
    viewState_->state().setPos(vsb_->value());
}

void ZLVR_anView::slotvZoomIn() {
    if (open_) applyZoom(zoomedIn(zoom()), false);
}

void ZLVR_anView::slotvZoomOut() {
    if (open_) applyZoom(zoomedOut(zoom(), fitZoom()), false);
}

void ZLVR_anView::slotvZoomAll() {
    if (open_) applyZoom(fitZoom(), true);
}

void ZLVR_anView::slotvPalette() {
    Palette_Dlg legend(this);
    legend.exec();
}

void ZLVR_anView::slotSortByRank() {
    if (!open_) return;
    trace_->sortByRank();
    viewState_->select(std::nullopt); // its list position now holds another process
    nrview_->refresh();
}

void ZLVR_anView::slotSortByNode() {
    if (!open_) return;
    trace_->sortByNode();
    viewState_->select(std::nullopt);
    nrview_->refresh();
}

void ZLVR_anView::slotFltMenu() {
    if (open_) filterMenu_->exec(QCursor::pos());
}

void ZLVR_anView::slotShowLinks() {
    // The menu toggles a checkable item's mark itself before this slot runs;
    // the filter's flag is the state, and the mark is set to match it.
    ViewState& state = viewState_->state();
    if (open_) {
        state.setShowLinks(!state.showLinks());
        eventview_->Update();
    }
    linksItem_->setChecked(state.showLinks());
}

void ZLVR_anView::slotStatMenu() {
    if (open_) statMenu_->exec(QCursor::pos());
}

void ZLVR_anView::slotShowTxt(unsigned position, TFunc* call) {
    if (!open_ || !call) return;
    QMessageBox::information(this, tr("display text"),
                             QString::fromStdString(callInfoText(*trace_, position, *call)));
}

void ZLVR_anView::enterPressed() {
    if (!open_) return;
    if (viewState_->state().range()) return viewState_->zoomToRange(eventview_->width());
    if (const std::optional<CallSelection> call = viewState_->state().selection())
        slotShowTxt(call->position, &trace_->processAt(call->position)->calls[call->call]);
}

void ZLVR_anView::keyPressEvent(QKeyEvent* event) {
    QWidget::keyPressEvent(event);
    // Alt with the arrows walks the zoom history instead of scrolling.
    if (event->modifiers() & Qt::AltModifier) {
        if (event->key() == Qt::Key_Left) return viewState_->back();
        if (event->key() == Qt::Key_Right) return viewState_->forward();
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        enterPressed();
        break;
    case Qt::Key_Escape:
        viewState_->clearRange();
        viewState_->select(std::nullopt);
        break;
    case Qt::Key_Right:
        hsb_->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    case Qt::Key_Left:
        hsb_->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    case Qt::Key_Up:
        vsb_->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    case Qt::Key_Down:
        vsb_->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    default:
        break;
    }
}
