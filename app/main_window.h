#pragma once
// ZLVR_anView: the program's one top-level window. Owns the trace document and
// the display filter while a trace is open, lays out the tool bar and the
// views, and turns commands, scroll bars and arrow keys into view state.

#include "model/trace_model.h"

#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <memory>

class EventExpl;
class NRView;
class QAction;
class QMenu;
class QPushButton;
class QScrollBar;
class SharedViewState;
class TimeIndex;
class TimeLine;
class ToolBar;
class TTrace;
class ViewFilter;
enum class StatKind;

// How far a load came: every record read, only some, or no process at all.
enum class LoadOutcome { Loaded, Partly, Failed };

class ZLVR_anView : public QWidget {
    Q_OBJECT
  public:
    explicit ZLVR_anView(QWidget* parent = nullptr, const char* name = nullptr);
    ~ZLVR_anView() override;

    // The open path behind slotfOpen: closes any open trace, then opens this
    // file. False (window closed) when the document has no processes.
    bool openTrace(const QString& fileName);

    // Where the open-file dialog starts; empty: the toolkit's choice.
    void setOpenDirectory(const QString& dir) { openDirectory_ = dir; }

    // How long a load runs before a progress dialog shows how far it has come.
    void setLoadProgressDelay(int milliseconds) { progressDelayMs_ = milliseconds; }

    bool isOpen() const { return open_; }
    double zoom() const;
    // The state the views show: zoom, place, filter, selection, time range.
    SharedViewState* viewState() const { return viewState_; }
    TimeIndex* timeIndex() const { return timeIndex_.get(); }
    TTrace* trace() const { return trace_.get(); }
    ViewFilter* viewFilter() const { return filter_.get(); }
    QMenu* filterMenu() const { return filterMenu_; }

    // --- use of space; all off in the classic view
    // The row height follows the event explorer's height, so that every
    // shown row fits (rows of at least one pixel; more scroll).
    void setFitRows(bool fit);
    bool fitRows() const { return fitRows_; }
    // A view that shows the whole trace as the All button leaves it fits
    // again when the event explorer changes its width.
    void setRefitOnResize(bool refit) { refitOnResize_ = refit; }
    // A trace opens with the row of rank 0 at the top, rather than with the
    // last rows of the list at the bottom.
    void setOpenAtFirstRank(bool first) { openAtFirstRank_ = first; }
    // Shown times count from the trace's start rather than being the times
    // as loaded.
    void setRelativeTime(bool relative);
    bool relativeTime() const { return relativeTime_; }
    QMenu* statMenu() const { return statMenu_; }
    QAction* linksItem() const { return linksItem_; }

  public slots:
    void slotfOpen();
    void slotfClose();
    void slotvZoomIn();
    void slotvZoomOut();
    void slotvZoomAll();
    void slotvPalette();
    void slotSortByRank();
    void slotSortByNode();
    void slotFltMenu();
    void slotFltNodes();
    void slotFltProcess();
    void slotFltEvents();
    void slotShowLinks();
    void slotStatMenu();
    void slotStatNodesRanks();
    void slotStatProcess();
    void slotStatSRMatrix();
    void slotStatCounters();
    void slotStatSZMatrix();
    void slotShowTxt(unsigned position, TFunc* call);
    void slotCheck();

  signals:
    void signalZoom(double zoom);
    void signalOpen(bool open);
    // After every load, with the messages it wrote (to standard error and,
    // for the database, standard output).
    void signalLoaded(const QString& fileName, LoadOutcome outcome, const QStringList& messages);
    // A filter dialog changed what the views show.
    void signalFilterChanged();
    // A check finding was opened: the process of that rank, or the call it
    // ended in, is to be shown.
    void signalShowProcess(int rank, bool lastCall);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    double fitZoom() const;
    // remember: a step of the zoom history (a refit after a resize is none).
    void applyZoom(double zoom, bool toFit, bool remember = true);
    // Use of space: set up by the constructor, applied at open, and the row
    // height fitted again when the rows or the view change.
    void setUpSpace();
    void arrangeAtOpen();
    void fitRowsNow();
    void filterEdited(bool changed);
    // The statistics dialog of a kind, run modally; nothing while closed.
    void showStatistics(StatKind kind);
    // The scroll bars follow a change that navigation made to the state.
    void mirrorHorizontal();
    void mirrorVertical();
    // Enter: zoom to the selected range, else show the selected call.
    void enterPressed();

    int64_t endTime_ = 0;
    int64_t startTime_ = 0;
    bool open_ = false;
    bool loading_ = false;
    int progressDelayMs_ = 500;
    bool fitRows_ = false;
    bool refitOnResize_ = false;
    bool openAtFirstRank_ = false;
    bool relativeTime_ = false;
    QString openDirectory_;
    std::unique_ptr<TTrace> trace_;
    std::unique_ptr<ViewFilter> filter_;
    std::unique_ptr<TimeIndex> timeIndex_;
    SharedViewState* viewState_ = nullptr;

    QScrollBar* hsb_ = nullptr;
    QScrollBar* vsb_ = nullptr;
    NRView* nrview_ = nullptr;
    TimeLine* tline_ = nullptr;
    EventExpl* eventview_ = nullptr;
    QPushButton* rankButton_ = nullptr;
    QPushButton* nodeButton_ = nullptr;
    ToolBar* toolBar_ = nullptr;
    QMenu* filterMenu_ = nullptr;
    QMenu* statMenu_ = nullptr;
    QAction* linksItem_ = nullptr;
};
