#pragma once
// MainFrame: the program's main window. The view ZLVR_anView sits in the
// middle; around it a menu bar that holds every command of the tool bar and
// the two popup menus, a find bar, a details panel, a status bar, and room
// for more menus and docked panels. Size, place, last directory and recent
// files are kept with QSettings.

#include "app/main_window.h"
#include "model/call_search.h"

#include <QMainWindow>
#include <memory>
#include <optional>

class AnalysisIndexes;
class BalancePanel;
class DetailsPanel;
class ProfilePanel;
class QTimer;
class SizesPanel;
class WaitPanel;
class FindBar;
class QDockWidget;
class QLabel;
class QMenu;
class QMessageBox;
class QToolBar;

class MainFrame : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainFrame(QWidget* parent = nullptr);
    ~MainFrame() override;

    ZLVR_anView* view() const { return view_; }
    DetailsPanel* details() const { return details_; }
    FindBar* findBar() const { return findBar_; }
    QLabel* filterLabel() const { return filterLabel_; }
    QLabel* loadLabel() const { return loadLabel_; }
    // The notice of the last load with messages; null when there was none.
    QMessageBox* loadNotice() const { return loadNotice_; }
    QStringList recentFiles() const;
    ProfilePanel* profilePanel() const { return profilePanel_; }
    WaitPanel* waitPanel() const { return waitPanel_; }
    SizesPanel* sizesPanel() const { return sizesPanel_; }
    BalancePanel* balancePanel() const { return balancePanel_; }
    // Hands the analysis panels the open trace and the view's spans now (the
    // view's moves do so after a short pause).
    void refreshAnalysis();

    // A menu of its own, placed before Help; and a panel docked at `area`
    // whose toggle goes into the View menu.
    QMenu* addFrameMenu(const QString& title);
    void addPanel(QDockWidget* dock, Qt::DockWidgetArea area);

    // The selected call (the view state's); nullopt when none.
    std::optional<CallRef> selection() const;
    // Selects the call, shows it in the details panel and scrolls the view
    // until it is in sight.
    void selectCall(CallRef call);
    void clearSelection();
    // The tool tip over a point of the event explorer; empty over no call.
    QString toolTipAt(QPoint atInView) const;
    // Brings the row of the process of `rank` into view; with lastCall,
    // selects the call it ended in.
    void showProcess(int rank, bool lastCall);
    // Scrolls so that time t (µs, display time) is at the left third of the view.
    void goToTime(int64_t t);

  public slots:
    void findNext();
    void findPrevious();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildMenus();
    void buildFileMenu();
    void buildViewMenu();
    // Fitted rows, the time origin and the classic view, kept in the settings.
    void buildSpaceMenu();
    void applyClassicView(bool classic);
    void buildHelpMenu();
    void buildAnalysisMenu();
    // Lays the marks of waiting time over the picture while the toggle is on.
    void showWaitMarks();
    void rebuildRecentMenu();
    void restoreSettings();
    void onLoaded(const QString& fileName, LoadOutcome outcome, const QStringList& messages);
    void onOpenChanged(bool open);
    void showFilterState();
    // The details panel follows the view state's selection.
    void showSelection();
    void find(bool forward);
    void showKeys();

    ZLVR_anView* view_ = nullptr;
    DetailsPanel* details_ = nullptr;
    QDockWidget* detailsDock_ = nullptr;
    QToolBar* findToolBar_ = nullptr;
    FindBar* findBar_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QMenu* viewMenu_ = nullptr;
    QMenu* panelsMenu_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    QLabel* filterLabel_ = nullptr;
    QLabel* loadLabel_ = nullptr;
    QMessageBox* loadNotice_ = nullptr;
    ProfilePanel* profilePanel_ = nullptr;
    WaitPanel* waitPanel_ = nullptr;
    SizesPanel* sizesPanel_ = nullptr;
    BalancePanel* balancePanel_ = nullptr;
    QTimer* analysisPause_ = nullptr;
    std::shared_ptr<AnalysisIndexes> analysisIndexes_; // of the open trace
    QAction* markWaits_ = nullptr;
};
