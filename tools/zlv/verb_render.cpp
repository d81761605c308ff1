// zlv-render: the main window with a trace open, drawn offscreen into a PNG.
// zlv render runs this program, so that zlv itself needs no Qt.

#include "tools/zlv/verb_render.h"
#include "app/main_window.h"
#include "model/trace_document.h"
#include "tools/zlv/args.h"
#include "tools/zlv/verbs.h"

#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <cstdlib>
#include <iostream>

namespace {

constexpr const char* kUsage =
    "usage: zlv render TRACE.zlv -o OUT.png [--size WxH] [--links] [--zoom-in N]\n"
    "                  [--hsb V] [--vsb V] [--sort node|rank]\n"
    "Opens the trace in the main window (offscreen unless QT_QPA_PLATFORM is set),\n"
    "applies the options in the order listed through the window's own commands and\n"
    "writes the window's picture. --size: window size (default 592x471); --links:\n"
    "show the send/receive links; --zoom-in: zoom in N times; --hsb/--vsb: scroll\n"
    "bar values (clamped to their ranges); --sort: sort the rows by node or rank.\n";

bool parseSize(const std::string& text, int& w, int& h) {
    const size_t x = text.find('x');
    if (x == std::string::npos) return false;
    long long a = 0, b = 0;
    if (!parseInt64(text.substr(0, x), a) || !parseInt64(text.substr(x + 1), b)) return false;
    if (a < 1 || b < 1 || a > 16384 || b > 16384) return false;
    w = static_cast<int>(a);
    h = static_cast<int>(b);
    return true;
}

bool parseIntOption(const Args& args, const char* name, long long low, long long high,
                    std::optional<int>& out) {
    const std::optional<std::string> text = args.option(name);
    if (!text) return true;
    long long v = 0;
    if (!parseInt64(*text, v) || v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

} // namespace

int renderWindowPicture(int argc, char** argv) {
    std::string error;
    const ArgSpec spec{{"-o", "--size", "--zoom-in", "--hsb", "--vsb", "--sort"}, {"--links"}};
    auto args = parseArgs(argc, argv, 1, spec, error);
    if (!args) return usageError("render", error, kUsage);
    if (args->help) {
        std::cout << kUsage;
        return kExitOk;
    }
    if (args->positional.size() != 1)
        return usageError("render", "one trace file expected", kUsage);
    const std::optional<std::string> out = args->option("-o");
    if (!out) return usageError("render", "-o OUT.png expected", kUsage);
    int width = 592, height = 471;
    if (auto size = args->option("--size"); size && !parseSize(*size, width, height))
        return usageError("render", "--size expects WxH", kUsage);
    std::optional<int> zoomIns, hsbValue, vsbValue;
    if (!parseIntOption(*args, "--zoom-in", 0, 64, zoomIns))
        return usageError("render", "--zoom-in expects a count from 0 to 64", kUsage);
    if (!parseIntOption(*args, "--hsb", INT32_MIN, INT32_MAX, hsbValue) ||
        !parseIntOption(*args, "--vsb", INT32_MIN, INT32_MAX, vsbValue))
        return usageError("render", "--hsb and --vsb expect whole numbers", kUsage);
    const std::optional<std::string> sort = args->option("--sort");
    if (sort && *sort != "node" && *sort != "rank")
        return usageError("render", "--sort expects node or rank", kUsage);

    const std::string& path = args->positional[0];
    if (!fileReadable(path)) {
        std::cerr << "zlv render: cannot open " << path << "\n";
        return kExitUnusable;
    }

    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    char qtName[] = "zlv";
    char* qtArgv[] = {qtName, nullptr};
    QApplication app(qtArgc, qtArgv);

    ZLVR_anView window;
    window.resize(width, height);
    window.show(); // lays the children out, so that the fitting zoom uses the real width

    // Every message of the document on stderr, as for the other verbs.
    std::streambuf* stdoutBuffer = std::cout.rdbuf(std::cerr.rdbuf());
    const bool opened = window.openTrace(QString::fromLocal8Bit(path.c_str()));
    std::cout.rdbuf(stdoutBuffer);
    if (!opened) {
        std::cerr << "zlv render: no process in " << path << "\n";
        return kExitLoadFailed;
    }

    if (args->flag("--links")) window.slotShowLinks();
    for (int i = 0; i < zoomIns.value_or(0); ++i) window.slotvZoomIn();
    if (hsbValue) window.findChild<QScrollBar*>("hsb")->setValue(*hsbValue);
    if (vsbValue) window.findChild<QScrollBar*>("vsb")->setValue(*vsbValue);
    if (sort && *sort == "node") window.slotSortByNode();
    if (sort && *sort == "rank") window.slotSortByRank();

    const QImage picture = window.grab().toImage();
    if (!picture.save(QString::fromLocal8Bit(out->c_str()), "PNG")) {
        std::cerr << "zlv render: cannot write " << *out << "\n";
        return kExitUnusable;
    }
    return window.trace()->loaded() ? kExitOk : kExitLoadFailed;
}
