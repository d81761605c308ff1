// The window loading a generated trace large enough to be read in pieces:
// Cancel pressed while the file is still being read stops the load there,
// and the window stays closed and opens the next trace as usual.

#include "model/trace_builder.h"
#include "model/trace_document.h"
#include "tools/gen/trace_generator.h"
#include "app/main_window.h"

#include <QProgressBar>
#include <QProgressDialog>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <iostream>
#include <sstream>
#include <vector>

class LoadingTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    QString trace_;
    uint64_t calls_ = 0;

    // What the progress dialog showed during one open, and when it was cancelled.
    struct Watched {
        std::vector<int> values; // every value the dialog's bar took, in order
        int cancelledAt = -1;
        bool opened = false;
        std::string errors;
    };

    // Opens the trace and presses Cancel once the dialog shows `stopAt` or
    // more: the bar tells of every value as it is set, so the cancel comes at
    // a point of the load fixed by the file, not by the clock.
    Watched openCancellingAt(ZLVR_anView& w, int stopAt) {
        Watched seen;
        // The dialog exists once the load lets events through (its first value).
        QTimer::singleShot(0, &w, [&] {
            auto* dialog = w.findChild<QProgressDialog*>();
            auto* bar = dialog ? dialog->findChild<QProgressBar*>() : nullptr;
            if (!bar) return;
            connect(bar, &QProgressBar::valueChanged, dialog, [&, dialog](int value) {
                if (value < 0) return; // the reset a cancel makes
                seen.values.push_back(value);
                if (value >= stopAt && seen.cancelledAt < 0) {
                    seen.cancelledAt = value;
                    dialog->cancel();
                }
            });
        });
        std::ostringstream errors;
        std::streambuf* saved = std::cerr.rdbuf(errors.rdbuf());
        seen.opened = w.openTrace(trace_);
        std::cerr.rdbuf(saved);
        seen.errors = errors.str();
        return seen;
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        GenOptions options;
        options.pattern = GenPattern::PingPong;
        options.ranks = 2;
        options.nodes = 2;
        options.iterations = 250;
        trace_ = dir_.filePath("pingpong.zlv");
        const GenResult written = generateTrace(options, trace_.toStdString());
        QVERIFY2(written.ok, written.error.c_str());
        // Large enough to be read in pieces on several workers.
        QVERIFY(written.bytes > uint64_t{6} << 20);
        calls_ = written.calls;
    }

    void cancelWhileReadingLeavesTheWindowClosedAndUsable() {
        ZLVR_anView w;
        w.setLoadProgressDelay(0); // every load counts as long
        // The counting pass reports the first fifth of the read's share, the
        // reading of the calls the rest.
        for (const int stopAt : {int(kLoadReadDone) / 10, int(kLoadReadDone) * 2 / 5}) {
            const Watched seen = openCancellingAt(w, stopAt);
            QVERIFY(!seen.opened);
            QVERIFY(seen.cancelledAt >= stopAt && seen.cancelledAt < int(kLoadReadDone));
            // Nothing more was read after the cancel: its value was the last shown.
            QCOMPARE(seen.values.back(), seen.cancelledAt);
            QCOMPARE(seen.errors, std::string()); // a cancel is no failure
            QVERIFY(w.findChild<QProgressDialog*>() == nullptr);
            QVERIFY(!w.isOpen() && !w.trace() && !w.viewFilter());
            QCOMPARE(w.windowTitle(), QString("ZELVOR Analyzer"));
            QCOMPARE(w.findChild<QScrollBar*>("hsb")->maximum(), 0);
            QCOMPARE(w.findChild<QScrollBar*>("vsb")->maximum(), 0);
        }
        // The same file opens whole afterwards.
        QVERIFY(w.openTrace(trace_));
        QVERIFY(w.isOpen());
        QCOMPARE(w.trace()->processCount(), 2u);
        QCOMPARE(callCount(w.trace()->processes), calls_);
        QVERIFY(w.findChild<QScrollBar*>("vsb")->maximum() > 0);
    }
};

QTEST_MAIN(LoadingTest)
#include "ui_loading_test.moc"
