#pragma once
// What the tests of the main frame share: settings of their own, so that a
// run starts from a known state and leaves the user's alone, and bars.zlv
// (tests/ui_trace_files.h) open at a zoom the tests can count pixels in.

#include "app/main_frame.h"

#include <QApplication>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

// The settings of this program go to a file in `dir`; false when the
// folder could not be made.
[[nodiscard]] inline bool useSettingsIn(const QTemporaryDir& dir, const QString& program) {
    if (!dir.isValid()) return false;
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath("settings"));
    QCoreApplication::setOrganizationName("ZELVOR-test");
    QCoreApplication::setApplicationName(program);
    return true;
}

// Shown and active, the trace open at 1 pixel per µs scrolled to time 0,
// rows by rank. For bars.zlv: rank 0 in the top row (lower edge H - 40),
// rank 2 at the bottom.
inline void openBars(MainFrame& f, const QString& bars) {
    f.show();
    QApplication::setActiveWindow(&f);
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QVERIFY(f.view()->openTrace(bars));
    for (int i = 0; i < 20; ++i) f.view()->slotvZoomIn();
    f.findChild<QScrollBar*>("hsb")->setValue(0);
    f.view()->slotSortByRank();
}
