// Times the statistics and checks of one trace: both matrices over all cells
// (whole run and one section), process times, one plain read of every call
// (the floor of any walk over the calls), the three checks, the cells of
// the per-cell model operations on a sample (extrapolated to all cells), and
// the 1024 x 1024 matrix dialog offscreen: opening it and painting its table
// at scrolled positions. Prints "name value" lines; times in milliseconds,
// best of REPEATS runs (the machine may be shared).
//
//   stats_bench TRACE [REPEATS] [SAMPLE_CELLS]

#include "bench/bench_timing.h"
#include "model/check_lines.h"
#include "model/parallel_for.h"
#include "model/stat_tables.h"
#include "model/trace_document.h"
#include "model/traffic_rows.h"
#include "stats/stat_dlg.h"
#include "stats/stat_table_model.h"

#include <QApplication>
#include <QScrollBar>
#include <QTableView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

// A checksum the optimiser cannot drop, printed once so runs can be compared.
uint64_t sink = 0;

void allCells(const TTrace& trace, TrafficWeight weight, uint32_t section) {
    forEachTrafficRow(trace, weight, section, [](uint32_t, std::span<const TrafficCell> row) {
        for (const TrafficCell& c : row) sink += c.sent * 3 + c.received;
    });
}

// The same rows one after the other on the calling thread.
void allCellsOneThread(const TTrace& trace, TrafficWeight weight, uint32_t section) {
    const auto byRank = processesByRank(trace);
    const auto n = static_cast<uint32_t>(byRank.size());
    for (uint32_t r = 0; r < n; ++r)
        if (byRank[r])
            for (const TrafficCell& c : trafficRow(*byRank[r], n, weight, section))
                sink += c.sent * 3 + c.received;
}

// The least any walk over all calls costs: one field of every call read, on
// the same two threads. Memory, not computing, bounds it.
void readEveryCall(const TTrace& trace) {
    std::vector<uint64_t> sums(trace.processes.size());
    parallelFor(static_cast<uint32_t>(sums.size()), [&](uint32_t i) {
        uint64_t sum = 0;
        for (const TFunc& f : trace.processes[i].calls) sum += f.kind;
        sums[i] = sum;
    });
    for (uint64_t sum : sums) sink += sum;
}

void allTexts(const StatTable& table) {
    for (uint32_t r = 0; r < table.rowCount; ++r)
        for (const std::string& cell : table.rowCells(r)) sink += cell.size();
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: stats_bench TRACE [REPEATS] [SAMPLE_CELLS]\n");
        return 2;
    }
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const int sampleCells = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2000;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::ostringstream db, errors;
    const auto loadStart = Clock::now();
    TTrace trace(argv[1], db, errors);
    print("load", msSince(loadStart));
    if (trace.isEmpty()) {
        std::fprintf(stderr, "%s", errors.str().c_str());
        return 1;
    }
    const uint32_t n = trace.processCount();
    const uint64_t calls = callCount(trace.processes);
    print("processes", n);
    print("calls", static_cast<double>(calls));

    // The first named section, for the section figures.
    const std::vector<SectionItem> sections = sectionItems(trace);
    const uint32_t section = sections.size() > 1 ? sections[1].id : 0;
    print("section", section);

    print("sendrecv_cells", bestOf(repeats, [&] { allCells(trace, TrafficWeight::Messages, 0); }));
    print("sendrecv_cells_one_thread",
          bestOf(repeats, [&] { allCellsOneThread(trace, TrafficWeight::Messages, 0); }));
    print("datasize_cells", bestOf(repeats, [&] { allCells(trace, TrafficWeight::Bytes, 0); }));
    print("sendrecv_section_cells",
          bestOf(repeats, [&] { allCells(trace, TrafficWeight::Messages, section); }));
    print("sendrecv_texts",
          bestOf(repeats, [&] { allTexts(statTable(trace, StatKind::SendRecv, 0)); }));
    print("datasize_texts",
          bestOf(repeats, [&] { allTexts(statTable(trace, StatKind::DataSize, 0)); }));
    print("process_times", bestOf(repeats, [&] {
              for (const RankTimes& t : timesByRank(trace))
                  sink += static_cast<uint64_t>(t.init + t.finalize + t.send + t.receive);
          }));
    // The same sums made by walking every call on two threads, as without
    // the sums the reader keeps.
    print("process_times_walked", bestOf(repeats, [&] {
              std::vector<uint64_t> sums(trace.processes.size());
              parallelFor(static_cast<uint32_t>(sums.size()), [&](uint32_t i) {
                  const TTimeSums t = trace.processes[i].sumTimes();
                  sums[i] = static_cast<uint64_t>(t.init + t.finalize + t.send + t.receive);
              });
              for (uint64_t sum : sums) sink += sum;
          }));
    print("process_table", bestOf(repeats, [&] { allTexts(statTable(trace, StatKind::Process)); }));
    print("calls_read", bestOf(repeats, [&] { readEveryCall(trace); }));
    print("checks",
          bestOf(repeats, [&] { sink += runChecks(trace, CheckSelection{}).lines.size(); }));

    // The per-cell operation of the model, as a straightforward matrix would
    // call it for every cell: timed on random cells, extrapolated to all.
    {
        std::mt19937 rng(5);
        std::vector<std::pair<int32_t, int32_t>> cells;
        for (int i = 0; i < sampleCells; ++i)
            cells.emplace_back(static_cast<int32_t>(rng() % n), static_cast<int32_t>(rng() % n));
        const double ms = bestOf(1, [&] {
                              for (const auto& [r, c] : cells) {
                                  uint64_t sent = 0, received = 0;
                                  trace.messageCounts(r, c, sent, received, 0);
                                  sink += sent + received;
                              }
                          }).cpu;
        print("reference_cells_sampled", sampleCells);
        print("reference_sendrecv_extrapolated",
              ms / sampleCells * static_cast<double>(n) * static_cast<double>(n));
    }

    // The send/receive matrix dialog: built, shown and painted once.
    {
        std::vector<double> opens;
        for (int i = 0; i < repeats; ++i) {
            const auto start = Clock::now();
            Stat_Dlg dialog(nullptr, static_cast<int>(StatKind::SendRecv), &trace);
            dialog.resize(1200, 800);
            dialog.show();
            dialog.table()->viewport()->repaint();
            QApplication::processEvents();
            opens.push_back(msSince(start));
        }
        print("dialog_open", *std::min_element(opens.begin(), opens.end()));

        Stat_Dlg dialog(nullptr, static_cast<int>(StatKind::SendRecv), &trace);
        dialog.resize(1200, 800);
        dialog.show();
        QApplication::processEvents();
        QTableView* table = dialog.table();
        QScrollBar* v = table->verticalScrollBar();
        QScrollBar* h = table->horizontalScrollBar();
        // 20 positions spread over the table, each a viewport not seen before.
        std::vector<double> paints;
        for (int step = 1; step <= 20; ++step) {
            v->setValue(v->maximum() * step / 20);
            h->setValue(h->maximum() * ((step * 7) % 20) / 20);
            const auto start = Clock::now();
            table->viewport()->repaint();
            paints.push_back(msSince(start));
        }
        print("dialog_scroll_median", percentile(paints, 0.5));
        print("dialog_scroll_max", *std::max_element(paints.begin(), paints.end()));
    }
    print("checksum", static_cast<double>(sink % 1000003));
    return 0;
}
