// The main frame's menu bar. The popup menus' actions are shared, so that
// their accelerators work whenever the window is active; the tool bar's and
// the sort buttons' keys stay with their buttons, and their menu items only
// show them (two shortcuts on one key would cancel each other).
#include "app/key_list.h"
#include "app/main_frame.h"

#include "app/find_bar.h"
#include "model/stat_kinds.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QToolBar>

namespace {

// An item that runs `slot`; `keys` is only shown, the key belongs to a button.
template <class Receiver, class Slot>
QAction* addItem(QMenu* menu, const QString& text, const QString& keys, Receiver* receiver,
                 Slot slot) {
    QAction* item = menu->addAction(keys.isEmpty() ? text : text + "\t" + keys);
    QObject::connect(item, &QAction::triggered, receiver, slot);
    return item;
}

} // namespace

void MainFrame::buildMenus() {
    buildFileMenu();
    buildViewMenu();

    QMenu* filter = menuBar()->addMenu(tr("F&ilter"));
    filter->setObjectName("filterMenuBar");
    filter->addActions(view_->filterMenu()->actions());

    // Ctrl+N belongs to the node sort button, which sits
    // under the node labels; "Nodes-Ranks" moves to Ctrl+Shift+R.
    const int nodesRanks = statKindInfo(StatKind::NodesRanks)->menuPosition;
    QAction* nodesRanksItem = view_->statMenu()->actions().at(nodesRanks);
    nodesRanksItem->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    QMenu* stats = menuBar()->addMenu(tr("&Statistics"));
    stats->setObjectName("statMenuBar");
    stats->addActions(view_->statMenu()->actions());
    stats->addSeparator();
    addItem(stats, tr("Consistency c&heck"), "Ctrl+H", view_, &ZLVR_anView::slotCheck);

    buildHelpMenu();
}

void MainFrame::buildFileMenu() {
    fileMenu_ = menuBar()->addMenu(tr("&File"));
    fileMenu_->setObjectName("fileMenu");
    addItem(fileMenu_, tr("&Open…"), "Ctrl+O", view_, &ZLVR_anView::slotfOpen);
    recentMenu_ = fileMenu_->addMenu(tr("&Recent files"));
    recentMenu_->setObjectName("recentMenu");
    addItem(fileMenu_, tr("&Close"), "Ctrl+X", view_, &ZLVR_anView::slotfClose);
    fileMenu_->addSeparator();
    QAction* quit = fileMenu_->addAction(tr("&Quit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &QWidget::close);
}

void MainFrame::rebuildRecentMenu() {
    recentMenu_->clear();
    const QStringList recent = recentFiles();
    for (int i = 0; i < recent.size(); ++i) {
        const QString file = recent[i];
        QAction* item = recentMenu_->addAction(QString("&%1 %2").arg(i + 1).arg(file));
        connect(item, &QAction::triggered, this, [this, file] { view_->openTrace(file); });
    }
    recentMenu_->setEnabled(!recent.isEmpty());
}

void MainFrame::buildViewMenu() {
    viewMenu_ = menuBar()->addMenu(tr("&View"));
    viewMenu_->setObjectName("viewMenu");
    addItem(viewMenu_, tr("Zoom &in"), "=", view_, &ZLVR_anView::slotvZoomIn);
    addItem(viewMenu_, tr("Zoom &out"), "-", view_, &ZLVR_anView::slotvZoomOut);
    addItem(viewMenu_, tr("Zoom to &fit"), "1", view_, &ZLVR_anView::slotvZoomAll);
    viewMenu_->addSeparator();
    addItem(viewMenu_, tr("Sort by &node"), "Ctrl+N", view_, &ZLVR_anView::slotSortByNode);
    addItem(viewMenu_, tr("Sort by &rank"), "Ctrl+R", view_, &ZLVR_anView::slotSortByRank);
    addItem(viewMenu_, tr("Colour &palette…"), "", view_, &ZLVR_anView::slotvPalette);
    viewMenu_->addSeparator();

    const auto showFind = [this] {
        findToolBar_->show();
        findBar_->activate();
    };
    QAction* find = viewMenu_->addAction(tr("&Find…"));
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(find, &QAction::triggered, this, showFind);
    QAction* next = viewMenu_->addAction(tr("Find ne&xt"));
    next->setShortcut(QKeySequence(Qt::Key_F3));
    connect(next, &QAction::triggered, this, &MainFrame::findNext);
    QAction* previous = viewMenu_->addAction(tr("Find pre&vious"));
    previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    connect(previous, &QAction::triggered, this, &MainFrame::findPrevious);
    QAction* goTo = viewMenu_->addAction(tr("&Go to time…"));
    goTo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    connect(goTo, &QAction::triggered, this, [this, showFind] {
        showFind();
        findBar_->time()->setFocus();
    });
    viewMenu_->addSeparator();
    buildSpaceMenu();
    viewMenu_->addSeparator();
    panelsMenu_ = viewMenu_->addMenu(tr("&Panels"));
}

QMenu* MainFrame::addFrameMenu(const QString& title) {
    auto* menu = new QMenu(title, menuBar());
    menuBar()->insertMenu(helpMenu_->menuAction(), menu);
    return menu;
}

void MainFrame::buildHelpMenu() {
    helpMenu_ = menuBar()->addMenu(tr("&Help"));
    helpMenu_->setObjectName("helpMenu");
    QAction* keys = helpMenu_->addAction(tr("&Keys and mouse"));
    keys->setShortcut(QKeySequence(Qt::Key_F1));
    connect(keys, &QAction::triggered, this, &MainFrame::showKeys);
    QAction* about = helpMenu_->addAction(tr("&About ZELVOR Analyzer"));
    connect(about, &QAction::triggered, this, [this] {
        QMessageBox::about(this, tr("About ZELVOR Analyzer"),
                           tr("ZELVOR Analyzer %1: a viewer of MPI traces.")
                               .arg(QApplication::applicationVersion()));
    });
}

void MainFrame::showKeys() {
    auto* box = new QMessageBox(QMessageBox::NoIcon, tr("Keys and mouse"), keyListHtml(),
                                QMessageBox::Close, this);
    box->setObjectName("keyList");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}
