// Fuzz target: arbitrary bytes as a trace opened in the main window, which
// paints the event explorer, the ruler and the node/rank column into images:
// at the fitting zoom, with links, zoomed in, scrolled to both ends, sorted
// by rank. The window must stay usable whatever the file held.

#include "app/main_window.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_entries.h"
#include "fuzz/scratch_file.h"
#include "model/trace_document.h"
#include "ui/shared_view_state.h"

#include <QApplication>
#include <QImage>
#include <QLayout>
#include <QScrollBar>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <sstream>

namespace {

constexpr int kWidth = 360;
constexpr int kHeight = 260;

ZLVR_anView& window() {
    static ZLVR_anView* w = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "fuzz_draw";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv); // lives as long as the program
        auto* made = new ZLVR_anView;
        made->resize(kWidth, kHeight);
        // Laid out but never shown: the views then paint only when rendered
        // into the image below, not on every zoom and scroll step as well.
        made->layout()->activate();
        FUZZ_CHECK(made->findChild<QWidget*>("eventview")->width() > 0);
        return made;
    }();
    return *w;
}

// The three views paint into one reused image: a fresh image per picture, or
// the tool bar and scroll bars painted each time, would cost more than the
// views' own painting.
void paintAll(ZLVR_anView& w) {
    static QImage picture(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    for (const char* name : {"eventview", "tline", "nrview"}) {
        QWidget* view = w.findChild<QWidget*>(name);
        FUZZ_CHECK(view != nullptr);
        FUZZ_CHECK(view->width() <= kWidth && view->height() <= kHeight);
        view->render(&picture);
    }
}

void scrollTo(QScrollBar* bar, int value) {
    FUZZ_CHECK(bar != nullptr);
    bar->setValue(value);
}

// Mouse navigation through the shared state: wheel zooms about a pixel, a
// pan, a range of the whole trace zoomed to, the history walked; the scroll
// bar keeps mirroring a finite state within bounds.
void navigate(ZLVR_anView& w, QScrollBar* hsb) {
    SharedViewState& shared = *w.viewState();
    const ViewState& s = shared.state();
    const int width = w.findChild<QWidget*>("eventview")->width();
    const auto mirrored = [&] {
        FUZZ_CHECK(std::isfinite(s.zoom()) && s.zoom() > 0.0);
        FUZZ_CHECK(hsb->value() == s.offset() || hsb->value() == hsb->minimum() ||
                   hsb->value() == hsb->maximum());
    };
    shared.wheelZoomAt(100, 3, width);
    mirrored();
    shared.panTo(s.timeAt(50), 250, width);
    mirrored();
    shared.selectRange(w.trace()->startTime(), w.trace()->endTime());
    shared.zoomToRange(width);
    paintAll(w);
    shared.back();
    shared.wheelZoomAt(10, -40, width);
    mirrored();
    paintAll(w);
}

// Messages of the loader and the database would flood the fuzzer's output.
class SilencedStreams {
  public:
    SilencedStreams()
        : out_(std::cout.rdbuf(sink_.rdbuf())), err_(std::cerr.rdbuf(sink_.rdbuf())) {}
    ~SilencedStreams() {
        std::cout.rdbuf(out_);
        std::cerr.rdbuf(err_);
    }

  private:
    std::ostringstream sink_;
    std::streambuf* out_;
    std::streambuf* err_;
};

} // namespace

int fuzzDrawEntry(const uint8_t* data, size_t size) {
    ZLVR_anView& w = window();
    const std::string path = writeScratchFile("input.zlv", data, size);

    SilencedStreams silenced;
    const bool opened = w.openTrace(QString::fromStdString(path));
    FUZZ_CHECK(w.isOpen() == opened);
    FUZZ_CHECK(opened == (w.trace() != nullptr));
    if (opened) {
        FUZZ_CHECK(!w.trace()->isEmpty());
        QScrollBar* hsb = w.findChild<QScrollBar*>("hsb");
        QScrollBar* vsb = w.findChild<QScrollBar*>("vsb");
        paintAll(w);
        w.slotShowLinks();
        paintAll(w);
        for (int i = 0; i < 3; ++i) w.slotvZoomIn();
        paintAll(w);
        scrollTo(hsb, hsb->maximum());
        scrollTo(vsb, vsb->minimum());
        paintAll(w);
        scrollTo(hsb, hsb->minimum());
        w.slotSortByRank();
        paintAll(w);
        w.slotvZoomAll();
        w.slotvZoomOut();
        paintAll(w);
        navigate(w, hsb);
    }
    w.slotfClose();
    FUZZ_CHECK(!w.isOpen() && w.trace() == nullptr);
    paintAll(w);
    return 0;
}
