#pragma once
// Timing for the benchmark programs: best wall and least CPU milliseconds of
// a few runs, printed as "name value" lines.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include <sys/resource.h>

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// CPU milliseconds (user + system, all threads) used so far: wall times
// suffer when other jobs share the machine, CPU times much less.
inline double cpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

struct Timing {
    double wall = 1e300; // best of the runs
    double cpu = 1e300;  // least of the runs
};

// Best of `repeats` runs of fn, in milliseconds.
template <typename Fn>
Timing bestOf(int repeats, Fn&& fn) {
    Timing best;
    for (int i = 0; i < repeats; ++i) {
        const auto start = Clock::now();
        const double cpuStart = cpuMs();
        fn();
        best.cpu = std::min(best.cpu, cpuMs() - cpuStart);
        best.wall = std::min(best.wall, msSince(start));
    }
    return best;
}

inline void print(const char* name, double value) {
    std::printf("%s %.3f\n", name, value);
    std::fflush(stdout);
}

// "name wall" and "name_cpu cpu".
inline void print(const char* name, const Timing& t) {
    print(name, t.wall);
    print((std::string(name) + "_cpu").c_str(), t.cpu);
}
