// Times the event explorer's picture at 1920 x 1080 on one trace: the fast
// painter and the reference painter in the same run, over a set of zooms,
// scroll positions and the links switch. Prints one line per viewport (the
// first paint of the viewport apart: it fills the caches for what comes into
// view), the median and 99th percentile per zoom and links setting, and over
// all of them, and in how many viewports the two pictures were identical.
// The fast painter's CPU time (of the painting thread) is given beside its
// wall time: on a shared machine it shows what waiting for a core hides; the
// CPU time of all threads (the painting thread and its helper) is summed up
// at the end.
//
//   paint_bench TRACE [REPEATS [VIEWPORT-TEXT]]
//
// VIEWPORT-TEXT times only the viewports whose name contains it. With
// ZLV_PAINT_PHASES set, each viewport's line also tells where the fast
// painter's last paint spent its time (walk, cover, ordered, composed, in
// ms), how many lines it met, drew and composed, and the time of each paint
// in order. With
// ZLV_PAINT_FAST_ONLY set, the reference painter is left out (for profiles);
// with ZLV_PAINT_NO_CULLER, the fast painter draws its whole draw list.

#include "model/trace_document.h"
#include "model/wrapping_math.h"
#include "ui/event_paint.h"
#include "ui/paint_cache.h"
#include "ui/paint_sink.h"
#include "ui/reference/paint_reference.h"
#include "view/color_palette.h"
#include "view/time_axis.h"
#include "view/time_index.h"
#include "view/view_filter.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Viewport {
    std::string name;
    std::string zoomName;
    double zoom;
    int offset;
    int pos;
    bool links;
};

double cpuMs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: paint_bench TRACE [REPEATS [VIEWPORT-TEXT]]\n");
        return 2;
    }
    // No screen needed: everything is painted into images.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // lines show as they come
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    const std::string only = argc > 3 ? argv[3] : "";
    const bool phases = qEnvironmentVariableIsSet("ZLV_PAINT_PHASES");
    // For profiles of the fast painter: the reference is not painted (nor compared).
    const bool fastOnly = qEnvironmentVariableIsSet("ZLV_PAINT_FAST_ONLY");
    std::ostringstream db, errors;
    TTrace trace(argv[1], db, errors);
    if (!trace.loaded()) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }

    int64_t lo = INT64_MAX, hi = INT64_MIN;
    uint64_t calls = 0;
    for (uint32_t i = 0; i < trace.processCount(); ++i) {
        const int64_t shift = trace.nodeOffset(static_cast<uint32_t>(trace.nodeIndexAt(i)));
        for (const TFunc& f : trace.processes[i].calls) {
            lo = std::min(lo, wrapAdd(f.start, shift));
            hi = std::max(hi, wrapAdd(f.end, shift));
        }
        calls += trace.processes[i].calls.size();
    }
    const int width = 1920, height = 1080;
    const double fit = fittingZoom(width - 10, lo, hi);
    const int count = static_cast<int>(trace.processCount());

    std::vector<Viewport> views;
    const double zooms[] = {fit, fit * 16, fit * 1024, 1.0};
    const char* zoomNames[] = {"fit", "fit*16", "fit*1024", "1px/us"};
    for (int z = 0; z < 4; ++z) {
        const double zoom = std::min(1.0, zooms[z]);
        const int64_t step = scrollStep(zoom);
        const double where[] = {0.0, 0.5, 0.97};
        for (double w : where) {
            const int offset =
                static_cast<int>((lo + static_cast<int64_t>(w * double(hi - lo))) / step);
            for (int pos : {count, count / 2})
                for (bool links : {false, true}) {
                    char name[96];
                    std::snprintf(name, sizeof name, "%s at %.0f%% pos %d links %s", zoomNames[z],
                                  w * 100, pos, links ? "on" : "off");
                    views.push_back({name, zoomNames[z], zoom, offset, pos, links});
                }
        }
    }

    const ColorPalette palette;
    ViewFilter filter(trace.nodeCount(), trace.processCount() + 1);
    TimeIndex timeIndex(trace); // as the window keeps it with the trace
    PaintCache index;
    index.timeIndex = &timeIndex;
    if (qEnvironmentVariableIsSet("ZLV_PAINT_ONE_BAND")) index.workers.linesWorthSharing = SIZE_MAX;
    if (qEnvironmentVariableIsSet("ZLV_PAINT_NO_CULLER")) index.cull = false;
    PaintSink sink;
    QImage fastImage(width, height, QImage::Format_RGB32), refImage = fastImage;
    int identical = 0, compared = 0;
    std::vector<double> fastAll, refAll, firstAll, cpuAll, processCpuAll;
    // By zoom name and links setting, in the order met.
    std::vector<std::pair<std::string, std::pair<std::vector<double>, std::vector<double>>>>
        classes;
    std::printf("trace %s: %u processes, %llu calls\n", argv[1], trace.processCount(),
                static_cast<unsigned long long>(calls));
    std::printf("%-40s %12s %12s %12s %12s\n", "viewport", "first ms", "fast ms", "reference ms",
                "fast cpu ms");
    for (const Viewport& v : views) {
        if (v.name.find(only) == std::string::npos) continue;
        filter.showLinks = v.links;
        const EventPaintInput in{trace, filter, palette, v.zoom, v.offset, v.pos};
        double cpu = 0, processCpu = 0; // of the last paint
        auto once = [&](bool fast) {
            QImage& image = fast ? fastImage : refImage;
            // The widget's own background, not part of its paint.
            image.fill(Qt::black);
            const double cpu0 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
            const double processCpu0 = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
            const auto t = std::chrono::steady_clock::now();
            QPainter painter(&image);
            if (fast) // as the widget paints: through the view's own image
                paintView(painter, image.rect(), in, index, phases ? &sink : nullptr);
            else
                paintCallsReference(painter, image.rect(), in);
            painter.end();
            cpu = cpuMs(CLOCK_THREAD_CPUTIME_ID) - cpu0;
            processCpu = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - processCpu0;
            return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t)
                .count();
        };
        const double first = once(true);
        std::vector<double> fast, ref;
        std::vector<double> fastCpu;
        for (int r = 0; r < repeats; ++r) {
            fast.push_back(once(true));
            fastCpu.push_back(cpu);
            processCpuAll.push_back(processCpu);
        }
        for (int r = 0; r < (fastOnly ? 0 : std::max(1, repeats / 10)); ++r)
            ref.push_back(once(false));
        if (!fastOnly && fastImage != refImage) {
            int shown = 0;
            for (int y = 0; y < height && shown < 40; ++y)
                for (int x = 0; x < width && shown < 40; ++x)
                    if (fastImage.pixel(x, y) != refImage.pixel(x, y)) {
                        ++shown;
                        std::printf("(%d,%d) ref %08x fast %08x\n", x, y, refImage.pixel(x, y),
                                    fastImage.pixel(x, y));
                    }
        }
        firstAll.push_back(first);
        if (!fastOnly) {
            ++compared;
            identical += fastImage == refImage;
        }
        fastAll.insert(fastAll.end(), fast.begin(), fast.end());
        cpuAll.insert(cpuAll.end(), fastCpu.begin(), fastCpu.end());
        refAll.insert(refAll.end(), ref.begin(), ref.end());
        const std::string key = v.zoomName + (v.links ? " links on" : " links off");
        auto c = std::find_if(classes.begin(), classes.end(),
                              [&](const auto& e) { return e.first == key; });
        if (c == classes.end()) c = classes.insert(classes.end(), {key, {}});
        c->second.first.insert(c->second.first.end(), fast.begin(), fast.end());
        c->second.second.insert(c->second.second.end(), ref.begin(), ref.end());
        std::printf("%-40s %12.2f %12.2f %12.2f %12.2f%s", v.name.c_str(), first,
                    percentile(fast, 0.5), percentile(ref, 0.5), percentile(fastCpu, 0.5),
                    fastOnly || fastImage == refImage ? "" : "  PICTURES DIFFER");
        if (phases) {
            const LineCuller::Counts& c = sink.counts;
            std::printf("  parts");
            for (double ms : sink.walkPartMs) std::printf(" %.1f", ms);
            std::printf("  walk %.1f cover %.1f (bands %.1f %.1f) ordered %.1f composed %.1f | "
                        "lines %zu drawn %zu (bars %zu in %zu fills) covered %zu (near edges %zu, "
                        "under painted %zu) composed %zu edge-cut %zu",
                        sink.walkMs, sink.coverMs, sink.bandMs[0], sink.bandMs[1], sink.orderedMs,
                        sink.composedMs, c.lines, c.drawn, c.filled, c.fills, c.covered, c.nearEdge,
                        c.underPainted, c.composed, c.edgeCut);
            std::printf("  | each");
            for (double ms : fast) std::printf(" %.1f", ms);
        }
        std::printf("\n");
    }
    std::printf("\n%-32s %12s %12s %12s %12s\n", "class (zoom, links)", "fast median", "fast p99",
                "ref median", "ref p99");
    for (const auto& [key, times] : classes)
        std::printf("paint_class %-20s %12.2f %12.2f %12.2f %12.2f\n", key.c_str(),
                    percentile(times.first, 0.5), percentile(times.first, 0.99),
                    percentile(times.second, 0.5), percentile(times.second, 0.99));
    std::printf("paint_identical_viewports %d/%d\n", identical, compared);
    std::printf("paint_first_median_ms %.2f\npaint_first_max_ms %.2f\n", percentile(firstAll, 0.5),
                percentile(firstAll, 1.0));
    std::printf("paint_fast_median_ms %.2f\npaint_fast_p99_ms %.2f\n", percentile(fastAll, 0.5),
                percentile(fastAll, 0.99));
    std::printf("paint_fast_cpu_median_ms %.2f\npaint_fast_cpu_p99_ms %.2f\n",
                percentile(cpuAll, 0.5), percentile(cpuAll, 0.99));
    std::printf("paint_fast_process_cpu_median_ms %.2f\npaint_fast_process_cpu_p99_ms %.2f\n",
                percentile(processCpuAll, 0.5), percentile(processCpuAll, 0.99));
    std::printf("paint_reference_median_ms %.2f\npaint_reference_p99_ms %.2f\n",
                percentile(refAll, 0.5), percentile(refAll, 0.99));
    return 0;
}
