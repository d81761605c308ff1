#pragma once
// ToolBar: the strip of nine push buttons along the top of the main window.
// Each button only makes the tool bar emit its signal; the main window decides
// what the command does.

#include <QWidget>

class ToolBar : public QWidget {
    Q_OBJECT
  public:
    explicit ToolBar(QWidget* parent = nullptr);

  public slots:
    void slotfOpen();
    void slotfClose();
    void slotvZoomIn();
    void slotvZoomOut();
    void slotvZoomAll();
    void slotvPalette();
    void slotFltMenu();
    void slotStatMenu();
    void slotCheck();

  signals:
    void signalfOpen();
    void signalfClose();
    void signalvZoomIn();
    void signalvZoomOut();
    void signalvZoomAll();
    void signalvPalette();
    void signalFltMenu();
    void signalStatMenu();
    void signalCheck();
};
