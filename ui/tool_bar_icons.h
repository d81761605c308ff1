#pragma once
// The tool bar's 25 x 25 icons, drawn for this program as XPM data.

#include <QPixmap>

QPixmap openIcon();    // an open folder, orange and brown
QPixmap closeIcon();   // a dark grey disc with a light cross
QPixmap zoomInIcon();  // a magnifying glass with a plus sign
QPixmap zoomOutIcon(); // the same glass with a minus sign
QPixmap paletteIcon(); // a colour gradient from red to blue
QPixmap filterIcon();  // a grey funnel
QPixmap statsIcon();   // six coloured bars
QPixmap checkIcon();   // a red tick
