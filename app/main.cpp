// zelvor: the viewer. "zelvor [TRACE.zlv]" opens the trace at start, as if it
// had been chosen in the file dialog.

#include "app/main_frame.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv); // takes the toolkit's own arguments out of argv
    QApplication::setOrganizationName("ZELVOR");
    QApplication::setApplicationName("zelvor");
    QApplication::setApplicationVersion(ZLV_VERSION);
    MainFrame window;
    window.show();
    if (argc > 1) window.view()->openTrace(QString::fromLocal8Bit(argv[1]));
    return app.exec();
}
