// Times opening one trace. Modes:
//   open TRACE               the whole document (read, links, clocks, database)
//   phases TRACE             read, link building and clock alignment separately,
//                            with the peak resident memory of each
//   reference TRACE PAIRS    the straightforward link building and clock sweeps
//                            on PAIRS random pairs, extrapolated to all pairs
//   touch CALLS              a floor: writing fresh memory of the size of CALLS
//                            call records once, as loading must
// Prints "name seconds" lines.

#include "model/memory_advice.h"
#include "model/reference_pairs.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <sys/resource.h>

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

uint64_t linkTotal(const TTrace& t) {
    uint64_t n = 0;
    for (const TProcess& p : t.processes)
        for (const TFunc& f : p.calls) n += f.linkCount;
    return n;
}

// CPU seconds (user + system) used so far: wall times suffer when other jobs
// share the machine, CPU times much less.
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto sec = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return sec(usage.ru_utime) + sec(usage.ru_stime);
}

// Peak and current resident kilobytes so far, from the kernel's process status.
std::string memoryNote() {
    std::ifstream status("/proc/self/status");
    std::string line, note;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0 || line.rfind("VmRSS:", 0) == 0) note += " " + line;
    return note;
}

// Peak resident kilobytes since the last resetPeak (or the start).
uint64_t peakKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtoull(line.c_str() + 6, nullptr, 10);
    return 0;
}

// Starts a new peak from what is resident now (Linux: "5" to clear_refs).
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: open_trace_bench open|phases|reference TRACE [PAIRS] | touch CALLS\n";
        return 2;
    }
    const std::string mode = argv[1];
    const std::string path = argv[2];
    std::ostringstream quiet;

    if (mode == "touch") {
        const uint64_t bytes = std::strtoull(path.c_str(), nullptr, 10) * sizeof(TFunc);
        const auto t0 = std::chrono::steady_clock::now();
        auto block = std::make_shared<CallBlock>(bytes);
        auto* memory = static_cast<unsigned char*>(block->take(bytes, 64));
        std::unique_ptr<unsigned char[]> heap;
        if (!memory) memory = (heap = std::make_unique<unsigned char[]>(bytes)).get();
        for (uint64_t b = 0; b < bytes; b += 64) memory[b] = static_cast<unsigned char>(b);
        std::cout << "touch " << seconds(t0) << "\nbytes " << bytes << "\n";
        return memory[bytes / 2] == 0xFF ? 1 : 0;
    }

    if (mode == "open") {
        const auto t0 = std::chrono::steady_clock::now();
        TTrace trace(path, quiet, std::cerr);
        const double total = seconds(t0);
        std::cout << "open " << total << "\ncalls " << callCount(trace.processes) << "\nlinks "
                  << linkTotal(trace) << "\nprocesses " << trace.processCount() << "\n";
        return trace.loaded() ? 0 : 1;
    }

    TTrace trace;
    auto t0 = std::chrono::steady_clock::now();
    double c0 = cpuSeconds();
    if (!readTraceRecords(trace, path, std::cerr)) return 1;
    const double read = seconds(t0), readCpu = cpuSeconds() - c0;

    if (mode == "phases") {
        // Each step's scratch handed back, as the loader does.
        releaseFreedMemory();
        std::cerr << "memory after read:" << memoryNote() << "\n";
        const uint64_t readPeak = peakKb();
        resetPeak();
        t0 = std::chrono::steady_clock::now();
        c0 = cpuSeconds();
        LinkedSends linked; // as the loader hands them on
        buildLinks(trace, 0, nullptr, &linked);
        releaseFreedMemory();
        const double links = seconds(t0), linksCpu = cpuSeconds() - c0;
        std::cerr << "memory after links:" << memoryNote() << "\n";
        const uint64_t linksPeak = peakKb();
        resetPeak();
        t0 = std::chrono::steady_clock::now();
        c0 = cpuSeconds();
        alignClocks(trace, quiet, 0, nullptr, &linked);
        releaseFreedMemory();
        const double clocks = seconds(t0), clocksCpu = cpuSeconds() - c0;
        std::cout << "read " << read << "\nlinks " << links << "\nclocks " << clocks
                  << "\nread_cpu " << readCpu << "\nlinks_cpu " << linksCpu << "\nclocks_cpu "
                  << clocksCpu << "\nread_peak_kb " << readPeak << "\nlinks_peak_kb " << linksPeak
                  << "\nclocks_peak_kb " << peakKb() << "\n";
        std::cerr << "memory after clocks:" << memoryNote() << "\n";
        return 0;
    }

    if (mode == "reference" && argc == 4) {
        const size_t n = trace.processes.size();
        const uint64_t sample = std::strtoull(argv[3], nullptr, 10);
        std::mt19937_64 random(7);
        // Link building: ordered pairs i != j.
        std::vector<TFunc*> scratch;
        t0 = std::chrono::steady_clock::now();
        c0 = cpuSeconds();
        for (uint64_t s = 0; s < sample; ++s) {
            const size_t i = random() % n;
            size_t j = random() % (n - 1);
            if (j >= i) ++j;
            linkPairReference(trace, i, j, scratch);
        }
        const double linkSample = seconds(t0), linkSampleCpu = cpuSeconds() - c0;
        // Sweeps need the links: the fast ones are identical. Times restored afterwards
        // do not matter, only the walk is timed.
        TTrace linked;
        readTraceRecords(linked, path, quiet);
        buildLinks(linked);
        alignClocksOnInit(linked, quiet);
        t0 = std::chrono::steady_clock::now();
        c0 = cpuSeconds();
        for (uint64_t s = 0; s < sample; ++s) {
            size_t a = random() % n, b = random() % n;
            if (a == b) b = (b + 1) % n;
            if (a > b) std::swap(a, b);
            sweepPairReference(linked, a, b, s % 2 == 0);
        }
        const double sweepSample = seconds(t0), sweepSampleCpu = cpuSeconds() - c0;
        const double pairs = double(n) * double(n - 1);
        std::cout << "read " << read << "\nlinks_extrapolated " << linkSample / sample * pairs
                  << "\nclocks_extrapolated " << sweepSample / sample * pairs << "\nread_cpu "
                  << readCpu << "\nlinks_extrapolated_cpu " << linkSampleCpu / sample * pairs
                  << "\nclocks_extrapolated_cpu " << sweepSampleCpu / sample * pairs
                  << "\nsampled_pairs " << sample << "\n";
        return 0;
    }
    std::cerr << "unknown mode\n";
    return 2;
}
