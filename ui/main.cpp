// zelvor: the viewer. "zelvor [TRACE.zlv]" opens the trace at start, as if it
// had been chosen in the file dialog.

#include "ui/main_window.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv); // takes the toolkit's own arguments out of argv
    ZLVR_anView window;
    window.show();
    if (argc > 1) window.openTrace(QString::fromLocal8Bit(argv[1]));
    return app.exec();
}
