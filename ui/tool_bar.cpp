#include "ui/tool_bar.h"

#include "ui/tool_bar_icons.h"

#include <QIcon>
#include <QKeySequence>
#include <QPushButton>

namespace {

constexpr int kButtonY = 2;
constexpr int kButtonSize = 31;

} // namespace

ToolBar::ToolBar(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(35);

    // Fixed places, no layout: resizing the window never moves the buttons.
    // The buttons take no keyboard focus, so that the arrow keys reach the
    // main window.
    auto add = [this](int x, const QPixmap& icon, const QString& text, const QKeySequence& key,
                      void (ToolBar::*slot)()) {
        auto* button = new QPushButton(this);
        button->setGeometry(x, kButtonY, kButtonSize, kButtonSize);
        button->setFocusPolicy(Qt::NoFocus);
        if (!icon.isNull()) {
            button->setIcon(QIcon(icon));
            button->setIconSize(icon.size());
        } else {
            button->setText(text);
        }
        if (!key.isEmpty()) button->setShortcut(key);
        connect(button, &QPushButton::clicked, this, slot);
    };
    add(2, openIcon(), {}, QKeySequence(Qt::CTRL | Qt::Key_O), &ToolBar::slotfOpen);
    add(33, closeIcon(), {}, QKeySequence(Qt::CTRL | Qt::Key_X), &ToolBar::slotfClose);
    add(80, zoomInIcon(), {}, QKeySequence(Qt::Key_Equal), &ToolBar::slotvZoomIn);
    add(111, zoomOutIcon(), {}, QKeySequence(Qt::Key_Minus), &ToolBar::slotvZoomOut);
    add(142, QPixmap(), tr("All"), QKeySequence(Qt::Key_1), &ToolBar::slotvZoomAll);
    add(187, paletteIcon(), {}, QKeySequence(), &ToolBar::slotvPalette);
    add(218, filterIcon(), {}, QKeySequence(), &ToolBar::slotFltMenu);
    add(249, statsIcon(), {}, QKeySequence(), &ToolBar::slotStatMenu);
    add(280, checkIcon(), {}, QKeySequence(Qt::CTRL | Qt::Key_H), &ToolBar::slotCheck);
}

void ToolBar::slotfOpen() {
    emit signalfOpen();
}
void ToolBar::slotfClose() {
    emit signalfClose();
}
void ToolBar::slotvZoomIn() {
    emit signalvZoomIn();
}
void ToolBar::slotvZoomOut() {
    emit signalvZoomOut();
}
void ToolBar::slotvZoomAll() {
    emit signalvZoomAll();
}
void ToolBar::slotvPalette() {
    emit signalvPalette();
}
void ToolBar::slotFltMenu() {
    emit signalFltMenu();
}
void ToolBar::slotStatMenu() {
    emit signalStatMenu();
}
void ToolBar::slotCheck() {
    emit signalCheck();
}
