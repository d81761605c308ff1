#include "ui/tool_bar_icons.h"

// The XPM files define static arrays named <file>_xpm.
#include "ui/icons/check.xpm"
#include "ui/icons/close.xpm"
#include "ui/icons/filter.xpm"
#include "ui/icons/open.xpm"
#include "ui/icons/palette.xpm"
#include "ui/icons/stats.xpm"
#include "ui/icons/zoom_in.xpm"
#include "ui/icons/zoom_out.xpm"

QPixmap openIcon() {
    return QPixmap(open_xpm);
}
QPixmap closeIcon() {
    return QPixmap(close_xpm);
}
QPixmap zoomInIcon() {
    return QPixmap(zoom_in_xpm);
}
QPixmap zoomOutIcon() {
    return QPixmap(zoom_out_xpm);
}
QPixmap paletteIcon() {
    return QPixmap(palette_xpm);
}
QPixmap filterIcon() {
    return QPixmap(filter_xpm);
}
QPixmap statsIcon() {
    return QPixmap(stats_xpm);
}
QPixmap checkIcon() {
    return QPixmap(check_xpm);
}
